#include "demo/ScenarioRunner.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionButton>

namespace demo {

namespace {

QString AtLine(int line, const QString& why) { return QStringLiteral("line %1: %2").arg(line).arg(why); }

// Runs the event loop until the condition holds or the time is up.
bool Await(const std::function<bool()>& done, int64_t timeoutMs) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() >= timeoutMs) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 5);
    }
    return true;
}

bool Resting(TForm1& form) {
    return !form.Timer1->Enabled() || form.StepNo == 1 || form.StepNo == 99;
}

QObject* Control(TForm1& form, const std::string& name) {
    return form.findChild<QObject*>(QString::fromStdString(name));
}

} // namespace

std::optional<sim::Profile> ScenarioProfile(const TScenario& scenario, std::string& error) {
    std::string text;
    if (!scenario.UnitPreset.empty()) {
        if (!sim::FindPreset(scenario.UnitPreset)) {
            error = "unknown unit preset '" + scenario.UnitPreset + "'";
            return std::nullopt;
        }
        const auto slash = scenario.UnitPreset.rfind('/');
        text = "model = " + scenario.UnitPreset.substr(0, slash) + "\nfirmware = " +
               scenario.UnitPreset.substr(slash + 1) + "\n";
    }
    text += scenario.UnitProfileText;
    auto parsed = sim::ParseProfile(text);
    if (!parsed.profile) {
        error = "unit profile: " + parsed.error;
        return std::nullopt;
    }
    return parsed.profile;
}

TRunResult CheckControls(const TScenario& scenario, TForm1& form) {
    for (const auto& a : scenario.Actions) {
        if (a.Control.empty()) continue;
        QObject* o = Control(form, a.Control);
        const QString name = QString::fromStdString(a.Control);
        if (!o) return {false, AtLine(a.Line, QStringLiteral("no control named '%1'").arg(name))};
        const bool fits =
            (a.Kind == TActionKind::Choose && (qobject_cast<TRadioGroup*>(o) || qobject_cast<QComboBox*>(o))) ||
            (a.Kind == TActionKind::Check && qobject_cast<QCheckBox*>(o)) ||
            (a.Kind == TActionKind::Press && (qobject_cast<QAbstractButton*>(o) || qobject_cast<QAction*>(o)));
        if (!fits)
            return {false, AtLine(a.Line, QStringLiteral("'%1' is a %2, which this action cannot use")
                                              .arg(name, QLatin1String(o->metaObject()->className())))};
    }
    return {};
}

TRunResult RunScenario(const TScenario& scenario, TDemoRig& rig) {
    TForm1& form = rig.Form();
    if (auto check = CheckControls(scenario, form); !check.Ok) return check;
    // The controller's first notice: the tool has started with no unit attached.
    Await([&] { return !form.FirstCheck; }, 5000);
    for (const auto& a : scenario.Actions) {
        const auto timedOut = [&](const QString& what) {
            return TRunResult{false, AtLine(a.Line, QStringLiteral("timed out after %1 ms waiting for %2")
                                                        .arg(a.TimeoutMs)
                                                        .arg(what))};
        };
        switch (a.Kind) {
        case TActionKind::Plug:
            rig.Plug();
            if (!Await([&] { return form.Timer1->Enabled() || form.HidDev; }, a.TimeoutMs))
                return timedOut(QStringLiteral("the unit to connect"));
            break;
        case TActionKind::Unplug:
            rig.Unplug();
            if (!Await([&] { return form.HidDev == nullptr; }, a.TimeoutMs))
                return timedOut(QStringLiteral("the unit to disconnect"));
            break;
        case TActionKind::WaitIdle:
            if (!Await([&] { return Resting(form); }, a.TimeoutMs)) return timedOut(QStringLiteral("idle"));
            break;
        case TActionKind::WaitStep:
            if (!Await([&] { return form.StepNo == a.Number; }, a.TimeoutMs))
                return timedOut(QStringLiteral("step %1").arg(a.Number));
            break;
        case TActionKind::WaitMs: {
            QElapsedTimer t;
            t.start();
            Await([&] { return t.elapsed() >= a.Number; }, a.Number + 1000);
            break;
        }
        case TActionKind::Choose: {
            QObject* o = Control(form, a.Control);
            if (auto* g = qobject_cast<TRadioGroup*>(o)) {
                if (a.Number < -1 || a.Number >= g->Count())
                    return {false, AtLine(a.Line, QStringLiteral("%1 has no item %2").arg(g->objectName()).arg(a.Number))};
                if (a.Number >= 0 && !g->isEnabled())
                    return {false, AtLine(a.Line, QStringLiteral("%1 is disabled").arg(g->objectName()))};
                g->SetItemIndex(static_cast<int>(a.Number));
            } else if (auto* c = qobject_cast<QComboBox*>(o)) {
                if (a.Number < -1 || a.Number >= c->count())
                    return {false, AtLine(a.Line, QStringLiteral("%1 has no item %2").arg(c->objectName()).arg(a.Number))};
                if (!c->isEnabled())
                    return {false, AtLine(a.Line, QStringLiteral("%1 is disabled").arg(c->objectName()))};
                c->setCurrentIndex(static_cast<int>(a.Number));
            }
            break;
        }
        case TActionKind::Check: {
            auto* box = qobject_cast<QCheckBox*>(Control(form, a.Control));
            if (!box->isEnabled())
                return {false, AtLine(a.Line, QStringLiteral("%1 is disabled").arg(box->objectName()))};
            if (box->isChecked() != (a.Number == 1)) box->click();
            break;
        }
        case TActionKind::Press: {
            QObject* o = Control(form, a.Control);
            if (auto* b = qobject_cast<QAbstractButton*>(o)) {
                if (!b->isEnabled())
                    return {false, AtLine(a.Line, QStringLiteral("%1 is disabled").arg(b->objectName()))};
                b->click();
            } else if (auto* act = qobject_cast<QAction*>(o)) {
                auto* menu = qobject_cast<QMenu*>(act->parent());
                if (!act->isEnabled() || (menu && !menu->menuAction()->isEnabled()))
                    return {false, AtLine(a.Line, QStringLiteral("%1 is disabled").arg(act->objectName()))};
                act->trigger();
            }
            break;
        }
        case TActionKind::Reconnect:
            form.ButtonReconnect->click();
            break;
        case TActionKind::Screenshot:
            if (!form.grab().save(QString::fromStdString(a.Path)))
                return {false, AtLine(a.Line, QStringLiteral("cannot write %1").arg(QString::fromStdString(a.Path)))};
            break;
        }
        QCoreApplication::processEvents();
    }
    return {};
}

} // namespace demo
