#pragma once
// SHA-256 of bytes fed in pieces, by the platform's crypto library (OpenSSL's
// EVP on Linux, CNG on Windows; the build picks the file). Not thread-safe;
// one owner at a time. Never throws: a library that fails to start or to
// take a piece leaves the hash unusable, and HexDigest then says so.

#include <cstddef>
#include <memory>
#include <string>

namespace parone {

class Sha256 {
 public:
  Sha256();
  ~Sha256();
  Sha256(const Sha256&) = delete;
  Sha256& operator=(const Sha256&) = delete;

  void Update(const void* data, std::size_t size);
  // The digest of everything fed so far in 64 lowercase hex digits, or ""
  // when the library failed at any point. Ends the hash: a later Update or
  // HexDigest gives "".
  std::string HexDigest();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace parone
