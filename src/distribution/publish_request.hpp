#pragma once
// One run's request, made once by the front end when the run starts (the
// window from its controls at the moment 배포 is pressed, the command line
// from its flags) and read, never changed, by the run. A change made in the
// window while a run is going applies from the next run.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "common/stop_signal.hpp"
#include "common/system_config.hpp"
#include "distribution/publish_events.hpp"
#include "transfer/ftp_connection.hpp"
#include "transfer/url_text.hpp"

namespace parone {

// An answer given before the question is asked, and by what.
struct PresetAnswer {
  bool yes = false;
  std::string reason;  // e.g. "--yes"
};

// How the code-signing hand-off waits and how long it insists.
struct SigningPolicy {
  long pollMs = 5000;                     // look for the signed copies this often
  long askEveryMs = 5L * 60 * 1000;       // ask whether to keep waiting this often; 0: never ask
  std::optional<long> timeoutMs;          // give up the wait (and the run) after this long
  // After a failed copy into the drop folder: -1 asks every time; n >= 0
  // tries n more times, a second apart, then gives up without asking.
  int copyRetries = -1;
};

struct PublishRequest {
  // The selection's entries, in order: the selection text cut at ";", the
  // empty entries left out. No entry at all is an empty selection.
  std::vector<std::string> entries;
  std::string upxPath;            // the packer; nothing runs when no file is there
  bool passive = true;            // passive FTP
  bool sign = false;              // hand the files to the code-signing service first
  bool closeAfterSending = false; // close the window after a publish instead of "배포완료"
  bool confirmOverHttp = true;    // read each publish back over HTTP before calling it done
  std::map<QuestionKind, PresetAnswer> answers;  // questions answered in advance
  SigningPolicy signing;
  SystemConfig config;  // the server, the account (the password found), the folders
  // How the FTP connection is protected, and a netrc file that gives the
  // password instead of config.ftpPassword ("" none); see ftp_account.hpp.
  FtpTls ftpTls;
  std::string ftpNetrcFile;
  FtpTimeouts ftpTimeouts;
  UrlTextTimeouts urlTimeouts;  // the lastver read, and the reads that confirm a publish
  std::intptr_t ownerWindow = 0;  // owner of dialogs a started program may show; 0 for none
  // Set by the front end (on any thread) to end the run at once; null: the
  // run cannot be stopped. It must outlive the run. See DistributionRun.
  const StopSignal* stop = nullptr;
};

}  // namespace parone
