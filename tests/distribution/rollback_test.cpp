#include <gtest/gtest.h>

#include "distribution/history_folder.hpp"
#include "distribution/rollback.hpp"

namespace parone {
namespace {

TEST(HistoryFolder, ANameIsTheBuildAndThePublishedNamesExtensionAndReadsBackAsThatBuild) {
  EXPECT_EQ(HistoryFolderOf("public_html/d", "Tool.Setup.exe"), "public_html/d/.history/Tool.Setup.exe");
  EXPECT_EQ(HistoryFileName("Tool.Setup.exe", "34"), "34.exe");
  EXPECT_EQ(HistoryFileName("설치", "34"), "34");        // no extension
  EXPECT_EQ(HistoryFileName(".profile", "34"), "34");    // a dot in front is no extension
  struct Row {
    const char* name;
    const char* file;
    std::optional<double> build;
  };
  const Row rows[] = {
      {"34.exe", "Tool.Setup.exe", 34},
      {"34", "설치", 34},
      {"34.dll", "Tool.Setup.exe", std::nullopt},               // another extension
      {".exe", "Tool.Setup.exe", std::nullopt},                 // no build
      {"unknown-a1b2c3.exe", "Tool.Setup.exe", std::nullopt},   // kept while the build was unknown
      {"3 4.exe", "Tool.Setup.exe", std::nullopt},
      {"1234567890123456.exe", "Tool.Setup.exe", std::nullopt},  // beyond what a double holds exactly
      {"34.exe.part", "Tool.Setup.exe", std::nullopt},
  };
  for (const Row& row : rows) EXPECT_EQ(HistoryBuildOf(row.name, row.file), row.build) << row.name;
}

HistoryListing Listing(std::optional<double> live, std::vector<double> kept) {
  HistoryListing l;
  l.fileName = "Tool.Setup.exe";
  if (live) {
    l.live.kind = RecordKind::kBuild;
    l.live.build = *live;
  } else {
    l.live.kind = RecordKind::kNoRecord;
  }
  for (double b : kept) l.kept.push_back(KeptBuild{b, "h/" + std::to_string(b), 10});
  return l;
}

TEST(ChooseRollbackTarget, TheDefaultGoesBackAndToPicksAnyKeptBuildButTheLiveOne) {
  struct Row {
    std::optional<double> live;
    std::vector<double> kept;  // highest first, as listed
    std::optional<double> to;
    std::optional<double> chosen;
    long refusal;  // when nothing is chosen
  };
  const Row rows[] = {
      {34, {33, 32}, std::nullopt, 33, 0},
      // After one rollback the replaced build is kept too: the default still goes back.
      {33, {34, 32}, std::nullopt, 32, 0},
      {33, {34}, std::nullopt, std::nullopt, kRollbackNoneOlder},
      {33, {34}, 34, 34, 0},  // forward again only when asked for
      {34, {33, 32}, 32, 32, 0},
      {34, {33, 32}, 31, std::nullopt, kRollbackNotKept},
      {34, {34, 33}, 34, std::nullopt, kRollbackAlreadyLive},
      {34, {}, std::nullopt, std::nullopt, kRollbackNothingKept},
      // No lastver file: what is live has no build to be kept under.
      {std::nullopt, {33}, 33, std::nullopt, kRollbackLiveUnknown},
  };
  for (const Row& row : rows) {
    const auto chosen = ChooseRollbackTarget(Listing(row.live, row.kept), row.to);
    SCOPED_TRACE(row.live.value_or(-1));
    if (row.chosen) {
      ASSERT_TRUE(chosen.ok()) << chosen.error().message;
      EXPECT_EQ(chosen->build, *row.chosen);
    } else {
      ASSERT_FALSE(chosen.ok());
      EXPECT_EQ(chosen.error().stage, Stage::kInput);
      EXPECT_EQ(chosen.error().code, row.refusal);
    }
  }
}

}  // namespace
}  // namespace parone
