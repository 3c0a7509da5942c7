// POSIX implementation of the Sleeper interface defined in platform/sleeper.hpp.
#include <chrono>
#include <thread>

#include "platform/sleeper.hpp"

namespace parone {

void RealSleeper::SleepMs(long milliseconds) {
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

}  // namespace parone
