// The conversation core driven by arbitrary replies and user actions, from every step: a
// simulated unit of any model and firmware family answers unless the input speaks for it.
// After every action the panel, the log and the conversation must still make sense.
#include "link/Upload.h"
#include "support/ConversationPeer.h"
#include "support/CoreRig.h"

#include <array>
#include <cstdlib>
#include <string_view>

namespace {

using core::TControl;
using testing_support::TCoreRig;

class TInput {
  public:
    TInput(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    bool Empty() const { return pos_ >= size_; }
    // Zero once the input is used up.
    std::uint8_t Byte() { return Empty() ? 0 : data_[pos_++]; }
    std::string Bytes(std::size_t count) {
        count = std::min(count, size_ - std::min(pos_, size_));
        std::string out(reinterpret_cast<const char*>(data_ + pos_), count);
        pos_ += count;
        return out;
    }

  private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
};

constexpr std::array<std::string_view, 8> kModels{
    "DW720 KEL", "DW720 MIV", "DW720 QZ", "DW730 TONAL", "DW730 VELMORAS_SPECIAL",
    "PX510",     "PX510 MIV", "DW740 NEW"};
constexpr std::array<std::string_view, 12> kFirmwares{"105",    "201016", "201019", "201020",
                                                      "201025", "201026", "201029", "201033",
                                                      "201036", "201999", "202000", "201015"};
// Every step of the table, and one without a handler.
constexpr std::array<std::int32_t, 26> kSteps{0,  1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12,
                                              13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24, 99};
constexpr std::array<TControl, 9> kChoices{TControl::RadioGroup1,
                                           TControl::RadioGroup3,
                                           TControl::RadioGroup4,
                                           TControl::RGChannel,
                                           TControl::RadioGroup5,
                                           TControl::RgDiveComInterface,
                                           TControl::RadioGroupVoiceGuideLevel,
                                           TControl::ComboBoxDivingTimeSignal1,
                                           TControl::ComboBoxDivingTimeSignal2};
constexpr std::array<std::string_view, 16> kKeys{
    "RxLevel",           "RxOutLevel",  "PhoneOutVol",
    "PhoneOutVolTrx",    "TxSquelchSw", "VOXSw",
    "CsgVoxNzccTh",      "RecordSw",    "Channel",
    "ChannelChangeSw",   "Led",         "BaseFreq",
    "DiveConWarningSw",  "TxModeSw",    "VoiceGuideSwitch",
    "DivingTimeSignalSw"};
// Enough for a connection, an Apply and a Default; more only slows the search.
constexpr int kTickBudget = 12000;

bool ValidUtf8(std::string_view s) {
    std::size_t i = 0;
    while (i < s.size()) {
        const auto c = static_cast<unsigned char>(s[i]);
        const std::size_t n = c < 0x80         ? 1
                              : (c >> 5) == 6  ? 2
                              : (c >> 4) == 14 ? 3
                              : (c >> 3) == 30 ? 4
                                               : 0;
        if (n == 0 || i + n > s.size()) return false;
        for (std::size_t k = 1; k < n; ++k)
            if ((static_cast<unsigned char>(s[i + k]) >> 6) != 2) return false;
        i += n;
    }
    return true;
}

void Require(bool holds) {
    if (!holds) std::abort();
}

void CheckInvariants(const TCoreRig& rig) {
    for (TControl c : params::AllControls()) {
        const core::TControlState& s = rig[c];
        Require(s.itemIndex >= -1 && s.itemIndex < static_cast<int>(s.items.size()));
        Require(s.position >= 0 && s.position <= 100);
        Require(ValidUtf8(s.text));
    }
    const std::string& status = rig[TControl::Label4].text;
    Require(status.empty() || status == "Updating." || status == "Clear.");
    // The air-check combo boxes hold a choice only while the box is checked.
    if (!rig[TControl::CheckBoxDivingTimeSignalEnable].checked)
        Require(rig[TControl::ComboBoxDivingTimeSignal1].itemIndex == -1 &&
                rig[TControl::ComboBoxDivingTimeSignal2].itemIndex == -1);
    Require(std::find(kSteps.begin(), kSteps.end(), params::StepNumber(rig.conversation.Phase())) !=
            kSteps.end());
    Require(rig.conversation.UploadedFile().size() <= channel::kMaxUploadBytes);
    // The unit the core holds is one the controller has handed out.
    if (auto* held = static_cast<testing_support::TFakeHidDevice*>(
            testing_support::Peer(rig.conversation).Device()))
        Require(held->CheckedOut);
    for (const auto& line : rig.log.lines)
        Require(ValidUtf8(line.text));
    for (const auto& text : rig.dialogs.errors)
        Require(ValidUtf8(text));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    TInput in(data, size);
    sim::Profile profile = sim::MakeProfile(kModels[in.Byte() % kModels.size()],
                                            kFirmwares[in.Byte() % kFirmwares.size()]);
    profile.replyIntervalUs = (in.Byte() % 4) * 1000;
    TCoreRig rig;
    rig.PlugUnit(profile);
    int ticks = 0;
    const auto run = [&](int count, bool allDue) {
        for (; count > 0 && ticks < kTickBudget; --count, ++ticks)
            rig.Step(allDue);
    };

    while (!in.Empty()) {
        const std::uint8_t action = in.Byte();
        switch (action % 16) {
        case 0:
            run(1 + in.Byte() % 32, false);
            break;
        case 1:
            run(1 + in.Byte() % 32, true);
            break;
        case 2: // until the conversation rests, the read-back's second included
            for (int i = 0; i < 3000 && ticks < kTickBudget; ++i) {
                if (rig.Resting()) break;
                run(1, false);
            }
            break;
        case 3:
            rig.Deliver(std::string(1, '\0') + in.Bytes(in.Byte()));
            break;
        case 4:
            rig.Deliver(testing_support::LineReport(in.Bytes(in.Byte() % 48)));
            break;
        case 5: {
            const auto key = kKeys[in.Byte() % kKeys.size()];
            rig.Deliver(testing_support::LineReport("OK " + std::string(key) + " " +
                                                    in.Bytes(in.Byte() % 12)));
            break;
        }
        case 6: { // only what the user can reach: a disabled control takes no clicks
            const TControl choice = kChoices[in.Byte() % kChoices.size()];
            const int index = static_cast<std::int8_t>(in.Byte()) % 8;
            if (rig[choice].enabled) rig.Choose(choice, index);
            break;
        }
        case 7: {
            const bool checked = in.Byte() & 1;
            if (rig[TControl::CheckBoxDivingTimeSignalEnable].enabled)
                rig.Check(TControl::CheckBoxDivingTimeSignalEnable, checked);
            break;
        }
        case 8:
            rig.conversation.PressApply();
            break;
        case 9:
            rig.conversation.PressDefault();
            break;
        case 10:
            rig.conversation.PressReconnect();
            break;
        case 11:
            if (rig.unit)
                rig.UnplugUnit();
            else
                rig.ReplugUnit();
            break;
        case 12: // by number, 20 too: a step outside the table must not hurt
            testing_support::Peer(rig.conversation).SetStep(kSteps[in.Byte() % kSteps.size()]);
            break;
        case 13: // the clock jumps, backwards too
            rig.clock.Advance(static_cast<std::int16_t>(in.Byte() << 8 | in.Byte()));
            break;
        case 14:
            if (rig.unit) rig.unit->FailWrites = !rig.unit->FailWrites;
            break;
        case 15:
            rig.sim->MutableFaults().vanishAfter = in.Byte() % 24;
            break;
        }
        CheckInvariants(rig);
    }
    return 0;
}
