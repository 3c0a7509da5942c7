// POSIX implementation of the interface defined in platform/terminal_secret.hpp.
#include "platform/terminal_secret.hpp"

#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>

namespace parone {
namespace {

// The terminal's settings while echo is off, for the interrupt handler.
struct termios savedTerminal;

// An interrupt while echo is off would leave the shell without it: the
// settings come back first, then the interrupt does what it always does.
// Only async-signal-safe calls here.
extern "C" void RestoreAndInterrupt(int signal) {
  ::tcsetattr(STDIN_FILENO, TCSANOW, &savedTerminal);
  ::signal(signal, SIG_DFL);
  ::raise(signal);
}

}  // namespace

std::optional<std::string> ReadLineUnechoed() {
  struct termios terminal;
  if (!::isatty(STDIN_FILENO) || ::tcgetattr(STDIN_FILENO, &terminal) != 0) return std::nullopt;
  savedTerminal = terminal;
  struct sigaction interrupt {};
  struct sigaction previous {};
  interrupt.sa_handler = &RestoreAndInterrupt;
  ::sigemptyset(&interrupt.sa_mask);
  ::sigaction(SIGINT, &interrupt, &previous);
  // Whole lines as ever, only without echo; the line end still shows, so
  // what follows starts on a line of its own.
  terminal.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHOE | ECHOK);
  terminal.c_lflag |= ECHONL | ICANON;
  ::tcsetattr(STDIN_FILENO, TCSANOW, &terminal);

  std::string line;
  bool ended = false;
  for (;;) {
    char c = 0;
    const ssize_t n = ::read(STDIN_FILENO, &c, 1);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    if (c == '\n') {
      ended = true;
      break;
    }
    line += c;
  }
  ::tcsetattr(STDIN_FILENO, TCSANOW, &savedTerminal);
  ::sigaction(SIGINT, &previous, nullptr);
  if (!ended) return std::nullopt;
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

}  // namespace parone
