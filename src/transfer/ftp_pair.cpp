// The transaction that puts a program file and its lastver file live
// together (FtpSession::PublishPair), and the straight stores of an account
// that may not rename.
#include <algorithm>
#include <optional>
#include <string>

#include "common/system_config.hpp"
#include "transfer/ftp_names.hpp"
#include "transfer/ftp_session.hpp"
#include "transfer/ftp_store.hpp"

namespace parone {

using ftp_detail::MemoryFile;
using ftp_detail::RenameError;
using ftp_detail::ShortName;
using ftp_detail::Stranded;

// Stores `source` straight over `path` and checks what arrived.
Status FtpSession::StoreOver(RandomAccessFile& source, const std::string& path,
                             const std::string& name, ProgressDisplay* progress) {
  auto stored = StoreFile(connection_, source, path, progress, false);
  if (!stored) return stored.error();
  const auto held = connection_.SizeOf(path, name);
  if (!held) return held.error();
  if (*held != source.Size()) {
    return Error{Stage::kSizeCheck, CodeKind::kNone, 0,
                 "the server holds " + std::to_string(*held) + " bytes of " +
                     std::to_string(source.Size()) + " sent",
                 codePage_.ToUtf8(path)};
  }
  return {};
}

// The staged lastver file over its name: renamed over, or the old one moved
// aside and the new one renamed in (the old one back if that fails), or,
// where the server renames neither way, stored straight (the old text back
// if that fails). On failure the old lastver file is live.
Status FtpSession::PlaceLastVer(FtpStagedFile& lastVer, const std::optional<std::string>& oldLastVer) {
  FtpReply reply;
  switch (connection_.Rename(lastVer.temporaryPath_, lastVer.finalPath_, &reply)) {
    case RenameOutcome::kDone:
      lastVer.pending_ = false;
      return {};
    case RenameOutcome::kLost:
      return RenameError(reply, codePage_.ToUtf8(lastVer.finalPath_));
    case RenameOutcome::kRefused:
      break;
  }
  std::string asideLeft;  // the old lastver file, where it could not be put back
  if (oldLastVer) {
    const std::string aside = lastVer.folder_ + "/" + ShortName(".old");
    if (connection_.Rename(lastVer.finalPath_, aside) == RenameOutcome::kDone) {
      if (connection_.Rename(lastVer.temporaryPath_, lastVer.finalPath_, &reply) ==
          RenameOutcome::kDone) {
        connection_.Remove(aside);
        lastVer.pending_ = false;
        return {};
      }
      if (connection_.Rename(aside, lastVer.finalPath_) != RenameOutcome::kDone) asideLeft = aside;
    }
  }
  if (connection_.lost()) return RenameError(FtpReply{}, codePage_.ToUtf8(lastVer.finalPath_));
  // Renaming fails both ways: a few bytes whose old text is known can be
  // stored straight, so the live pair is always consistent.
  const Status straight = StoreOver(*lastVer.source_, lastVer.finalPath_, lastVer.finalName_, nullptr);
  if (straight) {
    connection_.Remove(lastVer.temporaryPath_);
    if (!asideLeft.empty()) connection_.Remove(asideLeft);
    lastVer.pending_ = false;
    return {};
  }
  if (oldLastVer) {
    MemoryFile old(*oldLastVer);
    if (!StoreOver(old, lastVer.finalPath_, lastVer.finalName_, nullptr)) {
      Error error = straight.error();
      error.message += " (and the old lastver text could not be stored back)";
      return error;
    }
  } else {
    connection_.Remove(lastVer.finalPath_);  // a part of the new text must not stay live alone
  }
  return reply.code != 0 ? RenameError(reply, codePage_.ToUtf8(lastVer.finalPath_)) : straight;
}

// Moves the aside copy of a replaced program file into the history folder,
// replacing a copy of the same build there, and keeps only the plan's number
// of the highest builds.
Status FtpSession::KeepInHistory(const std::string& aside, const HistoryPlan& plan) {
  const auto folder = codePage_.FromUtf8(plan.folder);
  const auto name = codePage_.FromUtf8(plan.name);
  if (!folder || !name || HasControlCharacter(*folder) || HasControlCharacter(*name)) {
    return Error{Stage::kRename, CodeKind::kNone, kFtpNotInCodePage,
                 "the history folder cannot be named on the server", plan.folder};
  }
  const std::string parent = folder->substr(0, folder->rfind('/'));
  if (!connection_.MakeFolder(parent) || !connection_.MakeFolder(*folder)) {
    return Error{Stage::kRename, CodeKind::kNone, 0, "the history folder cannot be made", plan.folder};
  }
  const std::string target = *folder + "/" + *name;
  if (const auto there = connection_.Exists(target, *name); there && *there) connection_.Remove(target);
  FtpReply reply;
  if (connection_.Rename(aside, target, &reply) != RenameOutcome::kDone) {
    return RenameError(reply, plan.folder + "/" + plan.name);
  }
  // The highest builds stay; names that are no build go first.
  if (auto names = connection_.ListNames(*folder); names && names->size() > plan.keep) {
    auto buildOf = [](const std::string& n) {
      const std::string stem = n.substr(0, n.rfind('.'));
      const bool number = !stem.empty() && stem.find_first_not_of("0123456789") == std::string::npos &&
                          stem.size() < 19;
      return number ? std::stoll(stem) : -1LL;
    };
    std::sort(names->begin(), names->end(),
              [&](const std::string& a, const std::string& b) { return buildOf(a) > buildOf(b); });
    for (std::size_t i = plan.keep; i < names->size(); ++i) connection_.Remove(*folder + "/" + (*names)[i]);
  }
  return {};
}

PairOutcome FtpSession::PublishPair(FtpStagedFile& program, FtpStagedFile& lastVer,
                                    const std::optional<std::string>& oldLastVer,
                                    const std::string& keepFolder, const HistoryPlan* history) {
  PairOutcome out;
  if (!program.pending_ || !lastVer.pending_ || !connection_.isOpen() || connection_.lost()) {
    out.error = Error{Stage::kRename, CodeKind::kNone, kFtpNotStaged, "nothing staged to publish",
                      codePage_.ToUtf8(program.finalPath_)};
    return out;
  }
  if (cannotRename_) return StoreStraightPair(program, lastVer, oldLastVer, keepFolder);

  const auto exists = connection_.Exists(program.finalPath_, program.finalName_);
  if (!exists) {
    out.error = exists.error();
    return out;
  }
  // The old program file waits aside, whole, until the new lastver file is
  // in: until then the way back is one rename.
  const std::string aside = program.folder_ + "/" + ShortName(".old");
  if (*exists) {
    FtpReply reply;
    switch (connection_.Rename(program.finalPath_, aside, &reply)) {
      case RenameOutcome::kDone:
        break;
      case RenameOutcome::kRefused:
        // It may not be renamed at all: store straight, keeping it first.
        cannotRename_ = true;
        return StoreStraightPair(program, lastVer, oldLastVer, keepFolder);
      case RenameOutcome::kLost:
        out.error = RenameError(reply, codePage_.ToUtf8(program.finalPath_));
        out.live = LivePair::kUnknown;
        out.asideName = codePage_.ToUtf8(aside);  // it may have gone there
        return out;
    }
  }
  FtpReply inReply;
  const RenameOutcome in = connection_.Rename(program.temporaryPath_, program.finalPath_, &inReply);
  if (in == RenameOutcome::kRefused && !*exists) {
    // Nothing was live, and the server will not rename: it may not rename
    // at all, so the files go straight to their names.
    cannotRename_ = true;
    return StoreStraightPair(program, lastVer, oldLastVer, keepFolder);
  }
  if (in != RenameOutcome::kDone) {
    out.error = RenameError(inReply, codePage_.ToUtf8(program.finalPath_));
    if (*exists && connection_.Rename(aside, program.finalPath_) != RenameOutcome::kDone) {
      out.live = LivePair::kMissing;
      out.asideName = codePage_.ToUtf8(aside);
      out.error = Stranded(aside, codePage_);
    }
    return out;
  }
  program.pending_ = false;

  const Status placed = PlaceLastVer(lastVer, oldLastVer);
  if (placed) {
    out.live = LivePair::kNew;
    if (!*exists) return out;
    if (history) {
      const Status kept = KeepInHistory(aside, *history);
      out.historyKept = kept.ok();
      if (!kept) out.historyError = kept.error();
    }
    if (!out.historyKept) connection_.Remove(aside);
    return out;
  }
  out.error = placed.error();
  out.error->stage = Stage::kLastVer;
  // The lastver file stayed old: the old program file goes back under its
  // name, so the pair that is live belongs together.
  if (!*exists) {
    connection_.Remove(program.finalPath_);
    out.live = connection_.lost() ? LivePair::kMixed : LivePair::kOld;
    return out;
  }
  const std::string outOfTheWay = program.folder_ + "/" + ShortName(".new");
  if (connection_.Rename(program.finalPath_, outOfTheWay) == RenameOutcome::kDone) {
    if (connection_.Rename(aside, program.finalPath_) == RenameOutcome::kDone) {
      connection_.Remove(outOfTheWay);
      out.live = LivePair::kOld;
      return out;
    }
    // Something must be live: the new one again.
    connection_.Rename(outOfTheWay, program.finalPath_);
  }
  out.live = LivePair::kMixed;
  out.asideName = codePage_.ToUtf8(aside);
  return out;
}

// For an account that may not rename: both files stored straight over their
// names. The live program file is downloaded first, so that a store that
// does not arrive whole can be undone by storing it back.
PairOutcome FtpSession::StoreStraightPair(FtpStagedFile& program, FtpStagedFile& lastVer,
                                          const std::optional<std::string>& oldLastVer,
                                          const std::string& keepFolder) {
  PairOutcome out;
  const auto exists = connection_.Exists(program.finalPath_, program.finalName_);
  if (!exists) {
    out.error = exists.error();
    return out;
  }
  std::string kept;
  if (*exists) {
    // What is live is kept before anything is stored over it; a file that
    // cannot be kept is not stored over.
    constexpr std::size_t kKeepLimit = std::size_t{4} << 30;
    auto live = connection_.Retrieve(program.finalPath_, program.finalName_, kKeepLimit);
    const std::string name = codePage_.ToUtf8(program.finalName_);
    kept = keepFolder + kPlatform.separator + name + "." + RandomHex(6) + ".live";
    if (!live || !*live || !files_.WriteFileAtomically(kept, **live)) {
      out.error = live ? Error{Stage::kStore, CodeKind::kNone, kFtpCannotKeep,
                               "the live file could not be kept before storing over it", kept}
                       : live.error();
      if (live) files_.DeleteFile(kept);
      return out;
    }
  }
  auto restore = [&]() {
    if (!*exists) {
      connection_.Remove(program.finalPath_);  // a fragment must not stay live
      return !connection_.lost();
    }
    auto file = files_.OpenForReading(kept);
    return file && StoreOver(*file, program.finalPath_, program.finalName_, nullptr).ok();
  };
  // The old pair is live again, or half of a pair is: then say so, and where
  // the old program file is.
  auto endWith = [&](bool oldPairBack) {
    if (oldPairBack) {
      out.live = LivePair::kOld;
      if (*exists) files_.DeleteFile(kept);
    } else {
      out.live = LivePair::kDamaged;
      out.keptCopy = kept;
    }
    return out;
  };
  const Status stored =
      StoreOver(*program.source_, program.finalPath_, program.finalName_, program.progress_);
  if (!stored) {
    out.error = stored.error();
    return endWith(restore());
  }
  connection_.Remove(program.temporaryPath_);
  program.pending_ = false;

  Status placed = StoreOver(*lastVer.source_, lastVer.finalPath_, lastVer.finalName_, nullptr);
  if (placed) {
    connection_.Remove(lastVer.temporaryPath_);
    lastVer.pending_ = false;
    if (*exists) files_.DeleteFile(kept);
    out.live = LivePair::kNew;
    if (*exists) {
      out.historyError = Error{Stage::kRename, CodeKind::kNone, 0,
                               "the account may not rename: no history is kept",
                               codePage_.ToUtf8(program.folder_)};
    }
    return out;
  }
  out.error = placed.error();
  out.error->stage = Stage::kLastVer;
  const bool lastVerBack = oldLastVer ? [&] {
    MemoryFile old(*oldLastVer);
    return StoreOver(old, lastVer.finalPath_, lastVer.finalName_, nullptr).ok();
  }()
                                      : (connection_.Remove(lastVer.finalPath_), true);
  return endWith(lastVerBack && restore());
}

}  // namespace parone
