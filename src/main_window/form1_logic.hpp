#pragma once
// What the window Form1 does, whatever toolkit draws it: the load handler,
// the settings handlers, the file dialog's folder rules, the recent files in
// the two combo boxes, drops and choices, the request a run is started with
// and the run's events. The toolkit window owns the controls and turns its
// events into calls of the handlers below; this class reaches the controls
// only through Form1Controls.
//
// Everything runs on the GUI thread. A run (cmdDistribute_Click, and the
// load with a command line) blocks it until the run has ended, except where
// the run pulses (after the waiting label is shown, after each UPX step).
// Settings are saved as they change, and only while the window is visible,
// so the load never writes back what it has just read.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "distribution/distribution_run.hpp"
#include "distribution/publish_events.hpp"
#include "distribution/services.hpp"
#include "main_window/form1_controls.hpp"
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
};

inline constexpr const char* kFindFileTitle = "배포 파일 선택";

class Form1Logic final : public PublishEvents {
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

  // The request a run starts with, made from the controls as they are now.
  PublishRequest MakeRequest();

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
  void FileFinished(const FileReport&) override {}
  void Pulse() override;

  const RunOutcome& lastRun() const { return lastRun_; }

 private:
  Form1Controls& controls_;
  Form1Services services_;
  std::string lastFolder_;
  RunOutcome lastRun_;
  // What the progress bar shows now; it is set only when that changes.
  int barMax_ = 100;
  int barValue_ = 0;

  std::unique_ptr<PublishJournal> journal_;
  std::unique_ptr<DistributionRun> run_;
};

// The progress bar as the window has always counted: one step per whole
// 1024-byte block sent, the maximum the file's whole blocks up to 32767;
// beyond that the bar starts over from empty. With no whole block the
// maximum stays as it was (`currentMax`). Returns {max, value}.
std::pair<int, int> BlockBarPosition(std::uint64_t sent, std::uint64_t total, int currentMax);

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
