#include "demo/SimPanel.h"

#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>
#include <QVBoxLayout>

#include <sstream>

namespace demo {

namespace {

std::set<std::string> Names(const QString& text) {
    std::set<std::string> names;
    for (const auto& part : text.split(QLatin1Char(','), Qt::SkipEmptyParts))
        if (!part.trimmed().isEmpty()) names.insert(part.trimmed().toStdString());
    return names;
}

QString Describe(const std::optional<sim::ParamSet>& set) {
    if (!set) return QStringLiteral("(none: \"Parameters not found\")");
    std::ostringstream out;
    for (const auto& [key, value] : set->Entries()) out << "  " << key << " = " << value << "\n";
    return QString::fromStdString(out.str());
}

} // namespace

TSimPanel::TSimPanel(TDemoRig& rig) : rig_(rig) {
    setWindowTitle(QStringLiteral("Simulated Sonavelle transceiver"));
    setObjectName(QStringLiteral("SimPanel"));
    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    profile_ = new QComboBox(this);
    for (const auto& name : sim::PresetNames()) profile_->addItem(QString::fromStdString(name));
    profile_->setCurrentText(QStringLiteral("DW730 TONAL/201036"));
    form->addRow(QStringLiteral("Profile"), profile_);
    ng_ = new QLineEdit(this);
    ng_->setPlaceholderText(QStringLiteral("e.g. SAVE, SPAR VOXsw"));
    form->addRow(QStringLiteral("Answer NG to"), ng_);
    silent_ = new QLineEdit(this);
    form->addRow(QStringLiteral("Never answer"), silent_);
    garbage_ = new QLineEdit(this);
    form->addRow(QStringLiteral("Garbage reply to"), garbage_);
    vanishAfter_ = new QSpinBox(this);
    vanishAfter_->setRange(-1, 10000);
    vanishAfter_->setValue(-1);
    vanishAfter_->setSpecialValueText(QStringLiteral("never"));
    form->addRow(QStringLiteral("Vanish after commands"), vanishAfter_);
    layout->addLayout(form);

    auto* buttons = new QHBoxLayout;
    plug_ = new QPushButton(QStringLiteral("Plug in"), this);
    unplug_ = new QPushButton(QStringLiteral("Unplug"), this);
    auto* faults = new QPushButton(QStringLiteral("Apply faults"), this);
    buttons->addWidget(plug_);
    buttons->addWidget(unplug_);
    buttons->addWidget(faults);
    layout->addLayout(buttons);
    state_ = new QPlainTextEdit(this);
    state_->setReadOnly(true);
    state_->setMinimumSize(360, 260);
    layout->addWidget(new QLabel(QStringLiteral("What the unit holds:"), this));
    layout->addWidget(state_);

    connect(plug_, &QPushButton::clicked, this, [this] {
        ApplyFaults();
        rig_.Plug();
        Refresh();
    });
    connect(unplug_, &QPushButton::clicked, this, [this] {
        rig_.Unplug();
        Refresh();
    });
    connect(faults, &QPushButton::clicked, this, [this] { ApplyFaults(); });
    connect(profile_, &QComboBox::currentTextChanged, this, [this](const QString& name) {
        if (auto p = sim::FindPreset(name.toStdString())) rig_.ChangeUnit(*p);
        ApplyFaults();
        Refresh();
    });
    auto* timer = new QTimer(this);
    connect(timer, &QTimer::timeout, this, [this] { Refresh(); });
    timer->start(500);
    Refresh();
}

void TSimPanel::ApplyFaults() {
    rig_.Unit().Inspect([this](sim::Transceiver& unit) {
        auto& f = unit.MutableFaults();
        f.ng = Names(ng_->text());
        f.silent = Names(silent_->text());
        f.garbage = Names(garbage_->text());
        f.vanishAfter = vanishAfter_->value();
        return 0;
    });
}

void TSimPanel::Refresh() {
    plug_->setEnabled(!rig_.Plugged());
    unplug_->setEnabled(rig_.Plugged());
    const QString text = rig_.Unit().Inspect([](sim::Transceiver& unit) {
        const auto& p = unit.GetProfile();
        QString s = QStringLiteral("%1, firmware %2, serial %3%4\n\nStored settings:\n")
                        .arg(QString::fromStdString(p.model), QString::fromStdString(p.firmware),
                             QString::fromStdString(p.serial),
                             unit.Vanished() ? QStringLiteral(" (vanished)") : QString());
        s += Describe(unit.Stored());
        s += QStringLiteral("\nFactory settings:\n") + Describe(unit.Defaults());
        return s;
    });
    if (state_->toPlainText() != text) state_->setPlainText(text);
}

} // namespace demo
