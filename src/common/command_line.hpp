#pragma once
// Windows command-line text: splitting a parameter text into arguments and
// quoting one argument, by the rules of the Microsoft C runtime. Pure text
// functions; they never fail.

#include <string>
#include <vector>

namespace parone {

// Blanks and tabs separate arguments; "..." groups; 2n backslashes before a
// quote give n backslashes and the quote acts; 2n+1 give n and a literal
// quote; other backslashes are literal; "" inside a quoted part gives a
// literal quote.
std::vector<std::string> SplitWindowsCommandLine(const std::string& text);

// One argument quoted so that SplitWindowsCommandLine gives it back whole.
std::string QuoteWindowsArgument(const std::string& argument);

}  // namespace parone
