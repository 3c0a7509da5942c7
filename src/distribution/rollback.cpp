// What is live and kept of a published file, the choice of the build to
// restore, and the renames that restore it (the run around them, its
// messages and its journal line are in rollback_run.cpp).
#include "distribution/rollback.hpp"

#include <algorithm>

#include "common/hex_text.hpp"
#include "common/path_names.hpp"
#include "distribution/check_server_version.hpp"
#include "distribution/ftp_account.hpp"
#include "distribution/history_folder.hpp"
#include "distribution/rollback_steps.hpp"

namespace parone {
namespace {

// A lastver file is a build and a line end; anything this large is not one,
// and is not downloaded whole.
constexpr std::size_t kLastVerLimit = 64 * 1024;

std::string BuildListText(const std::vector<KeptBuild>& kept) {
  std::string text;
  for (const KeptBuild& k : kept) text += (text.empty() ? "" : ", ") + BuildValueText(k.build);
  return text;
}

// A rename the server refused, in its own words; one it never answered is
// a time-out of the connection.
Error RenameFailure(const FtpReply& reply, const std::string& path) {
  constexpr long kTimedOut = 28;  // CURLE_OPERATION_TIMEDOUT
  if (reply.code == 0) {
    return Error{Stage::kRename, CodeKind::kCurl, kTimedOut, "no reply to the rename", path, kTimedOut};
  }
  return Error{Stage::kRename, CodeKind::kFtp, reply.code, reply.line, path};
}

}  // namespace

const char* RollbackResultName(RollbackResult result) {
  switch (result) {
    case RollbackResult::kRolledBack:
      return "rolled_back";
    case RollbackResult::kDeclined:
      return "declined";
    case RollbackResult::kFailed:
      return "failed";
    case RollbackResult::kNotConfirmed:
      return "not_confirmed";
    case RollbackResult::kRaced:
      return "raced";
  }
  return "failed";
}

Result<RemoteFile> RemoteFileOf(const SystemConfig& config, const CodePage& codePage,
                                const std::string& fileName) {
  if (fileName.empty() || fileName == "." || fileName == ".." ||
      fileName.find_first_of("/\\") != std::string::npos) {
    return Error{Stage::kInput, CodeKind::kNone, kRollbackBadName, "not a published file name", fileName};
  }
  RemoteFile f;
  f.folder = config.remoteDir;
  f.name = fileName;
  f.lastVerName = BaseNameOf(fileName) + "_lastver.txt";
  f.path = config.remoteDir + "/" + fileName;
  f.lastVerPath = config.remoteDir + "/" + f.lastVerName;
  f.history = HistoryFolderOf(config.remoteDir, fileName);
  auto bytes = [&](const std::string& text, std::string& to) {
    const auto converted = codePage.FromUtf8(text);
    if (!converted || HasControlCharacter(*converted)) return false;
    to = *converted;
    return true;
  };
  if (!bytes(f.folder, f.folderBytes) || !bytes(f.name, f.nameBytes) || !bytes(f.lastVerName, f.lastVerNameBytes) ||
      !bytes(f.path, f.pathBytes) || !bytes(f.lastVerPath, f.lastVerPathBytes) ||
      !bytes(f.history, f.historyBytes)) {
    return Error{Stage::kInput, CodeKind::kNone, kFtpNotInCodePage,
                 "the remote path cannot be written in code page 949", f.path};
  }
  return f;
}

namespace {

Result<std::optional<std::string>> ReadLiveLastVer(FtpConnection& connection, const RemoteFile& f) {
  auto bytes = connection.Retrieve(f.lastVerPathBytes, f.lastVerNameBytes, kLastVerLimit);
  if (!bytes) {
    Error error = bytes.error();
    error.stage = Stage::kLastVer;
    return error;
  }
  return *bytes;
}

}  // namespace

Result<HistoryListing> ReadListing(FtpConnection& connection, const CodePage& codePage,
                                   const RemoteFile& f) {
  HistoryListing listing;
  listing.fileName = f.name;
  listing.livePath = f.path;
  listing.historyFolder = f.history;
  const auto lastVer = ReadLiveLastVer(connection, f);
  if (!lastVer) return lastVer.error();
  listing.live = RecordFromFile(*lastVer);
  const auto there = connection.Exists(f.pathBytes, f.nameBytes);
  if (!there) return there.error();
  if (*there) {
    const auto size = connection.SizeOf(f.pathBytes, f.nameBytes);
    if (!size) return size.error();
    listing.liveSize = *size;
  }
  auto names = connection.ListNames(f.historyBytes);
  if (!names) {
    // No history folder: nothing was ever replaced (or kept).
    const Error& e = names.error();
    if (e.kind == CodeKind::kFtp && (e.code == 550 || e.code == 450)) return listing;
    return e;
  }
  for (const std::string& name : *names) {
    const auto build = HistoryBuildOf(codePage.ToUtf8(name), f.name);
    if (!build) continue;
    const auto size = connection.SizeOf(f.historyBytes + "/" + name, name);
    if (!size) return size.error();
    listing.kept.push_back(KeptBuild{*build, f.history + "/" + codePage.ToUtf8(name), *size});
  }
  std::sort(listing.kept.begin(), listing.kept.end(),
            [](const KeptBuild& a, const KeptBuild& b) { return a.build > b.build; });
  return listing;
}

Status OpenSession(const RunContext& c, FtpSession& ftp) {
  // The same account and TLS settings as a publish, and the same memory of
  // a host that spoke TLS.
  const Status opened = ftp.FTP_Open(FtpEndpointOf(c));
  if (opened) NoteFtpTls(c, ftp.connection());
  return opened;
}

Result<HistoryListing> ListKeptBuilds(const RunContext& c, const std::string& fileName) {
  const auto f = RemoteFileOf(c.request.config, c.services.codePage, fileName);
  if (!f) return f.error();
  FtpSession ftp(c.services.files, c.services.codePage, c.request.ftpTimeouts);
  if (const Status opened = OpenSession(c, ftp); !opened) return opened.error();
  auto listing = ReadListing(ftp.connection(), c.services.codePage, *f);
  ftp.FTP_Close();
  return listing;
}

Result<KeptBuild> ChooseRollbackTarget(const HistoryListing& listing, std::optional<double> to) {
  auto refuse = [&](RollbackCheck check, const std::string& why) {
    return Error{Stage::kInput, CodeKind::kNone, check, why, listing.fileName};
  };
  if (listing.kept.empty()) return refuse(kRollbackNothingKept, "no build is kept in " + listing.historyFolder);
  // The file that is live goes into the history under its build: without
  // one it has no name there, and a rollback could not be undone.
  if (listing.live.kind != RecordKind::kBuild) {
    return refuse(kRollbackLiveUnknown, "the live lastver file records no build");
  }
  const double live = listing.live.build;
  if (to && *to == live) {
    return refuse(kRollbackAlreadyLive, "build " + BuildValueText(*to) + " is the live build");
  }
  for (const KeptBuild& k : listing.kept) {
    if (to ? k.build == *to : k.build < live) return k;  // highest first
  }
  if (to) {
    return refuse(kRollbackNotKept,
                  "build " + BuildValueText(*to) + " is not kept (kept: " + BuildListText(listing.kept) + ")");
  }
  return refuse(kRollbackNoneOlder, "no kept build is older than the live build " + BuildValueText(live) +
                                        " (kept: " + BuildListText(listing.kept) + ")");
}

// The live file moves aside (not away) until the kept one is in its place
// and the lastver file says its build; every step before that has a way
// back of one or two renames, taken in reverse order.
RestoreOutcome RestoreKept(FtpSession& ftp, const CodePage& codePage, const RemoteFile& f,
                           const HistoryListing& agreed, const KeptBuild& target) {
  RestoreOutcome r;
  PairOutcome& out = r.pair;
  FtpConnection& con = ftp.connection();
  // The server must still be as the listing showed when the question was
  // asked: another publisher may have come between.
  const auto lastVer = ReadLiveLastVer(con, f);
  if (!lastVer) {
    out.error = lastVer.error();
    return r;
  }
  r.now = RecordFromFile(*lastVer);
  const auto there = con.Exists(f.pathBytes, f.nameBytes);
  if (!there) {
    out.error = there.error();
    return r;
  }
  if (!SameRecord(r.now, agreed.live) || *there != agreed.liveSize.has_value()) {
    r.raced = true;
    out.error = Error{Stage::kLastVer, CodeKind::kNone, 0,
                      "the server changed since it was listed: now " +
                          (r.now.kind == RecordKind::kBuild ? "build " + BuildValueText(r.now.build)
                                                            : std::string("no build")),
                      f.lastVerPath};
    return r;
  }
  const std::string keptName = target.path.substr(target.path.rfind('/') + 1);
  // The name is a build and the published name's extension, which travel.
  const std::string keptNameBytes = codePage.FromUtf8(keptName).value_or(keptName);
  const std::string keptBytes = f.historyBytes + "/" + keptNameBytes;
  const auto keptSize = con.SizeOf(keptBytes, keptNameBytes);
  if (!keptSize || *keptSize != target.size) {
    r.raced = keptSize.ok();
    out.error = keptSize ? Error{Stage::kSizeCheck, CodeKind::kNone, 0,
                                 "the kept file now holds " + std::to_string(*keptSize) +
                                     " bytes, listed with " + std::to_string(target.size),
                                 target.path}
                         : keptSize.error();
    return r;
  }
  auto staged = ftp.StageText(BuildValueText(target.build) + "\r\n", f.folder, f.lastVerName);
  if (!staged) {
    out.error = staged.error();
    out.error->stage = Stage::kLastVer;
    return r;
  }
  const std::string aside = f.folderBytes + "/." + RandomHex(12) + ".old";
  FtpReply reply;
  if (*there) {
    const RenameOutcome moved = con.Rename(f.pathBytes, aside, &reply);
    if (moved != RenameOutcome::kDone) {
      out.error = RenameFailure(reply, f.path);
      if (moved == RenameOutcome::kLost) {
        out.live = LivePair::kUnknown;
        out.asideName = codePage.ToUtf8(aside);
      }
      ftp.Discard(*staged);
      return r;
    }
  }
  auto putBack = [&] { return !*there || con.Rename(aside, f.pathBytes) == RenameOutcome::kDone; };
  const RenameOutcome in = con.Rename(keptBytes, f.pathBytes, &reply);
  if (in != RenameOutcome::kDone) {
    out.error = RenameFailure(reply, f.path);
    if (in == RenameOutcome::kLost) {
      out.live = LivePair::kUnknown;
      out.asideName = *there ? codePage.ToUtf8(aside) : "";
    } else if (!putBack()) {
      out.live = LivePair::kMissing;
      out.asideName = codePage.ToUtf8(aside);
    }
    ftp.Discard(*staged);
    return r;
  }
  // A rename keeps every byte; a server that says otherwise is not trusted
  // with the lastver file either.
  const auto held = con.SizeOf(f.pathBytes, f.nameBytes);
  Status placed = !held ? Status(held.error())
                  : *held != target.size
                      ? Status(Error{Stage::kSizeCheck, CodeKind::kNone, 0,
                                     "the server holds " + std::to_string(*held) + " bytes of " +
                                         std::to_string(target.size) + " kept",
                                     f.path})
                      : ftp.PlaceLastVer(*staged, *lastVer);
  if (placed) {
    out.live = LivePair::kNew;
    if (!*there) return r;
    HistoryPlan plan;
    plan.folder = f.history;
    plan.name = HistoryFileName(f.name, BuildValueText(agreed.live.build));
    const Status kept = ftp.KeepInHistory(aside, plan);
    out.historyKept = kept.ok();
    if (!kept) {
      out.historyError = kept.error();
      con.Remove(aside);  // as a publish does: the published folder holds no leftovers
    }
    return r;
  }
  out.error = placed.error();
  if (held && *held == target.size) out.error->stage = Stage::kLastVer;
  ftp.Discard(*staged);
  if (con.lost()) {
    out.live = LivePair::kUnknown;
    out.asideName = *there ? codePage.ToUtf8(aside) : "";
    return r;
  }
  // The old lastver file is live: the kept file goes back into the history
  // and the one that was live back under its name.
  if (con.Rename(f.pathBytes, keptBytes) != RenameOutcome::kDone) {
    out.live = LivePair::kMixed;
    out.asideName = *there ? codePage.ToUtf8(aside) : "";
    return r;
  }
  if (!putBack()) {
    out.live = LivePair::kMissing;
    out.asideName = codePage.ToUtf8(aside);
    return r;
  }
  out.live = LivePair::kOld;
  return r;
}

}  // namespace parone
