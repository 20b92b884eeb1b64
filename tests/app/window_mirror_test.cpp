// The window as a view: after every event each widget shows its control's state in the
// conversation's panel, and what the user does with a widget reaches the panel.
#include "support/SimLink.h"
#include "support/WindowWidgets.h"

#include <QRadioButton>

using namespace testing_support;

namespace {

QString U(const std::string& s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

QStringList Items(const std::vector<std::string>& items) {
    QStringList out;
    for (const auto& item : items)
        out << U(item);
    return out;
}

class WindowMirror : public SimWindowTest {
  protected:
    // Every control of the panel against its widget.
    void ExpectMirrored(const char* when) {
        SCOPED_TRACE(when);
        const core::TPanel& panel = form->Painter().Panel();
        for (params::TControl id : params::AllControls()) {
            const core::TControlState& s = panel[id];
            const QString name = U(std::string(params::ControlName(id)));
            SCOPED_TRACE(name.toStdString());
            QObject* o = form->findChild<QObject*>(name);
            ASSERT_NE(o, nullptr);
            if (auto* t = qobject_cast<TTimer*>(o)) {
                EXPECT_EQ(t->Enabled(), s.enabled);
                EXPECT_EQ(t->Tag, s.tag);
                continue;
            }
            if (auto* m = qobject_cast<QMenu*>(o)) {
                EXPECT_EQ(m->menuAction()->isEnabled(), s.enabled);
                EXPECT_EQ(m->title(), U(s.text));
                continue;
            }
            auto* w = qobject_cast<QWidget*>(o);
            ASSERT_NE(w, nullptr);
            // The widget's own state, not what its parents make of it.
            EXPECT_EQ(!w->testAttribute(Qt::WA_ForceDisabled), s.enabled);
            EXPECT_EQ(!w->isHidden(), s.visible);
            if (auto* g = qobject_cast<TRadioGroup*>(w)) {
                EXPECT_EQ(g->ItemIndex(), s.itemIndex);
                EXPECT_EQ(g->Items(), Items(s.items));
                EXPECT_EQ(g->title(), U(s.text));
            } else if (auto* c = qobject_cast<QComboBox*>(w)) {
                EXPECT_EQ(c->currentIndex(), s.itemIndex);
                EXPECT_EQ(c->count(), static_cast<int>(s.items.size()));
            } else if (auto* e = qobject_cast<TEdit*>(w)) {
                EXPECT_EQ(e->text(), U(s.text));
                EXPECT_EQ(e->Tag, s.tag);
            } else if (auto* x = qobject_cast<QCheckBox*>(w)) {
                EXPECT_EQ(x->isChecked(), s.checked);
            } else if (auto* b = qobject_cast<TSpeedButton*>(w)) {
                EXPECT_EQ(b->text(), U(s.text));
                EXPECT_EQ(b->Tag, s.tag);
            } else if (auto* l = qobject_cast<QLabel*>(w)) {
                EXPECT_EQ(l->text(), U(s.text));
            } else if (auto* p = qobject_cast<QProgressBar*>(w)) {
                EXPECT_EQ(p->value(), s.position);
            }
        }
    }
};

TEST_F(WindowMirror, EveryWidgetShowsItsControlThroughAWholeConversation) {
    ExpectMirrored("at start");
    PlugUnit("DW720 MIV", "201036");
    ASSERT_TRUE(
        RunUntil([&] { return form->Conversation().Phase() == core::TPhase::ReadingCurrent; }));
    ExpectMirrored("during the read-back");
    ASSERT_TRUE(RunToRest());
    ExpectMirrored("after the read-back");
    RadioGroup1(form)->SetItemIndex(4);
    SpeedButton2(form)->click();
    ExpectMirrored("Apply pressed");
    ASSERT_TRUE(RunToRest());
    ExpectMirrored("after Apply");
    SpeedButton3(form)->click();
    ASSERT_TRUE(RunToRest());
    ExpectMirrored("after Default");
    UnplugUnit();
    ExpectMirrored("after the unplug");
    PlugUnit("DW730 VELMORAS_SPECIAL", "201020"); // other lists, other captions
    ASSERT_TRUE(RunToRest());
    ExpectMirrored("another unit");
    UnplugUnit();
    PlugUnit("PX510", "105"); // the information file instead of the settings
    ASSERT_TRUE(RunToRest());
    ExpectMirrored("three-character firmware");
}

TEST_F(WindowMirror, WhatTheUserDoesReachesThePanel) {
    PlugUnit("DW720 MIV", "201036");
    ASSERT_TRUE(RunToRest());
    const core::TPanel& panel = form->Painter().Panel();
    using C = params::TControl;

    RGChannel(form)->Button(1)->click(); // a click on an item, as the user does it
    EXPECT_EQ(panel[C::RGChannel].itemIndex, 1);
    RadioGroup5(form)->SetItemIndex(3); // set by a program (the scenario runner does this)
    EXPECT_EQ(panel[C::RadioGroup5].itemIndex, 3);

    CheckBoxDivingTimeSignalEnable(form)->click(); // off: the click rule clears the combo boxes
    EXPECT_FALSE(panel[C::CheckBoxDivingTimeSignalEnable].checked);
    EXPECT_EQ(panel[C::ComboBoxDivingTimeSignal1].itemIndex, -1);
    EXPECT_FALSE(ComboBoxDivingTimeSignal1(form)->isEnabled());
    CheckBoxDivingTimeSignalEnable(form)->click(); // on: twenty and ten minutes
    EXPECT_EQ(panel[C::ComboBoxDivingTimeSignal1].itemIndex, 1);
    ComboBoxDivingTimeSignal2(form)->setCurrentIndex(0); // every five minutes
    EXPECT_EQ(panel[C::ComboBoxDivingTimeSignal2].itemIndex, 0);
    ExpectMirrored("after the clicks");

    // Apply writes what the widgets show.
    SpeedButton2(form)->click();
    ASSERT_TRUE(RunToRest());
    EXPECT_EQ(sim->Stored()->Get("Channel").value_or("-"), "l");
    EXPECT_EQ(sim->Stored()->Get("RecordSw").value_or("-"), "3");
    EXPECT_EQ(sim->Stored()->Get("DivingTimeSignalSw").value_or("-"),
              std::to_string(params::EncodeDivingTimeSignal(1200, 300)));
}

} // namespace
