// POSIX implementation of the Sha256 interface defined in platform/sha256.hpp (OpenSSL EVP).
#include <openssl/evp.h>

#include "common/hex_text.hpp"
#include "platform/sha256.hpp"

namespace parone {

struct Sha256::Impl {
  EVP_MD_CTX* context = nullptr;
  bool failed = false;
  ~Impl() { EVP_MD_CTX_free(context); }
};

Sha256::Sha256() : impl_(std::make_unique<Impl>()) {
  impl_->context = EVP_MD_CTX_new();
  impl_->failed =
      impl_->context == nullptr || EVP_DigestInit_ex(impl_->context, EVP_sha256(), nullptr) != 1;
}

Sha256::~Sha256() = default;

void Sha256::Update(const void* data, std::size_t size) {
  if (impl_->failed || size == 0) return;
  impl_->failed = EVP_DigestUpdate(impl_->context, data, size) != 1;
}

std::string Sha256::HexDigest() {
  if (impl_->failed) return "";
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  impl_->failed = true;  // finished: nothing more may be fed
  if (EVP_DigestFinal_ex(impl_->context, digest, &length) != 1 || length != 32) return "";
  return LowerHex(digest, length);
}

}  // namespace parone
