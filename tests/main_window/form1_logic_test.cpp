// The shared window logic against recorded controls: no toolkit involved.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>

#include "distribution/recent_files.hpp"
#include "local_server.hpp"
#include "main_window/form1_logic.hpp"
#include "platform/fakes/fixed_process_facts.hpp"
#include "platform/fakes/memory_credential_store.hpp"
#include "platform/fakes/memory_file_system.hpp"
#include "platform/fakes/memory_settings_store.hpp"
#include "platform/fakes/recording_message_boxes.hpp"
#include "recording_form1_controls.hpp"
#include "test_dir.hpp"

namespace parone {
namespace {

namespace fs = std::filesystem;
using C = Form1Control;
using Strings = std::vector<std::string>;

// A Windows path written with backslashes, in the separators of the
// platform the test runs on (on Linux "\\" is an ordinary character).
std::string N(std::string path) {
  if (kPlatform.separators.find('\\') == std::string_view::npos) {
    std::replace(path.begin(), path.end(), '\\', kPlatform.separator);
  }
  return path;
}

class NoSleep final : public Sleeper {
 public:
  void SleepMs(long) override {}
};

// Recorded boxes, with a hook that runs while a box is up (where a real
// box runs the window's message loop).
class ObservedBoxes final : public MessageBoxes {
 public:
  using MessageBoxes::Show;
  int Show(std::string_view text, int style, std::string_view caption) override {
    const int answer = recorded_.Show(text, style, caption);
    if (whileShown) whileShown();
    return answer;
  }
  void AnswerNextQuestion(int answer) { recorded_.AnswerNextQuestion(answer); }
  const std::vector<ShownBox>& shown() const { return recorded_.shown(); }
  void Clear() { recorded_.Clear(); }
  std::function<void()> whileShown;

 private:
  RecordingMessageBoxes recorded_;
};

// The sample program (build 33) grown to `size` bytes by data after its
// end, as an installer carries its payload.
void MakeProgram(const fs::path& path, std::size_t size) {
  fs::copy_file(std::string(PARONE_FIXTURE_DIR) + "/sample32.exe", path);
  std::ofstream out(path, std::ios::binary | std::ios::app);
  const std::string filler(64 * 1024, '\x5a');
  for (std::size_t at = fs::file_size(path); at < size; at += filler.size()) out << filler;
}

class Form1LogicTest : public ::testing::Test {
 protected:
  Form1LogicTest() {
    config = SystemConfig::Defaults();
    config.ftpHost = "127.0.0.1";
    config.ftpPassword = testing::kDemoPassword;
    config.ftpPort = testing::UnusedPort();
    config.httpPort = testing::UnusedPort();
  }

  Form1Logic& Make(FileSystem& fileSystem) {
    Form1Services services{boxes, {fileSystem, settings, cp949, facts, launcher, sleeper}, config};
    services.ftpTimeouts = {5, 10};
    services.urlTimeouts = {1, 2};
    services.credentials = &credentials;
    logic = std::make_unique<Form1Logic>(controls, services);
    controls.onText1Change = [this] { logic->Text1_Change(); };
    return *logic;
  }
  Form1Logic& Make() { return Make(memoryFiles); }

  void StoreRecent(const Strings& entries) {
    for (std::size_t i = 0; i < entries.size(); ++i) {
      settings.Set(kAppTitle, "RecentFiles", std::to_string(i + 1), entries[i]);
    }
  }
  std::string Selection() { return controls.texts[C::cmbLocalFullPath]; }
  // Hands the run's events over as the toolkit would when woken, until the
  // run has ended.
  void RunToEnd() {
    while (logic->running()) {
      ASSERT_TRUE(controls.WaitForWake()) << "the run neither reported nor ended";
      logic->DeliverRunEvents();
    }
  }
  std::vector<std::pair<std::string, int>> NamesWithData() {
    std::vector<std::pair<std::string, int>> out;
    for (const auto& item : controls.lists[C::cmbLocalFileOnly]) out.emplace_back(item.text, item.data);
    return out;
  }

  RecordingForm1Controls controls;
  ObservedBoxes boxes;
  MemorySettingsStore settings;
  MemoryFileSystem memoryFiles;
  Cp949CodePage cp949;
  FixedProcessFacts facts{N("C:\\Tools\\Deploy")};
  NativeProcessLauncher launcher;
  NoSleep sleeper;
  SystemConfig config;
  MemoryCredentialStore credentials;
  std::unique_ptr<Form1Logic> logic;
};

TEST_F(Form1LogicTest, TheLoadSetsCaptionSettingsAndSizesInOrderAndWritesNothing) {
  Make().Load("");
  EXPECT_EQ(controls.calls,
            (Strings{"SetCaption", "SetText Text1", "SetTick ChkPassive",
                     "ApplyComboSize cmbLocalFullPath", "ApplyComboSize cmbLocalFileOnly",
                     "FocusOn cmbLocalFullPath",
                     // An empty store: both lists emptied, no name chosen,
                     // nothing selected in the full paths.
                     "ClearList cmbLocalFullPath", "ClearList cmbLocalFileOnly",
                     "SelectItem cmbLocalFileOnly"}));
  EXPECT_EQ(controls.caption, "파로네 자동배포2(ftp) Ver.1.1.33");
  EXPECT_EQ(controls.texts[C::Text1], "D:\\upx.exe");
  for (C box : {C::ChkPassive, C::chkCodeSigning, C::chkSuccUnload}) {
    EXPECT_EQ(controls.ticks[box], 1) << NameOf(box);
  }
  EXPECT_EQ(Selection(), "");
  EXPECT_FALSE(controls.formVisible);  // the toolkit shows it after the load
  // Text1's change event came while the window was invisible.
  EXPECT_TRUE(settings.writes().empty());
  // Each combo box keeps its place and width; the lists get 5000 twips.
  EXPECT_EQ(controls.comboSizes[C::cmbLocalFullPath], (ComboPixels{75, 18, 542, 333, 542}));
  EXPECT_EQ(controls.comboSizes[C::cmbLocalFileOnly], (ComboPixels{620, 18, 154, 333, 154}));
}

TEST_F(Form1LogicTest, StoredSettingsAreReadAsTheyStand) {
  struct Row {
    const char* passive;  // stored PassiveMode; nullptr: missing
    int tick;
  };
  const Row rows[] = {
      {nullptr, 1},  // the default "1"
      {"0", 0},
      {" 1", 1},   // leading blanks are skipped by the numeric reading
      {"", 0},     // present but empty reads as 0, not as the default
      {"0.5", 0},  // half to even
      {"1.5", 2},  // half to even: greyed
      {"7", 0},    // no tick state: unticked
      {"x", 0},    // no number at all
  };
  for (const Row& row : rows) {
    settings = MemorySettingsStore();
    if (row.passive) settings.Set(kAppTitle, "Config", "PassiveMode", row.passive);
    settings.Set(kAppTitle, "Config", "UpxPath", "");
    controls = RecordingForm1Controls();
    Make().Load("");
    EXPECT_EQ(controls.ticks[C::ChkPassive], row.tick) << (row.passive ? row.passive : "(missing)");
    EXPECT_EQ(controls.texts[C::Text1], "");  // an empty path is not the default
    EXPECT_TRUE(settings.writes().empty());
  }
}

TEST_F(Form1LogicTest, SettingsAreSavedAtEveryChangeButOnlyWhileTheWindowIsVisible) {
  Form1Logic& f = Make();
  f.Load("");
  controls.formVisible = true;
  for (const char* typed : {"/", "/u", "/u/", "/u/x"}) controls.SetText(C::Text1, typed);
  EXPECT_EQ(settings.writes().size(), 4u);  // once per keystroke
  EXPECT_EQ(settings.Value(kAppTitle, "Config", "UpxPath"), "/u/x");
  controls.SetText(C::Text1, "");
  EXPECT_EQ(settings.Value(kAppTitle, "Config", "UpxPath"), "");

  controls.ticks[C::ChkPassive] = 0;
  f.ChkPassive_Click();
  EXPECT_EQ(settings.Value(kAppTitle, "Config", "PassiveMode"), "0");
  controls.ticks[C::ChkPassive] = 1;
  f.ChkPassive_Click();
  EXPECT_EQ(settings.Value(kAppTitle, "Config", "PassiveMode"), "1");

  controls.formVisible = false;
  settings.ClearWrites();
  controls.ticks[C::ChkPassive] = 0;
  f.ChkPassive_Click();
  controls.SetText(C::Text1, "/hidden");
  EXPECT_TRUE(settings.writes().empty());
}

TEST_F(Form1LogicTest, RecentFilesFillBothListsAndAChosenNameSelectsItsFullPath) {
  StoreRecent({N("C:\\b\\y.exe"), N("C:\\a\\z.exe"), N("C:\\c\\a.exe")});
  settings.Set(kAppTitle, "RecentFiles", "5", N("C:\\after\\gap.exe"));  // after the gap: not read
  Form1Logic& f = Make();
  f.Load("");
  EXPECT_EQ(controls.Texts(C::cmbLocalFullPath), (Strings{N("C:\\b\\y.exe"), N("C:\\a\\z.exe"), N("C:\\c\\a.exe")}));
  // Each name carries the index of its full path.
  EXPECT_EQ(NamesWithData(), (std::vector<std::pair<std::string, int>>{{"a.exe", 2}, {"y.exe", 0}, {"z.exe", 1}}));
  EXPECT_EQ(Selection(), N("C:\\b\\y.exe"));
  EXPECT_EQ(controls.selected[C::cmbLocalFileOnly], -1);
  EXPECT_TRUE(settings.writes().empty());

  f.cmbLocalFileOnly_Click(0);
  EXPECT_EQ(Selection(), N("C:\\c\\a.exe"));
  EXPECT_EQ(controls.selected[C::cmbLocalFullPath], 2);
  f.cmbLocalFileOnly_Click(7);  // no such item: nothing changes
  EXPECT_EQ(Selection(), N("C:\\c\\a.exe"));
}

TEST_F(Form1LogicTest, NamesSortWithoutRegardToCaseAndJoinedEntriesShowTheirLastFile) {
  StoreRecent({N("C:\\p\\a.exe;C:\\q\\C.exe"), N("C:\\B.exe"), N("C:\\a.exe"), N("D:\\A.exe"), N("C:\\한글.exe"),
               "plain.exe"});
  Make().Load("");
  EXPECT_EQ(NamesWithData(), (std::vector<std::pair<std::string, int>>{
                                 {"a.exe", 2},  // equal names keep their entries' order
                                 {"A.exe", 3},
                                 {"B.exe", 1},
                                 {"C.exe", 0},  // the last file of a joined entry
                                 {"plain.exe", 5},  // no folder: the whole entry
                                 {"한글.exe", 4}}));
}

TEST(NameOrder, IgnoresCaseOfLatinLettersAndComparesTheRestByCodePoint) {
  struct Row {
    const char* a;
    const char* b;
    bool less;
  };
  const Row rows[] = {
      {"a", "B", true},          // case does not count
      {"B", "a", false},
      {"a.exe", "A.exe", false},  // equal either way
      {"A.exe", "a.exe", false},
      {"ab", "abc", true},        // a prefix comes first
      {"_x", "a", true},          // '_' sorts before the letters, as lower case
      {"Z.exe", "가.exe", true},  // Hangul after Latin
      {"É", "f", false},          // accented letters after ASCII
      {"é", "É", false},          // Latin-1 capitals fold too
      {"É", "é", false},
  };
  for (const Row& row : rows) EXPECT_EQ(NameOrderLess(row.a, row.b), row.less) << row.a << " < " << row.b;
}

TEST_F(Form1LogicTest, DroppedFilesBecomeTheSelectionAndSeveralOneRecentEntry) {
  Form1Logic& f = Make();
  f.Load("");
  f.cmbLocalFullPath_DropFiles({});  // nothing offered: nothing changes
  EXPECT_EQ(Selection(), "");

  f.cmbLocalFullPath_DropFiles({"C:\\p\\one.exe"});
  EXPECT_EQ(Selection(), "C:\\p\\one.exe");
  EXPECT_TRUE(settings.writes().empty());  // one file: recorded when published

  f.cmbLocalFullPath_DropFiles({"C:\\p\\a.exe", "C:\\p\\b.exe", "C:\\q\\c.exe"});
  EXPECT_EQ(Selection(), "C:\\p\\a.exe;C:\\p\\b.exe;C:\\q\\c.exe");
  EXPECT_EQ(ReadRecentFiles(settings), Strings{"C:\\p\\a.exe;C:\\p\\b.exe;C:\\q\\c.exe"});
  // The lists keep what the load put there.
  EXPECT_TRUE(controls.lists[C::cmbLocalFullPath].empty());
  EXPECT_TRUE(controls.lists[C::cmbLocalFileOnly].empty());
}

TEST_F(Form1LogicTest, TheFileDialogOpensInTheLastFolderWhileItExists) {
  memoryFiles.AddFolder(N("D:\\Out"));
  memoryFiles.AddFolder(N("C:\\"));
  Form1Logic& f = Make();
  f.Load("");
  controls.dialogAnswers = {N("D:\\Out\\App.exe"), std::nullopt, N("E:\\Gone\\B.exe"), N("C:\\Root.exe"),
                            "NoFolder.exe"};
  f.cmdFindFile_Click();
  EXPECT_EQ(Selection(), N("D:\\Out\\App.exe"));
  f.cmdFindFile_Click();  // cancelled: the selection stays
  EXPECT_EQ(Selection(), N("D:\\Out\\App.exe"));
  f.cmdFindFile_Click();  // a folder that does not exist (any more)
  f.cmdFindFile_Click();  // a drive's root
  EXPECT_EQ(Selection(), N("C:\\Root.exe"));
  f.cmdFindFile_Click();  // a failed dialog gives its file name; the folder stays
  f.cmdFindFile_Click();
  ASSERT_EQ(controls.dialogs.size(), 6u);
  const OpenFileRequest& first = controls.dialogs[0];
  EXPECT_EQ(first.title, "배포 파일 선택");
  EXPECT_EQ(first.initialFileName, "");
  EXPECT_EQ(first.filterName, "모든파일");
  EXPECT_EQ(first.filterPattern, "*.*");
  Strings folders;
  for (const OpenFileRequest& r : controls.dialogs) folders.push_back(r.initialFolder);
  EXPECT_EQ(folders, (Strings{N("C:\\Tools\\Deploy"),  // nothing chosen yet: the program's folder
                              N("D:\\Out"),            // the folder of the last choice
                              N("D:\\Out"),            // a cancel changed nothing
                              N("C:\\Tools\\Deploy"),  // E:\Gone does not exist
                              N("C:\\"),               // a root keeps its backslash
                              N("C:\\")}));
  EXPECT_EQ(Selection(), "NoFolder.exe");
  EXPECT_TRUE(settings.writes().empty());
}

TEST(FolderOfChosenFile, IsThePathBeforeTheLastSeparatorAndKeepsARoot) {
  const std::pair<std::string, std::optional<std::string>> rows[] = {
      {N("C:\\Build\\Out\\App.exe"), N("C:\\Build\\Out")},
      {N("C:\\App.exe"), N("C:\\")},      // "C:" would be the drive's current folder
      {"/App.exe", "/"},            // the root of a POSIX file system
      {"/home/b/App.exe", "/home/b"},
      {N("\\\\srv\\share\\App.exe"), N("\\\\srv\\share")},  // a share is no drive
      {"App.exe", std::nullopt},    // no folder: the last one stays
      {N("1:\\App.exe"), "1:"},        // not a drive letter
  };
  for (const auto& [path, folder] : rows) EXPECT_EQ(FolderOfChosenFile(path), folder) << path;
}

TEST_F(Form1LogicTest, ACommandLineRunsAtOnceWithTheWindowShownAndLeavesTheListsEmpty) {
  StoreRecent({"C:\\old.exe"});
  memoryFiles.AddFile("\"C:\\a\\x.exe\"", "no program");
  memoryFiles.AddFile("C:\\b\\y.exe", "no program either");
  Form1Logic& f = Make();
  f.Load("\"C:\\a\\x.exe\";C:\\b\\y.exe");
  // The load returns with the run going; the window is shown and alive.
  EXPECT_TRUE(f.running());
  EXPECT_TRUE(controls.formVisible);
  RunToEnd();
  EXPECT_EQ(f.lastRun().entries, (Strings{"\"C:\\a\\x.exe\"", "C:\\b\\y.exe"}));
  // Neither file has a version: the question comes, and No (the default)
  // ends the run.
  EXPECT_EQ(f.lastRun().status, RunStatus::kDeclined);
  ASSERT_FALSE(boxes.shown().empty());
  EXPECT_EQ(boxes.shown().back().style, kStyleQuestionYesNo);
  // The selection is set, then the window shown, then the run shows the
  // version of the first file.
  const auto& calls = controls.calls;
  const auto at = [&](const std::string& call) { return std::find(calls.begin(), calls.end(), call); };
  ASSERT_NE(at("SetText lblVer"), calls.end());
  EXPECT_LT(at("SetText cmbLocalFullPath"), at("ShowForm"));
  EXPECT_LT(at("ShowForm"), at("SetText lblVer"));
  EXPECT_EQ(at("ClearList cmbLocalFullPath"), calls.end());
  EXPECT_TRUE(controls.lists[C::cmbLocalFullPath].empty());
}

TEST_F(Form1LogicTest, AnEmptySelectionAsksForAFileAndFocusesTheSelection) {
  Form1Logic& f = Make();
  f.Load("");
  controls.focus.reset();
  f.cmdDistribute_Click();
  RunToEnd();
  EXPECT_EQ(f.lastRun().status, RunStatus::kEmptySelection);
  ASSERT_EQ(boxes.shown().size(), 1u);
  EXPECT_EQ(boxes.shown()[0].text, "보낼파일을 선택하세요.");
  EXPECT_EQ(controls.focus, C::cmbLocalFullPath);
}

TEST_F(Form1LogicTest, TheRequestIsMadeFromTheControlsAsTheyStandWhenTheRunStarts) {
  Form1Logic& f = Make();
  // Distinct values, so that a control read in place of another shows.
  controls.ticks[C::chkCodeSigning] = 2;
  controls.ticks[C::ChkPassive] = 0;
  controls.ticks[C::chkSuccUnload] = 1;
  controls.texts[C::Text1] = "/opt/upx";
  controls.texts[C::cmbLocalFullPath] = "C:\\sel.exe;;D:\\b.exe;";
  PublishRequest r = f.MakeRequest();
  EXPECT_FALSE(r.sign);  // greyed is not ticked
  EXPECT_FALSE(r.passive);
  EXPECT_TRUE(r.closeAfterSending);
  EXPECT_EQ(r.upxPath, "/opt/upx");
  EXPECT_EQ(r.entries, (Strings{"C:\\sel.exe", "D:\\b.exe"}));
  EXPECT_EQ(r.ownerWindow, 0x5150);
  EXPECT_EQ(r.config.ftpPort, config.ftpPort);
  EXPECT_TRUE(r.answers.empty());  // the window asks every question
  // The signing wait asks every five minutes, and a failed copy each time.
  EXPECT_EQ(r.signing.askEveryMs, 5 * 60 * 1000);
  EXPECT_EQ(r.signing.copyRetries, -1);
  EXPECT_FALSE(r.signing.timeoutMs);

  controls.ticks[C::chkCodeSigning] = 1;
  controls.ticks[C::ChkPassive] = 2;
  controls.ticks[C::chkSuccUnload] = 2;
  r = f.MakeRequest();
  EXPECT_TRUE(r.sign);
  EXPECT_FALSE(r.passive);
  EXPECT_FALSE(r.closeAfterSending);
}

TEST_F(Form1LogicTest, AMalformedEnvironmentIsShownAndStartsNoWindow) {
  struct Case {
    const char* server;
    const char* signing;
    bool starts;
  };
  const Case cases[] = {
      {nullptr, nullptr, true},
      {"staging.example:2121:8080", nullptr, true},
      {"", "", true},  // empty counts as unset
      {"staging.example:notaport", nullptr, false},
      {nullptr, "relative/drop", false},
  };
  for (const Case& c : cases) {
    boxes.Clear();
    const auto loaded = LoadWindowConfig(
        [&](const char* name) -> std::optional<std::string> {
          const char* value = std::string(name) == "PARONE_DEPLOY_SERVER" ? c.server
                              : std::string(name) == "PARONE_DEPLOY_SIGNING_DIR" ? c.signing
                                                                                 : nullptr;
          if (!value) return std::nullopt;
          return std::string(value);
        },
        boxes);
    EXPECT_EQ(loaded.has_value(), c.starts) << (c.server ? c.server : "") << (c.signing ? c.signing : "");
    if (c.starts) {
      EXPECT_TRUE(boxes.shown().empty());
      continue;
    }
    ASSERT_EQ(boxes.shown().size(), 1u);
    EXPECT_EQ(boxes.shown()[0].style, kStyleWarning);
    EXPECT_NE(boxes.shown()[0].text.find(c.server ? "PARONE_DEPLOY_SERVER" : "PARONE_DEPLOY_SIGNING_DIR"),
              std::string::npos);
  }
  const auto staging = LoadWindowConfig(
      [](const char* name) -> std::optional<std::string> {
        if (std::string(name) == "PARONE_DEPLOY_SERVER") return "staging.example:2121:8080";
        return std::nullopt;
      },
      boxes);
  ASSERT_TRUE(staging);
  EXPECT_EQ(staging->ftpHost, "staging.example");
  EXPECT_EQ(staging->ftpPort, 2121);
  EXPECT_EQ(staging->httpPort, 8080);
}

TEST_F(Form1LogicTest, SettingsOrAStoreThatCannotBeUsedAreSaidAndStartNoRun) {
  config.ftpPassword = "";
  Form1Logic& f = Make();
  controls.texts[C::cmbLocalFullPath] = N("C:\\Build\\Tool.exe");
  settings.Set(kAppTitle, "Config", "TlsPin", "5SxGP9LKYxnoqt");
  f.cmdDistribute_Click();
  ASSERT_EQ(boxes.shown().size(), 1u);
  EXPECT_EQ(boxes.shown()[0].style, kStyleWarning);
  EXPECT_NE(boxes.shown()[0].text.find("Config/TlsPin"), std::string::npos) << boxes.shown()[0].text;

  settings.Set(kAppTitle, "Config", "TlsPin", "");
  credentials.Refuse("credentials: mode 0644");
  f.cmdDistribute_Click();
  ASSERT_EQ(boxes.shown().size(), 2u);
  EXPECT_NE(boxes.shown()[1].text.find("credentials: mode 0644"), std::string::npos);
  // Neither asked for a password nor looked at the selection.
  EXPECT_TRUE(controls.passwordPrompts.empty());
  EXPECT_EQ(f.lastRun().status, RunStatus::kDeclined);
  EXPECT_EQ(controls.texts[C::lblVer], "버전:");
}

TEST_F(Form1LogicTest, TheRunsEventsReachTheControlsByTheirNames) {
  Form1Logic& f = Make();
  f.VersionShown("버전: 1.01.33");
  EXPECT_EQ(controls.texts[C::lblVer], "버전: 1.01.33");
  f.WaitingShown(true);
  EXPECT_TRUE(controls.visible[C::lblWaiting]);
  f.WaitingShown(false);
  EXPECT_FALSE(controls.visible[C::lblWaiting]);
  f.Show(Message{"파일명을 알수 없습니다.", kStyleOkOnly, "FTP Upload"});
  boxes.AnswerNextQuestion(kAnswerYes);
  EXPECT_TRUE(f.Ask(Question{QuestionKind::kSameBuild, "다시?"}));
  EXPECT_FALSE(f.Ask(Question{QuestionKind::kSameBuild, "또?"}));  // No, the default
  ASSERT_EQ(boxes.shown().size(), 3u);
  EXPECT_EQ(boxes.shown()[0].caption, "FTP Upload");
  EXPECT_EQ(boxes.shown()[1].style, kStyleQuestionYesNo);
  EXPECT_EQ(boxes.shown()[1].caption, kAppTitle);
  f.cmdClose_Click();  // no run: closes without asking
  EXPECT_EQ(controls.closes, 1);
  EXPECT_EQ(boxes.shown().size(), 3u);
}

TEST_F(Form1LogicTest, TheVersionLabelIsClearedWhenTheSelectionChanges) {
  StoreRecent({"C:\\a\\one.exe", "C:\\b\\two.exe"});
  memoryFiles.AddFolder(N("C:\\Tools\\Deploy"));
  Form1Logic& f = Make();
  f.Load("");
  controls.formVisible = true;
  struct Row {
    const char* change;
    std::function<void()> make;
  };
  const Row rows[] = {
      {"typed", [&] { f.cmbLocalFullPath_Change(); }},
      {"a name chosen", [&] { f.cmbLocalFileOnly_Click(1); }},
      {"one file dropped", [&] { f.cmbLocalFullPath_DropFiles({"C:\\p\\x.exe"}); }},
      {"files dropped", [&] { f.cmbLocalFullPath_DropFiles({"C:\\p\\x.exe", "C:\\p\\y.exe"}); }},
      {"a file chosen in the dialog",
       [&] {
         controls.dialogAnswers = {"C:\\p\\z.exe"};
         f.cmdFindFile_Click();
       }},
  };
  for (const Row& row : rows) {
    f.VersionShown("버전: 1.01.33");
    row.make();
    EXPECT_EQ(controls.texts[C::lblVer], "버전:") << row.change;
  }
  // A dialog cancelled changes no selection and clears nothing.
  f.VersionShown("버전: 1.01.33");
  f.cmdFindFile_Click();
  EXPECT_EQ(controls.texts[C::lblVer], "버전: 1.01.33");
}

TEST(BarPosition, IsTheShareOfBytesSentFullOnlyAtTheLastByteWhateverTheSize) {
  struct Case {
    std::uint64_t sent;
    std::uint64_t total;
    int position;  // of kBarSteps (1000)
  };
  const Case cases[] = {
      {0, 0, 1000},  // an empty file is all sent
      {0, 1024, 0},
      {1023, 1024, 999},
      {1024, 1024, 1000},
      {1499, 1500, 999},  // one byte short is not full
      // Past 32,767 blocks (32 MiB) the bar of old started over; this one
      // goes on, and is full at the file's last byte.
      {32768ull * 1024, 40'000'000, 838},
      {39'999'999, 40'000'000, 999},
      {40'000'000, 40'000'000, 1000},
      {(1ull << 42) - 1, 1ull << 42, 999},  // 4 TiB: no overflow
      {5000, 4000, 1000},                   // more than the size said
  };
  for (const Case& c : cases) {
    EXPECT_EQ(BarPosition(c.sent, c.total), c.position) << c.sent << " of " << c.total;
  }
}

TEST_F(Form1LogicTest, TheBarAndTheTaskbarHearOfAChangeOnly) {
  Form1Logic& f = Make();
  const std::uint64_t total = 40'000'000;
  for (std::uint64_t sent = 0; sent <= total; sent += 1024) f.Progress(sent, total);
  f.Progress(total, total);
  EXPECT_EQ(controls.progressMax, kBarSteps);
  // Every step once, in order, up to the full bar: it never starts over.
  ASSERT_EQ(controls.progressValues.size(), 1000u);
  EXPECT_TRUE(std::is_sorted(controls.progressValues.begin(), controls.progressValues.end()));
  EXPECT_EQ(controls.progressValues.front(), 1);
  EXPECT_EQ(controls.progressValues.back(), kBarSteps);
  ASSERT_EQ(controls.taskbar.size(), 1000u);
  EXPECT_EQ(controls.taskbar.back(), (RecordingForm1Controls::TaskbarCall{TaskbarProgress::kNormal, 1000, 1000}));
}

TEST(ComboSizing, ConvertsTwipsAtNinetySixAndOneHundredTwentyDpi) {
  const ComboPixels at96 = ComboSizeInPixels(1125, 270, 8130, 8130, 5000, 15, 15);
  EXPECT_EQ(at96, (ComboPixels{75, 18, 542, 333, 542}));
  const ComboPixels small = ComboSizeInPixels(9300, 270, 2310, 2310, 5000, 15, 15);
  EXPECT_EQ(small, (ComboPixels{620, 18, 154, 333, 154}));
  const ComboPixels at120 =
      ComboSizeInPixels(1125, 270, 8130, 8130, 5000, TwipsPerPixel(120), TwipsPerPixel(120));
  EXPECT_EQ(at120.width, 677);  // 677.5 cut down
  EXPECT_EQ(at120.droppedHeight, 416);
  EXPECT_EQ(TwipsToPixels(22.5, 15), 1);   // 22.5 rounds to 22 (even), 22 / 15 = 1
  EXPECT_EQ(TwipsToPixels(100, 14.5), 7);  // 14.5 rounds to 14
  EXPECT_EQ(TwipsToPixels(100, 0.4), 0);   // no whole twips per pixel
  EXPECT_EQ(TwipsPerPixel(0), 15);         // a screen that reports no density
}

TEST(ComboSizing, CmbSetSizeKeepsTheBoxWidthAndSizesTheListAtTheScreensDensity) {
  RecordingForm1Controls controls(12);  // 120 DPI
  CmbSetSize(controls, C::cmbLocalFullPath, 8130, 5000);
  // The combo box keeps its own width in whole pixels; the width argument
  // only sets the dropped list's.
  EXPECT_EQ(controls.comboSizes[C::cmbLocalFullPath], (ComboPixels{93, 22, 677, 416, 677}));
}

class Form1RunTest : public Form1LogicTest {
 protected:
  void SetUp() override {
    root_ = testing::FreshTestDir("parone_form_logic");
    fs::create_directories(root_ / "tool" / "temp");
    facts = FixedProcessFacts((root_ / "tool").string());
    facts.userDataFolder = testing::Utf8Of(root_ / "config" / testing::Utf8Path("파로네_배포"));
  }
  std::vector<JournalEntry> Journal() {
    std::vector<JournalEntry> entries;
    std::ifstream in(root_ / "config" / testing::Utf8Path("파로네_배포") / "journal.jsonl");
    for (std::string line; std::getline(in, line);) {
      if (auto entry = ParseJournalLine(line)) entries.push_back(*entry);
    }
    return entries;
  }
  void UseServer(const testing::LocalServer& server) {
    config.ftpPort = server.ftpPort();
    config.httpPort = server.httpPort();
  }
  std::string SamplePath() const { return (root_ / "Tool.Setup.exe").string(); }
  // A shown window with the sample program chosen and 전자서명 추가 unticked.
  Form1Logic& WindowWithSample() {
    fs::copy_file(std::string(PARONE_FIXTURE_DIR) + "/sample32.exe", SamplePath());
    Form1Logic& f = Make(nativeFiles);
    f.Load("");
    controls.formVisible = true;
    controls.texts[C::cmbLocalFullPath] = SamplePath();
    controls.ticks[C::chkCodeSigning] = 0;
    return f;
  }
  void TearDown() override {
    logic.reset();
    fs::remove_all(root_);
  }
  fs::path root_;
  NativeFileSystem nativeFiles;
};

TEST_F(Form1RunTest, AWholeRunPublishesAndClosesTheWindowAfterSending) {
  testing::LocalServer server;
  UseServer(server);
  const std::string program = SamplePath();
  Form1Logic& f = WindowWithSample();
  f.cmdDistribute_Click();
  RunToEnd();
  EXPECT_EQ(f.lastRun().status, RunStatus::kCompleted);
  EXPECT_TRUE(f.lastRun().AllPublished());
  EXPECT_EQ(server.ReadUploaded("Tool.Setup_lastver.txt"), "33\r\n");
  std::ifstream local(program, std::ios::binary);
  EXPECT_EQ(server.ReadUploaded("Tool.Setup.exe"),
            std::string((std::istreambuf_iterator<char>(local)), std::istreambuf_iterator<char>()));
  EXPECT_EQ(controls.texts[C::lblVer], "버전: 1.01.33");
  EXPECT_EQ(controls.closes, 1);  // closed after sending, without "배포완료"
  EXPECT_FALSE(controls.formVisible);
  EXPECT_TRUE(boxes.shown().empty());
  EXPECT_EQ(ReadRecentFiles(settings), Strings{program});
  // The bar ended full, and the taskbar button was cleared at the end.
  EXPECT_EQ(controls.progressMax, kBarSteps);
  ASSERT_FALSE(controls.progressValues.empty());
  EXPECT_EQ(controls.progressValues.back(), kBarSteps);
  ASSERT_FALSE(controls.taskbar.empty());
  EXPECT_EQ(controls.taskbar.back().state, TaskbarProgress::kNone);
}

TEST_F(Form1RunTest, APublishTheWebDoesNotShowKeepsTheWindowOpenWithItsWarningAndIsJournalled) {
  testing::LocalServer server({"--web-root", "other_html"});
  UseServer(server);
  const std::string program = SamplePath();
  Form1Logic& f = WindowWithSample();  // close-after-sending stays ticked
  f.cmdDistribute_Click();
  RunToEnd();
  EXPECT_TRUE(f.lastRun().AllPublished());
  EXPECT_TRUE(f.lastRun().AnyUnconfirmed());
  EXPECT_EQ(controls.closes, 0);
  EXPECT_TRUE(controls.formVisible);
  ASSERT_EQ(boxes.shown().size(), 1u);
  EXPECT_EQ(boxes.shown()[0].style, kStyleWarning);
  EXPECT_NE(boxes.shown()[0].text.find("Tool.Setup.exe"), std::string::npos);
  const std::vector<JournalEntry> journal = Journal();
  ASSERT_EQ(journal.size(), 1u);
  EXPECT_EQ(journal[0].path, program);
  EXPECT_EQ(journal[0].result, "not_confirmed");
  EXPECT_EQ(journal[0].confirmed, false);
}

TEST_F(Form1RunTest, DistributeIsDisabledWhileARunGoesAndASecondPressStartsNothing) {
  Form1Logic& f = Make(nativeFiles);
  f.Load("");
  controls.formVisible = true;
  // An empty selection: the run holds at its message until it is delivered.
  f.cmdDistribute_Click();
  ASSERT_TRUE(f.running());
  EXPECT_TRUE(controls.disabled[C::cmdDistribute]);
  f.cmdDistribute_Click();  // Enter again, as a key may still reach the button
  EXPECT_EQ(std::count(controls.calls.begin(), controls.calls.end(), "Disable cmdDistribute"), 1);
  RunToEnd();
  EXPECT_FALSE(controls.disabled[C::cmdDistribute]);
  EXPECT_EQ(boxes.shown().size(), 1u);  // one run, one message
  f.cmdDistribute_Click();              // and the next run starts as ever
  EXPECT_TRUE(controls.disabled[C::cmdDistribute]);
  RunToEnd();
  EXPECT_EQ(boxes.shown().size(), 2u);
}

TEST_F(Form1RunTest, TheRunsMessagesWaitWhileTheWindowAsksWhetherToStopAndNoGoesOn) {
  Form1Logic& f = Make(nativeFiles);
  f.Load("");
  controls.formVisible = true;
  f.cmdDistribute_Click();  // "보낼파일을 선택하세요." will come
  ASSERT_TRUE(controls.WaitForWake());
  std::size_t shownDuringQuestion = 0;
  bool asking = true;
  boxes.whileShown = [&] {
    // The question's own message loop hands the run's events over.
    if (!asking) return;
    asking = false;
    f.DeliverRunEvents();
    shownDuringQuestion = boxes.shown().size();
  };
  f.cmdClose_Click();  // answered No, the default
  ASSERT_GE(boxes.shown().size(), 1u);
  EXPECT_EQ(boxes.shown()[0].text, kStopQuestion);
  EXPECT_EQ(boxes.shown()[0].style, kStyleQuestionYesNo);
  EXPECT_EQ(shownDuringQuestion, 1u);  // the run's message waited
  RunToEnd();
  ASSERT_EQ(boxes.shown().size(), 2u);
  EXPECT_EQ(boxes.shown()[1].text, "보낼파일을 선택하세요.");
  EXPECT_EQ(controls.closes, 0);
  EXPECT_EQ(f.lastRun().status, RunStatus::kEmptySelection);
}

TEST_F(Form1RunTest, AStopDuringASlowUploadRemovesWhatItSentKeepsThePairAndIsJournalledAsStopped) {
  struct Case {
    const char* when;
    std::size_t size;
    long rate;  // bytes a second the server takes
  };
  // Each about 8 s over its link. The small file fits the connection's
  // buffers whole, so the stop finds libcurl waiting for the server's
  // answer to the finished transfer; the big one is cut off while its bytes
  // still go, and takes its connection with it.
  const Case cases[] = {
      {"awaiting the server's answer", 2 * 1024 * 1024, 256 * 1024},
      {"while the bytes go", 32 * 1024 * 1024, 4 * 1024 * 1024},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.when);
    testing::LocalServer server({"--upload-rate", std::to_string(c.rate)});
    UseServer(server);
    server.PutUploaded("Tool.Setup.exe", "the published build");
    server.PutUploaded("Tool.Setup_lastver.txt", "32\r\n");
    const fs::path program = root_ / "Tool.Setup.exe";
    fs::remove(program);
    fs::remove_all(root_ / "config");
    MakeProgram(program, c.size);
    controls = RecordingForm1Controls();
    boxes.Clear();
    Form1Logic& f = Make(nativeFiles);
    f.Load("");
    controls.formVisible = true;
    controls.texts[C::cmbLocalFullPath] = program.string();
    controls.ticks[C::chkCodeSigning] = 0;
    controls.ticks[C::chkSuccUnload] = 0;
    const auto started = std::chrono::steady_clock::now();
    f.cmdDistribute_Click();
    // Until the bar shows some of the file sent.
    while (controls.progressValues.empty() || controls.progressValues.back() == 0) {
      ASSERT_TRUE(controls.WaitForWake());
      f.DeliverRunEvents();
      ASSERT_TRUE(f.running());
    }
    f.cmdClose_Click();  // No: the run goes on
    EXPECT_TRUE(f.running());
    EXPECT_EQ(controls.closes, 0);
    boxes.AnswerNextQuestion(kAnswerYes);
    const auto stopped = std::chrono::steady_clock::now();
    f.cmdClose_Click();
    EXPECT_EQ(controls.closes, 1);  // closed at once
    ASSERT_EQ(boxes.shown().size(), 2u);
    EXPECT_EQ(boxes.shown()[1].text, kStopQuestion);
    f.EndRun();  // what the window's going waits for: the clean-up
    const auto ended = std::chrono::steady_clock::now();

    // The published pair as it was, and nothing of this run left beside it.
    EXPECT_EQ(server.ReadUploaded("Tool.Setup.exe"), "the published build");
    EXPECT_EQ(server.ReadUploaded("Tool.Setup_lastver.txt"), "32\r\n");
    EXPECT_EQ(server.ListUploadDir(), (Strings{"Tool.Setup.exe", "Tool.Setup_lastver.txt"}));
    const std::vector<std::string> commands = server.FtpCommands();
    EXPECT_EQ(std::count_if(commands.begin(), commands.end(),
                            [](const std::string& line) { return line.rfind("DELE ", 0) == 0; }),
              1);
    const std::vector<JournalEntry> journal = Journal();
    ASSERT_EQ(journal.size(), 1u);
    EXPECT_EQ(journal[0].result, "stopped");
    ASSERT_TRUE(journal[0].error.has_value());
    EXPECT_EQ(journal[0].error->stage, Stage::kStopped);
    EXPECT_EQ(boxes.shown().size(), 2u);  // nothing more was shown after the stop
    // The stop did not wait for the transfer: what the link still needed
    // for the file's rest is at least the whole file's time less the time
    // it has had.
    const auto seconds = [](auto d) { return std::chrono::duration<double>(d).count(); };
    const double linkRest = static_cast<double>(c.size) / c.rate - seconds(stopped - started);
    EXPECT_LT(seconds(ended - stopped), linkRest / 2) << "stopped after " << seconds(ended - stopped) << " s";
    logic.reset();
  }
}

TEST_F(Form1RunTest, AFailedFileTurnsTheTaskbarButtonRedUntilTheNextRun) {
  const fs::path program = root_ / "Tool.Setup.exe";
  MakeProgram(program, 4096);
  Form1Logic& f = Make(nativeFiles);  // no server at the configured ports
  f.Load("");
  controls.formVisible = true;
  controls.texts[C::cmbLocalFullPath] = program.string();
  controls.ticks[C::chkCodeSigning] = 0;
  boxes.AnswerNextQuestion(kAnswerYes);  // upload though the server's build is unknown
  f.cmdDistribute_Click();
  RunToEnd();
  ASSERT_FALSE(controls.taskbar.empty());
  EXPECT_EQ(controls.taskbar.front().state, TaskbarProgress::kNone);  // cleared at the start
  EXPECT_EQ(controls.taskbar.back().state, TaskbarProgress::kError);  // and not at the end
  // The connection's failure named the server it could not reach.
  ASSERT_GE(boxes.shown().size(), 2u);
  const std::string& failure = boxes.shown()[1].text;
  EXPECT_EQ(failure.rfind("서버 접속 실패!\r\n오류번호: 7\r\n\r\n서버: 127.0.0.1:" +
                              std::to_string(config.ftpPort) + "\r\n",
                          0),
            0u)
      << failure;
  controls.taskbar.clear();
  f.cmdDistribute_Click();
  EXPECT_EQ(controls.taskbar.front().state, TaskbarProgress::kNone);
  RunToEnd();
}

TEST_F(Form1RunTest, WithNoPasswordFoundTheDialogAsksAndCancelEndsTheRunBeforeAnythingIsSent) {
  testing::LocalServer server({"--password", "typed in"});
  UseServer(server);
  config.ftpPassword = "";  // as in a default build
  Form1Logic& f = WindowWithSample();
  controls.ticks[C::chkSuccUnload] = 0;

  f.cmdDistribute_Click();  // cancelled
  EXPECT_FALSE(f.running());
  EXPECT_EQ(controls.passwordPrompts,
            Strings{"127.0.0.1 서버에 sdc1 계정으로 로그인할 FTP 비밀번호를 입력하세요."});
  EXPECT_EQ(f.lastRun().status, RunStatus::kDeclined);
  EXPECT_EQ(server.CommandLogText(), "");  // not even the version check
  EXPECT_TRUE(boxes.shown().empty());

  // Typed and kept ("저장"): the run goes on, and the next one finds it.
  controls.passwordAnswers.push_back(EnteredPassword{"typed in", true});
  f.cmdDistribute_Click();
  RunToEnd();
  EXPECT_TRUE(f.lastRun().AllPublished());
  EXPECT_EQ(credentials.Stored("127.0.0.1", "sdc1"), "typed in");
  fs::remove(server.uploadDir() + "/Tool.Setup_lastver.txt");
  f.cmdDistribute_Click();
  RunToEnd();
  EXPECT_TRUE(f.lastRun().AllPublished());
  EXPECT_EQ(controls.passwordPrompts.size(), 2u);

  // Typed without the tick: used for this run only.
  credentials.Erase("127.0.0.1", "sdc1");
  fs::remove(server.uploadDir() + "/Tool.Setup_lastver.txt");
  controls.passwordAnswers.push_back(EnteredPassword{"typed in", false});
  f.cmdDistribute_Click();
  RunToEnd();
  EXPECT_TRUE(f.lastRun().AllPublished());
  EXPECT_FALSE(credentials.Stored("127.0.0.1", "sdc1").has_value());
}

TEST_F(Form1RunTest, AfterTheServerRefusedTheLoginTheNextRunAsksAgain) {
  testing::LocalServer server({"--password", "right"});
  UseServer(server);
  config.ftpPassword = "";
  credentials.Set("127.0.0.1", "sdc1", "wrong");
  Form1Logic& f = WindowWithSample();

  f.cmdDistribute_Click();  // the kept password, refused
  RunToEnd();
  EXPECT_TRUE(controls.passwordPrompts.empty());
  ASSERT_FALSE(boxes.shown().empty());
  EXPECT_EQ(boxes.shown()[0].text.rfind("서버 접속 실패!", 0), 0u) << boxes.shown()[0].text;
  controls.passwordAnswers.push_back(EnteredPassword{"right", true});
  f.cmdDistribute_Click();
  RunToEnd();
  EXPECT_EQ(controls.passwordPrompts.size(), 1u);
  EXPECT_TRUE(f.lastRun().AllPublished());
  EXPECT_EQ(credentials.Stored("127.0.0.1", "sdc1"), "right");  // replaced
}

}  // namespace
}  // namespace parone
