// Windows implementation of the CredentialStore interface defined in platform/credential_store.hpp.
//
// One generic credential per host and user in the Credential Manager,
// named "파로네_배포:USER@HOST" (a host name holds no '@', so no two pairs
// share a name), with the user in UserName and the password's UTF-8 bytes
// as its blob. Kept on this machine for this user (CRED_PERSIST_LOCAL_MACHINE):
// a roaming profile does not carry it to other machines.
#include "platform/windows/win32.hpp"

#include <wincred.h>

#include <vector>

#include "platform/credential_store.hpp"

namespace parone {
namespace {

struct CredFreer {
  void operator()(CREDENTIALW* credential) const { ::CredFree(credential); }
};
using UniqueCredential = std::unique_ptr<CREDENTIALW, CredFreer>;

// The password's bytes on their way to the system, wiped once it has them.
class SecretBytes {
 public:
  explicit SecretBytes(const std::string& text) : bytes_(text.begin(), text.end()) {}
  ~SecretBytes() {
    if (!bytes_.empty()) ::SecureZeroMemory(bytes_.data(), bytes_.size());
  }
  SecretBytes(const SecretBytes&) = delete;
  SecretBytes& operator=(const SecretBytes&) = delete;
  BYTE* data() { return bytes_.empty() ? nullptr : bytes_.data(); }
  DWORD size() const { return static_cast<DWORD>(bytes_.size()); }

 private:
  std::vector<BYTE> bytes_;
};

std::string TargetText(const std::string& host, const std::string& user) {
  return "파로네_배포:" + user + "@" + host;
}

class CredentialManagerStore final : public CredentialStore {
 public:
  StoredPassword Read(const std::string& host, const std::string& user) override {
    StoredPassword result;
    const std::string target = TargetText(host, user);
    CREDENTIALW* found = nullptr;
    if (!::CredReadW(win32::Wide(target).c_str(), CRED_TYPE_GENERIC, 0, &found)) {
      const DWORD error = ::GetLastError();
      if (error == ERROR_NOT_FOUND) return result;
      // ERROR_NO_SUCH_LOGON_SESSION, say: an account without a profile has
      // nowhere to keep credentials, which is no "nothing stored".
      result.status = StoredPassword::Status::kRefused;
      result.reason = "the Credential Manager will not read " + target + ": " + win32::ErrorText(error);
      return result;
    }
    const UniqueCredential credential(found);
    const std::string storedUser =
        credential->UserName ? win32::Narrow(credential->UserName) : std::string();
    if (storedUser != user) {
      // Written by something else under our name: not a password for this user.
      result.status = StoredPassword::Status::kRefused;
      result.reason = "the credential " + target + " names the user \"" + storedUser + "\"";
      return result;
    }
    result.status = StoredPassword::Status::kFound;
    result.password.assign(reinterpret_cast<const char*>(credential->CredentialBlob),
                           credential->CredentialBlobSize);
    return result;
  }

  bool Write(const std::string& host, const std::string& user,
             const std::string& password) override {
    if (host.empty() || user.empty()) return false;
    if (password.size() > CRED_MAX_CREDENTIAL_BLOB_SIZE) return false;
    std::wstring target = win32::Wide(TargetText(host, user));
    std::wstring userName = win32::Wide(user);
    SecretBytes blob(password);
    CREDENTIALW credential{};
    credential.Type = CRED_TYPE_GENERIC;
    credential.TargetName = target.data();
    credential.UserName = userName.data();
    credential.CredentialBlob = blob.data();
    credential.CredentialBlobSize = blob.size();
    credential.Persist = CRED_PERSIST_LOCAL_MACHINE;
    return ::CredWriteW(&credential, 0) != 0;
  }

  bool Erase(const std::string& host, const std::string& user) override {
    if (::CredDeleteW(win32::Wide(TargetText(host, user)).c_str(), CRED_TYPE_GENERIC, 0)) {
      return true;
    }
    return ::GetLastError() == ERROR_NOT_FOUND;
  }
};

}  // namespace

std::unique_ptr<CredentialStore> MakeNativeCredentialStore(const ProcessFacts&) {
  return std::make_unique<CredentialManagerStore>();
}

}  // namespace parone
