#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <thread>
#include <vector>

#include "platform/file_system.hpp"
#include "test_dir.hpp"

namespace parone {
namespace {

namespace fs = std::filesystem;

std::string Utf8(const fs::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

class NativeFileSystemTest : public ::testing::Test {
 protected:
  void SetUp() override { dir_ = testing::FreshTestDir("parone_nativefs"); }
  void TearDown() override { fs::remove_all(dir_); }
  std::string At(const std::string& utf8Name) const {
    return Utf8(dir_ / fs::path(std::u8string(utf8Name.begin(), utf8Name.end())));
  }
  fs::path dir_;
  NativeFileSystem files;
};

TEST_F(NativeFileSystemTest, KoreanNamesAreWrittenSizedReadAndFoldersCreatedWithTheirParents) {
  const std::string folder = At("빌드/출력/자동업데이트_v1");
  ASSERT_TRUE(files.CreateFolders(folder));
  EXPECT_TRUE(files.FolderExists(folder));
  EXPECT_TRUE(files.CreateFolders(folder));  // already there is fine
  const std::string file = folder + "/파로네.exe";
  ASSERT_TRUE(files.WriteFile(file, std::string("MZ\0\x01", 4)));
  EXPECT_TRUE(files.FileExists(file));
  EXPECT_EQ(files.FileSize(file), 4u);
  EXPECT_EQ(files.ReadWholeFile(file), std::string("MZ\0\x01", 4));
  EXPECT_FALSE(files.FileSize(folder).has_value());  // a folder has no file size
  EXPECT_FALSE(files.FileSize(folder + "/missing.exe").has_value());
}

// A folder where a file is expected (a journal's name taken by a folder)
// is a failure to report, never an exception.
TEST_F(NativeFileSystemTest, AFolderOrAMissingNameIsNoFileToReadOrAppendTo) {
  const std::string folder = At("journal.jsonl");
  ASSERT_TRUE(files.CreateFolders(folder));
  for (const std::string& path : {folder, At("missing.jsonl")}) {
    EXPECT_EQ(files.ReadWholeFile(path), std::nullopt) << path;
    EXPECT_EQ(files.OpenForReading(path), nullptr) << path;
  }
  EXPECT_FALSE(files.AppendToFile(folder, "{}\n"));
  EXPECT_TRUE(files.FolderExists(folder));
}

TEST_F(NativeFileSystemTest, AnAtomicWriteReplacesTheWholeContentAndLeavesNoTemporaryFile) {
  const std::string file = At("app_lastver.txt");
  ASSERT_TRUE(files.WriteFile(file, "12345678901234567890\r\n"));
  ASSERT_TRUE(files.WriteFileAtomically(file, "33\r\n"));
  EXPECT_EQ(files.ReadWholeFile(file), "33\r\n");
  std::size_t entries = 0;
  for ([[maybe_unused]] const auto& e : fs::directory_iterator(dir_)) ++entries;
  EXPECT_EQ(entries, 1u);
  EXPECT_FALSE(files.WriteFileAtomically(At("no such folder/x.txt"), "1\r\n"));
}

TEST_F(NativeFileSystemTest, AnAtomicWriteWorksForANameNearTheLengthLimit) {
  // 248 bytes, a lastver name for a 240-byte program name; NAME_MAX is 255.
  const std::string file = At(std::string(236, 'n') + "_lastver.txt");
  ASSERT_TRUE(files.WriteFileAtomically(file, "33\r\n"));
  EXPECT_EQ(files.ReadWholeFile(file), "33\r\n");
}

TEST_F(NativeFileSystemTest, AppendsFromManyThreadsAtOnceLeaveEveryLineWholeAndReadersReadOn) {
  const std::string journal = At("journal.jsonl");
  constexpr int kThreads = 8;
  constexpr int kLines = 200;
  std::atomic<int> failedAppends{0};
  std::atomic<bool> done{false};
  std::vector<std::thread> writers;
  for (int t = 0; t < kThreads; ++t) {
    writers.emplace_back([&, t] {
      for (int i = 0; i < kLines; ++i) {
        // Lines longer than a typical stream buffer, so a split write would show.
        if (!files.AppendToFile(journal, "{\"t\":" + std::to_string(t) + ",\"i\":" +
                                             std::to_string(i) + ",\"pad\":\"" +
                                             std::string(5000, 'x') + "\"}\n")) {
          ++failedAppends;
        }
      }
    });
  }
  // The history reads the journal while publishes append to it: the
  // appenders' taking turns must not turn a reader away.
  int reads = 0;
  int failedReads = 0;
  std::thread reader([&] {
    while (!done) {
      if (!files.FileExists(journal)) continue;
      ++reads;
      if (!files.ReadWholeFile(journal)) ++failedReads;
    }
  });
  for (auto& w : writers) w.join();
  done = true;
  reader.join();
  EXPECT_EQ(failedAppends, 0);
  EXPECT_GT(reads, 0);
  EXPECT_EQ(failedReads, 0) << "of " << reads;
  std::istringstream in(files.ReadWholeFile(journal).value_or(""));
  std::set<std::string> seen;
  std::string line;
  while (std::getline(in, line)) {
    ASSERT_TRUE(line.ends_with(std::string(5000, 'x') + "\"}")) << line.substr(0, 40);
    seen.insert(line.substr(0, line.find(",\"pad\"")));
  }
  EXPECT_EQ(seen.size(), static_cast<std::size_t>(kThreads * kLines));
}

TEST_F(NativeFileSystemTest, ARelativePathIsMadeAbsoluteAgainstTheCurrentFolder) {
  const fs::path before = fs::current_path();
  fs::current_path(dir_);
  const std::string absolute = files.AbsolutePath("app.exe");
  const std::string again = files.AbsolutePath(absolute);
  fs::current_path(before);
  EXPECT_EQ(fs::path(std::u8string(absolute.begin(), absolute.end())), dir_ / "app.exe");
  EXPECT_EQ(again, absolute);
}

}  // namespace
}  // namespace parone
