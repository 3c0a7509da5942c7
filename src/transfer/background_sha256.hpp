#pragma once
// SHA-256 of bytes handed over in pieces, computed on a worker thread of its
// own, so that hashing what an upload sends overlaps with sending it
// instead of slowing the transfer. Update copies the bytes and returns at
// once, unless the worker is several chunks behind: it then waits, so
// memory stays bounded (a few MiB). One producer thread; not copyable.
// Where the system will not start a thread, the bytes are hashed in Update
// instead; nothing is thrown.

#include <cstddef>
#include <memory>
#include <string>

namespace parone {

class BackgroundSha256 {
 public:
  BackgroundSha256();
  // Stops the worker; a digest not asked for is dropped.
  ~BackgroundSha256();
  BackgroundSha256(const BackgroundSha256&) = delete;
  BackgroundSha256& operator=(const BackgroundSha256&) = delete;

  void Update(const void* data, std::size_t size);
  // Waits for the worker to hash everything handed over and returns the
  // digest in lowercase hex, or "" when the crypto library failed. Ends the
  // hash, as Sha256::HexDigest does.
  std::string HexDigest();

 private:
  struct Shared;
  std::unique_ptr<Shared> shared_;
};

}  // namespace parone
