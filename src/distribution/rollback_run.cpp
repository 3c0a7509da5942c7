// A rollback as the user runs it: the listing, the choice, the question,
// the renames, the read-back over HTTP and the journal line, and the
// messages that say what happened and what is live.
#include <chrono>

#include "common/path_names.hpp"
#include "distribution/check_server_version.hpp"
#include "distribution/failure_messages.hpp"
#include "distribution/rollback_steps.hpp"

namespace parone {
namespace {

std::string Build(double build) { return "빌드 " + BuildValueText(build); }

// "지금 게시: 빌드 34, 5579바이트" and "보관: 빌드 33 (5432바이트), ..." on two lines.
std::string ListingText(const HistoryListing& l) {
  std::string text = "지금 게시: ";
  switch (l.live.kind) {
    case RecordKind::kBuild:
      text += Build(l.live.build);
      break;
    case RecordKind::kNoRecord:
      text += "버전파일 없음";
      break;
    case RecordKind::kUnknown:
      text += "빌드를 알 수 없음 (" + l.live.ReasonText() + ")";
      break;
  }
  text += l.liveSize ? ", " + std::to_string(*l.liveSize) + "바이트" : std::string(", 파일 없음");
  text += "\r\n보관: ";
  if (l.kept.empty()) text += "없음";
  for (std::size_t i = 0; i < l.kept.size(); ++i) {
    text += (i ? ", " : "") + Build(l.kept[i].build) + " (" + std::to_string(l.kept[i].size) + "바이트)";
  }
  return text;
}

// The other side's words and what they concern.
std::string Detail(const Error& e) { return e.message + (e.subject.empty() ? "" : "\r\n" + e.subject); }

std::string ChoiceFailureText(const Error& e, const HistoryListing& l, std::optional<double> to) {
  std::string text;
  switch (e.code) {
    case kRollbackLiveUnknown:
      text = "서버의 버전파일에 지금 빌드가 없어 되돌릴 수 없습니다.";
      break;
    case kRollbackAlreadyLive:
      text = Build(to.value_or(0)) + "은(는) 지금 게시된 빌드입니다.";
      break;
    case kRollbackNothingKept:
      text = "보관된 이전 빌드가 없습니다: " + l.historyFolder;
      break;
    case kRollbackNotKept:
      text = Build(to.value_or(0)) + "은(는) 보관되어 있지 않습니다.";
      break;
    default:
      text = "지금 빌드보다 낮은 보관된 빌드가 없습니다. 되돌릴 빌드를 지정하세요.";
      break;
  }
  return text + "\r\n\r\n" + l.fileName + "\r\n" + ListingText(l);
}

std::string QuestionText(const HistoryListing& l, const KeptBuild& target) {
  const std::string live = Build(l.live.build);
  return l.fileName + "\r\n" + ListingText(l) + "\r\n\r\n" + live + " 대신 보관된 " + Build(target.build) +
         "을(를) 다시 게시하시겠습니까? " + live + "은(는) 보관 폴더로 옮겨집니다.\r\n" + live +
         "을(를) 이미 받은 컴퓨터는 되돌려지지 않습니다.";
}

// What is live after the renames failed, in the words of the two builds.
std::string LiveText(const RollbackReport& r) {
  const std::string was = Build(r.listing->live.build);
  const std::string kept = Build(r.target->build);
  const std::string& live = r.listing->livePath;
  switch (r.live) {
    case LivePair::kNew:
    case LivePair::kOld:
    case LivePair::kDamaged:
      break;
    case LivePair::kMixed:
      return "서버에는 " + kept + " 파일과 " + was + "의 버전파일이 게시되어 있습니다." +
             (r.asideName.empty() ? "" : "\r\n" + was + " 파일: " + r.asideName);
    case LivePair::kMissing:
      return "서버에 게시된 파일이 없습니다. " + was + " 파일은 " + r.asideName + " 에 있습니다.\r\n" +
             kept + " 파일: " + r.target->path;
    case LivePair::kUnknown:
      return "서버와의 연결이 끊겨 무엇이 게시되어 있는지 확인하지 못했습니다.\r\n" + was + " 파일: " + live +
             (r.asideName.empty() ? "" : " 또는 " + r.asideName) + "\r\n" + kept + " 파일: " + live +
             " 또는 " + r.target->path;
  }
  return "서버의 게시 파일은 바뀌지 않았습니다: " + was + " 그대로입니다.";
}

// An entry of this machine's journal that tells the SHA-256 of the file
// with this name and build (and size, where both know it): a publish that
// went live, or a rollback that restored or replaced it. The newest wins.
std::string KnownSha256(const JournalReading& reading, const std::string& fileName, double build,
                        std::optional<std::uint64_t> size) {
  for (auto it = reading.entries.rbegin(); it != reading.entries.rend(); ++it) {
    const JournalEntry& e = *it;
    if (FileNameOf(e.path) != fileName) continue;
    const bool live = e.result == "published" || e.result == "not_confirmed" || e.result == "rolled_back";
    if (!live) continue;
    const bool rollback = !e.note.empty();
    if (rollback && e.serverBuild == build && !e.replacedSha256.empty()) return e.replacedSha256;
    if (e.sha256.empty() || ReadLastVerText(e.localBuild) != build) continue;
    if (size && e.size && *size != *e.size) continue;
    return e.sha256;
  }
  return "";
}

}  // namespace

Message ListingFailureMessage(const Error& error, const std::string& fileName) {
  switch (error.stage) {
    case Stage::kConnect:
    case Stage::kLogin:
      return FtpOpenMessage(error);
    case Stage::kInput:
      if (error.code == kRollbackBadName) return {"게시 파일 이름이 아닙니다: " + fileName, kStyleWarning};
      return FtpUploadMessage(error);
    default:
      return {"서버에서 게시 상태를 읽지 못했습니다.\r\n\r\n" + fileName + "\r\n" + Detail(error), kStyleWarning};
  }
}

RollbackReport RunRollback(const RunContext& c, const std::string& fileName, std::optional<double> to,
                           PublishJournal* journal) {
  RollbackReport report;
  report.fileName = fileName;
  const CodePage& codePage = c.services.codePage;
  const auto f = RemoteFileOf(c.request.config, codePage, fileName);
  auto listed = f ? ListKeptBuilds(c, fileName) : Result<HistoryListing>(f.error());
  if (!listed) {
    report.error = listed.error();
    c.Show(ListingFailureMessage(listed.error(), fileName));
    return report;
  }
  report.listing = std::move(*listed);
  const auto target = ChooseRollbackTarget(*report.listing, to);
  if (!target) {
    report.error = target.error();
    c.Show(ChoiceFailureText(target.error(), *report.listing, to), kStyleWarning);
    return report;
  }
  const HistoryListing& listing = *report.listing;
  report.target = *target;

  if (journal) {
    const JournalReading reading = ReadJournal(c.services.files, *journal);
    report.sha256 = KnownSha256(reading, fileName, target->build, target->size);
    report.replacedSha256 = KnownSha256(reading, fileName, listing.live.build, listing.liveSize);
  }
  auto finish = [&]() {
    if (journal && !journal->AppendEntry(RollbackJournalEntry(report, c.services.facts))) {
      const std::string path = journal->CurrentPath();
      c.events.Notice("배포 기록을 남기지 못했습니다: " +
                      (path.empty() ? std::string("기록할 사용자 폴더가 없습니다") : path));
    }
    return report;
  };
  if (!c.Ask(QuestionKind::kRollback, QuestionText(listing, *target))) {
    report.result = RollbackResult::kDeclined;
    return finish();
  }

  // A new connection: the question may have waited longer than the server
  // keeps an idle one.
  FtpSession ftp(c.services.files, codePage, c.request.ftpTimeouts);
  if (const Status opened = OpenSession(c, ftp); !opened) {
    report.error = opened.error();
    c.Show(FtpOpenMessage(opened.error()));
    return finish();
  }
  const auto start = std::chrono::steady_clock::now();
  const RestoreOutcome restored = RestoreKept(ftp, codePage, *f, listing, *target);
  report.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  ftp.FTP_Close();
  const PairOutcome& pair = restored.pair;
  report.live = pair.live;
  report.asideName = pair.asideName;
  report.historyKept = pair.historyKept;
  report.historyError = pair.historyError;
  report.error = pair.error;
  if (restored.raced) {
    report.result = RollbackResult::kRaced;
    c.Show("서버의 게시 상태가 바뀌었습니다. 아무것도 바꾸지 않았습니다.\r\n\r\n" + fileName + "\r\n확인할 때: " +
               ListingText(listing) + "\r\n지금 버전파일: " +
               (restored.now.kind == RecordKind::kBuild ? Build(restored.now.build) : std::string("빌드 없음")),
           kStyleWarning);
    return finish();
  }
  if (!pair.ok()) {
    c.Show("되돌리기 실패!!\r\n\r\n" + Detail(*pair.error) + "\r\n\r\n" + LiveText(report), kStyleWarning);
    return finish();
  }
  if (pair.historyError) {
    c.events.Notice(Build(listing.live.build) + " 파일을 보관하지 못했습니다 (" + pair.historyError->message +
                    ").");
  }
  report.result = RollbackResult::kRolledBack;
  std::string done = "되돌리기완료\r\n\r\n" + fileName + ": " + Build(listing.live.build) + " -> " +
                     Build(target->build);
  if (c.request.confirmOverHttp) {
    // The web side serves what the update clients get. The restored file
    // was renamed, not sent: nothing local has its bytes to compare.
    report.web = ConfirmOverHttp(c.request.config, codePage, c.services.files, c.request.urlTimeouts, "",
                                 fileName, f->lastVerName, BuildValueText(target->build) + "\r\n",
                                 target->size);
    if (!report.web->Confirmed()) {
      report.result = RollbackResult::kNotConfirmed;
      report.error = report.web->AsError();
      c.Show(report.web->WarningText(), kStyleWarning);
      return finish();
    }
    done += "\r\n웹에서 버전파일의 빌드와 파일 크기를 확인했습니다 (로컬 사본이 없어 내용은 비교하지 않았습니다).";
  }
  c.Show(done);
  return finish();
}

JournalEntry RollbackJournalEntry(const RollbackReport& r, const ProcessFacts& facts) {
  JournalEntry e = StampedJournalEntry(facts);
  e.path = r.listing ? r.listing->livePath : r.fileName;
  e.result = RollbackResultName(r.result);
  e.decision = "rollback";
  e.error = r.error;
  e.seconds = r.seconds;
  if (r.web) e.confirmed = r.web->Confirmed();
  if (!r.listing || !r.target) return e;
  e.localBuild = BuildValueText(r.target->build);
  if (r.listing->live.kind == RecordKind::kBuild) e.serverBuild = r.listing->live.build;
  e.size = r.target->size;
  const bool live = r.result == RollbackResult::kRolledBack || r.result == RollbackResult::kNotConfirmed;
  if (live) {
    e.sha256 = r.sha256;
    e.replacedSha256 = r.replacedSha256;
  }
  e.note = std::string(live ? "rolled back" : "rollback") + " from " + BuildValueText(r.listing->live.build) +
           " to " + e.localBuild;
  return e;
}

}  // namespace parone
