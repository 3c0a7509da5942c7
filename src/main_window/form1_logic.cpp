#include "main_window/form1_logic.hpp"

#include <algorithm>
#include <cctype>
#include <utility>

#include "common/numeric_text.hpp"
#include "common/path_names.hpp"
#include "common/text_encoding.hpp"
#include "common/tick_state.hpp"
#include "distribution/failure_messages.hpp"
#include "distribution/ftp_account.hpp"
#include "distribution/publish_journal.hpp"
#include "distribution/recent_files.hpp"
#include "main_window/password_dialog.hpp"

namespace parone {
namespace {

using C = Form1Control;

char16_t Folded(char16_t unit) {
  if (unit >= u'A' && unit <= u'Z') return static_cast<char16_t>(unit + 0x20);
  // Latin-1 capitals À to Þ, except the multiplication sign.
  if (unit >= 0xC0 && unit <= 0xDE && unit != 0xD7) return static_cast<char16_t>(unit + 0x20);
  return unit;
}

bool IsDriveLetter(char c) { return std::isalpha(static_cast<unsigned char>(c)) != 0; }

}  // namespace

Form1Logic::Form1Logic(Form1Controls& controls, Form1Services services)
    : controls_(controls),
      services_(std::move(services)),
      settings_(services_.publish.settings),
      runServices_{services_.publish.files,    settings_,
                   services_.publish.codePage, services_.publish.facts,
                   services_.publish.launcher, services_.publish.sleeper} {
  // Every publish from the window is recorded, as from the command line.
  journal_ = std::make_unique<PublishJournal>(services_.publish.files, services_.publish.facts);
  run_ = std::make_unique<WindowRun>(runServices_, journal_.get(), *this,
                                     [&controls] { controls.WakeForRun(); });
}

Form1Logic::~Form1Logic() { EndRun(); }

void Form1Logic::EndRun() {
  if (!run_->running()) return;
  run_->Stop();
  run_->Join();
}

void Form1Logic::Load(const std::string& commandLine) {
  const ProgramVersion v = services_.publish.facts.OwnVersion();
  controls_.SetCaption(controls_.Caption() + " Ver." + std::to_string(v.major) + "." +
                       std::to_string(v.minor) + "." + std::to_string(v.revision));
  // The window is not visible yet, so the change handler does not write
  // this back.
  controls_.SetText(C::Text1, settings_.GetSetting(kAppTitle, "Config", "UpxPath",
                                                   services_.config.defaultUpxPath));
  controls_.SetTick(C::ChkPassive,
                    TickStateFromText(settings_.GetSetting(kAppTitle, "Config", "PassiveMode", "1")));
  SizeDropDowns();
  controls_.FocusOn(C::cmbLocalFullPath);  // first in the focus order

  if (!commandLine.empty()) {
    controls_.SetText(C::cmbLocalFullPath, commandLine);
    controls_.ShowForm();
    cmdDistribute_Click();
    return;
  }
  LoadRecentFiles();
}

void Form1Logic::SizeDropDowns() {
  for (const C combo : {C::cmbLocalFullPath, C::cmbLocalFileOnly}) {
    const long widthTwips =
        static_cast<long>(RoundHalfEven(controls_.Bounds(combo).width * controls_.TwipsPerPixelX()));
    CmbSetSize(controls_, combo, widthTwips, kDroppedHeightTwips);
  }
}

PublishRequest Form1Logic::MakeRequest() {
  PublishRequest request;
  request.entries = SelectedPaths(controls_.Text(C::cmbLocalFullPath));
  request.upxPath = controls_.Text(C::Text1);
  // Only an exact tick counts; a greyed box does not.
  request.passive = IsTicked(controls_.Tick(C::ChkPassive));
  request.sign = IsTicked(controls_.Tick(C::chkCodeSigning));
  request.closeAfterSending = IsTicked(controls_.Tick(C::chkSuccUnload));
  request.signing = services_.signing;
  request.config = services_.config;
  request.ftpTimeouts = services_.ftpTimeouts;
  request.urlTimeouts = services_.urlTimeouts;
  request.ownerWindow = controls_.WindowHandle();
  return request;
}

bool Form1Logic::PrepareAccount(PublishRequest& request) {
  auto tls = ReadFtpTls(settings_, services_.environment, request.config);
  if (!tls) {
    services_.boxes.Show("설정이 잘못되어 배포하지 않습니다.\r\n\r\n" + tls.error().message,
                         kStyleWarning);
    return false;
  }
  request.ftpTls = *tls;
  const SystemConfig& config = request.config;
  FoundPassword found = FindFtpPassword(config, services_.environment, services_.credentials,
                                        services_.publish.files);
  if (!found.storeRefusal.empty()) {
    services_.boxes.Show("저장된 FTP 비밀번호를 읽을 수 없어 배포하지 않습니다.\r\n\r\n" +
                             found.storeRefusal,
                         kStyleWarning);
    return false;
  }
  if (!found.found() || loginRefused_) {
    std::optional<EnteredPassword> entered =
        controls_.AskPassword(PasswordPromptText(config.ftpHost, config.ftpUser));
    if (!entered || entered->password.empty()) return false;
    loginRefused_ = false;
    if (entered->keep &&
        (!services_.credentials ||
         !services_.credentials->Write(config.ftpHost, config.ftpUser, entered->password))) {
      services_.boxes.Show("비밀번호를 저장하지 못했습니다. 이번 배포에만 씁니다.", kStyleWarning);
    }
    found = FoundPassword{PasswordSource::kEntered, std::move(entered->password), "", ""};
  }
  UsePassword(request, found);
  return true;
}

void Form1Logic::cmdDistribute_Click() {
  // A press while a run is going (배포 is disabled then, but Enter may still
  // reach it) starts nothing.
  if (run_->running()) return;
  PublishRequest request = MakeRequest();
  // An empty selection is said by the run, before any connection.
  if (!request.entries.empty() && !PrepareAccount(request)) {
    lastRun_ = RunOutcome{};
    lastRun_.status = RunStatus::kDeclined;
    lastRun_.entries = request.entries;
    return;
  }
  runFailed_ = false;
  controls_.SetTaskbarProgress(TaskbarProgress::kNone, 0, kBarSteps);
  if (!run_->Start(std::move(request))) {
    // No thread for the run: the system is out of resources.
    Show(ErrorReportMessage(Error{Stage::kInput, CodeKind::kRuntime, 7, "Out of memory"}, kRunClosing));
    return;
  }
  controls_.SetEnabled(C::cmdDistribute, false);
}

void Form1Logic::cmdClose_Click() {
  if (run_->running() && !run_->stopping()) {
    // The run goes on while the question is up; its own messages wait.
    run_->Hold(true);
    const bool stop = services_.boxes.Show(kStopQuestion, kStyleQuestionYesNo) == kAnswerYes;
    run_->Hold(false);
    if (!stop) {
      DeliverRunEvents();
      return;
    }
    run_->Stop();
  }
  controls_.CloseForm();
}

void Form1Logic::cmdFindFile_Click() {
  // The run's messages wait until the dialog is closed.
  run_->Hold(true);
  const std::string chosen = SelectFileDialog(kFindFileTitle, "");
  run_->Hold(false);
  if (!chosen.empty()) {
    controls_.SetText(C::cmbLocalFullPath, chosen);
    SelectionChanged();
  }
  DeliverRunEvents();
}

void Form1Logic::cmbLocalFullPath_Change() { SelectionChanged(); }

void Form1Logic::SelectionChanged() {
  // The version shown belongs to the file it was read from, not to the
  // selection now.
  const std::string cleared = LayoutOf(C::lblVer).caption;
  if (controls_.Text(C::lblVer) != cleared) controls_.SetText(C::lblVer, cleared);
}

void Form1Logic::Text1_Change() {
  if (controls_.IsFormVisible()) {
    settings_.SaveSetting(kAppTitle, "Config", "UpxPath", controls_.Text(C::Text1));
  }
}

void Form1Logic::ChkPassive_Click() {
  if (controls_.IsFormVisible()) {
    settings_.SaveSetting(kAppTitle, "Config", "PassiveMode",
                          std::to_string(controls_.Tick(C::ChkPassive)));
  }
}

void Form1Logic::cmbLocalFileOnly_Click(int listIndex) {
  const int entry = controls_.ItemData(C::cmbLocalFileOnly, listIndex);
  if (entry < 0) return;
  controls_.SelectItem(C::cmbLocalFullPath, entry);
  SelectionChanged();
}

void Form1Logic::cmbLocalFullPath_DropFiles(const std::vector<std::string>& paths) {
  if (paths.empty()) return;
  if (paths.size() == 1) {
    // A single file enters the recent files when a run publishes it.
    controls_.SetText(C::cmbLocalFullPath, paths.front());
    SelectionChanged();
    return;
  }
  std::string joined = paths.front();
  for (std::size_t i = 1; i < paths.size(); ++i) joined += ";" + paths[i];
  controls_.SetText(C::cmbLocalFullPath, joined);
  SelectionChanged();
  AddRecentFile(joined);
}

std::string Form1Logic::SelectFileDialog(const std::string& title, const std::string& initialFileName) {
  FileSystem& files = services_.publish.files;
  if (lastFolder_.empty() || (!files.FolderExists(lastFolder_) && !files.FileExists(lastFolder_))) {
    lastFolder_ = services_.publish.facts.OwnFolder();
  }
  const std::optional<std::string> chosen =
      controls_.OpenFileDialog({title, lastFolder_, initialFileName, "모든파일", "*.*"});
  if (!chosen) return "";  // cancelled: the last folder stays
  if (std::optional<std::string> folder = FolderOfChosenFile(*chosen)) lastFolder_ = std::move(*folder);
  return *chosen;
}

void Form1Logic::LoadRecentFiles() {
  controls_.ClearList(C::cmbLocalFullPath);
  controls_.ClearList(C::cmbLocalFileOnly);
  struct Name {
    std::string text;
    int entry;
  };
  std::vector<Name> names;
  int index = 0;
  for (const std::string& entry : ReadRecentFiles(settings_)) {
    const int at = controls_.AddItem(C::cmbLocalFullPath, entry, index++);
    names.push_back({FileNameOf(entry), at});
  }
  // Added in order, so a list that does not sort itself is sorted as well;
  // equal names keep the order of their entries.
  std::stable_sort(names.begin(), names.end(),
                   [](const Name& a, const Name& b) { return NameOrderLess(a.text, b.text); });
  for (const Name& name : names) controls_.AddItem(C::cmbLocalFileOnly, name.text, name.entry);
  controls_.SelectItem(C::cmbLocalFileOnly, -1);
  if (index > 0) controls_.SelectItem(C::cmbLocalFullPath, 0);
}

void Form1Logic::AddRecentFile(const std::string& entry) { parone::AddRecentFile(settings_, entry); }

void Form1Logic::VersionShown(const std::string& caption) { controls_.SetText(C::lblVer, caption); }

int BarPosition(std::uint64_t sent, std::uint64_t total) {
  if (sent >= total) return kBarSteps;
  // sent < total, so neither the product (files below 16 EiB / 1000) nor
  // the result overflows.
  return static_cast<int>(sent * kBarSteps / total);
}

void Form1Logic::Progress(std::uint64_t sent, std::uint64_t total) {
  if (barMax_ != kBarSteps) controls_.SetProgressMax(barMax_ = kBarSteps);
  const int value = BarPosition(sent, total);
  if (value == barValue_) return;
  controls_.SetProgressValue(barValue_ = value);
  controls_.SetTaskbarProgress(TaskbarProgress::kNormal, value, kBarSteps);
}

void Form1Logic::FileFinished(const FileReport& report) {
  if (report.result != PublishResult::kFailed) return;
  // Red from here until the next run begins: the failure's messages came
  // before, and a button cleared at the run's end would never show it.
  runFailed_ = true;
  controls_.SetTaskbarProgress(TaskbarProgress::kError, barValue_, kBarSteps);
}

void Form1Logic::WaitingShown(bool shown) { controls_.SetVisible(C::lblWaiting, shown); }

void Form1Logic::Retrying(int attempt, int attempts, std::uint64_t offset) {
  // Said where the version is shown: the bar shows where the upload resumes.
  controls_.SetText(C::lblVer, "재시도 " + std::to_string(attempt) + "/" + std::to_string(attempts) +
                                   (offset > 0 ? " (" + std::to_string(offset) + "바이트부터)" : ""));
}

void Form1Logic::Show(const Message& message) {
  services_.boxes.Show(message.text, message.style, message.caption);
}

bool Form1Logic::Ask(const Question& question) {
  return services_.boxes.Show(question.text, kStyleQuestionYesNo) == kAnswerYes;
}

void Form1Logic::DeliverRunEvents() {
  if (std::optional<RunOutcome> ended = run_->Deliver()) RunEnded(std::move(*ended));
}

void Form1Logic::RunEnded(RunOutcome outcome) {
  lastRun_ = std::move(outcome);
  loginRefused_ = std::any_of(lastRun_.reports.begin(), lastRun_.reports.end(),
                              [](const FileReport& r) { return r.error && r.error->stage == Stage::kLogin; });
  controls_.SetEnabled(C::cmdDistribute, true);
  if (!runFailed_) controls_.SetTaskbarProgress(TaskbarProgress::kNone, 0, kBarSteps);
  if (lastRun_.status == RunStatus::kEmptySelection) controls_.FocusOn(C::cmbLocalFullPath);
  if (lastRun_.closeWindow) controls_.CloseForm();
}

std::optional<SystemConfig> LoadWindowConfig(const Environment& environment, MessageBoxes& boxes) {
  auto config = LoadSystemConfig(environment);
  if (config) return *config;
  boxes.Show("환경 변수 설정이 잘못되어 프로그램을 시작하지 않습니다.\r\n\r\n" + config.error().message,
             kStyleWarning);
  return std::nullopt;
}

std::optional<std::string> FolderOfChosenFile(const std::string& path) {
  const std::size_t sep = LastSeparator(path);
  if (sep == std::string::npos) return std::nullopt;
  // "C:" alone would name the drive's current folder, not its root.
  const bool root = sep == 0 || (sep == 2 && path[1] == ':' && IsDriveLetter(path[0]));
  return path.substr(0, root ? sep + 1 : sep);
}

bool NameOrderLess(const std::string& a, const std::string& b) {
  const std::u16string wa = Utf8ToUtf16(a);
  const std::u16string wb = Utf8ToUtf16(b);
  return std::lexicographical_compare(wa.begin(), wa.end(), wb.begin(), wb.end(),
                                      [](char16_t x, char16_t y) { return Folded(x) < Folded(y); });
}

}  // namespace parone
