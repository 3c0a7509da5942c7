#include "main_window/form1_logic.hpp"

#include <algorithm>
#include <cctype>
#include <utility>

#include "common/numeric_text.hpp"
#include "common/path_names.hpp"
#include "common/text_encoding.hpp"
#include "common/tick_state.hpp"
#include "distribution/recent_files.hpp"
#include "distribution/publish_journal.hpp"

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
    : controls_(controls), services_(std::move(services)) {
  // Every publish from the window is recorded, as from the command line.
  journal_ = std::make_unique<PublishJournal>(services_.publish.files, services_.publish.facts);
  run_ = std::make_unique<DistributionRun>(services_.publish, *this, journal_.get());
}

Form1Logic::~Form1Logic() = default;

void Form1Logic::Load(const std::string& commandLine) {
  const ProgramVersion v = services_.publish.facts.OwnVersion();
  controls_.SetCaption(controls_.Caption() + " Ver." + std::to_string(v.major) + "." +
                       std::to_string(v.minor) + "." + std::to_string(v.revision));
  // The window is not visible yet, so the change handler does not write
  // this back.
  SettingsStore& settings = services_.publish.settings;
  controls_.SetText(C::Text1, settings.GetSetting(kAppTitle, "Config", "UpxPath",
                                                  services_.config.defaultUpxPath));
  controls_.SetTick(C::ChkPassive,
                    TickStateFromText(settings.GetSetting(kAppTitle, "Config", "PassiveMode", "1")));
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

void Form1Logic::cmdDistribute_Click() {
  // A press while a run is going (the window processes its messages during
  // a run) starts nothing.
  if (run_->running()) return;
  lastRun_ = run_->Run(MakeRequest());
  if (lastRun_.status == RunStatus::kEmptySelection) controls_.FocusOn(C::cmbLocalFullPath);
  if (lastRun_.closeWindow) controls_.CloseForm();
}

void Form1Logic::cmdClose_Click() { controls_.CloseForm(); }

void Form1Logic::cmdFindFile_Click() {
  const std::string chosen = SelectFileDialog(kFindFileTitle, "");
  if (!chosen.empty()) controls_.SetText(C::cmbLocalFullPath, chosen);
}

void Form1Logic::Text1_Change() {
  if (controls_.IsFormVisible()) {
    services_.publish.settings.SaveSetting(kAppTitle, "Config", "UpxPath", controls_.Text(C::Text1));
  }
}

void Form1Logic::ChkPassive_Click() {
  if (controls_.IsFormVisible()) {
    services_.publish.settings.SaveSetting(kAppTitle, "Config", "PassiveMode",
                                           std::to_string(controls_.Tick(C::ChkPassive)));
  }
}

void Form1Logic::cmbLocalFileOnly_Click(int listIndex) {
  const int entry = controls_.ItemData(C::cmbLocalFileOnly, listIndex);
  if (entry >= 0) controls_.SelectItem(C::cmbLocalFullPath, entry);
}

void Form1Logic::cmbLocalFullPath_DropFiles(const std::vector<std::string>& paths) {
  if (paths.empty()) return;
  if (paths.size() == 1) {
    // A single file enters the recent files when a run publishes it.
    controls_.SetText(C::cmbLocalFullPath, paths.front());
    return;
  }
  std::string joined = paths.front();
  for (std::size_t i = 1; i < paths.size(); ++i) joined += ";" + paths[i];
  controls_.SetText(C::cmbLocalFullPath, joined);
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
  for (const std::string& entry : ReadRecentFiles(services_.publish.settings)) {
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

void Form1Logic::AddRecentFile(const std::string& entry) {
  parone::AddRecentFile(services_.publish.settings, entry);
}

void Form1Logic::VersionShown(const std::string& caption) { controls_.SetText(C::lblVer, caption); }

std::pair<int, int> BlockBarPosition(std::uint64_t sent, std::uint64_t total, int currentMax) {
  constexpr std::uint64_t kLimit = 32767;  // the bar counts in 16-bit steps
  const std::uint64_t wholeBlocks = total / 1024;
  if (wholeBlocks == 0) return {currentMax, 0};
  const std::uint64_t max = std::min(wholeBlocks, kLimit);
  const std::uint64_t blocks = std::min(sent, total) / 1024;
  return {static_cast<int>(max), static_cast<int>(blocks % (max + 1))};
}

void Form1Logic::Progress(std::uint64_t sent, std::uint64_t total) {
  const auto [max, value] = BlockBarPosition(sent, total, barMax_);
  if (max != barMax_) controls_.SetProgressMax(barMax_ = max);
  // The start of each transfer sets the bar to 0 even where it already is.
  if (value != barValue_ || sent == 0) controls_.SetProgressValue(barValue_ = value);
}

void Form1Logic::WaitingShown(bool shown) { controls_.SetVisible(C::lblWaiting, shown); }

void Form1Logic::Retrying(int attempt, int attempts, std::uint64_t offset) {
  // Said where the version is shown: the bar shows where the upload resumes.
  controls_.SetText(C::lblVer, "재시도 " + std::to_string(attempt) + "/" + std::to_string(attempts) +
                                   (offset > 0 ? " (" + std::to_string(offset) + "바이트부터)" : ""));
  Pulse();
}

void Form1Logic::Show(const Message& message) {
  services_.boxes.Show(message.text, message.style, message.caption);
}

bool Form1Logic::Ask(const Question& question) {
  return services_.boxes.Show(question.text, kStyleQuestionYesNo) == kAnswerYes;
}

void Form1Logic::Pulse() { controls_.ProcessPendingMessages(); }

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
