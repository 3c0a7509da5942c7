// Reading a password at a terminal, on a pseudo-terminal standing in for
// standard input: nothing typed shows, and the terminal is as it was after.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include "platform/terminal_secret.hpp"

namespace parone {
namespace {

// Puts `fd` in the place of standard input for the test's length.
class StandardInput {
 public:
  explicit StandardInput(int fd) : saved_(::dup(STDIN_FILENO)) { ::dup2(fd, STDIN_FILENO); }
  ~StandardInput() {
    ::dup2(saved_, STDIN_FILENO);
    ::close(saved_);
  }
  StandardInput(const StandardInput&) = delete;
  StandardInput& operator=(const StandardInput&) = delete;

 private:
  int saved_;
};

// A pseudo-terminal: the test types on the master side, the reader reads
// the slave side as its terminal.
class PseudoTerminal {
 public:
  PseudoTerminal() {
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0) return;
    slave_ = ::open(::ptsname(master_), O_RDWR | O_NOCTTY);
  }
  ~PseudoTerminal() {
    if (slave_ >= 0) ::close(slave_);
    if (master_ >= 0) ::close(master_);
  }
  PseudoTerminal(const PseudoTerminal&) = delete;
  PseudoTerminal& operator=(const PseudoTerminal&) = delete;

  bool ready() const { return slave_ >= 0; }
  int slave() const { return slave_; }
  void Type(const std::string& keys) const { (void)!::write(master_, keys.data(), keys.size()); }
  // What the terminal showed, as far as it has come.
  std::string Shown() const {
    std::string shown;
    char buffer[256];
    pollfd waiting{master_, POLLIN, 0};
    while (::poll(&waiting, 1, 100) > 0) {
      const ssize_t n = ::read(master_, buffer, sizeof buffer);
      if (n <= 0) break;
      shown.append(buffer, static_cast<std::size_t>(n));
    }
    return shown;
  }
  tcflag_t LocalFlags() const {
    termios t{};
    ::tcgetattr(slave_, &t);
    return t.c_lflag;
  }

 private:
  int master_ = -1;
  int slave_ = -1;
};

TEST(TerminalSecret, WhatIsTypedIsReadWithoutShowingAndTheTerminalIsAsBefore) {
  PseudoTerminal terminal;
  ASSERT_TRUE(terminal.ready());
  const tcflag_t before = terminal.LocalFlags();
  ASSERT_NE(before & ECHO, 0u);
  StandardInput input(terminal.slave());
  std::optional<std::string> read;
  std::thread reader([&] { read = ReadLineUnechoed(); });
  // Typed once the reader waits with echo off.
  for (int i = 0; i < 500 && (terminal.LocalFlags() & ECHO) != 0; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  terminal.Type("typed #secret 7\n");
  reader.join();
  EXPECT_EQ(read, std::optional<std::string>("typed #secret 7"));
  const std::string shown = terminal.Shown();
  EXPECT_EQ(shown.find("secret"), std::string::npos) << shown;
  EXPECT_NE(shown.find('\n'), std::string::npos);  // the line end shows: what follows starts afresh
  EXPECT_EQ(terminal.LocalFlags(), before);
}

TEST(TerminalSecret, InputThatEndsBeforeTheLineEndGivesNothingAndRestoresTheTerminal) {
  PseudoTerminal terminal;
  ASSERT_TRUE(terminal.ready());
  const tcflag_t before = terminal.LocalFlags();
  StandardInput input(terminal.slave());
  // Ctrl+D hands over what is typed so far, a second one ends the input.
  terminal.Type("half\x04\x04");
  EXPECT_EQ(ReadLineUnechoed(), std::nullopt);
  EXPECT_EQ(terminal.LocalFlags(), before);
}

TEST(TerminalSecret, WithoutATerminalNothingIsRead) {
  int pipeEnds[2];
  ASSERT_EQ(::pipe(pipeEnds), 0);
  (void)!::write(pipeEnds[1], "secret\n", 7);
  {
    StandardInput input(pipeEnds[0]);
    EXPECT_EQ(ReadLineUnechoed(), std::nullopt);
  }
  // The line is still there for whoever reads standard input instead.
  char buffer[8] = {};
  EXPECT_EQ(::read(pipeEnds[0], buffer, 7), 7);
  EXPECT_EQ(std::string(buffer), "secret\n");
  ::close(pipeEnds[0]);
  ::close(pipeEnds[1]);
}

}  // namespace
}  // namespace parone
