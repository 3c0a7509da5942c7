// Windows implementation of the Sleeper interface defined in platform/sleeper.hpp.
#include "platform/sleeper.hpp"
#include "platform/windows/win32.hpp"

namespace parone {

void RealSleeper::SleepMs(long milliseconds) {
  ::Sleep(milliseconds > 0 ? static_cast<DWORD>(milliseconds) : 0);
}

}  // namespace parone
