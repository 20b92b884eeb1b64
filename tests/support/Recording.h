#pragma once
// The recording fakes of the seams, for the core's tests and the window's alike: a clock
// the test moves, the log and the message boxes as lists of what they were given.
#include "app/Seams.h"
#include "link/Conversation.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace params { // a failure prints a step as the log does, not as a raw byte
inline void PrintTo(TPhase phase, std::ostream* os) {
    *os << "step " << StepNumber(phase);
}
// and a setting by its name
inline void PrintTo(TSetting setting, std::ostream* os) {
    *os << Info(setting).name;
}
} // namespace params

namespace core { // a run and its end by name, not as numbers
inline void PrintTo(TRunKind kind, std::ostream* os) {
    *os << (kind == TRunKind::Apply ? "Apply" : "Default");
}
inline void PrintTo(TRunEnd end, std::ostream* os) {
    static constexpr const char* kNames[] = {"Saved", "Refused", "WriteFailed", "WentAway",
                                             "Abandoned"};
    *os << kNames[static_cast<int>(end)];
}
} // namespace core

namespace testing_support {

class TManualClock final : public core::TClock {
  public:
    // 2026-12-07 10:20:30.456 UTC; the local zone is nine hours ahead, so that a clock
    // value taken from the wrong one of the two shows.
    static constexpr std::int64_t kStartUtcMs = 1796638830456;
    static constexpr std::int64_t kZoneMs = 9 * 3600 * 1000;

    core::TTimePoint Now() const override { return now; }
    void Advance(std::int64_t ms) {
        now.utcMs += ms;
        now.wallMs += ms;
    }
    // The local date and time (counted as if it were UTC), in the same zone.
    void SetWall(std::int64_t wallMs) { now = {wallMs - kZoneMs, wallMs}; }
    core::TTimePoint now{kStartUtcMs, kStartUtcMs + kZoneMs};
};

struct TLogLine {
    std::string text;
    int direction;
};

class TRecordingLog final : public core::TLogSink {
  public:
    void WriteLog(std::string_view utf8, int direction) override {
        lines.push_back({std::string(utf8), direction});
    }
    std::vector<TLogLine> lines;
};

// The core's message boxes and the window's boxes, questions and choosers: what each was
// given, and answers taken from queues the test fills (an empty queue: No, cancelled).
class TRecordingDialogs final : public TDialogs {
  public:
    void ShowErrorBox(std::string_view utf8) override { errors.emplace_back(utf8); }
    void ShowErrorMessage(std::string_view caption, std::string_view text) override {
        messages.push_back(std::string(caption) + "|" + std::string(text));
    }
    void ShowAbout(std::string_view caption, const std::vector<std::string>& lines) override {
        aboutCaption = caption;
        about = lines;
    }
    void ShowInformation(std::string_view, std::string_view text) override {
        informations.emplace_back(text);
    }
    bool AskYesNo(std::string_view, std::string_view question) override {
        questions.emplace_back(question);
        return Next(yes, false);
    }
    std::optional<std::size_t> AskWhich(std::string_view, std::string_view question,
                                        const std::vector<std::string>& offered) override {
        questions.emplace_back(question);
        answers = offered;
        return Next(which, {});
    }
    void ShowFailure(std::string_view, std::string_view text) override {
        failures.emplace_back(text);
    }
    std::optional<std::string> ChooseFileToOpen(std::string_view caption,
                                                std::string_view offered) override {
        choosers.emplace_back(caption);
        filters = offered;
        return Next(files, {});
    }
    std::optional<std::string> ChooseFileToSave(std::string_view caption, std::string_view,
                                                std::string_view offered) override {
        choosers.emplace_back(caption);
        filters = offered;
        return Next(files, {});
    }
    std::optional<int> ChooseItem(std::string_view caption, std::string_view,
                                  const std::vector<std::string>& shown) override {
        choosers.emplace_back(caption);
        items = shown;
        return Next(picks, {});
    }
    void ShowList(std::string_view, std::string_view heading,
                  const std::vector<std::string>& lines) override {
        listHeading = heading;
        list = lines;
    }
    void ShowLog(std::string_view, std::string_view lines,
                 const std::function<void()>& save) override {
        log = lines;
        if (saveLog) save();
    }

    std::vector<std::string> errors, messages, about, informations, questions, choosers;
    std::vector<std::string> failures;
    std::string aboutCaption, listHeading;
    std::string filters;                  // of the last file chooser
    std::string log;                      // the last log shown
    bool saveLog = false;                 // the log shown is saved too
    std::vector<std::string> items, list; // the last choice offered, the last list shown
    std::vector<std::string> answers;     // the answers of the last question of AskWhich
    std::deque<bool> yes;
    std::deque<std::optional<std::size_t>> which;
    std::deque<std::optional<std::string>> files;
    std::deque<std::optional<int>> picks;

  private:
    template <typename T> static T Next(std::deque<T>& queue, T otherwise) {
        if (queue.empty()) return otherwise;
        T answer = std::move(queue.front());
        queue.pop_front();
        return answer;
    }
};

// The journal of the runs that write: what it was asked and told, in order, and its answer.
class TRecordingJournal final : public core::TWriteJournal {
  public:
    struct TCall {
        core::TRunKind kind;
        std::optional<core::TRunEnd> end; // none: BeforeFirstWrite
        bool operator==(const TCall&) const = default;
    };
    bool BeforeFirstWrite(core::TRunKind kind) override {
        calls.push_back({kind, std::nullopt});
        if (asking) asking(); // as a question to the user would, with the event loop running
        return answer;
    }
    void RunEnded(core::TRunKind kind, core::TRunEnd end) override { calls.push_back({kind, end}); }
    std::vector<TCall> calls;
    bool answer = true;
    std::function<void()> asking;
};

inline void PrintTo(const TRecordingJournal::TCall& call, std::ostream* os) {
    core::PrintTo(call.kind, os);
    *os << (call.end ? " ended " : " about to write");
    if (call.end) core::PrintTo(*call.end, os);
}

} // namespace testing_support
