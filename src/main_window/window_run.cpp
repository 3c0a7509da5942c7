#include "main_window/window_run.hpp"

#include <system_error>
#include <utility>

namespace parone {

WindowRun::WindowRun(PublishServices& services, PublishJournal* journal, PublishEvents& window,
                     Wake wake)
    : window_(window), wake_(std::move(wake)), run_(services, *this, journal) {}

WindowRun::~WindowRun() {
  if (!worker_.joinable()) return;
  Stop();
  Join();
}

bool WindowRun::Start(PublishRequest request) {
  if (worker_.joinable()) return false;
  stop_ = std::make_unique<StopSignal>();
  request.stop = stop_.get();
  {
    const std::lock_guard lock(mutex_);
    queue_.clear();
    outcome_.reset();
    lastProgressWake_ = {};
  }
  wakePending_ = false;
  held_ = false;
  try {
    worker_ = std::thread([this, request = std::move(request)] {
      RunOutcome outcome = run_.Run(request);
      {
        const std::lock_guard lock(mutex_);
        outcome_ = std::move(outcome);
      }
      WakeOnce();
    });
  } catch (const std::system_error&) {
    return false;
  }
  return true;
}

std::optional<RunOutcome> WindowRun::Deliver() {
  if (delivering_ || !worker_.joinable()) return std::nullopt;
  delivering_ = true;
  // Whatever the run reports from here on wakes the window again.
  wakePending_ = false;
  std::optional<RunOutcome> ended;
  for (;;) {
    std::unique_lock lock(mutex_);
    if (queue_.empty()) {
      if (outcome_ && !held_) ended = std::exchange(outcome_, std::nullopt);
      break;
    }
    const std::shared_ptr<Item> item = queue_.front();
    const bool waits = item->kind == Item::Kind::kMessage || item->kind == Item::Kind::kQuestion;
    if (waits && held_) break;
    queue_.pop_front();
    const std::uint64_t sent = item->sent;
    const std::uint64_t total = item->total;
    lock.unlock();

    bool yes = false;
    switch (item->kind) {
      case Item::Kind::kCall:
        item->call(window_);
        break;
      case Item::Kind::kProgress:
        window_.Progress(sent, total);
        break;
      case Item::Kind::kMessage:
        window_.Show(*item->message);
        break;
      case Item::Kind::kQuestion:
        yes = window_.Ask(*item->question);
        break;
    }
    if (waits) {
      lock.lock();
      item->done = true;
      item->yes = yes;
      answered_.notify_all();
    }
  }
  delivering_ = false;
  // The run's thread has nothing left to do but return.
  if (ended) worker_.join();
  return ended;
}

void WindowRun::Stop() {
  if (!stop_) return;
  stop_->Request();
  const std::lock_guard lock(mutex_);
  for (auto it = queue_.begin(); it != queue_.end();) {
    Item& item = **it;
    if (item.kind == Item::Kind::kMessage || item.kind == Item::Kind::kQuestion) {
      item.done = true;
      item.yes = false;
      it = queue_.erase(it);
    } else {
      ++it;
    }
  }
  answered_.notify_all();
}

void WindowRun::Join() {
  if (worker_.joinable()) worker_.join();
}

void WindowRun::WakeOnce() {
  if (!wakePending_.exchange(true)) wake_();
}

void WindowRun::Post(std::function<void(PublishEvents&)> call) {
  {
    const std::lock_guard lock(mutex_);
    auto item = std::make_shared<Item>();
    item->call = std::move(call);
    queue_.push_back(std::move(item));
  }
  WakeOnce();
}

bool WindowRun::PostAndWait(std::shared_ptr<Item> item) {
  std::unique_lock lock(mutex_);
  // The stop is given before the queue is cleared (Stop), so a message
  // posted after that is never waited for.
  if (stop_->requested()) return false;
  queue_.push_back(item);
  lock.unlock();
  WakeOnce();
  lock.lock();
  answered_.wait(lock, [&] { return item->done; });
  return item->yes;
}

void WindowRun::VersionShown(const std::string& caption) {
  Post([caption](PublishEvents& w) { w.VersionShown(caption); });
}

void WindowRun::Progress(std::uint64_t sent, std::uint64_t total) {
  bool wake = false;
  {
    const std::lock_guard lock(mutex_);
    // Only the newest count matters: one waiting count is brought up to date.
    if (!queue_.empty() && queue_.back()->kind == Item::Kind::kProgress) {
      queue_.back()->sent = sent;
      queue_.back()->total = total;
    } else {
      auto item = std::make_shared<Item>();
      item->kind = Item::Kind::kProgress;
      item->sent = sent;
      item->total = total;
      queue_.push_back(std::move(item));
    }
    const auto now = std::chrono::steady_clock::now();
    if (sent == 0 || sent >= total || now - lastProgressWake_ >= kProgressInterval) {
      lastProgressWake_ = now;
      wake = true;
    }
  }
  if (wake) WakeOnce();
}

void WindowRun::WaitingShown(bool shown) {
  Post([shown](PublishEvents& w) { w.WaitingShown(shown); });
}

void WindowRun::Retrying(int attempt, int attempts, std::uint64_t offset) {
  Post([attempt, attempts, offset](PublishEvents& w) { w.Retrying(attempt, attempts, offset); });
}

void WindowRun::Show(const Message& message) {
  auto item = std::make_shared<Item>();
  item->kind = Item::Kind::kMessage;
  item->message = message;
  PostAndWait(std::move(item));
}

bool WindowRun::Ask(const Question& question) {
  auto item = std::make_shared<Item>();
  item->kind = Item::Kind::kQuestion;
  item->question = question;
  return PostAndWait(std::move(item));
}

void WindowRun::Answered(const Question& question, bool yes, const std::string& reason) {
  Post([question, yes, reason](PublishEvents& w) { w.Answered(question, yes, reason); });
}

void WindowRun::Notice(const std::string& text) {
  Post([text](PublishEvents& w) { w.Notice(text); });
}

void WindowRun::FileFinished(const FileReport& report) {
  Post([report](PublishEvents& w) { w.FileFinished(report); });
}

}  // namespace parone
