#include "demo/ScenarioRunner.h"

#include <QAction>
#include <QEvent>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QPushButton>
#include <QCheckBox>
#include <QComboBox>
#include <QMenu>

namespace demo {

namespace {

QString AtLine(int line, const QString& why) {
    return QStringLiteral("line %1: %2").arg(line).arg(why);
}

enum class TAwait { Done, TimedOut, Stuck };

// Lets the rig's time pass until the condition holds or TimeoutMs have passed: one tick
// at a time in virtual time, the event loop in real time.
TAwait Await(TDemoRig& rig, const std::function<bool()>& done, int64_t timeoutMs) {
    if (rig.Time() == TTimeMode::Virtual) {
        const int64_t end = rig.ElapsedMs() + timeoutMs;
        while (!done()) {
            if (rig.ElapsedMs() >= end) return TAwait::TimedOut;
            if (!rig.Tick()) return TAwait::Stuck;
        }
        return TAwait::Done;
    }
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() >= timeoutMs) return TAwait::TimedOut;
        rig.Tick();
    }
    return TAwait::Done;
}

bool Resting(TForm1& form) {
    return !form.Bench().NeedsTicks() || form.Conversation().Phase() == core::TPhase::Ready ||
           form.Conversation().Phase() == core::TPhase::Closing;
}

QObject* Control(TForm1& form, const std::string& name) {
    return form.findChild<QObject*>(QString::fromStdString(name));
}

// Sees the window asked to close (Exit1, SpeedButton1): the window gives no other sign
// when it was never shown.
class TCloseWatch final : public QObject {
  public:
    explicit TCloseWatch(QWidget& window) : window_(window) { window.installEventFilter(this); }
    ~TCloseWatch() override { window_.removeEventFilter(this); }
    bool Closed() const { return asked_ && window_.isHidden(); }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == &window_ && event->type() == QEvent::Close) asked_ = true;
        return false;
    }

  private:
    QWidget& window_;
    bool asked_ = false;
};

} // namespace

QByteArray PrintedLog(const TForm1& form) {
    QByteArray out;
    for (const auto& line : form.LogLines())
        out += line.toUtf8() + '\n';
    return out;
}

QByteArray PrintedState(const TForm1& form) {
    return QJsonDocument(ControlStates(form)).toJson(QJsonDocument::Indented);
}

TRunResult CheckControls(const TScenario& scenario, TForm1& form) {
    for (const auto& a : scenario.Actions) {
        if (a.Control.empty()) continue;
        QObject* o = Control(form, a.Control);
        const QString name = QString::fromStdString(a.Control);
        if (!o) return {false, AtLine(a.Line, QStringLiteral("no control named '%1'").arg(name))};
        const bool fits = (a.Kind == TActionKind::Choose &&
                           (qobject_cast<TRadioGroup*>(o) || qobject_cast<QComboBox*>(o))) ||
                          (a.Kind == TActionKind::Check && qobject_cast<QCheckBox*>(o)) ||
                          (a.Kind == TActionKind::Press &&
                           (qobject_cast<QAbstractButton*>(o) || qobject_cast<QAction*>(o)));
        if (!fits)
            return {false,
                    AtLine(a.Line, QStringLiteral("'%1' is a %2, which this action cannot use")
                                       .arg(name, QLatin1String(o->metaObject()->className())))};
    }
    return {};
}

TRunResult RunScenario(const TScenario& scenario, TDemoRig& rig) {
    TForm1& form = rig.Form();
    if (auto check = CheckControls(scenario, form); !check.Ok) return check;
    const QString stuck = QStringLiteral("a reader of the simulated unit did not settle");
    // The controller's first notice: the tool has started with no unit attached.
    if (!rig.Settle()) return {false, stuck};
    const TCloseWatch window(form);
    for (const auto& a : scenario.Actions) {
        const auto waitFor = [&](const std::function<bool()>& done, const QString& what) {
            switch (Await(rig, done, a.TimeoutMs)) {
            case TAwait::Done:
                return TRunResult{};
            case TAwait::Stuck:
                return TRunResult{false, AtLine(a.Line, stuck)};
            case TAwait::TimedOut:
                break;
            }
            return TRunResult{
                false, AtLine(a.Line, QStringLiteral("timed out after %1 ms waiting for "
                                                     "%2; the conversation is at step %3")
                                          .arg(a.TimeoutMs)
                                          .arg(what)
                                          .arg(params::StepNumber(form.Conversation().Phase())))};
        };
        TRunResult result;
        switch (a.Kind) {
        case TActionKind::Plug:
            rig.Plug();
            break;
        case TActionKind::Unplug:
            rig.Unplug();
            if (!rig.Settle()) return {false, AtLine(a.Line, stuck)};
            result = waitFor([&] { return !form.Conversation().Connected(); },
                             QStringLiteral("the unit to disconnect"));
            break;
        case TActionKind::WaitConnected:
            result = waitFor([&] { return form.Conversation().Connected(); },
                             QStringLiteral("the unit to connect"));
            break;
        case TActionKind::WaitIdle:
            result = waitFor([&] { return Resting(form); }, QStringLiteral("idle"));
            break;
        case TActionKind::WaitStep:
            result =
                waitFor([&] { return params::StepNumber(form.Conversation().Phase()) == a.Number; },
                        QStringLiteral("step %1").arg(a.Number));
            break;
        case TActionKind::WaitMs:
            // Nothing to wait for but the time itself.
            if (Await(
                    rig, [] { return false; }, a.Number) == TAwait::Stuck)
                return {false, AtLine(a.Line, stuck)};
            break;
        case TActionKind::Choose: {
            QObject* o = Control(form, a.Control);
            if (auto* g = qobject_cast<TRadioGroup*>(o)) {
                if (a.Number < -1 || a.Number >= g->Count())
                    return {false, AtLine(a.Line, QStringLiteral("%1 has no item %2")
                                                      .arg(g->objectName())
                                                      .arg(a.Number))};
                if (a.Number >= 0 && !g->isEnabled())
                    return {false,
                            AtLine(a.Line, QStringLiteral("%1 is disabled").arg(g->objectName()))};
                g->SetItemIndex(static_cast<int>(a.Number));
            } else if (auto* c = qobject_cast<QComboBox*>(o)) {
                if (a.Number < -1 || a.Number >= c->count())
                    return {false, AtLine(a.Line, QStringLiteral("%1 has no item %2")
                                                      .arg(c->objectName())
                                                      .arg(a.Number))};
                if (!c->isEnabled())
                    return {false,
                            AtLine(a.Line, QStringLiteral("%1 is disabled").arg(c->objectName()))};
                c->setCurrentIndex(static_cast<int>(a.Number));
            }
            break;
        }
        case TActionKind::Check: {
            auto* box = qobject_cast<QCheckBox*>(Control(form, a.Control));
            if (!box->isEnabled())
                return {false,
                        AtLine(a.Line, QStringLiteral("%1 is disabled").arg(box->objectName()))};
            if (box->isChecked() != (a.Number == 1)) box->click();
            break;
        }
        case TActionKind::Press: {
            QObject* o = Control(form, a.Control);
            if (auto* b = qobject_cast<QAbstractButton*>(o)) {
                if (!b->isEnabled())
                    return {false,
                            AtLine(a.Line, QStringLiteral("%1 is disabled").arg(b->objectName()))};
                b->click();
            } else if (auto* act = qobject_cast<QAction*>(o)) {
                auto* menu = qobject_cast<QMenu*>(act->parent());
                if (!act->isEnabled() || (menu && !menu->menuAction()->isEnabled()))
                    return {false, AtLine(a.Line,
                                          QStringLiteral("%1 is disabled").arg(act->objectName()))};
                act->trigger();
            }
            break;
        }
        case TActionKind::Reconnect:
            form.findChild<QPushButton*>(QStringLiteral("ButtonReconnect"))->click();
            break;
        case TActionKind::Screenshot:
            if (!form.grab().save(QString::fromStdString(a.Path)))
                return {
                    false,
                    AtLine(a.Line,
                           QStringLiteral("cannot write %1").arg(QString::fromStdString(a.Path)))};
            break;
        }
        if (!result.Ok) return result;
        // As the program ends when its window closes, so does the scenario.
        if (window.Closed()) return {};
        // Whatever the action set off (the device pass of a plug, replies already due) has
        // run before the next line.
        if (!rig.Settle()) return {false, AtLine(a.Line, stuck)};
    }
    return {};
}

} // namespace demo
