#pragma once
// The numeric reading the tool applies to stored settings and to the build
// number a server reports: the leading number of a text, 0 when it has none.
//
// Rules: leading spaces, tabs and line feeds are skipped; an optional sign,
// digits, an optional decimal point with digits and an optional exponent
// (E or D, optionally signed) are read, ignoring spaces, tabs and line feeds
// between their characters; reading stops at the first other character.

#include <string_view>

namespace parone {

double NumericValue(std::string_view text);

// Rounds half to even, as a stored tick value is rounded before it is used.
long long RoundHalfEven(double value);

}  // namespace parone

namespace parone {

// A stored tick value ("0", " 1", ...): read as a number, rounded half to
// even; anything that is then not 0, 1 or 2 counts as unticked.
int TickStateFromText(std::string_view text);

}  // namespace parone
