#pragma once
// The window's ties to the outside that tests replace: the core's clock and dialog sink,
// with the About box the window alone shows. No Qt in this header, so that one recording
// fake serves the core's tests and the window's.
#include "link/Conversation.h"

#include <exception>
#include <string>
#include <string_view>
#include <vector>

class QWidget;

// Every message box of the window goes through here. Nothing here blocks in a test.
class TDialogs : public core::TDialogSink {
  public:
    virtual void ShowAbout(std::string_view caption, const std::vector<std::string>& lines) = 0;
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

  private:
    QWidget* parent_;
};
