#include "main_window/form1_logic.hpp"

#include <algorithm>
#include <cctype>
#include <utility>

#include "common/numeric_text.hpp"
#include "common/path_names.hpp"
#include "common/text_encoding.hpp"
#include "common/tick_state.hpp"
#include "distribution/recent_files.hpp"

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

// The window's progress bar as the workflow counts: single precision values
// kept as given, whole steps on the control.
class Form1Logic::Progress final : public ProgressDisplay {
 public:
  explicit Progress(Form1Controls& controls) : controls_(controls) {}
  float Max() const override { return max_; }
  void SetMax(float max) override {
    max_ = max;
    controls_.SetProgressMax(static_cast<int>(max));
  }
  float Value() const override { return value_; }
  void SetValue(float value) override {
    value_ = value;
    controls_.SetProgressValue(static_cast<int>(value));
  }

 private:
  Form1Controls& controls_;
  float max_ = 100;
  float value_ = 0;
};

Form1Logic::Form1Logic(Form1Controls& controls, Form1Services services)
    : controls_(controls),
      services_(std::move(services)),
      progress_(std::make_unique<Progress>(controls)) {
  context_ = std::make_unique<DistributionContext>(DistributionContext{
      *this, services_.boxes, services_.files, services_.settings, services_.codePage,
      services_.facts, services_.launcher, services_.config, services_.ftpTimeouts,
      services_.urlTimeouts});
  questions_ = std::make_unique<MessageBoxQuestions>(services_.boxes);
  steps_ = std::make_unique<WorkflowSteps>(*context_, *questions_);
  signing_ = std::make_unique<DropFolderSigning>(*context_, services_.sleeper, *this,
                                                 services_.signingPollMs);
  // Every publish from the window is recorded, as from the command line.
  journal_ = std::make_unique<PublishJournal>(services_.files, services_.facts);
  run_ = std::make_unique<DistributionRun>(*this, services_.boxes, *steps_, signing_.get(),
                                           journal_.get());
}

Form1Logic::~Form1Logic() = default;

void Form1Logic::Load(const std::string& commandLine) {
  const ProgramVersion v = services_.facts.OwnVersion();
  controls_.SetCaption(controls_.Caption() + " Ver." + std::to_string(v.major) + "." +
                       std::to_string(v.minor) + "." + std::to_string(v.revision));
  // The window is not visible yet, so the change handler does not write
  // this back.
  controls_.SetText(C::Text1, services_.settings.GetSetting(kAppTitle, "Config", "UpxPath",
                                                            services_.config.defaultUpxPath));
  controls_.SetTick(C::ChkPassive, TickStateFromText(services_.settings.GetSetting(
                                       kAppTitle, "Config", "PassiveMode", "1")));
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

void Form1Logic::cmdDistribute_Click() { lastRun_ = run_->Run(); }

void Form1Logic::cmdClose_Click() { controls_.CloseForm(); }

void Form1Logic::cmdFindFile_Click() {
  const std::string chosen = SelectFileDialog(kFindFileTitle, "");
  if (!chosen.empty()) controls_.SetText(C::cmbLocalFullPath, chosen);
}

void Form1Logic::Text1_Change() {
  if (controls_.IsFormVisible()) {
    services_.settings.SaveSetting(kAppTitle, "Config", "UpxPath", controls_.Text(C::Text1));
  }
}

void Form1Logic::ChkPassive_Click() {
  if (controls_.IsFormVisible()) {
    services_.settings.SaveSetting(kAppTitle, "Config", "PassiveMode",
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
  if (lastFolder_.empty() || (!services_.files.FolderExists(lastFolder_) &&
                              !services_.files.FileExists(lastFolder_))) {
    lastFolder_ = services_.facts.OwnFolder();
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
  for (const std::string& entry : ReadRecentFiles(services_.settings)) {
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

void Form1Logic::AddRecentFile(const std::string& entry) { parone::AddRecentFile(services_.settings, entry); }

std::string Form1Logic::cmbLocalFullPath() { return controls_.Text(C::cmbLocalFullPath); }
void Form1Logic::FocusCmbLocalFullPath() { controls_.FocusOn(C::cmbLocalFullPath); }
int Form1Logic::chkCodeSigning() { return controls_.Tick(C::chkCodeSigning); }
void Form1Logic::SetLblVer(const std::string& caption) { controls_.SetText(C::lblVer, caption); }
void Form1Logic::SetLblWaitingVisible(bool visible) { controls_.SetVisible(C::lblWaiting, visible); }
std::string Form1Logic::Text1() { return controls_.Text(C::Text1); }
int Form1Logic::ChkPassive() { return controls_.Tick(C::ChkPassive); }
int Form1Logic::chkSuccUnload() { return controls_.Tick(C::chkSuccUnload); }
ProgressDisplay& Form1Logic::ProgressBar1() { return *progress_; }
void Form1Logic::Unload() { controls_.CloseForm(); }
void Form1Logic::YieldToWindow() { controls_.ProcessPendingMessages(); }
std::intptr_t Form1Logic::WindowHandle() { return controls_.WindowHandle(); }

bool Form1Logic::RetryCopy(const std::string& from, const std::string& to) {
  return services_.boxes.Show("파일을 복사하지 못했습니다. 다시 시도하시겠습니까?\r\n\r\n" + from +
                                  "\r\n-> " + to + "\r\n\r\n(아니요: 배포를 중단합니다)",
                              kStyleQuestionYesNo) == kAnswerYes;
}

bool Form1Logic::KeepWaiting(long waitedMs) {
  const long every = services_.askToKeepWaitingMs;
  if (every <= 0 || waitedMs == 0 || waitedMs % every != 0) return true;
  return services_.boxes.Show("서명된 파일을 " + std::to_string(waitedMs / 60000) +
                                  "분째 기다리고 있습니다. 계속 기다리시겠습니까?\r\n\r\n"
                                  "(아니요: 배포를 중단합니다. 파일은 바뀌지 않습니다)",
                              kStyleQuestionYesNo) == kAnswerYes;
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
