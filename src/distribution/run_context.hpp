#pragma once
// What every step of one run works with: the request it was started with,
// the services of the front end, and the events port it reports through.
// Questions go through Ask here, so that an answer the request gives in
// advance is used (and reported) instead of asking. Once the run has been
// stopped it says nothing more: Show shows nothing and Ask answers No
// without asking, and a Sleep ends at once.

#include <algorithm>
#include <optional>
#include <string>

#include "common/error.hpp"

#include "distribution/publish_events.hpp"
#include "distribution/publish_request.hpp"
#include "distribution/services.hpp"

namespace parone {

// What one run has learnt on its way, for the files that follow.
struct RunState {
  // The web side gave no answer at all: later files are not waited for again.
  std::optional<Error> webSilent;
  bool historyNoticeGiven = false;  // the replaced files could not be kept: said once
  // A session of this run spoke TLS: later ones insist on it (see
  // ftp_account.hpp). A server without TLS was said once.
  bool tlsSpoken = false;
  bool plainNoticed = false;
};

struct RunContext {
  const PublishRequest& request;
  PublishServices& services;
  PublishEvents& events;
  mutable RunState state{};

  // True for Yes: the request's answer where it gives one, else the front
  // end's. Blocks while the front end asks.
  bool Ask(QuestionKind kind, const std::string& text) const {
    if (stopped()) return false;
    const Question question{kind, text};
    if (const auto preset = request.answers.find(kind); preset != request.answers.end()) {
      events.Answered(question, preset->second.yes, preset->second.reason);
      return preset->second.yes;
    }
    return events.Ask(question);
  }
  void Show(const std::string& text, int style = kStyleOkOnly) const { Show(Message{text, style}); }
  void Show(const Message& message) const {
    if (!stopped()) events.Show(message);
  }

  bool stopped() const { return StopRequested(request.stop); }
  // Sleeps with the services' sleeper; in slices of at most 100 ms where
  // the run can be stopped, so that a stop ends the sleep at once. False
  // when the run was stopped.
  bool Sleep(long milliseconds) const {
    if (!request.stop) {
      services.sleeper.SleepMs(milliseconds);
      return true;
    }
    constexpr long kSliceMs = 100;
    for (long left = milliseconds; left > 0 && !stopped(); left -= kSliceMs) {
      services.sleeper.SleepMs(std::min(left, kSliceMs));
    }
    return !stopped();
  }
};

}  // namespace parone
