#include <gtest/gtest.h>

#include <functional>
#include <optional>

#include "common/tick_state.hpp"
#include "distribution/distribution_run.hpp"
#include "platform/fakes/fixed_process_facts.hpp"
#include "platform/fakes/memory_file_system.hpp"
#include "platform/fakes/recording_message_boxes.hpp"
#include "recording_view.hpp"

namespace parone {
namespace {

// Records the order of the steps; outcomes scripted per path.
class RecordingSteps final : public DistributionSteps {
 public:
  bool CheckServerVersion(const std::string& path, ServerVersion& found) override {
    calls.push_back("check " + path);
    found.versionRead = true;
    found.localBuild = "33";
    found.local = 33;
    found.server = older == path ? 34 : 32;
    return !declined || *declined != path;
  }
  UploadOutcome ProcUpload(const std::string& path, bool runUpx, DistributionView& view) override {
    calls.push_back(std::string(runUpx ? "upload " : "upload(no upx) ") + path);
    if (duringUpload) duringUpload(view);
    UploadOutcome outcome{true, failing != path};
    outcome.build = "33";
    outcome.size = 1000;
    outcome.sha256 = std::string(64, 'a');
    if (outcome.published) {
      outcome.web = WebConfirmation{};
      outcome.web->expectedLastVer = "33\r\n";
      outcome.web->lastVer = {{200, ""}, "33\r\n"};
      outcome.web->expectedSize = 1000;
      // The web shows an old copy of the unconfirmed one.
      outcome.web->size = {{200, ""}, unconfirmed == path ? 900u : 1000u, false};
    }
    // As the per-file upload does: no closing over a warning.
    if (outcome.published && !outcome.Unconfirmed() && IsTicked(view.chkSuccUnload())) view.Unload();
    return outcome;
  }
  std::vector<std::string> calls;
  std::optional<std::string> declined;
  std::string failing;
  std::string unconfirmed;
  std::string older;  // the server records a greater build for it
  bool signingFails = false;
  std::function<void(DistributionView&)> duringUpload;
};

class RecordingSigning final : public CodeSigningHandOff {
 public:
  RecordingSigning(std::vector<std::string>& calls, bool result) : calls_(calls), result_(result) {}
  bool CodeSigning(const std::vector<std::string>& paths) override {
    std::string joined;
    for (const auto& p : paths) joined += "[" + p + "]";
    calls_.push_back("sign " + joined);
    return result_;
  }
  std::vector<std::string> DroppedPaths() const override { return dropped; }
  std::vector<std::string> dropped;

 private:
  std::vector<std::string>& calls_;
  bool result_;
};

class DistributionRunTest : public ::testing::Test {
 protected:
  RunOutcome Run(const std::string& selection, int signingTick = 0, bool signingResult = true,
                 bool withSigning = true, std::vector<std::string> droppedBySigning = {}) {
    view.selection = selection;
    view.codeSigning = signingTick;
    RecordingSigning signing(steps.calls, signingResult);
    signing.dropped = std::move(droppedBySigning);
    DistributionRun run(view, boxes, steps, withSigning ? &signing : nullptr, journal);
    return run.Run();
  }
  // The journal's lines, parsed.
  std::vector<JournalEntry> Journal() {
    std::vector<JournalEntry> entries;
    const auto text = journalFiles.ReadWholeFile("/data/journal.jsonl");
    std::size_t start = 0;
    while (text && start < text->size()) {
      const auto end = text->find('\n', start);
      entries.push_back(ParseJournalLine(text->substr(start, end - start)).value());
      start = end + 1;
    }
    return entries;
  }
  RecordingView view;
  MemoryFileSystem journalFiles;
  FixedProcessFacts facts{"/tool"};
  PublishJournal* journal = nullptr;
  RecordingMessageBoxes boxes;
  RecordingSteps steps;
};

TEST_F(DistributionRunTest, PassesRunStrictlyOneAfterTheOther) {
  const RunOutcome outcome = Run("A;B", 1);
  EXPECT_EQ(steps.calls, (std::vector<std::string>{"check A", "check B", "sign [A][B]",
                                                   "upload(no upx) A", "upload(no upx) B"}));
  EXPECT_EQ(outcome.status, RunStatus::kCompleted);
  EXPECT_TRUE(outcome.AllPublished());
}

TEST_F(DistributionRunTest, OnlyAnExactTickSigns) {
  for (int tick : {0, 2, -1}) {
    steps.calls.clear();
    Run("A", tick);
    EXPECT_EQ(steps.calls, (std::vector<std::string>{"check A", "upload A"})) << tick;
  }
}

TEST_F(DistributionRunTest, ARefusalOrAFailedHandOffEndsTheRunBeforeAnyUpload) {
  steps.declined = "B";
  EXPECT_EQ(Run("A;B;C", 1).status, RunStatus::kDeclined);
  EXPECT_EQ(steps.calls, (std::vector<std::string>{"check A", "check B"}));

  steps = RecordingSteps();
  EXPECT_EQ(Run("A;B", 1, false).status, RunStatus::kSigningFailed);
  EXPECT_EQ(steps.calls, (std::vector<std::string>{"check A", "check B", "sign [A][B]"}));
  EXPECT_TRUE(boxes.shown().empty());
}

TEST_F(DistributionRunTest, AFileTheHandOffDroppedFailsAloneAndTheOthersAreUploaded) {
  const RunOutcome outcome = Run("A;B;C;B", 1, true, true, {"B"});
  EXPECT_EQ(steps.calls, (std::vector<std::string>{"check A", "check B", "check C", "check B",
                                                   "sign [A][B][C][B]", "upload(no upx) A",
                                                   "upload(no upx) C"}));
  EXPECT_EQ(outcome.status, RunStatus::kCompleted);
  ASSERT_EQ(outcome.uploads.size(), 4u);
  EXPECT_TRUE(outcome.uploads[0].published);
  EXPECT_FALSE(outcome.uploads[1].published);
  EXPECT_TRUE(outcome.uploads[2].published);
  EXPECT_FALSE(outcome.AllPublished());
  ASSERT_EQ(boxes.shown().size(), 2u);  // once per dropped entry, as for a failed upload
  EXPECT_EQ(boxes.shown()[0].text, "배포 실패!!");
  EXPECT_EQ(boxes.shown()[0].style, kStyleOkOnly);
}

TEST_F(DistributionRunTest, ATickedSigningOptionWithoutAHandOffSaysSoAndUploadsNothing) {
  EXPECT_EQ(Run("A", 1, true, false).status, RunStatus::kSigningFailed);
  EXPECT_EQ(steps.calls, std::vector<std::string>{"check A"});
  ASSERT_EQ(boxes.shown().size(), 1u);
  EXPECT_EQ(boxes.shown()[0].style, kStyleWarning);
}

TEST_F(DistributionRunTest, AFailedUploadDoesNotStopTheNext) {
  steps.failing = "A";
  const RunOutcome outcome = Run("A;B");
  EXPECT_EQ(steps.calls, (std::vector<std::string>{"check A", "check B", "upload A", "upload B"}));
  EXPECT_FALSE(outcome.AllPublished());
  ASSERT_EQ(outcome.uploads.size(), 2u);
  EXPECT_FALSE(outcome.uploads[0].published);
  EXPECT_TRUE(outcome.uploads[1].published);
}

TEST_F(DistributionRunTest, EmptyEntriesTakePartInNoPass) {
  struct Case {
    const char* selection;
    std::vector<std::string> entries;
  };
  const Case cases[] = {
      {"A;", {"A"}},             // a trailing ";"
      {"A;;B", {"A", "B"}},      // a doubled ";"
      {";A;;;B;;", {"A", "B"}},  // leading and repeated
      {" ;A", {" ", "A"}},       // blanks are a name, not an empty entry
  };
  for (const Case& c : cases) {
    steps = RecordingSteps();
    const RunOutcome outcome = Run(c.selection, 1);
    EXPECT_EQ(outcome.entries, c.entries) << c.selection;
    std::vector<std::string> expected;
    std::string signedList = "sign ";
    for (const auto& e : c.entries) {
      expected.push_back("check " + e);
      signedList += "[" + e + "]";
    }
    expected.push_back(signedList);
    for (const auto& e : c.entries) expected.push_back("upload(no upx) " + e);
    EXPECT_EQ(steps.calls, expected) << c.selection;
    EXPECT_TRUE(outcome.AllPublished()) << c.selection;
  }
}

TEST_F(DistributionRunTest, ASelectionOfNothingButSeparatorsIsRefusedLikeAnEmptyOne) {
  for (const char* selection : {";", ";;"}) {
    boxes.Clear();
    EXPECT_EQ(Run(selection).status, RunStatus::kEmptySelection) << selection;
    ASSERT_EQ(boxes.shown().size(), 1u);
    EXPECT_EQ(boxes.shown()[0].text, "보낼파일을 선택하세요.");
  }
  EXPECT_EQ(view.focusCalls, 2);
  EXPECT_TRUE(steps.calls.empty());
}

TEST_F(DistributionRunTest, AnEmptySelectionAsksForAFileAndFocusesTheList) {
  EXPECT_EQ(Run("").status, RunStatus::kEmptySelection);
  ASSERT_EQ(boxes.shown().size(), 1u);
  EXPECT_EQ(boxes.shown()[0].text, "보낼파일을 선택하세요.");
  EXPECT_EQ(boxes.shown()[0].style, kStyleOkOnly);
  EXPECT_EQ(view.focusCalls, 1);
  EXPECT_TRUE(steps.calls.empty());
  // Blanks are a selection of one entry.
  EXPECT_EQ(Run(" ").entries, std::vector<std::string>{" "});
}

TEST_F(DistributionRunTest, ANestedStartDoesNothing) {
  view.selection = "A;B";
  DistributionRun run(view, boxes, steps, nullptr);
  RunOutcome nested;
  steps.duringUpload = [&](DistributionView&) {
    if (nested.entries.empty() && nested.status != RunStatus::kAlreadyRunning) nested = run.Run();
  };
  const RunOutcome outer = run.Run();
  EXPECT_EQ(nested.status, RunStatus::kAlreadyRunning);
  EXPECT_EQ(outer.status, RunStatus::kCompleted);
  EXPECT_EQ(steps.calls, (std::vector<std::string>{"check A", "check B", "upload A", "upload B"}));
  EXPECT_FALSE(run.running());
  EXPECT_EQ(run.Run().status, RunStatus::kCompleted);  // and the next run starts normally
}

TEST_F(DistributionRunTest, CloseAfterSendingWaitsForTheLastEntry) {
  view.closeAfterSending = 1;
  std::vector<int> unloadsSeen;
  steps.duringUpload = [&](DistributionView&) { unloadsSeen.push_back(view.unloads); };
  Run("A;B;C");
  EXPECT_EQ(unloadsSeen, (std::vector<int>{0, 0, 0}));  // the window stayed open meanwhile
  EXPECT_EQ(view.unloads, 1);
}

TEST_F(DistributionRunTest, APublishTheWebDoesNotShowKeepsTheWindowOpenThoughOthersWereDone) {
  view.closeAfterSending = 1;
  steps.unconfirmed = "B";
  const RunOutcome outcome = Run("A;B;C");
  EXPECT_EQ(outcome.status, RunStatus::kCompleted);
  EXPECT_TRUE(outcome.AllPublished());
  EXPECT_TRUE(outcome.AnyUnconfirmed());
  EXPECT_EQ(view.unloads, 0);
}

TEST_F(DistributionRunTest, EveryEntryIsReportedWithWhatThePassesFoundAndDid) {
  struct Expected {
    const char* decision;
    PublishResult result;
  };
  struct Case {
    const char* selection;
    std::function<void(RecordingSteps&)> script;
    std::vector<Expected> files;
  };
  const Case cases[] = {
      // The signing hand-off failed: checked, nothing went out.
      {"A;B", [](RecordingSteps& s) { s.signingFails = true; },
       {{"new", PublishResult::kFailed}, {"new", PublishResult::kFailed}}},
      // Declined at B: A and B were checked, C never was; nothing went out.
      {"A;B;C", [](RecordingSteps& s) { s.declined = "B"; s.older = "B"; },
       {{"new", PublishResult::kDeclined}, {"older", PublishResult::kDeclined},
        {"skipped", PublishResult::kDeclined}}},
      // One of each outcome of the upload pass.
      {"A;B;C", [](RecordingSteps& s) { s.failing = "B"; s.unconfirmed = "C"; },
       {{"new", PublishResult::kPublished}, {"new", PublishResult::kFailed},
        {"new", PublishResult::kNotConfirmed}}},
  };
  for (const Case& c : cases) {
    steps = RecordingSteps();
    c.script(steps);
    const RunOutcome outcome = Run(c.selection, steps.signingFails ? 1 : 0, !steps.signingFails);
    ASSERT_EQ(outcome.reports.size(), c.files.size());
    for (std::size_t i = 0; i < c.files.size(); ++i) {
      EXPECT_EQ(DecisionName(outcome.reports[i].check), std::string(c.files[i].decision)) << i;
      EXPECT_EQ(outcome.reports[i].result, c.files[i].result) << i;
    }
  }
}

TEST_F(DistributionRunTest, EveryFileTheUploadPassReachesGoesIntoTheJournal) {
  facts.userDataFolder = "/data";
  PublishJournal recorder(journalFiles, facts);
  journal = &recorder;
  steps.declined = "A";
  Run("A;B");
  EXPECT_TRUE(Journal().empty());  // a declined run published nothing

  steps = RecordingSteps();
  steps.failing = "B";
  steps.unconfirmed = "C";
  Run("A;B;C;D", 1, true, true, {"D"});  // D: dropped by the signing hand-off
  const std::vector<JournalEntry> lines = Journal();
  ASSERT_EQ(lines.size(), 4u);
  const std::pair<const char*, const char*> expected[] = {
      {"A", "published"}, {"B", "failed"}, {"C", "not_confirmed"}, {"D", "failed"}};
  for (std::size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(lines[i].path, expected[i].first);
    EXPECT_EQ(lines[i].result, expected[i].second);
  }
  EXPECT_EQ(lines[0].confirmed, true);
  EXPECT_EQ(lines[1].confirmed, std::nullopt);  // never published, never asked
  EXPECT_EQ(lines[2].confirmed, false);
  EXPECT_EQ(lines[0].serverBuild, 32);
  EXPECT_TRUE(view.notices.empty());
}

TEST_F(DistributionRunTest, AJournalThatCannotBeWrittenCostsOneNoticeAndNothingElse) {
  PublishJournal recorder(journalFiles, facts);  // the user has no folder for it
  journal = &recorder;
  const RunOutcome outcome = Run("A;B;C");
  EXPECT_TRUE(outcome.AllPublished());
  EXPECT_EQ(view.notices, std::vector<std::string>{
                              "배포 기록을 남기지 못했습니다: 기록할 사용자 폴더가 없습니다"});
  EXPECT_TRUE(boxes.shown().empty());
}

TEST_F(DistributionRunTest, AnEscapedFailureEndsTheRunWithTheErrorReport) {
  steps.duringUpload = [](DistributionView&) { throw std::runtime_error("disk on fire"); };
  EXPECT_EQ(Run("A;B").status, RunStatus::kAborted);
  ASSERT_EQ(boxes.shown().size(), 1u);
  EXPECT_EQ(boxes.shown()[0].text, "Error 440 (disk on fire) in procedure cmdDistribute_Click of Form Form1");
  EXPECT_EQ(steps.calls.back(), "upload A");
}

TEST(SplitSelectionTest, CutsAtEverySemicolonKeepingEverything) {
  EXPECT_EQ(SplitSelection("a"), std::vector<std::string>{"a"});
  EXPECT_EQ(SplitSelection(";"), (std::vector<std::string>{"", ""}));
  EXPECT_EQ(SplitSelection(" a ; b"), (std::vector<std::string>{" a ", " b"}));
  EXPECT_EQ(SelectedPaths(";a;;b;"), (std::vector<std::string>{"a", "b"}));
  EXPECT_TRUE(SelectedPaths("").empty());
}

}  // namespace
}  // namespace parone
