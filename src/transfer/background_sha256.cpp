#include "transfer/background_sha256.hpp"

#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>
#include <vector>

#include "platform/sha256.hpp"

namespace parone {
namespace {

constexpr std::size_t kChunkBytes = 128 * 1024;
constexpr std::size_t kMaxQueued = 16;

}  // namespace

struct BackgroundSha256::Shared {
  std::mutex mutex;
  std::condition_variable changed;
  std::deque<std::vector<char>> queued;  // full chunks, oldest first
  std::vector<std::vector<char>> spare;  // hashed chunks, for reuse
  std::vector<char> filling;             // the chunk Update writes into
  bool closing = false;                  // no more chunks will come
  bool done = false;                     // the worker has hashed the last one
  std::string digest;
  std::thread worker;
  // Where no thread could be started: the bytes are hashed as they come.
  std::optional<Sha256> inlineHash;

  void Run() {
    Sha256 hash;
    std::unique_lock lock(mutex);
    for (;;) {
      changed.wait(lock, [&] { return !queued.empty() || closing; });
      if (queued.empty()) break;
      std::vector<char> chunk = std::move(queued.front());
      queued.pop_front();
      changed.notify_all();  // room in the queue
      lock.unlock();
      hash.Update(chunk.data(), chunk.size());
      chunk.clear();
      lock.lock();
      spare.push_back(std::move(chunk));
    }
    lock.unlock();
    std::string result = hash.HexDigest();
    lock.lock();
    digest = std::move(result);
    done = true;
    changed.notify_all();
  }

  // Hands the filling chunk to the worker (waiting while the queue is full).
  void Hand() {
    std::unique_lock lock(mutex);
    changed.wait(lock, [&] { return queued.size() < kMaxQueued; });
    queued.push_back(std::move(filling));
    if (spare.empty()) {
      filling = std::vector<char>();
    } else {
      filling = std::move(spare.back());
      spare.pop_back();
    }
    changed.notify_all();
  }
};

BackgroundSha256::BackgroundSha256() : shared_(std::make_unique<Shared>()) {
  try {
    shared_->worker = std::thread([s = shared_.get()] { s->Run(); });
  } catch (const std::system_error&) {
    shared_->inlineHash.emplace();
    return;
  }
  shared_->filling.reserve(kChunkBytes);
}

BackgroundSha256::~BackgroundSha256() {
  if (!shared_->worker.joinable()) return;
  {
    std::lock_guard lock(shared_->mutex);
    shared_->closing = true;
  }
  shared_->changed.notify_all();
  shared_->worker.join();
}

void BackgroundSha256::Update(const void* data, std::size_t size) {
  if (shared_->inlineHash) {
    shared_->inlineHash->Update(data, size);
    return;
  }
  const char* bytes = static_cast<const char*>(data);
  while (size > 0) {
    std::vector<char>& chunk = shared_->filling;
    if (chunk.capacity() < kChunkBytes) chunk.reserve(kChunkBytes);
    const std::size_t take = std::min(size, kChunkBytes - chunk.size());
    chunk.insert(chunk.end(), bytes, bytes + take);
    bytes += take;
    size -= take;
    if (chunk.size() == kChunkBytes) shared_->Hand();
  }
}

std::string BackgroundSha256::HexDigest() {
  Shared& s = *shared_;
  if (s.inlineHash) return s.inlineHash->HexDigest();
  if (!s.filling.empty()) s.Hand();
  std::unique_lock lock(s.mutex);
  if (!s.closing) {
    s.closing = true;
    s.changed.notify_all();
    s.changed.wait(lock, [&] { return s.done; });
    return s.digest;
  }
  return "";  // asked twice: the hash has ended
}

}  // namespace parone
