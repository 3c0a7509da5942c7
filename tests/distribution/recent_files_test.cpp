#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "common/system_config.hpp"
#include "distribution/recent_files.hpp"
#include "platform/fakes/memory_settings_store.hpp"

namespace parone {
namespace {

using Keys = std::map<std::string, std::string>;

constexpr const char* kSection = "RecentFiles";

MemorySettingsStore StoreWith(const Keys& keys) {
  MemorySettingsStore store;
  for (const auto& [key, value] : keys) store.Set(kAppTitle, kSection, key, value);
  return store;
}

struct AddCase {
  const char* what;
  Keys before;
  const char* entry;
  Keys after;
};

TEST(AddRecentFile, PutsTheEntryFirstAndMovesOnlyWhatIsAboveAnEarlierCopy) {
  const AddCase cases[] = {
      {"empty store", {}, "X", {{"1", "X"}}},
      {"no earlier copy: the list grows by one",
       {{"1", "A"}, {"2", "B"}}, "X", {{"1", "X"}, {"2", "A"}, {"3", "B"}}},
      {"earlier copy at 3: D below it keeps key 4",
       {{"1", "A"}, {"2", "B"}, {"3", "X"}, {"4", "D"}}, "X",
       {{"1", "X"}, {"2", "A"}, {"3", "B"}, {"4", "D"}}},
      {"empty key 3 ends the list; D after the gap is untouched",
       {{"1", "A"}, {"2", "B"}, {"3", ""}, {"4", "D"}}, "X",
       {{"1", "X"}, {"2", "A"}, {"3", "B"}, {"4", "D"}}},
      {"missing key 3 ends the list as well",
       {{"1", "A"}, {"2", "B"}, {"4", "D"}}, "X",
       {{"1", "X"}, {"2", "A"}, {"3", "B"}, {"4", "D"}}},
      {"a copy after the gap is not an earlier copy",
       {{"1", "A"}, {"3", "X"}}, "X", {{"1", "X"}, {"2", "A"}, {"3", "X"}}},
      {"entries differing only in case are both kept",
       {{"1", "C:\\out\\a.exe"}, {"2", "B"}}, "C:\\OUT\\A.EXE",
       {{"1", "C:\\OUT\\A.EXE"}, {"2", "C:\\out\\a.exe"}, {"3", "B"}}},
      {"copy lower down, differing in case under 1",
       {{"1", "x"}, {"2", "X"}, {"3", "Y"}}, "X", {{"1", "X"}, {"2", "x"}, {"3", "Y"}}},
      {"keys past 9 are decimal",
       {{"1", "a"}, {"2", "b"}, {"3", "c"}, {"4", "d"}, {"5", "e"}, {"6", "f"}, {"7", "g"},
        {"8", "h"}, {"9", "i"}, {"10", "j"}}, "배포.exe",
       {{"1", "배포.exe"}, {"2", "a"}, {"3", "b"}, {"4", "c"}, {"5", "d"}, {"6", "e"},
        {"7", "f"}, {"8", "g"}, {"9", "h"}, {"10", "i"}, {"11", "j"}}},
  };
  for (const auto& c : cases) {
    MemorySettingsStore store = StoreWith(c.before);
    AddRecentFile(store, c.entry);
    EXPECT_EQ(store.Section(kAppTitle, kSection), c.after) << c.what;
  }
}

TEST(AddRecentFile, AnEntryAlreadyFirstWritesNothing) {
  MemorySettingsStore store = StoreWith({{"1", "X"}, {"2", "A"}});
  AddRecentFile(store, "X");
  EXPECT_TRUE(store.writes().empty());
}

TEST(AddRecentFile, WritesFromTheTopDownThenTheNewEntryAndNothingBelowTheCopy) {
  MemorySettingsStore store = StoreWith({{"1", "A"}, {"2", "B"}, {"3", "X"}, {"4", "D"}});
  AddRecentFile(store, "X");
  const std::vector<SettingWrite> expected = {
      {kAppTitle, kSection, "2", "A"}, {kAppTitle, kSection, "3", "B"}, {kAppTitle, kSection, "1", "X"}};
  EXPECT_EQ(store.writes(), expected);
}

TEST(AddRecentFile, RepeatedAddsKeepEachFileOnceNewestFirst) {
  MemorySettingsStore store;
  for (const char* entry : {"A", "B", "C", "B", "A", "A"}) AddRecentFile(store, entry);
  EXPECT_EQ(ReadRecentFiles(store), (std::vector<std::string>{"A", "B", "C"}));
}

TEST(RecentFilesLimit, AListLongerThanTheLimitIsReadAndShiftedOnlyUpToTheLimit) {
  MemorySettingsStore store;
  for (int n = 1; n <= kRecentFilesKeyLimit + 5; ++n) {
    store.Set(kAppTitle, kSection, std::to_string(n), "file" + std::to_string(n));
  }
  AddRecentFile(store, "new");
  EXPECT_EQ(store.writes().size(), static_cast<std::size_t>(kRecentFilesKeyLimit));  // 2..limit, 1
  EXPECT_EQ(store.writes().back(), (SettingWrite{kAppTitle, kSection, "1", "new"}));
  EXPECT_EQ(store.Value(kAppTitle, kSection, std::to_string(kRecentFilesKeyLimit + 1)),
            "file" + std::to_string(kRecentFilesKeyLimit + 1));  // past the limit: untouched
  EXPECT_EQ(ReadRecentFiles(store).size(), static_cast<std::size_t>(kRecentFilesKeyLimit));
}

// One publish must cost the same with a long list as with a short one: the
// list is read once and written back in one save, not once per entry.
TEST(RecentFilesCost, AddingToTenThousandEntriesReadsTheStoreOnceAndSavesItOnce) {
  MemorySettingsStore store;
  for (int n = 1; n <= 10000; ++n) {
    store.Set(kAppTitle, kSection, std::to_string(n), "C:\\out\\f" + std::to_string(n) + ".exe");
  }
  AddRecentFile(store, "C:\\out\\new.exe");
  EXPECT_EQ(store.reads(), 1u);
  EXPECT_EQ(store.saves(), 1u);
  EXPECT_EQ(store.writes().size(), 10001u);
  EXPECT_EQ(store.Value(kAppTitle, kSection, "10001"), "C:\\out\\f10000.exe");
  store.ClearWrites();
  EXPECT_EQ(ReadRecentFiles(store).size(), 10001u);
  EXPECT_EQ(store.reads(), 1u);
}

struct ReadCase {
  const char* what;
  Keys keys;
  std::vector<std::string> entries;
};

TEST(ReadRecentFiles, ReadsFromOneUpToTheFirstGap) {
  const ReadCase cases[] = {
      {"empty store", {}, {}},
      {"empty key 3", {{"1", "A"}, {"2", "B"}, {"3", ""}, {"4", "D"}}, {"A", "B"}},
      {"missing key 3", {{"1", "A"}, {"2", "B"}, {"4", "D"}}, {"A", "B"}},
      {"nothing under 1", {{"2", "B"}}, {}},
      {"Korean paths", {{"1", "C:\\빌드\\파로네.exe"}, {"2", "b"}}, {"C:\\빌드\\파로네.exe", "b"}},
  };
  for (const auto& c : cases) {
    MemorySettingsStore store = StoreWith(c.keys);
    EXPECT_EQ(ReadRecentFiles(store), c.entries) << c.what;
  }
}

}  // namespace
}  // namespace parone
