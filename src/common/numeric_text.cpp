#include "common/numeric_text.hpp"

#include <cmath>
#include <cstdlib>
#include <string>

namespace parone {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Walks the text, handing out the next non-blank character.
class Cursor {
 public:
  explicit Cursor(std::string_view text) : text_(text) {}
  char Peek() {
    while (pos_ < text_.size() && IsBlank(text_[pos_])) ++pos_;
    return pos_ < text_.size() ? text_[pos_] : '\0';
  }
  void Take() { ++pos_; }

 private:
  std::string_view text_;
  std::size_t pos_ = 0;
};

}  // namespace

double NumericValue(std::string_view text) {
  Cursor in(text);
  std::string number;  // compact form handed to strtod

  if (in.Peek() == '+' || in.Peek() == '-') {
    number += in.Peek();
    in.Take();
  }
  bool digits = false;
  while (IsDigit(in.Peek())) {
    number += in.Peek();
    in.Take();
    digits = true;
  }
  if (in.Peek() == '.') {
    number += '.';
    in.Take();
    while (IsDigit(in.Peek())) {
      number += in.Peek();
      in.Take();
      digits = true;
    }
  }
  if (!digits) return 0.0;

  const char e = in.Peek();
  if (e == 'e' || e == 'E' || e == 'd' || e == 'D') {
    in.Take();
    std::string exponent = "e";
    if (in.Peek() == '+' || in.Peek() == '-') {
      exponent += in.Peek();
      in.Take();
    }
    bool expDigits = false;
    while (IsDigit(in.Peek())) {
      exponent += in.Peek();
      in.Take();
      expDigits = true;
    }
    if (expDigits) number += exponent;
  }
  return std::strtod(number.c_str(), nullptr);
}

long long RoundHalfEven(double value) {
  // A stored text can hold any number; clamp before converting so that an
  // absurd value is merely "not a tick value" instead of undefined behaviour.
  constexpr double kLimit = 9.0e18;
  if (std::isnan(value)) return 0;
  if (value > kLimit) return static_cast<long long>(kLimit);
  if (value < -kLimit) return -static_cast<long long>(kLimit);
  // nearbyint rounds to nearest, ties to even, in the default rounding mode.
  return static_cast<long long>(std::nearbyint(value));
}

}  // namespace parone

namespace parone {

int TickStateFromText(std::string_view text) {
  const long long value = RoundHalfEven(NumericValue(text));
  return (value == 0 || value == 1 || value == 2) ? static_cast<int>(value) : 0;
}

}  // namespace parone
