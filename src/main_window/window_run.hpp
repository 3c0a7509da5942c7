#pragma once
// The window's run on a thread of its own, so that the window stays alive
// while the run works: it repaints, moves and answers 닫기 and Esc during
// every wait of the run (connecting, a transfer, an HTTP read, the signing
// wait, the packer, a copy onto a slow share). What the run reports is
// queued and handed to the window's own events on the window's thread, in
// order, when the window asks for it (Deliver). A message or a question
// holds the run until the window has shown it and it was closed, as the
// window's message boxes have always held the run. The upload's progress is
// passed on at most every 30 ms (and at once at the start and the end of a
// file), so that drawing it costs the transfer nothing.
//
// Threads: everything but the wake function runs on the window's thread;
// the wake function is called on the run's thread, and must only make the
// window's thread call Deliver soon (post a message), never block.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include "common/stop_signal.hpp"
#include "distribution/distribution_run.hpp"

namespace parone {

// The longest the window's progress lags behind the transfer's.
inline constexpr std::chrono::milliseconds kProgressInterval{30};

class WindowRun final : private PublishEvents {
 public:
  using Wake = std::function<void()>;

  // `window` receives the run's events on the window's thread. Everything
  // given must outlive this object.
  WindowRun(PublishServices& services, PublishJournal* journal, PublishEvents& window, Wake wake);
  // A run still going is stopped, and its end (its clean-up included)
  // waited for.
  ~WindowRun() override;
  WindowRun(const WindowRun&) = delete;
  WindowRun& operator=(const WindowRun&) = delete;

  // Starts a run over `request` on a new thread, with a stop signal of its
  // own. False, and nothing started, while a run is going (or the system
  // would not start a thread).
  bool Start(PublishRequest request);
  // Started, and its end not yet delivered.
  bool running() const { return worker_.joinable(); }
  bool stopping() const { return stop_ && stop_->requested(); }

  // Hands what the run reported since the last call to the window's
  // events, in order; shows a message or asks a question of the run (and
  // lets the run go on with the answer) unless held. Returns the run's
  // outcome, once, when it has ended and all it reported is delivered.
  // A call from within a message box it opened returns at once.
  std::optional<RunOutcome> Deliver();

  // While held (the window asks a question of its own), the run's messages
  // and questions wait, and so does its end; the rest is delivered. Deliver
  // after letting go, to catch up.
  void Hold(bool held) { held_ = held; }

  // Stops the run: the stop signal is given, a message or question that
  // waits for the window is let go (a question answered No), and the run
  // says nothing more. Returns at once; the run ends by itself, soon.
  void Stop();

  // Waits until the run's thread has ended (a stopped run's clean-up may
  // take up to a few seconds). Its end is then not delivered.
  void Join();

 private:
  // One event of the run, waiting for the window's thread.
  struct Item {
    enum class Kind { kCall, kProgress, kMessage, kQuestion } kind = Kind::kCall;
    std::function<void(PublishEvents&)> call;  // kCall
    std::uint64_t sent = 0;                    // kProgress
    std::uint64_t total = 0;
    std::optional<Message> message;    // kMessage
    std::optional<Question> question;  // kQuestion
    // The run's thread waits on these for a message or question.
    bool done = false;
    bool yes = false;
  };

  // PublishEvents, on the run's thread.
  void VersionShown(const std::string& caption) override;
  void Progress(std::uint64_t sent, std::uint64_t total) override;
  void WaitingShown(bool shown) override;
  void Retrying(int attempt, int attempts, std::uint64_t offset) override;
  void Show(const Message& message) override;
  bool Ask(const Question& question) override;
  void Answered(const Question& question, bool yes, const std::string& reason) override;
  void Notice(const std::string& text) override;
  void FileFinished(const FileReport& report) override;

  void Post(std::function<void(PublishEvents&)> call);
  // Queues a message or question and waits until the window has answered
  // it or the run was stopped; false for a stopped run.
  bool PostAndWait(std::shared_ptr<Item> item);
  void WakeOnce();

  PublishEvents& window_;
  Wake wake_;
  DistributionRun run_;

  std::mutex mutex_;
  std::condition_variable answered_;
  std::deque<std::shared_ptr<Item>> queue_;
  std::optional<RunOutcome> outcome_;  // set by the run's thread at its end
  std::chrono::steady_clock::time_point lastProgressWake_{};
  std::atomic<bool> wakePending_{false};

  // The window's thread only.
  std::unique_ptr<StopSignal> stop_;
  std::thread worker_;
  bool held_ = false;
  bool delivering_ = false;
};

}  // namespace parone
