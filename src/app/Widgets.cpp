#include "app/Widgets.h"

#include <QButtonGroup>
#include <QRadioButton>
#include <QResizeEvent>

#include <algorithm>

TRadioGroup::TRadioGroup(const QString& caption, const QStringList& items, int columns,
                         QWidget* parent)
    : QGroupBox(caption, parent), group_(new QButtonGroup(this)), columns_(std::max(1, columns)) {
    SetItems(items);
}

int TRadioGroup::ItemIndex() const {
    for (size_t i = 0; i < buttons_.size(); ++i)
        if (buttons_[i]->isChecked()) return static_cast<int>(i);
    return -1;
}

void TRadioGroup::SetItemIndex(int index) {
    const int before = ItemIndex();
    // An exclusive group refuses to uncheck its last checked button.
    quiet_ = true;
    group_->setExclusive(false);
    for (size_t i = 0; i < buttons_.size(); ++i)
        buttons_[i]->setChecked(static_cast<int>(i) == index);
    group_->setExclusive(true);
    quiet_ = false;
    if (ItemIndex() != before) Q_EMIT Chosen(ItemIndex());
}

QStringList TRadioGroup::Items() const {
    QStringList items;
    for (auto* b : buttons_) items << b->text();
    return items;
}

void TRadioGroup::SetItems(const QStringList& items) {
    quiet_ = true;
    for (auto* b : buttons_) {
        group_->removeButton(b);
        delete b;
    }
    quiet_ = false;
    buttons_.clear();
    for (const auto& text : items) {
        auto* b = new QRadioButton(text, this);
        b->setObjectName(objectName() + QStringLiteral("_item%1").arg(buttons_.size()));
        group_->addButton(b);
        buttons_.push_back(b);
        connect(b, &QRadioButton::toggled, this, [this](bool on) {
            if (on && !quiet_) Q_EMIT Chosen(ItemIndex());
        });
        b->show();
    }
    LayOut();
}

void TRadioGroup::SetColumns(int columns) {
    columns_ = std::max(1, columns);
    LayOut();
}

QRadioButton* TRadioGroup::Button(int index) const {
    if (index < 0 || index >= Count()) return nullptr;
    return buttons_[static_cast<size_t>(index)];
}

void TRadioGroup::resizeEvent(QResizeEvent* event) {
    QGroupBox::resizeEvent(event);
    LayOut();
}

void TRadioGroup::LayOut() {
    if (buttons_.empty()) return;
    const int count = Count();
    const int rows = (count + columns_ - 1) / columns_;
    const bool captioned = !title().isEmpty();
    const int top = captioned ? 16 : 2;
    const int left = 8;
    const int w = std::max(1, (width() - 2 * left) / columns_);
    const int h = std::max(1, (height() - top - 2) / std::max(1, rows));
    for (int i = 0; i < count; ++i) {
        const int col = i / rows;
        const int row = i % rows;
        buttons_[static_cast<size_t>(i)]->setGeometry(left + col * w, top + row * h, w, std::min(h, 20));
    }
}

TEdit::TEdit(QWidget* parent, bool borderless, bool readOnly) : QLineEdit(parent) {
    setFrame(!borderless);
    setReadOnly(readOnly);
}

TSpeedButton::TSpeedButton(const QString& caption, QWidget* parent) : QToolButton(parent) {
    setText(caption);
    setAutoRaise(true);
}

TTimer::TTimer(QObject* parent, int intervalMs) : QObject(parent) {
    timer_.setTimerType(Qt::PreciseTimer);
    timer_.setInterval(intervalMs);
    connect(&timer_, &QTimer::timeout, this, [this] { Fire(); });
}

bool TTimer::Fire() {
    if (!enabled_ || !handler_) return false;
    auto handler = handler_; // the handler may detach itself
    handler();
    return true;
}

void TTimer::SetEnabled(bool enabled) {
    enabled_ = enabled;
    Update();
}

void TTimer::Attach(std::function<void()> handler) {
    handler_ = std::move(handler);
    Update();
}

void TTimer::Detach() {
    handler_ = nullptr;
    Update();
}

void TTimer::SetManual(bool manual) {
    manual_ = manual;
    Update();
}

void TTimer::Update() {
    if (enabled_ && handler_ && !manual_) {
        if (!timer_.isActive()) timer_.start();
    } else {
        timer_.stop();
    }
}
