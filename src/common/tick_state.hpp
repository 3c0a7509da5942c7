#pragma once
// Check box values and 16-bit Booleans as the workflow passes them around.

#include <cstdint>

namespace parone {

// A check box value: 0 unticked, 1 ticked, 2 greyed. Only exactly 1 counts
// as ticked wherever the workflow tests a tick.
enum TickState : int { kUnticked = 0, kTicked = 1, kGreyed = 2 };

constexpr bool IsTicked(int value) { return value == kTicked; }

// A 16-bit Boolean: true is -1, and any nonzero value counts as true.
using Boolean16 = std::int16_t;
constexpr Boolean16 kTrue16 = -1;
constexpr Boolean16 kFalse16 = 0;
constexpr bool IsTrue(Boolean16 value) { return value != 0; }

}  // namespace parone
