#pragma once
// Starts a program with a parameter text and blocks until it has ended. The
// parameter text is split into arguments by the Windows command-line rules,
// so that quoting means what it means there (a quoted path with blanks stays
// one argument). A program that cannot be started is reported in a message
// box of our own; the caller is told nothing either way.

#include <string>
#include <vector>

#include "common/tick_state.hpp"
#include "platform/message_box.hpp"
#include "platform/process_launcher.hpp"

namespace parone {

// The rules of the Microsoft C runtime: blanks and tabs separate arguments;
// "..." groups; 2n backslashes before a quote give n backslashes and the
// quote acts; 2n+1 give n and a literal quote; other backslashes are
// literal; "" inside a quoted part gives a literal quote.
std::vector<std::string> SplitWindowsCommandLine(const std::string& text);

// One argument quoted so that SplitWindowsCommandLine gives it back whole.
std::string QuoteWindowsArgument(const std::string& argument);

void ShellAndWait(ProcessLauncher& launcher, MessageBoxes& boxes, const std::string& program,
                  long ownerWindow, const std::string& parameters,
                  const std::string& workingFolder, Boolean16 hidden, Boolean16 minimised);

}  // namespace parone
