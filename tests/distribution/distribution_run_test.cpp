#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <set>

#include "distribution/distribution_run.hpp"
#include "platform/fakes/fixed_process_facts.hpp"
#include "platform/fakes/memory_file_system.hpp"
#include "platform/fakes/memory_settings_store.hpp"
#include "platform/fakes/recording_message_boxes.hpp"
#include "recording_events.hpp"

namespace parone {
namespace {

// Records the order of the steps; outcomes scripted per path.
class RecordingSteps final : public DistributionSteps {
 public:
  bool CheckServerVersion(const RunContext&, const std::string& path, ServerVersion& found) override {
    calls.push_back("check " + path);
    if (duringCheck) duringCheck(path);
    found.versionRead = true;
    found.localBuild = "33";
    found.local = 33;
    found.server = older == path ? 34 : 32;
    found.record.kind = RecordKind::kBuild;
    found.record.build = found.server;
    return !declined || *declined != path;
  }
  SigningOutcome CodeSigning(const RunContext&, const std::vector<std::string>& paths) override {
    std::string joined;
    for (const auto& p : paths) joined += "[" + p + "]";
    calls.push_back("sign " + joined);
    SigningOutcome outcome;
    outcome.ok = !signingFails;
    outcome.dropped = dropped;
    if (signingFails) outcome.error = Error{Stage::kSigning, CodeKind::kNone, 0, "no signed copies"};
    return outcome;
  }
  UploadOutcome ProcUpload(const RunContext& context, const std::string& path, bool runUpx,
                           const ServerRecord*) override {
    calls.push_back(std::string(runUpx ? "upload " : "upload(no upx) ") + path);
    if (duringUpload) duringUpload();
    if (stopDuring == path) {
      stop->Request();
      // Once stopped, the run says nothing more and asks nothing.
      context.Show("lost for good");
      EXPECT_FALSE(context.Ask(QuestionKind::kSameBuild, "asked of nobody"));
      EXPECT_FALSE(context.Sleep(60000));
    }
    UploadOutcome outcome{true, failing != path && (stopDuring != path || publishedThoughStopped)};
    outcome.build = "33";
    outcome.size = 1000;
    outcome.sha256 = std::string(64, 'a');
    if (!outcome.published) outcome.error = Error{Stage::kStore, CodeKind::kFtp, 552, "552 quota"};
    if (outcome.published) {
      outcome.web = WebConfirmation{};
      outcome.web->expectedLastVer = "33\r\n";
      outcome.web->lastVer = HttpAnswer{200, "33\r\n", std::nullopt, false};
      outcome.web->expectedSize = 1000;
      // The web shows an old copy of the unconfirmed one.
      outcome.web->size = HttpAnswer{200, "", unconfirmed == path ? 900u : 1000u, false};
      outcome.error = outcome.web->AsError();
    }
    // As the per-file upload does: no closing over a warning.
    outcome.closeRequested =
        outcome.published && !outcome.Unconfirmed() && context.request.closeAfterSending;
    return outcome;
  }
  std::vector<std::string> calls;
  std::optional<std::string> declined;
  std::string failing;
  std::string unconfirmed;
  std::string older;  // the server records a greater build for it
  bool signingFails = false;
  std::vector<std::string> dropped;  // by the signing hand-off
  std::function<void()> duringUpload;
  std::function<void(const std::string&)> duringCheck;
  // The stop given while this file is uploaded (cutting it off unless the
  // upload had got past its renames).
  StopSignal* stop = nullptr;
  std::string stopDuring;
  bool publishedThoughStopped = false;
};

class DistributionRunTest : public ::testing::Test {
 protected:
  // The selection as typed, empty entries and all: the run must pass over them.
  RunOutcome Run(const std::string& selection, bool sign = false) {
    request.entries = SplitSelection(selection);
    for (const std::string& entry : request.entries) {
      if (!entry.empty() && !absent.contains(entry)) journalFiles.AddFile(entry, "program");
    }
    request.sign = sign;
    DistributionRun run(services, events, journal, &steps);
    return run.Run(request);
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
  PublishRequest request;
  std::set<std::string> absent;  // entries that name no file
  MemoryFileSystem journalFiles;
  FixedProcessFacts facts{"/tool"};
  PublishJournal* journal = nullptr;
  RecordingMessageBoxes boxes;
  RecordingEvents events{boxes};
  MemorySettingsStore settings;
  Cp949CodePage cp949;
  NativeProcessLauncher launcher;
  RealSleeper sleeper;
  PublishServices services{journalFiles, settings, cp949, facts, launcher, sleeper};
  RecordingSteps steps;
};

TEST_F(DistributionRunTest, PassesRunStrictlyOneAfterTheOther) {
  const RunOutcome outcome = Run("A;B", true);
  EXPECT_EQ(steps.calls, (std::vector<std::string>{"check A", "check B", "sign [A][B]",
                                                   "upload(no upx) A", "upload(no upx) B"}));
  EXPECT_EQ(outcome.status, RunStatus::kCompleted);
  EXPECT_TRUE(outcome.AllPublished());
  // Without signing, the upload pass runs the packer itself.
  steps.calls.clear();
  Run("A");
  EXPECT_EQ(steps.calls, (std::vector<std::string>{"check A", "upload A"}));
}

TEST_F(DistributionRunTest, ARefusalOrAFailedHandOffEndsTheRunBeforeAnyUpload) {
  steps.declined = "B";
  EXPECT_EQ(Run("A;B;C", true).status, RunStatus::kDeclined);
  EXPECT_EQ(steps.calls, (std::vector<std::string>{"check A", "check B"}));

  steps = RecordingSteps();
  steps.signingFails = true;
  const RunOutcome outcome = Run("A;B", true);
  EXPECT_EQ(outcome.status, RunStatus::kSigningFailed);
  EXPECT_EQ(steps.calls, (std::vector<std::string>{"check A", "check B", "sign [A][B]"}));
  EXPECT_TRUE(boxes.shown().empty());
  // Every file carries why it did not go out.
  for (const FileReport& report : outcome.reports) {
    ASSERT_TRUE(report.error);
    EXPECT_EQ(report.error->stage, Stage::kSigning);
  }
}

TEST_F(DistributionRunTest, AFileTheHandOffDroppedFailsAloneAndTheOthersAreUploaded) {
  steps.dropped = {"B"};
  const RunOutcome outcome = Run("A;B;C;B", true);
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

TEST_F(DistributionRunTest, APathThatNamesNoFileIsSaidBeforeAnyQuestionAndEndsTheRun) {
  absent = {"B", "D"};
  steps.older = "A";  // A would be asked about: it must not be
  const RunOutcome outcome = Run("A;B;C;D");
  EXPECT_EQ(outcome.status, RunStatus::kInputError);
  EXPECT_TRUE(steps.calls.empty());
  ASSERT_EQ(boxes.shown().size(), 1u);
  EXPECT_EQ(boxes.shown()[0].style, kStyleWarning);
  EXPECT_EQ(boxes.shown()[0].text, "배포할 파일이 없습니다. 아무것도 올리지 않았습니다.\r\n\r\nB\r\nD");
  ASSERT_EQ(outcome.reports.size(), 4u);
  for (const FileReport& report : outcome.reports) {
    EXPECT_EQ(report.result, PublishResult::kFailed);
    ASSERT_TRUE(report.error);
    EXPECT_EQ(report.error->stage, Stage::kInput);
  }
  EXPECT_EQ(outcome.reports[1].error->subject, "B");
  EXPECT_FALSE(outcome.AllPublished());
}

TEST_F(DistributionRunTest, AFailedUploadDoesNotStopTheNext) {
  steps.failing = "A";
  const RunOutcome outcome = Run("A;B");
  EXPECT_EQ(steps.calls, (std::vector<std::string>{"check A", "check B", "upload A", "upload B"}));
  EXPECT_FALSE(outcome.AllPublished());
  ASSERT_EQ(outcome.uploads.size(), 2u);
  EXPECT_FALSE(outcome.uploads[0].published);
  EXPECT_TRUE(outcome.uploads[1].published);
  // The failure's value reaches the file's report, and each file is announced.
  ASSERT_TRUE(outcome.reports[0].error);
  EXPECT_EQ(outcome.reports[0].error->code, 552);
  EXPECT_FALSE(outcome.reports[1].error);
  ASSERT_EQ(events.finished.size(), 2u);
  EXPECT_EQ(events.finished[0].path, "A");
  EXPECT_EQ(events.finished[0].result, PublishResult::kFailed);
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
    const RunOutcome outcome = Run(c.selection, true);
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
  EXPECT_TRUE(steps.calls.empty());
}

TEST_F(DistributionRunTest, AnEmptySelectionAsksForAFileAndFocusesTheList) {
  EXPECT_EQ(Run("").status, RunStatus::kEmptySelection);
  ASSERT_EQ(boxes.shown().size(), 1u);
  EXPECT_EQ(boxes.shown()[0].text, "보낼파일을 선택하세요.");
  EXPECT_EQ(boxes.shown()[0].style, kStyleOkOnly);
  EXPECT_TRUE(steps.calls.empty());
  // Blanks are a selection of one entry.
  EXPECT_EQ(Run(" ").entries, std::vector<std::string>{" "});
}

TEST_F(DistributionRunTest, ANestedStartDoesNothing) {
  request.entries = {"A", "B"};
  journalFiles.AddFile("A", "a");
  journalFiles.AddFile("B", "b");
  DistributionRun run(services, events, nullptr, &steps);
  RunOutcome nested;
  steps.duringUpload = [&] {
    if (nested.entries.empty() && nested.status != RunStatus::kAlreadyRunning) nested = run.Run(request);
  };
  const RunOutcome outer = run.Run(request);
  EXPECT_EQ(nested.status, RunStatus::kAlreadyRunning);
  EXPECT_EQ(outer.status, RunStatus::kCompleted);
  EXPECT_EQ(steps.calls, (std::vector<std::string>{"check A", "check B", "upload A", "upload B"}));
  EXPECT_FALSE(run.running());
  EXPECT_EQ(run.Run(request).status, RunStatus::kCompleted);  // and the next run starts normally
}

TEST_F(DistributionRunTest, CloseAfterSendingClosesOnlyOnceEveryEntryIsDone) {
  request.closeAfterSending = true;
  steps.failing = "A";  // a failure before the publishes does not keep the window
  const RunOutcome outcome = Run("A;B;C");
  EXPECT_EQ(steps.calls.back(), "upload C");
  EXPECT_TRUE(outcome.closeWindow);
  request.closeAfterSending = false;
  EXPECT_FALSE(Run("A;B;C").closeWindow);
}

TEST_F(DistributionRunTest, APublishTheWebDoesNotShowKeepsTheWindowOpenThoughOthersWereDone) {
  request.closeAfterSending = true;
  steps.unconfirmed = "B";
  const RunOutcome outcome = Run("A;B;C");
  EXPECT_EQ(outcome.status, RunStatus::kCompleted);
  EXPECT_TRUE(outcome.AllPublished());
  EXPECT_TRUE(outcome.AnyUnconfirmed());
  EXPECT_FALSE(outcome.closeWindow);
}

TEST_F(DistributionRunTest, AStopEndsTheRunWithTheFileUnderWayReportedAndJournalledAsStopped) {
  PublishJournal recorder(journalFiles, facts);
  journal = &recorder;
  facts.userDataFolder = "/data";
  struct Case {
    const char* when;
    std::function<void(RecordingSteps&, StopSignal&)> script;
    std::vector<std::string> calls;
    std::vector<PublishResult> results;
    std::vector<std::string> journalled;  // result names, in order
  };
  const Case cases[] = {
      {"during B's upload", [](RecordingSteps& s, StopSignal&) { s.stopDuring = "B"; },
       {"check A", "check B", "check C", "upload A", "upload B"},
       {PublishResult::kPublished, PublishResult::kStopped, PublishResult::kStopped},
       {"published", "stopped", "stopped"}},
      // Its renames had begun: they finished, and the file is published.
      {"after B's renames",
       [](RecordingSteps& s, StopSignal&) {
         s.stopDuring = "B";
         s.publishedThoughStopped = true;
       },
       {"check A", "check B", "check C", "upload A", "upload B"},
       {PublishResult::kPublished, PublishResult::kPublished, PublishResult::kStopped},
       {"published", "published", "stopped"}},
      {"during A's check",
       [](RecordingSteps& s, StopSignal& stop) { s.duringCheck = [&stop](const std::string&) { stop.Request(); }; },
       {"check A"},
       {PublishResult::kStopped, PublishResult::kStopped, PublishResult::kStopped},
       {"stopped", "stopped", "stopped"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.when);
    StopSignal stop;
    steps = RecordingSteps();
    steps.stop = &stop;
    c.script(steps, stop);
    journalFiles.DeleteFile("/data/journal.jsonl");
    request.stop = &stop;
    const RunOutcome outcome = Run("A;B;C");
    EXPECT_EQ(outcome.status, RunStatus::kStopped);
    EXPECT_EQ(steps.calls, c.calls);
    ASSERT_EQ(outcome.reports.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i) {
      EXPECT_EQ(outcome.reports[i].result, c.results[i]) << i;
      if (c.results[i] != PublishResult::kStopped) continue;
      ASSERT_TRUE(outcome.reports[i].error.has_value()) << i;
      EXPECT_EQ(outcome.reports[i].error->stage, Stage::kStopped) << i;
    }
    std::vector<std::string> journalled;
    for (const JournalEntry& e : Journal()) journalled.push_back(e.result);
    EXPECT_EQ(journalled, c.journalled);
    EXPECT_TRUE(boxes.shown().empty());
    EXPECT_FALSE(outcome.closeWindow);
  }
}

TEST(RunContext, SleepsInOneGoUnlessTheRunCanBeStoppedAndThenInSlicesThatAStopEnds) {
  struct CountingSleeper final : Sleeper {
    void SleepMs(long ms) override {
      slept.push_back(ms);
      if (stopAfter && slept.size() == *stopAfter) stop->Request();
    }
    std::vector<long> slept;
    std::optional<std::size_t> stopAfter;
    StopSignal* stop = nullptr;
  };
  MemoryFileSystem files;
  MemorySettingsStore settings;
  Cp949CodePage cp949;
  FixedProcessFacts facts{"/tool"};
  NativeProcessLauncher launcher;
  CountingSleeper sleeper;
  PublishServices services{files, settings, cp949, facts, launcher, sleeper};
  RecordingMessageBoxes boxes;
  RecordingEvents events{boxes};
  PublishRequest request;
  const RunContext context{request, services, events};

  EXPECT_TRUE(context.Sleep(5000));  // nobody can stop it: one sleep, as ever
  EXPECT_EQ(sleeper.slept, std::vector<long>{5000});

  StopSignal stop;
  request.stop = &stop;
  sleeper.slept.clear();
  EXPECT_TRUE(context.Sleep(250));
  EXPECT_EQ(sleeper.slept, (std::vector<long>{100, 100, 50}));
  sleeper.slept.clear();
  sleeper.stop = &stop;
  sleeper.stopAfter = 2;
  EXPECT_FALSE(context.Sleep(5000));
  EXPECT_EQ(sleeper.slept.size(), 2u);  // the rest of the five seconds not slept
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
    const RunOutcome outcome = Run(c.selection, steps.signingFails);
    ASSERT_EQ(outcome.reports.size(), c.files.size());
    for (std::size_t i = 0; i < c.files.size(); ++i) {
      EXPECT_EQ(DecisionName(outcome.reports[i].check), std::string(c.files[i].decision)) << i;
      EXPECT_EQ(outcome.reports[i].result, c.files[i].result) << i;
    }
  }
}

TEST_F(DistributionRunTest, EveryAttemptGoesIntoTheJournalADeclinedOneToo) {
  facts.userDataFolder = "/data";
  PublishJournal recorder(journalFiles, facts);
  journal = &recorder;
  steps.declined = "A";
  steps.older = "A";  // asked whether to replace a newer build, and No
  Run("A;B");
  const std::vector<JournalEntry> declined = Journal();
  ASSERT_EQ(declined.size(), 2u);
  EXPECT_EQ(declined[0].result, "declined");
  EXPECT_EQ(declined[0].decision, "older");  // the question it was declined at
  EXPECT_EQ(declined[1].result, "declined");
  EXPECT_EQ(declined[1].decision, "skipped");  // never looked at
  journalFiles.DeleteFile("/data/journal.jsonl");

  steps = RecordingSteps();
  steps.failing = "B";
  steps.unconfirmed = "C";
  steps.dropped = {"D"};  // its packer failed before signing
  Run("A;B;C;D", true);
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
  // A failure is recorded with its stage, code and text.
  EXPECT_FALSE(lines[0].error);
  ASSERT_TRUE(lines[1].error);
  EXPECT_EQ(lines[1].error->stage, Stage::kStore);
  EXPECT_EQ(lines[1].error->code, 552);
  EXPECT_EQ(lines[1].error->message, "552 quota");
  ASSERT_TRUE(lines[2].error);
  EXPECT_EQ(lines[2].error->stage, Stage::kReadBack);
  EXPECT_TRUE(events.notices.empty());
}

TEST_F(DistributionRunTest, AJournalThatCannotBeWrittenCostsOneNoticeAndNothingElse) {
  PublishJournal recorder(journalFiles, facts);  // the user has no folder for it
  journal = &recorder;
  const RunOutcome outcome = Run("A;B;C");
  EXPECT_TRUE(outcome.AllPublished());
  EXPECT_EQ(events.notices, std::vector<std::string>{
                              "배포 기록을 남기지 못했습니다: 기록할 사용자 폴더가 없습니다"});
  EXPECT_TRUE(boxes.shown().empty());
}

TEST_F(DistributionRunTest, AnEscapedFailureEndsTheRunWithTheErrorReport) {
  steps.duringUpload = [] { throw std::runtime_error("disk on fire"); };
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
