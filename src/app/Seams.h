#pragma once
// The window's ties to the outside that tests replace: the core's clock and dialog sink,
// with the boxes, questions and choosers the window alone shows. No Qt in this header, so
// that one recording fake serves the core's tests and the window's.
#include "link/Conversation.h"

#include <cstddef>
#include <exception>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class QWidget;

// Every message box, question and chooser of the window goes through here. Nothing here
// blocks in a test.
class TDialogs : public core::TDialogSink {
  public:
    virtual void ShowAbout(std::string_view caption, const std::vector<std::string>& lines) = 0;
    // A message with an information icon.
    virtual void ShowInformation(std::string_view caption, std::string_view text) = 0;
    // True: the user answered Yes.
    virtual bool AskYesNo(std::string_view caption, std::string_view question) = 0;
    // A question answered by buttons named for what they do, with Cancel beside them;
    // Escape cancels. The index of the answer; none: cancelled.
    virtual std::optional<std::size_t> AskWhich(std::string_view caption, std::string_view question,
                                                const std::vector<std::string>& answers) = 0;
    // Something went wrong that the user must act on: what happened and what to do.
    virtual void ShowFailure(std::string_view caption, std::string_view text) = 0;
    // The platform's file choosers. filters as Qt writes them: "Settings (*.txt *.json)",
    // several joined by ";;". None: cancelled.
    virtual std::optional<std::string> ChooseFileToOpen(std::string_view caption,
                                                        std::string_view filters) = 0;
    virtual std::optional<std::string> ChooseFileToSave(std::string_view caption,
                                                        std::string_view suggested,
                                                        std::string_view filters) = 0;
    // One of the items, by index; none: cancelled.
    virtual std::optional<int> ChooseItem(std::string_view caption, std::string_view label,
                                          const std::vector<std::string>& items) = 0;
    // A read-only list under a heading.
    virtual void ShowList(std::string_view caption, std::string_view heading,
                          const std::vector<std::string>& lines) = 0;
    // The log, one line each, read-only, to copy from; save writes it to a file of the
    // user's choice and may be called while it is shown.
    virtual void ShowLog(std::string_view caption, std::string_view lines,
                         const std::function<void()>& save) = 0;
};

// For a run nobody watches (a script, the scenario runner): every question is answered No or
// cancelled, every chooser is cancelled, and what would have been shown is said instead.
class TUnattendedDialogs : public TDialogs {
  public:
    void ShowInformation(std::string_view caption, std::string_view text) override;
    bool AskYesNo(std::string_view caption, std::string_view question) override;
    std::optional<std::size_t> AskWhich(std::string_view caption, std::string_view question,
                                        const std::vector<std::string>& answers) override;
    void ShowFailure(std::string_view caption, std::string_view text) override;
    std::optional<std::string> ChooseFileToOpen(std::string_view caption,
                                                std::string_view filters) override;
    std::optional<std::string> ChooseFileToSave(std::string_view caption,
                                                std::string_view suggested,
                                                std::string_view filters) override;
    std::optional<int> ChooseItem(std::string_view caption, std::string_view label,
                                  const std::vector<std::string>& items) override;
    void ShowList(std::string_view caption, std::string_view heading,
                  const std::vector<std::string>& lines) override;
    void ShowLog(std::string_view caption, std::string_view lines,
                 const std::function<void()>& save) override;

  protected:
    virtual void Say(std::string_view caption, std::string_view text) = 0;
};

// The general error box for an error caught at a handler's edge: the error's own text.
void ShowErrorBoxFor(core::TDialogSink& Dialogs, std::exception_ptr Error);

class TSystemClock final : public core::TClock {
  public:
    core::TTimePoint Now() const override;
};

class TMessageBoxDialogs final : public TDialogs {
  public:
    explicit TMessageBoxDialogs(QWidget* parent) : parent_(parent) {}
    void ShowErrorBox(std::string_view utf8) override;
    void ShowErrorMessage(std::string_view caption, std::string_view text) override;
    void ShowAbout(std::string_view caption, const std::vector<std::string>& lines) override;
    void ShowInformation(std::string_view caption, std::string_view text) override;
    bool AskYesNo(std::string_view caption, std::string_view question) override;
    std::optional<std::size_t> AskWhich(std::string_view caption, std::string_view question,
                                        const std::vector<std::string>& answers) override;
    void ShowFailure(std::string_view caption, std::string_view text) override;
    std::optional<std::string> ChooseFileToOpen(std::string_view caption,
                                                std::string_view filters) override;
    std::optional<std::string> ChooseFileToSave(std::string_view caption,
                                                std::string_view suggested,
                                                std::string_view filters) override;
    std::optional<int> ChooseItem(std::string_view caption, std::string_view label,
                                  const std::vector<std::string>& items) override;
    void ShowList(std::string_view caption, std::string_view heading,
                  const std::vector<std::string>& lines) override;
    void ShowLog(std::string_view caption, std::string_view lines,
                 const std::function<void()>& save) override;

  private:
    QWidget* parent_;
};
