#pragma once
// The window's ties to the outside that tests replace: the local clock and the message
// boxes. Nothing here blocks in a test.
#include <QDateTime>
#include <QString>
#include <QStringList>

#include <exception>

class QWidget;

class TClock {
  public:
    virtual ~TClock() = default;
    virtual QDateTime Now() const = 0; // local date and time, milliseconds included
};

class TSystemClock final : public TClock {
  public:
    QDateTime Now() const override { return QDateTime::currentDateTime(); }
};

// Every message box of the window goes through here.
class TDialogs {
  public:
    virtual ~TDialogs() = default;
    // The general error box: the text of an error raised inside a handler.
    virtual void ShowErrorBox(const QString& text) = 0;
    // A modal message with an error icon; returns when the user has closed it.
    virtual void ShowErrorMessage(const QString& caption, const QString& text) = 0;
    virtual void ShowAbout(const QString& caption, const QStringList& lines) = 0;
};

// The general error box for an error caught at a handler's edge: the error's own text.
void ShowErrorBoxFor(TDialogs& Dialogs, std::exception_ptr Error);

class TMessageBoxDialogs final : public TDialogs {
  public:
    explicit TMessageBoxDialogs(QWidget* parent) : parent_(parent) {}
    void ShowErrorBox(const QString& text) override;
    void ShowErrorMessage(const QString& caption, const QString& text) override;
    void ShowAbout(const QString& caption, const QStringList& lines) override;

  private:
    QWidget* parent_;
};
