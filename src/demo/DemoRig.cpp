#include "demo/DemoRig.h"

#include "app/DeviceErrors.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QElapsedTimer>
#include <QJsonObject>
#include <QRadioButton>

namespace demo {

// The window's clock on the rig's virtual time.
class TDemoRig::TVirtualClock final : public core::TClock {
  public:
    explicit TVirtualClock(const TDemoRig& rig) : rig_(rig) {}
    core::TTimePoint Now() const override {
        const int64_t ms = hid::sim::kVirtualEpochMs + rig_.ElapsedMs();
        return {ms, ms};
    }

  private:
    const TDemoRig& rig_;
};

TDemoRig::TDemoRig(const sim::Profile& profile, std::unique_ptr<TDialogs> dialogs, TTimeMode time,
                   std::optional<store::TJournalOptions> journal)
    : time_(time), model_(std::make_shared<hid::sim::TTransceiverModel>(profile)) {
    std::unique_ptr<core::TClock> clock;
    if (time_ == TTimeMode::Virtual) {
        auto manual = std::make_unique<hid::TManualMainThread>();
        manual_ = manual.get();
        main_ = std::move(manual);
        services_.UseVirtualClock(*main_);
        clock = std::make_unique<TVirtualClock>(*this);
    } else {
        main_ = std::make_unique<hid::TQtMainThread>();
    }
    auto controller = std::make_unique<hid::THidDeviceController>(services_, *main_);
    auto* loading = controller.get();
    form_ = std::make_unique<TForm1>(TFormServices{std::move(controller), std::move(clock),
                                                   std::move(dialogs), std::move(journal)});
    if (manual_) form_->Timer().SetManual(true);
    ShowDeviceErrorsInErrorBox(*main_, form_->Dialogs());
    loading->Loaded();
}

bool TDemoRig::Settle() {
    if (!manual_) {
        // Posts run in order: once the marker has run, so has everything posted before it.
        auto reached = std::make_shared<bool>(false);
        main_->Post([reached] { *reached = true; });
        QElapsedTimer waited;
        waited.start();
        while (!*reached && waited.elapsed() < hid::sim::kSettleLimitMs)
            QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents,
                                            5);
        return *reached;
    }
    return hid::sim::SettleVirtual(services_, *manual_);
}

bool TDemoRig::Tick() {
    if (!manual_) {
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 5);
        return true;
    }
    elapsedUs_ += 1000;
    services_.AdvanceTo(elapsedUs_);
    if (!Settle()) return false;
    form_->Timer().Fire();
    return Settle();
}

TDemoRig::~TDemoRig() {
    form_.reset();
    main_->SetErrorHandler({}); // the window's dialogs went with it
}

void TDemoRig::Plug() {
    cable_.Plug(model_);
}

void TDemoRig::Unplug() {
    cable_.Unplug();
}

void TDemoRig::ChangeUnit(const sim::Profile& profile) {
    const bool wasPlugged = Plugged();
    Unplug();
    model_ = std::make_shared<hid::sim::TTransceiverModel>(profile);
    if (wasPlugged) Plug();
}

QJsonArray ControlStates(const TForm1& form) {
    QJsonArray states;
    const auto add = [&](const QObject* o) {
        const QString name = o->objectName();
        // The File menu's items on settings files and the Info menu's log came after the
        // printed state was fixed: they are left out, so that it stays what it was.
        static const QStringList kLaterItems{
            QStringLiteral("SaveSettings1"),  QStringLiteral("LoadSettings1"),
            QStringLiteral("Restore1"),       QStringLiteral("ServiceRecord1"),
            QStringLiteral("SaveRecordCsv1"), QStringLiteral("ShowLog1")};
        if (name.isEmpty() || name.startsWith(QLatin1String("qt_")) ||
            name.contains(QLatin1String("_item")) || kLaterItems.contains(name))
            return;
        QJsonObject s;
        s[QStringLiteral("name")] = name;
        s[QStringLiteral("class")] = QLatin1String(o->metaObject()->className());
        if (auto* w = qobject_cast<const QWidget*>(o)) {
            s[QStringLiteral("enabled")] = w->isEnabled();
            s[QStringLiteral("visible")] = !w->isHidden();
        }
        if (auto* a = qobject_cast<const QAction*>(o)) {
            s[QStringLiteral("enabled")] = a->isEnabled();
            s[QStringLiteral("text")] = a->text();
        } else if (auto* m = qobject_cast<const QMenu*>(o)) {
            s[QStringLiteral("enabled")] = m->menuAction()->isEnabled();
            s[QStringLiteral("text")] = m->title();
        } else if (auto* g = qobject_cast<const TRadioGroup*>(o)) {
            s[QStringLiteral("itemIndex")] = g->ItemIndex();
            s[QStringLiteral("text")] = g->title();
            s[QStringLiteral("items")] = QJsonArray::fromStringList(g->Items());
        } else if (auto* c = qobject_cast<const QComboBox*>(o)) {
            s[QStringLiteral("itemIndex")] = c->currentIndex();
            s[QStringLiteral("text")] = c->currentText();
        } else if (auto* e = qobject_cast<const TEdit*>(o)) {
            s[QStringLiteral("text")] = e->text();
            s[QStringLiteral("tag")] = e->Tag;
        } else if (auto* cb = qobject_cast<const QCheckBox*>(o)) {
            s[QStringLiteral("text")] = cb->text();
            s[QStringLiteral("checked")] = cb->isChecked();
        } else if (auto* b = qobject_cast<const QAbstractButton*>(o)) {
            s[QStringLiteral("text")] = b->text();
            if (auto* sb = qobject_cast<const TSpeedButton*>(o)) s[QStringLiteral("tag")] = sb->Tag;
        } else if (auto* l = qobject_cast<const QLabel*>(o)) {
            s[QStringLiteral("text")] = l->text();
        } else if (auto* gb = qobject_cast<const QGroupBox*>(o)) {
            s[QStringLiteral("text")] = gb->title();
        } else if (auto* p = qobject_cast<const QProgressBar*>(o)) {
            s[QStringLiteral("position")] = p->value();
        } else if (qobject_cast<const QPlainTextEdit*>(o)) {
            s[QStringLiteral("lines")] = form.LogLines().size();
        } else if (o == &form.Timer()) {
            s[QStringLiteral("enabled")] = form.Timer().Enabled();
            s[QStringLiteral("tag")] = form.Timer().Tag;
        }
        states.append(s);
    };
    std::function<void(const QObject*)> walk = [&](const QObject* parent) {
        for (const QObject* child : parent->children()) {
            add(child);
            walk(child);
        }
    };
    walk(&form);
    QJsonObject conversation;
    conversation[QStringLiteral("name")] = QStringLiteral("Form1");
    conversation[QStringLiteral("step")] = params::StepNumber(form.Conversation().Phase());
    conversation[QStringLiteral("running")] = form.Conversation().Running();
    conversation[QStringLiteral("caption")] = form.windowTitle();
    states.prepend(conversation);
    return states;
}

} // namespace demo
