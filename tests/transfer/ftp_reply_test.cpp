#include <gtest/gtest.h>

#include "transfer/ftp_reply.hpp"

namespace parone {
namespace {

TEST(FtpReply, ASizeReplyIsReadOnlyWhenItIsA213WithAPlainNumber) {
  struct Row {
    const char* line;
    std::optional<std::uint64_t> size;
  };
  const Row rows[] = {
      {"213 1234", 1234},
      {"213 1234\r\n", 1234},                    // line end left on
      {"213 0", 0},                              // an empty file
      {"213 40000000000", 40'000'000'000ULL},    // beyond 32 bits
      {"213 ", std::nullopt},                    // no number
      {"213 12a4", std::nullopt},                // not a plain number
      {"213 -5", std::nullopt},
      {"213 99999999999999999999", std::nullopt},  // would overflow
      {"550 No such file.", std::nullopt},
      {"502 Command not implemented.", std::nullopt},
      {"2131234", std::nullopt},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(ParseSizeReply(row.line), row.size) << row.line;
  }
}

TEST(FtpReply, TheListedSizeOfOneNameIsFoundInTheListingStylesServersUse) {
  struct Row {
    const char* listing;
    const char* name;
    std::optional<std::uint64_t> size;
  };
  const Row rows[] = {
      // pyftpdlib and most Unix servers
      {"-rw-r--r--   1 owner    group       100000 Jan 31 10:00 .a1b2.part\r\n", ".a1b2.part", 100000},
      // no group column
      {"-rw-r--r-- 1 ftp 42 Dec  1  2023 x.exe\r\n", "x.exe", 42},
      // an owner called "jan" does not look like a date
      {"-rw-r--r-- 1 jan staff 77 Feb 02 09:15 x.exe\r\n", "x.exe", 77},
      // the server echoes the path it was given
      {"-rw-r--r-- 1 o g 9 Mar 03 2024 public_html/d/x.exe\r\n", "x.exe", 9},
      // a name with blanks in it
      {"-rw-r--r-- 1 o g 15 Apr 04 11:11 my tool.exe\r\n", "my tool.exe", 15},
      // IIS and other DOS-style listings
      {"01-31-24  10:00AM                 1234 x.exe\r\n", "x.exe", 1234},
      {"01-31-2024  10:00AM               5 x.exe\r\n", "x.exe", 5},
      // an empty file
      {"-rw-r--r-- 1 o g 0 May 05 12:00 x.exe\n", "x.exe", 0},
      // folders and links are not the file
      {"drwxr-xr-x 2 o g 4096 Jun 06 10:00 x.exe\r\n", "x.exe", std::nullopt},
      {"lrwxrwxrwx 1 o g 7 Jul 07 10:00 x.exe -> y.exe\r\n", "x.exe", std::nullopt},
      {"01-31-24  10:00AM       <DIR>          x.exe\r\n", "x.exe", std::nullopt},
      // another name only, or one that merely ends like ours
      {"-rw-r--r-- 1 o g 12 Aug 08 10:00 y.exe\r\n", "x.exe", std::nullopt},
      {"-rw-r--r-- 1 o g 12 Aug 08 10:00 ax.exe\r\n", "x.exe", std::nullopt},
      // nothing listed, or text that is no listing
      {"", "x.exe", std::nullopt},
      {"x.exe\r\n", "x.exe", std::nullopt},
      {"total 8\r\n-rw-r--r-- 1 o g 3 Sep 09 10:00 x.exe\r\n", "x.exe", 3},
      // the same name twice leaves the size in doubt
      {"-rw-r--r-- 1 o g 3 Sep 09 10:00 x.exe\r\n-rw-r--r-- 1 o g 4 Sep 09 10:00 x.exe\r\n", "x.exe",
       std::nullopt},
      // a month name the parser does not know (a localised listing)
      {"-rw-r--r-- 1 o g 3 9월 09 10:00 x.exe\r\n", "x.exe", std::nullopt},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(ParseListedSize(row.listing, row.name), row.size) << row.listing;
  }
}

}  // namespace
}  // namespace parone
