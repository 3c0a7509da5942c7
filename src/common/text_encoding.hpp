#pragma once
// Conversions between the UTF-8 text used everywhere inside the tool and the
// UTF-16 units of Windows resources. Pure functions; malformed input becomes
// U+FFFD rather than an error, because these texts are shown, never parsed.

#include <string>
#include <string_view>

namespace parone {

std::string Utf16ToUtf8(std::u16string_view text);
std::u16string Utf8ToUtf16(std::string_view text);

}  // namespace parone
