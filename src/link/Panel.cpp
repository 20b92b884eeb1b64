#include "link/Panel.h"

#include "params/Capabilities.h"
#include "params/ValueTables.h"

#include <utility>

namespace core {

namespace {

template <typename List> std::vector<std::string> Strings(const List& items) {
    return {items.begin(), items.end()};
}

} // namespace

TPanel::TPanel() {
    using enum TControl;
    const auto define = [this](TControl c, std::string_view text, bool enabled = true,
                               bool visible = true) {
        TControlState& s = controls_[Index(c)];
        s.text = text;
        s.enabled = enabled;
        s.visible = visible;
    };
    const auto list = [&](TControl c, std::string_view caption, std::vector<std::string> items,
                          int columns, bool enabled = false) {
        define(c, caption, enabled);
        controls_[Index(c)].items = std::move(items);
        controls_[Index(c)].columns = columns;
    };
    define(Label3, "The Sonavelle firmware you have is not supported in this tool.", true, false);
    define(Label5, "Current setting");
    define(Label8, "Model :", true, false);
    define(Label9, "Min", true, false);
    define(Label10, "<<  Sensitivity  >>           Max", true, false);
    define(Label11, "1st check signal", false);
    define(Label12, "From 2nd check signal", false);
    define(Label13, "Language:");
    define(GroupBox1, "Volume");
    define(GroupBox2, "Hands-Free mode");
    list(RadioGroup1, {}, Strings(params::VolumeItems), 5);
    list(RadioGroup3, "Automatic switching from \"Transmitting\" to \"Receiving\"",
         Strings(params::TxSquelchItems), 2);
    list(RadioGroup4, {}, Strings(params::HandsFreeItems), 6);
    list(RGChannel, "Channel", Strings(params::RGChannelInitialItems), 3);
    list(RadioGroup5, "Voice recorder", Strings(params::RecordSwItems), 2, true);
    const params::TChoiceList diveCom = params::DiveComInterfaceChoices({});
    list(RgDiveComInterface, diveCom.caption, Strings(diveCom.items), diveCom.columns);
    list(RadioGroupVoiceGuideLevel, "Voice guide level", Strings(params::VoiceGuideItems), 3);
    controls_[Index(Edit9)].tag = -1;
    controls_[Index(EdtDiveComInterface)].tag = -1;
    define(GroupBoxDivingTimeSignal, "Air check time", false);
    define(CheckBoxDivingTimeSignalEnable, "On");
    list(ComboBoxDivingTimeSignal1, {}, Strings(params::DivingTimeSignal1Items), 1);
    list(ComboBoxDivingTimeSignal2, {}, Strings(params::DivingTimeSignal2Items), 1);
    define(SpeedButton2, "Apply", false);
    define(SpeedButton3, "Default", false);
    define(LabelParamCnt, "LabelParamCnt");
    define(File1, "File");
    define(Info1, "Info");
    define(Timer1, {}, false);
}

template <typename T, typename V> bool TPanel::Set(TControl c, T TControlState::*field, V&& value) {
    T& s = controls_[Index(c)].*field;
    if (s == value) return false;
    s = std::forward<V>(value);
    Changed(c);
    return true;
}

bool TPanel::SetText(TControl c, std::string_view text) {
    return Set(c, &TControlState::text, text);
}
bool TPanel::SetEnabled(TControl c, bool enabled) {
    return Set(c, &TControlState::enabled, enabled);
}
bool TPanel::SetVisible(TControl c, bool visible) {
    return Set(c, &TControlState::visible, visible);
}
bool TPanel::SetTag(TControl c, int tag) {
    return Set(c, &TControlState::tag, tag);
}
bool TPanel::SetChecked(TControl c, bool checked) {
    return Set(c, &TControlState::checked, checked);
}

bool TPanel::SetPosition(TControl c, int position) {
    if (position < 0 || position > 100) return false;
    return Set(c, &TControlState::position, position);
}

bool TPanel::SetItemIndex(TControl c, int index) {
    TControlState& s = controls_[Index(c)];
    if (index < 0 || index >= static_cast<int>(s.items.size())) index = -1;
    return Set(c, &TControlState::itemIndex, index);
}

bool TPanel::SetItems(TControl c, std::vector<std::string> items, int columns) {
    TControlState& s = controls_[Index(c)];
    if (s.items == items && s.columns == columns && s.itemIndex == -1) return false;
    s.items = std::move(items);
    s.columns = columns;
    s.itemIndex = -1;
    Changed(c);
    return true;
}

} // namespace core
