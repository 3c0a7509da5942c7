#pragma once
// Where the FTP password is kept, per host and user, outside the program:
// the platform's own place for secrets. Calls block briefly on the store (a
// file, the system's credential service); none throws. Text is UTF-8.

#include <memory>
#include <string>

namespace parone {

class ProcessFacts;

// What a read found. A store that is there but may not be used (a file
// others can read, a link where the file should be, a service that will not
// answer) is kRefused with the reason, never "nothing stored": the caller
// must not go on as if no password had been set.
struct StoredPassword {
  enum class Status { kFound, kNoneStored, kRefused };
  Status status = Status::kNoneStored;
  std::string password;  // kFound only
  std::string reason;    // kRefused only: what is wrong, naming the store (file and mode, error)

  bool found() const { return status == Status::kFound; }
};

class CredentialStore {
 public:
  virtual ~CredentialStore() = default;
  virtual StoredPassword Read(const std::string& host, const std::string& user) = 0;
  // Stores the password for the user on the host, replacing the one stored
  // before. False when it could not be stored, also when the store is
  // refused (Read says why) so that what else it holds is never lost.
  virtual bool Write(const std::string& host, const std::string& user,
                     const std::string& password) = 0;
  // True when no password is stored for the user on the host afterwards,
  // also when there was none; false as Write.
  virtual bool Erase(const std::string& host, const std::string& user) = 0;
};

// The platform's own store (the build picks the file):
// - Linux: the file `credentials` in the per-user folder beside the
//   settings (ProcessFacts::UserDataFolder), one line per host and user,
//   readable by the user alone (mode 0600), as ssh wants a private key; any
//   other file there is refused. With no such folder every read is refused.
// - Windows: the Credential Manager, one generic credential per host and
//   user named "파로네_배포:USER@HOST", kept on this machine for this user.
// `facts` is read here only.
std::unique_ptr<CredentialStore> MakeNativeCredentialStore(const ProcessFacts& facts);

}  // namespace parone
