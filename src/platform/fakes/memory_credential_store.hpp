#pragma once
// In-memory implementation of the CredentialStore interface defined in
// platform/credential_store.hpp, for tests. It never touches the disk or the
// system's credential store and never blocks. It fails only when told:
// Refuse(reason) makes every Read refused with that reason and every Write
// and Erase fail, as a store that may not be used. Every call is recorded
// in order, so a test can check what was read, written and erased, and
// that nothing was. Set pre-fills without recording. Not thread-safe.

#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/credential_store.hpp"

namespace parone {

class MemoryCredentialStore final : public CredentialStore {
 public:
  enum class Call { kRead, kWrite, kErase };
  struct Record {
    Call call;
    std::string host;
    std::string user;
    std::string password;  // kWrite only
    bool operator==(const Record&) const = default;
  };

  StoredPassword Read(const std::string& host, const std::string& user) override {
    calls_.push_back({Call::kRead, host, user, ""});
    StoredPassword result;
    if (refusal_) {
      result.status = StoredPassword::Status::kRefused;
      result.reason = *refusal_;
    } else if (const auto found = passwords_.find({host, user}); found != passwords_.end()) {
      result.status = StoredPassword::Status::kFound;
      result.password = found->second;
    }
    return result;
  }
  bool Write(const std::string& host, const std::string& user,
             const std::string& password) override {
    calls_.push_back({Call::kWrite, host, user, password});
    if (refusal_) return false;
    passwords_[{host, user}] = password;
    return true;
  }
  bool Erase(const std::string& host, const std::string& user) override {
    calls_.push_back({Call::kErase, host, user, ""});
    if (refusal_) return false;
    passwords_.erase({host, user});
    return true;
  }

  void Set(const std::string& host, const std::string& user, const std::string& password) {
    passwords_[{host, user}] = password;
  }
  void Refuse(std::string reason) { refusal_ = std::move(reason); }
  std::optional<std::string> Stored(const std::string& host, const std::string& user) const {
    const auto found = passwords_.find({host, user});
    if (found == passwords_.end()) return std::nullopt;
    return found->second;
  }
  const std::vector<Record>& calls() const { return calls_; }

 private:
  std::map<std::pair<std::string, std::string>, std::string> passwords_;
  std::optional<std::string> refusal_;
  std::vector<Record> calls_;
};

}  // namespace parone
