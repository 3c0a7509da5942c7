#include <gtest/gtest.h>

#include <string>

#include "transfer/background_sha256.hpp"

namespace parone {
namespace {

// Digests computed apart from the tool (sha256sum).
TEST(BackgroundSha256, GivesTheSameDigestWhateverPiecesTheBytesComeIn) {
  std::string bytes(3 * 1024 * 1024 + 123, '\0');
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>((i * 7 + i / 1024) & 0xFF);
  const char* digest = "28c70573e15374d5af2096650015b6a6e1b9121c579fac31dba2965fd7810441";
  // Pieces smaller than the worker's chunks, straddling them, and larger.
  for (std::size_t piece : {std::size_t{1000}, std::size_t{65536}, std::size_t{131073},
                            std::size_t{5 * 1024 * 1024}}) {
    BackgroundSha256 hash;
    for (std::size_t at = 0; at < bytes.size(); at += piece) {
      hash.Update(bytes.data() + at, std::min(piece, bytes.size() - at));
    }
    EXPECT_EQ(hash.HexDigest(), digest) << "pieces of " << piece;
  }
}

TEST(BackgroundSha256, NothingFedIsTheEmptyDigestAndAnEndedHashGivesNothingMore) {
  BackgroundSha256 hash;
  EXPECT_EQ(hash.HexDigest(), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(hash.HexDigest(), "");
}

TEST(BackgroundSha256, AHashNeverAskedForEndsWithItsOwner) {
  // An upload that failed halfway drops its hash: the worker must stop.
  BackgroundSha256 hash;
  const std::string bytes(10 * 1024 * 1024, 'x');
  hash.Update(bytes.data(), bytes.size());
}

}  // namespace
}  // namespace parone
