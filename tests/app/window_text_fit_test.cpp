// Every text the window shows fits the room its control gives it, in the font and style in
// use: the layout is fixed in pixels, so a wider font cuts captions off instead of growing
// the window. Measured with font metrics and the style's own rectangles, not pixels.
#include "params/ValueTables.h"
#include "support/WindowFixture.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFontInfo>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOption>
#include <QToolButton>

using namespace testing_support;

namespace {

QString U(std::string_view s) {
    return QString::fromUtf8(s.data(), qsizetype(s.size()));
}

// The horizontal span the style draws a text in, in the control's coordinates, and the room
// the control gives it there.
struct TTextSpan {
    QString text;
    QRect room;
    Qt::Alignment align = Qt::AlignLeft;
};

int FrameWidth(const QWidget* w) {
    return w->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, w);
}

QRect GroupPart(const QGroupBox* g, QStyle::SubControl part) {
    QStyleOptionGroupBox opt;
    opt.initFrom(g);
    opt.text = g->title();
    opt.subControls = QStyle::SC_GroupBoxFrame | QStyle::SC_GroupBoxLabel;
    opt.lineWidth = 1;
    return g->style()->subControlRect(QStyle::CC_GroupBox, &opt, part, g);
}

// Where a child's text may go inside its parent: within a group box's frame.
QRect Inside(const QWidget* w) {
    if (auto* g = qobject_cast<const QGroupBox*>(w)) {
        const int fw = FrameWidth(g);
        return GroupPart(g, QStyle::SC_GroupBoxFrame).adjusted(fw, 0, -fw, 0);
    }
    return w->rect();
}

std::vector<TTextSpan> Spans(QWidget* w, const QStringList& editTexts) {
    QStyle* style = w->style();
    if (auto* g = qobject_cast<QGroupBox*>(w)) {
        if (g->title().isEmpty()) return {};
        const QRect label = GroupPart(g, QStyle::SC_GroupBoxLabel);
        return {{g->title(), QRect(label.left(), 0, Inside(g).right() - label.left(), 1)}};
    }
    if (auto* r = qobject_cast<QRadioButton*>(w)) {
        QStyleOptionButton opt;
        opt.initFrom(r);
        opt.text = r->text();
        return {{r->text(), style->subElementRect(QStyle::SE_RadioButtonContents, &opt, r)}};
    }
    if (auto* c = qobject_cast<QCheckBox*>(w)) {
        QStyleOptionButton opt;
        opt.initFrom(c);
        opt.text = c->text();
        return {{c->text(), style->subElementRect(QStyle::SE_CheckBoxContents, &opt, c)}};
    }
    if (auto* b = qobject_cast<QPushButton*>(w)) {
        QStyleOptionButton opt;
        opt.initFrom(b);
        opt.text = b->text();
        return {{b->text(), style->subElementRect(QStyle::SE_PushButtonContents, &opt, b),
                 Qt::AlignHCenter}};
    }
    if (auto* t = qobject_cast<QToolButton*>(w)) {
        const int fw = FrameWidth(t);
        return {{t->text(), t->rect().adjusted(fw, fw, -fw, -fw), Qt::AlignHCenter}};
    }
    if (auto* l = qobject_cast<QLabel*>(w)) {
        std::vector<TTextSpan> lines;
        for (const auto& line : l->text().split(QRegularExpression(QStringLiteral("\r?\n"))))
            lines.push_back({line, l->contentsRect(), l->alignment() & Qt::AlignHorizontal_Mask});
        return lines;
    }
    if (auto* c = qobject_cast<QComboBox*>(w)) {
        QStyleOptionComboBox opt;
        opt.initFrom(c);
        opt.editable = c->isEditable();
        const QRect field =
            style->subControlRect(QStyle::CC_ComboBox, &opt, QStyle::SC_ComboBoxEditField, c);
        std::vector<TTextSpan> items;
        for (int i = 0; i < c->count(); ++i)
            items.push_back({c->itemText(i), field});
        return items;
    }
    if (auto* e = qobject_cast<QLineEdit*>(w)) {
        QStyleOptionFrame opt;
        opt.initFrom(e);
        opt.lineWidth = e->hasFrame() ? FrameWidth(e) : 0;
        // QLineEdit keeps two pixels clear on either side of its text.
        const QRect room = style->subElementRect(QStyle::SE_LineEditContents, &opt, e)
                               .marginsRemoved(e->textMargins())
                               .adjusted(2, 0, -2, 0);
        std::vector<TTextSpan> texts{{e->text(), room}};
        for (const auto& text : editTexts)
            if (text != e->text()) texts.push_back({text, room});
        return texts;
    }
    return {};
}

// Every text of every control inside the client area that does not fit; one line each.
QStringList Clipped(QWidget* client, const std::map<QString, QStringList>& editTexts) {
    QStringList clipped;
    for (QWidget* w : client->findChildren<QWidget*>()) {
        const QRect onClient(w->mapTo(client, QPoint()), w->size());
        if (!QRect(QPoint(), client->size()).contains(onClient)) continue; // beyond the view
        if (auto* l = qobject_cast<QLabel*>(w)) {
            const int lines = int(l->text().count(QLatin1Char('\n'))) + 1;
            if (QFontMetrics(l->font()).lineSpacing() * lines > l->contentsRect().height())
                clipped << QStringLiteral("%1: %2 lines overrun its height of %3 px")
                               .arg(l->objectName())
                               .arg(lines)
                               .arg(l->contentsRect().height());
        }
        const auto it = editTexts.find(w->objectName());
        for (const auto& span : Spans(w, it == editTexts.end() ? QStringList() : it->second)) {
            const int advance = QFontMetrics(w->font()).horizontalAdvance(span.text);
            const int left = span.align & Qt::AlignHCenter
                                 ? span.room.center().x() + 1 - advance / 2
                             : span.align & Qt::AlignRight ? span.room.right() + 1 - advance
                                                           : span.room.left();
            // Within its own room, then within every control it lies in.
            QString outside;
            if (left < span.room.left() || left + advance > span.room.right() + 1)
                outside = QStringLiteral("its room of %1 px").arg(span.room.width());
            for (QWidget* p = w->parentWidget(); outside.isEmpty() && p != client;
                 p = p->parentWidget()) {
                const QRect inside = Inside(p);
                const int x = w->mapTo(p, QPoint(left, 0)).x();
                if (x < inside.left() || x + advance > inside.right() + 1)
                    outside = p->objectName() + QStringLiteral("'s frame");
            }
            if (!outside.isEmpty())
                clipped << QStringLiteral("%1: \"%2\" (%3 px in %4 %5) overruns %6")
                               .arg(w->objectName(), span.text)
                               .arg(advance)
                               .arg(QFontInfo(w->font()).family())
                               .arg(w->font().pixelSize())
                               .arg(outside);
        }
    }
    return clipped;
}

template <typename Table> QStringList Texts(const Table& table) {
    QStringList texts;
    for (const auto& t : table)
        texts << U(t);
    return texts;
}

using WindowTextFit = WindowTest;

// Each state gives the controls other texts: as created, each model's lists, and the
// longest texts the current-setting boxes and the firmware notice show.
TEST_F(WindowTextFit, EveryCaptionItemAndValueFitsItsControl) {
    QStringList airCheck;
    for (const auto& row : params::DivingTimeSignalTable)
        airCheck << U(row.text);
    const std::map<QString, QStringList> editTexts{
        {QStringLiteral("EditKIND"), {U("DW730 VELMORAS_SPECIAL")}},
        {QStringLiteral("Edit9"), Texts(params::RecordSwBoxTexts)},
        {QStringLiteral("EditVoiceGuideLevel"), Texts(params::VoiceGuideItems)},
        {QStringLiteral("EditDivingTimeSignal"), airCheck},
    };
    const auto expectFits = [&](const char* state) {
        const QStringList clipped =
            Clipped(form->findChild<QWidget*>(QStringLiteral("Client")), editTexts);
        EXPECT_TRUE(clipped.isEmpty()) << state << ":\n"
                                       << clipped.join(QLatin1Char('\n')).toStdString();
    };
    form->show(); // a hidden window defers its resize events, and the groups lay out on them
    expectFits("as created");
    for (const char* model : {"DW720 MIV", "DW730 VELMORAS_SPECIAL", "DW730 TONAL"}) {
        SetIdentity("201036", model, true, true);
        expectFits(model);
    }
    SetPanelText(params::TControl::Label3,
                 "The Sonavelle firmware you have is not supported in this tool.\r\n"
                 "Please update to the latest version.");
    expectFits("firmware notice");
}

} // namespace
