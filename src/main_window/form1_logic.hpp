#pragma once
// What the window Form1 does, whatever toolkit draws it: the load handler,
// the settings handlers, the file dialog's folder rules, the recent files in
// the two combo boxes, drops and choices, and the view the distribution
// workflow works through. The toolkit window owns the controls and turns
// its events into calls of the handlers below; this class reaches the
// controls only through Form1Controls.
//
// Everything runs on the GUI thread. A run (cmdDistribute_Click, and the
// load with a command line) blocks it until the run has ended, except where
// the workflow yields (after the waiting label is shown, after each UPX
// step). Settings are saved as they change, and only while the window is
// visible, so the load never writes back what it has just read.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "distribution/code_signing.hpp"
#include "distribution/distribution_run.hpp"
#include "distribution/run_questions.hpp"
#include "main_window/form1_controls.hpp"

namespace parone {

struct Form1Services {
  MessageBoxes& boxes;
  SettingsStore& settings;
  FileSystem& files;
  const CodePage& codePage;
  const ProcessFacts& facts;
  ProcessLauncher& launcher;
  Sleeper& sleeper;
  SystemConfig config;
  FtpTimeouts ftpTimeouts{};
  UrlTextTimeouts urlTimeouts{};
  long signingPollMs = kSigningPollMs;
  long askToKeepWaitingMs = 5 * 60 * 1000;  // how often a long signing wait asks
};

inline constexpr const char* kFindFileTitle = "배포 파일 선택";

class Form1Logic final : public DistributionView, public SigningWayOut {
 public:
  // `controls` must outlive this object; nothing is called on it here.
  Form1Logic(Form1Controls& controls, Form1Services services);
  ~Form1Logic() override;
  Form1Logic(const Form1Logic&) = delete;
  Form1Logic& operator=(const Form1Logic&) = delete;

  // The load handler, before the window is shown: the caption with the
  // program's version, the UPX path and passive mode from the settings, the
  // drop-down sizes, then the command line: when it is not empty, it becomes
  // the selection, the window is shown and a run goes over it before this
  // returns (the recent files are not loaded then); otherwise the recent
  // files fill both combo boxes.
  void Load(const std::string& commandLine);

  // The window's events.
  void cmdDistribute_Click();
  void cmdClose_Click();
  void cmdFindFile_Click();
  void Text1_Change();
  void ChkPassive_Click();
  // A choice of item `listIndex` in cmbLocalFileOnly's list.
  void cmbLocalFileOnly_Click(int listIndex);
  // Files (or folders) dropped on cmbLocalFullPath, in the order of the
  // dropped list. The toolkit refuses drags that offer no files.
  void cmbLocalFullPath_DropFiles(const std::vector<std::string>& paths);

  // The open-file dialog, opening in the last folder while that exists and
  // in the program's folder otherwise; "" when cancelled, and the last
  // folder becomes the chosen file's folder. Shows no message.
  std::string SelectFileDialog(const std::string& title, const std::string& initialFileName);
  // Fills cmbLocalFullPath with the recent entries in order, newest first
  // and chosen, and cmbLocalFileOnly with their bare names in alphabetical
  // order without regard to case, each carrying its entry's index.
  void LoadRecentFiles();
  // Writes the store only: the two lists keep what was loaded at start.
  void AddRecentFile(const std::string& entry);
  // CmbSetSize for both combo boxes, each with its own width and 5000
  // twips, as the load does; a window calls it again when the screen's
  // density changed under it.
  void SizeDropDowns();

  // DistributionView
  std::string cmbLocalFullPath() override;
  void FocusCmbLocalFullPath() override;
  int chkCodeSigning() override;
  void SetLblVer(const std::string& caption) override;
  void SetLblWaitingVisible(bool visible) override;
  std::string Text1() override;
  int ChkPassive() override;
  int chkSuccUnload() override;
  ProgressDisplay& ProgressBar1() override;
  void Unload() override;
  void YieldToWindow() override;
  std::intptr_t WindowHandle() override;

  // SigningWayOut: the user decides, in Yes/No boxes whose default is No.
  bool RetryCopy(const std::string& from, const std::string& to) override;
  bool KeepWaiting(long waitedMs) override;

  const RunOutcome& lastRun() const { return lastRun_; }

 private:
  class Progress;

  Form1Controls& controls_;
  Form1Services services_;
  std::string lastFolder_;
  RunOutcome lastRun_;

  std::unique_ptr<Progress> progress_;
  std::unique_ptr<DistributionContext> context_;
  std::unique_ptr<MessageBoxQuestions> questions_;
  std::unique_ptr<WorkflowSteps> steps_;
  std::unique_ptr<DropFolderSigning> signing_;
  std::unique_ptr<PublishJournal> journal_;
  std::unique_ptr<DistributionRun> run_;
};

// The folder a chosen file lies in, as the next dialog opens it: the path
// before its last separator, keeping the separator when that leaves a root
// ("C:\x.exe" gives "C:\", "/x.exe" gives "/"); nullopt without a separator.
std::optional<std::string> FolderOfChosenFile(const std::string& path);

// Alphabetical order without regard to case, as cmbLocalFileOnly keeps its
// names: ASCII and Latin-1 letters compare folded, everything else by code
// point.
bool NameOrderLess(const std::string& a, const std::string& b);

}  // namespace parone
