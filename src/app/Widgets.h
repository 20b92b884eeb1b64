#pragma once
// Small widgets for the controls the window's layout is written in terms of and that
// Qt has no exact counterpart for: a radio group whose item index may be -1, an edit
// carrying an integer tag, a flat button, and a timer whose handler can be detached.
#include <QGroupBox>
#include <QLineEdit>
#include <QStringList>
#include <QTimer>
#include <QToolButton>

#include <functional>
#include <vector>

class QButtonGroup;
class QRadioButton;

// Items laid out in columns, filled column by column like a classic radio group.
class TRadioGroup : public QGroupBox {
    Q_OBJECT
  public:
    TRadioGroup(const QString& caption, const QStringList& items, int columns,
                QWidget* parent);

    int ItemIndex() const;
    void SetItemIndex(int index); // -1 selects nothing; out of range too
    int Count() const { return static_cast<int>(buttons_.size()); }
    QStringList Items() const;
    // Replaces the items; the selection is cleared, as on any rebuild of the list.
    void SetItems(const QStringList& items);
    void SetColumns(int columns);
    QRadioButton* Button(int index) const;

  Q_SIGNALS:
    // The selection changed, by the user or by SetItemIndex (not by SetItems).
    void Chosen(int index);

  protected:
    void resizeEvent(QResizeEvent* event) override;

  private:
    void LayOut();

    QButtonGroup* group_;
    std::vector<QRadioButton*> buttons_;
    int columns_;
    bool quiet_ = false; // buttons being set one by one
};

// A one-line edit with an integer tag. The current-setting boxes keep the item index of
// the unit's value in the tag.
class TEdit : public QLineEdit {
    Q_OBJECT
  public:
    explicit TEdit(QWidget* parent, bool borderless = false, bool readOnly = true);
    int Tag = 0;
};

class TSpeedButton : public QToolButton {
    Q_OBJECT
  public:
    TSpeedButton(const QString& caption, QWidget* parent);
    int Tag = 0;
};

// A periodic timer that runs only while it is enabled and has a handler attached, so a
// handler can detach itself for the length of a tick and no tick can fall due, queue up
// or nest meanwhile. Re-attaching restarts it with a full interval.
class TTimer : public QObject {
    Q_OBJECT
  public:
    explicit TTimer(QObject* parent, int intervalMs);

    bool Enabled() const { return enabled_; }
    void SetEnabled(bool enabled);
    bool Attached() const { return static_cast<bool>(handler_); }
    void Attach(std::function<void()> handler);
    void Detach();
    // Running: enabled with a handler attached. Manual timers never run their QTimer.
    bool Active() const { return manual_ ? enabled_ && handler_ : timer_.isActive(); }
    // Manual: whoever drives the window calls the tick itself, one at a time on its own
    // clock. The QTimer stays stopped, or a handler that processes events (the panel's
    // redraw on a device change) would let it tick in between.
    void SetManual(bool manual);
    int Tag = 0;

    // Runs the handler as one expiry would (a manual timer's driver calls it once per
    // interval); false when the timer would not run now.
    bool Fire();

  private:
    void Update();

    QTimer timer_;
    std::function<void()> handler_;
    bool enabled_ = false;
    bool manual_ = false;
};
