#pragma once
// Conversions between the UTF-8 text used everywhere inside the tool and the
// UTF-16 units of Windows resources, and text made fit to print on a
// terminal. Pure functions; malformed input becomes U+FFFD (or an escape)
// rather than an error, because these texts are shown, never parsed.

#include <string>
#include <string_view>

namespace parone {

std::string Utf16ToUtf8(std::u16string_view text);
std::u16string Utf8ToUtf16(std::string_view text);

// The text as a terminal may be given it: characters it would act on
// (ESC, CR, LF, the other controls, direction overrides) become \x1b, \r,
// \n, \u202e and the like, and bytes that are not UTF-8 become \xNN. A
// backslash stays as it is (Windows paths), so the result is for reading,
// not for taking back.
std::string EscapeForTerminal(std::string_view text);

}  // namespace parone
