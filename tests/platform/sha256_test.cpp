#include <gtest/gtest.h>

#include <string>

#include "platform/sha256.hpp"

namespace parone {
namespace {

// The FIPS 180-2 examples and the empty input.
TEST(Sha256, DigestsTheKnownAnswersWhateverPiecesTheBytesComeIn) {
  struct Case {
    std::string input;
    const char* digest;
  };
  const Case cases[] = {
      {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
       "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
      {std::string(1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
  };
  for (const Case& c : cases) {
    // The upload feeds whatever libcurl's buffer takes at a time, and
    // sometimes nothing at all.
    for (std::size_t piece : {std::size_t{1}, std::size_t{7}, std::size_t{1024}, std::size_t{65536}}) {
      Sha256 hash;
      for (std::size_t at = 0; at < c.input.size(); at += piece) {
        hash.Update(c.input.data() + at, std::min(piece, c.input.size() - at));
        hash.Update(c.input.data(), 0);
      }
      EXPECT_EQ(hash.HexDigest(), c.digest) << c.input.size() << " bytes in pieces of " << piece;
    }
  }
}

TEST(Sha256, AFinishedHashGivesNothingMoreRatherThanAWrongDigest) {
  Sha256 hash;
  hash.Update("abc", 3);
  EXPECT_EQ(hash.HexDigest().size(), 64u);
  hash.Update("d", 1);
  EXPECT_EQ(hash.HexDigest(), "");
}

}  // namespace
}  // namespace parone
