#pragma once
// The tool's one window. It owns every control, implements the view the
// distribution workflow works through, and runs the workflow on the GUI
// thread: a run blocks the window except where the workflow yields (after
// the waiting label is shown, after each UPX step), while the progress bar
// repaints itself at every step. Settings are saved as they change, and
// only while the window is visible, so the load never writes them back.

#include <QDialog>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "distribution/code_signing.hpp"
#include "distribution/distribution_run.hpp"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;

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
  // The open-file dialog: title and initial folder; "" when cancelled.
  std::function<std::string(const std::string& title, const std::string& folder)> openFileDialog;
  FtpTimeouts ftpTimeouts{};
  UrlTextTimeouts urlTimeouts{};
  long signingPollMs = kSigningPollMs;
  long askToKeepWaitingMs = 5 * 60 * 1000;  // how often a long signing wait asks
};

class Form1 final : public QDialog, public DistributionView, public SigningWayOut {
 public:
  explicit Form1(Form1Services services, QWidget* parent = nullptr);
  ~Form1() override;

  // The load handler: caption, settings, drop-down sizes, then the command
  // line (a run at once, with the window shown) or the recent files.
  void Load(const std::string& commandLine);

  void cmdDistribute_Click();
  void cmdFindFile_Click();
  std::string SelectFileDialog(const std::string& title, const std::string& initialFileName);
  void LoadRecentFiles();
  void AddRecentFile(const std::string& entry);
  // What a drop of local files on cmbLocalFullPath does.
  void DropFiles(const std::vector<std::string>& paths);

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

  // SigningWayOut: the user decides.
  bool RetryCopy(const std::string& from, const std::string& to) override;
  bool KeepWaiting(long waitedMs) override;

  double twipsPerPixel() const { return twipsPerPixel_; }
  const RunOutcome& lastRun() const { return lastRun_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  class Progress;
  void BuildControls();
  QRect Twips(int left, int top, int width, int height) const;

  Form1Services services_;
  double twipsPerPixel_ = 15;
  std::string lastFolder_;
  RunOutcome lastRun_;

  QLabel* label1_ = nullptr;
  QComboBox* cmbLocalFullPath_ = nullptr;
  QComboBox* cmbLocalFileOnly_ = nullptr;
  QPushButton* cmdFindFile_ = nullptr;
  QProgressBar* progressBar1_ = nullptr;
  QCheckBox* chkSuccUnload_ = nullptr;
  QPushButton* cmdDistribute_ = nullptr;
  QPushButton* cmdClose_ = nullptr;
  QLabel* lblVer_ = nullptr;
  QLabel* label2_ = nullptr;
  QLineEdit* text1_ = nullptr;
  QCheckBox* chkPassive_ = nullptr;
  QCheckBox* chkCodeSigning_ = nullptr;
  QLabel* lblWaiting_ = nullptr;

  std::unique_ptr<Progress> progress_;
  std::unique_ptr<DistributionContext> context_;
  std::unique_ptr<MessageBoxQuestions> questions_;
  std::unique_ptr<WorkflowSteps> steps_;
  std::unique_ptr<DropFolderSigning> signing_;
  std::unique_ptr<DistributionRun> run_;
};

inline constexpr const char* kForm1Caption = "파로네 자동배포2(ftp)";

}  // namespace parone
