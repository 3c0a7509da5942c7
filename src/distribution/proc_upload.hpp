#pragma once
// Publishes one file: runs the packer over it (when asked), reads its
// version, writes its lastver file into the tool's temp folder, stages the
// file and its lastver text on the FTP server and renames the file and then
// the lastver file into place, records the path among the recent files,
// reads both back over HTTP as an update client would, and reports the
// outcome. Blocks until done; every failure has been shown to the user when
// it returns.

#include <cstdint>
#include <optional>
#include <string>

#include "common/system_config.hpp"
#include "distribution/distribution_view.hpp"
#include "distribution/web_confirmation.hpp"
#include "platform/code_page.hpp"
#include "platform/file_system.hpp"
#include "platform/message_box.hpp"
#include "platform/process_facts.hpp"
#include "platform/process_launcher.hpp"
#include "platform/settings_store.hpp"
#include "transfer/ftp_session.hpp"
#include "transfer/url_text.hpp"

namespace parone {

// Everything the workflow reaches outside itself.
struct DistributionContext {
  DistributionView& view;
  MessageBoxes& boxes;
  FileSystem& files;
  SettingsStore& settings;
  const CodePage& codePage;
  const ProcessFacts& facts;
  ProcessLauncher& launcher;
  SystemConfig config;
  FtpTimeouts ftpTimeouts;
  UrlTextTimeouts urlTimeouts;  // the lastver read, and the reads that confirm a publish
  bool confirmOverHttp = true;  // read a publish back over HTTP before calling it done
};

struct UploadOutcome {
  bool result = false;     // the FTP session was opened
  bool published = false;  // the file and its lastver file are both on the server
  std::string versionText{};             // read before the upload (after the packer)
  std::string build{};                   // what the lastver file records
  std::optional<std::uint64_t> size{};   // bytes sent, once the file was staged
  std::string sha256{};                  // of those bytes, as sent ("" when not staged)
  double seconds = 0;                    // from the file's first byte to both names in place
  std::optional<WebConfirmation> web{};  // what HTTP served after the publish, when asked

  // Published, and HTTP was asked and served something else.
  bool Unconfirmed() const { return published && web && !web->Confirmed(); }
};

inline constexpr const char* kProcUploadClosing = ") in procedure ProcUpload of Form Form1";

// `runUpx` false skips the UPX step (it already ran before code signing).
// A failed packer ends the file with "배포 실패!!" before any connection.
// A publish that HTTP does not confirm stays as it is; a warning box (style
// 48) says what the web served instead of "배포완료", and the window is not
// closed.
UploadOutcome ProcUpload(DistributionContext& context, const std::string& path,
                         bool runUpx = true);

// <tool folder>/temp/<base>_lastver.txt
std::string LocalLastVerPath(const ProcessFacts& facts, const std::string& lastVerName);

}  // namespace parone
