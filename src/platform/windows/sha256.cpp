// Windows implementation of the Sha256 interface defined in platform/sha256.hpp (CNG, bcrypt).
#include "platform/windows/win32.hpp"

#include <bcrypt.h>

#include <limits>

#include "common/hex_text.hpp"
#include "platform/sha256.hpp"

namespace parone {
namespace {

bool Succeeded(NTSTATUS status) { return status >= 0; }

struct AlgorithmCloser {
  void operator()(BCRYPT_ALG_HANDLE algorithm) const { ::BCryptCloseAlgorithmProvider(algorithm, 0); }
};
struct HashCloser {
  void operator()(BCRYPT_HASH_HANDLE hash) const { ::BCryptDestroyHash(hash); }
};

}  // namespace

struct Sha256::Impl {
  std::unique_ptr<void, AlgorithmCloser> algorithm;
  std::unique_ptr<void, HashCloser> hash;
  bool failed = false;
};

Sha256::Sha256() : impl_(std::make_unique<Impl>()) {
  BCRYPT_ALG_HANDLE algorithm = nullptr;
  if (!Succeeded(::BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0))) {
    impl_->failed = true;
    return;
  }
  impl_->algorithm.reset(algorithm);
  // The hash object's memory is left to CNG (null buffer), as Windows 7 and
  // later allow.
  BCRYPT_HASH_HANDLE hash = nullptr;
  if (!Succeeded(::BCryptCreateHash(algorithm, &hash, nullptr, 0, nullptr, 0, 0))) {
    impl_->failed = true;
    return;
  }
  impl_->hash.reset(hash);
}

Sha256::~Sha256() = default;

void Sha256::Update(const void* data, std::size_t size) {
  auto* bytes = static_cast<const unsigned char*>(data);
  // BCryptHashData counts in a ULONG (32 bits on Windows).
  while (!impl_->failed && size > 0) {
    const ULONG piece =
        size > std::numeric_limits<ULONG>::max() ? std::numeric_limits<ULONG>::max() : static_cast<ULONG>(size);
    impl_->failed = !Succeeded(
        ::BCryptHashData(impl_->hash.get(), const_cast<PUCHAR>(bytes), piece, 0));
    bytes += piece;
    size -= piece;
  }
}

std::string Sha256::HexDigest() {
  if (impl_->failed) return "";
  unsigned char digest[32];
  impl_->failed = true;  // finished: nothing more may be fed
  if (!Succeeded(::BCryptFinishHash(impl_->hash.get(), digest, sizeof digest, 0))) return "";
  return LowerHex(digest, sizeof digest);
}

}  // namespace parone
