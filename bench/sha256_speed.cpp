// How fast the platform's SHA-256 (the one every publish runs over the bytes
// it sends) hashes by itself: 256 MiB from memory in the pieces an upload
// hands over. The publish benchmarks print it beside their throughputs, since
// on a fast link the hash, not the transfer, can set the pace.
//   sha256_speed [MIB]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "platform/sha256.hpp"

int main(int argc, char** argv) {
  const long mib = argc > 1 ? std::atol(argv[1]) : 256;
  if (mib <= 0) {
    std::fprintf(stderr, "usage: sha256_speed [MIB]\n");
    return 2;
  }
  std::vector<unsigned char> piece(128 * 1024);
  for (std::size_t i = 0; i < piece.size(); ++i) piece[i] = static_cast<unsigned char>(i * 131 + 7);
  parone::Sha256 hash;
  const auto start = std::chrono::steady_clock::now();
  for (long i = 0; i < mib * 8; ++i) hash.Update(piece.data(), piece.size());
  const bool ok = !hash.HexDigest().empty();
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (!ok) {
    std::fprintf(stderr, "the crypto library failed\n");
    return 1;
  }
  std::printf("%ld MiB in %.3f s: %.0f MiB/s\n", mib, seconds, static_cast<double>(mib) / seconds);
  return 0;
}
