#pragma once
// What the window Form1 does, whatever toolkit draws it: the load handler,
// the settings handlers, the file dialog's folder rules, the recent files in
// the two combo boxes, drops and choices, the request a run is started with
// and the run's events. The toolkit window owns the controls and turns its
// events into calls of the handlers below; this class reaches the controls
// only through Form1Controls.
//
// Everything here runs on the GUI thread. A run (cmdDistribute_Click, and
// the load with a command line) works on a thread of its own (WindowRun),
// so the window stays alive meanwhile; its events reach the controls when
// the toolkit, woken by the run, calls DeliverRunEvents. During a run 배포 is
// disabled, and 닫기 (or Esc, or the title bar's close box) asks whether to
// stop it. Settings are saved as they change, and only while the window is
// visible, so the load never writes back what it has just read; the run's
// thread shares the settings store through a lock.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "distribution/distribution_run.hpp"
#include "distribution/publish_events.hpp"
#include "distribution/services.hpp"
#include "main_window/form1_controls.hpp"
#include "main_window/locked_settings_store.hpp"
#include "main_window/window_run.hpp"
#include "platform/credential_store.hpp"
#include "platform/message_box.hpp"

namespace parone {

// The window's share of the front end: the platform's services for the runs,
// its message boxes, and the parts of the request the controls do not give.
struct Form1Services {
  MessageBoxes& boxes;
  PublishServices publish;
  SystemConfig config;
  FtpTimeouts ftpTimeouts{};
  UrlTextTimeouts urlTimeouts{};
  // Polls every 5 s and asks every 5 minutes whether to keep waiting.
  SigningPolicy signing{};
  // Where a run looks for the FTP password before it asks (see
  // distribution/ftp_account.hpp): the user's store (null: none) and the
  // environment (empty: no variable is set).
  CredentialStore* credentials = nullptr;
  Environment environment{};
};

inline constexpr const char* kFindFileTitle = "배포 파일 선택";

// Asked (style 292, No by default) when the window is to close during a run.
inline constexpr const char* kStopQuestion =
    "배포 중입니다. 중지하고 닫으시겠습니까?\r\n\r\n"
    "(예: 올리던 파일을 서버에서 지우고 창을 닫습니다. 서버에 배포되어 있던 파일은 그대로 남습니다)";

// ProgressBar1's range while it shows an upload: the share of the file's
// bytes sent, finer than the bar has pixels.
inline constexpr int kBarSteps = 1000;

class Form1Logic final : public PublishEvents {
 public:
  // `controls` must outlive this object; nothing is called on it here.
  Form1Logic(Form1Controls& controls, Form1Services services);
  // Ends a run still going (EndRun).
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
  // Starts a run over the request made now and returns; does nothing while
  // a run is going.
  void cmdDistribute_Click();
  // Closes the window. During a run it first asks whether to stop it (No:
  // nothing happens); Yes stops the run and closes at once, and the run's
  // thread finishes its clean-up in the background (EndRun waits for it).
  void cmdClose_Click();
  void cmdFindFile_Click();
  // The text of cmbLocalFullPath changed by the user (typed, or an item of
  // its list chosen).
  void cmbLocalFullPath_Change();
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

  // The request a run starts with, made from the controls as they are now.
  PublishRequest MakeRequest();
  // Gives the request the TLS settings and the FTP password: found where
  // the user keeps it, else asked for with the password dialog (and kept in
  // the store when "저장" is ticked), also when the server refused the one
  // the last run logged in with. False, before anything is sent, when the
  // user cancelled or the settings or the store cannot be used (said in a
  // warning box).
  bool PrepareAccount(PublishRequest& request);

  // What the run reported since the last call, onto the controls; when the
  // run has ended, its end (배포 enabled again, the window closed after
  // sending). Called by the toolkit after WakeForRun.
  void DeliverRunEvents();
  bool running() const { return run_->running(); }
  // Stops a run still going and waits until its thread has ended; a window
  // calls it before its controls go.
  void EndRun();

  // PublishEvents: labels and the bar change on the controls, messages and
  // questions are message boxes (questions: Yes/No, No as default).
  void VersionShown(const std::string& caption) override;
  void Progress(std::uint64_t sent, std::uint64_t total) override;
  void WaitingShown(bool shown) override;
  void Retrying(int attempt, int attempts, std::uint64_t offset) override;
  void Show(const Message& message) override;
  bool Ask(const Question& question) override;
  void Answered(const Question&, bool, const std::string&) override {}
  void Notice(const std::string&) override {}
  // A file that failed turns the taskbar button red until the next run.
  void FileFinished(const FileReport& report) override;

  // The outcome of the last run whose end was delivered.
  const RunOutcome& lastRun() const { return lastRun_; }

 private:
  void RunEnded(RunOutcome outcome);
  void SelectionChanged();

  Form1Controls& controls_;
  Form1Services services_;
  // The store as both threads use it; services_.publish.settings only
  // through this.
  LockedSettingsStore settings_;
  PublishServices runServices_;
  std::string lastFolder_;
  RunOutcome lastRun_;
  // What the progress bar shows now; it is set only when that changes.
  int barMax_ = 100;
  int barValue_ = 0;
  bool runFailed_ = false;  // a file of the run under way failed
  // The server refused the last run's login: the next one asks again.
  bool loginRefused_ = false;

  std::unique_ptr<PublishJournal> journal_;
  std::unique_ptr<WindowRun> run_;
};

// Where ProgressBar1 stands, 0 to kBarSteps, when `sent` of a file's `total`
// bytes are sent: the share sent, rounded down, so that the bar is full only
// once every byte has gone, however big the file; an empty file is all sent.
int BarPosition(std::uint64_t sent, std::uint64_t total);

// The folder a chosen file lies in, as the next dialog opens it: the path
// before its last separator, keeping the separator when that leaves a root
// ("C:\x.exe" gives "C:\", "/x.exe" gives "/"); nullopt without a separator.
std::optional<std::string> FolderOfChosenFile(const std::string& path);

// The configuration a window starts with: the built-in constants with the
// environment's overrides. A malformed override is shown in a warning box
// (style 48) naming the variable, and nullopt returned: the window must
// then exit without a run rather than publish to the built-in server.
std::optional<SystemConfig> LoadWindowConfig(const Environment& environment, MessageBoxes& boxes);

// Alphabetical order without regard to case, as cmbLocalFileOnly keeps its
// names: ASCII and Latin-1 letters compare folded, everything else by code
// point.
bool NameOrderLess(const std::string& a, const std::string& b);

}  // namespace parone
