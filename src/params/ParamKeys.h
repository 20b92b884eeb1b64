#pragma once
// The parameter vocabulary: the keys as the device reports them, the default parameter set
// read at connection time, and the counts that end the read-backs.

#include <cstdint>
#include <string>
#include <string_view>

namespace params {

// Keys as they appear in replies (case-sensitive).
inline constexpr std::string_view KeyRxLevel = "RxLevel";
inline constexpr std::string_view KeyRxOutLevel = "RxOutLevel";
inline constexpr std::string_view KeyPhoneOutVol = "PhoneOutVol";
inline constexpr std::string_view KeyPhoneOutVolTrx = "PhoneOutVolTrx"; // only to exclude
inline constexpr std::string_view KeyTxSquelchSw = "TxSquelchSw";
inline constexpr std::string_view KeyVOXSw = "VOXSw"; // written as "VOXsw"
inline constexpr std::string_view KeyCsgVoxNzccTh = "CsgVoxNzccTh";
inline constexpr std::string_view KeyRecordSw = "RecordSw";
inline constexpr std::string_view KeyChannel = "Channel";
inline constexpr std::string_view KeyChannelChangeSw = "ChannelChangeSw"; // only to exclude
inline constexpr std::string_view KeyBaseFreq = "BaseFreq";
inline constexpr std::string_view KeyLed = "Led";
inline constexpr std::string_view KeyDiveConWarningSw = "DiveConWarningSw";
inline constexpr std::string_view KeyTxModeSw = "TxModeSw";
inline constexpr std::string_view KeyVoiceGuideSwitch = "VoiceGuideSwitch";
inline constexpr std::string_view KeyDivingTimeSignalSw = "DivingTimeSignalSw";
// The device has no stored parameters; the defaults are shown instead.
inline constexpr std::string_view TextParametersNotFound = "Parameters not found";

// Values taken when an integer value token is malformed.
inline constexpr std::int32_t DefaultRxLevel = 28000;
inline constexpr std::int32_t DefaultRxOutLevel = 18000;
inline constexpr std::int32_t DefaultTxSquelchSw = 1;
inline constexpr std::int32_t DefaultVOXSw = 1;
inline constexpr std::int32_t DefaultRecordSw = 0;
inline constexpr std::int32_t DefaultBaseFreq = 0;
inline constexpr std::int32_t DefaultDiveConWarningSw = 0;
inline constexpr std::int32_t DefaultTxModeSw = 0;
inline constexpr std::int32_t DefaultVoiceGuideSwitch = 0;
inline constexpr std::int32_t DefaultDivingTimeSignalSw = 0;

// initParams: the device's default set, one field per kept key. Zero/empty at start; it
// survives disconnection and is only overwritten by later initial read-backs.
struct TParamSet {
    std::int32_t RxLevel = 0;
    std::int32_t RxOutLevel = 0;
    std::int32_t TxSquelchSw = 0;
    std::int32_t VOXSw = 0;
    std::int32_t RecordSw = 0;
    std::int32_t BaseFreq = 0;
    std::int32_t DiveConWarningSw = 0;
    std::int32_t VoiceGuideSwitch = 0;
    std::int32_t DivingTimeSignalSw = 0;
    double CsgVoxNzccTh = 0;
    double PhoneOutVol = 0;
    std::string Channel;
    std::string Led;
    bool operator==(const TParamSet&) const = default;
};

// curParams: values of the current read-back that are shown only in pairs.
struct TCurParams {
    std::string Channel;
    std::int32_t BaseFreq = -1;
    std::int32_t VOXSw = 0;
    double CsgVoxNzccTh = 0;
    std::string Led;

    // On connection the channel pair and the LED are forgotten; the hands-free pair is kept.
    void ResetOnConnect() {
        Channel.clear();
        BaseFreq = -1;
        Led.clear();
    }
    bool operator==(const TCurParams&) const = default;
};

// Counted replies that end the initial read-back: 7 without extended firmware, else 8 to 13
// by version.
std::int32_t expectedParamCnt(bool extendedFirmware, std::string_view version) noexcept;

// Bar positions: 20..60 during the initial read-back, 60..100 during the current one
// (clamped to 0..100 whatever the counts), and the Apply run's share of expectedParamCnt.
// A non-positive expected count leaves the bar at the start of its range.
int InitialReadBackProgress(std::int32_t recvCnt, std::int32_t expected) noexcept;
int CurrentReadBackProgress(std::int32_t recvCnt, std::int32_t expected) noexcept;
int ApplyProgress(std::int32_t progressCnt, std::int32_t expected) noexcept;

// The initial read-back is skipped when the same device is identified again while attached.
bool SkipInitialReadBack(std::int32_t initParamReadCnt, std::string_view version,
                         std::string_view model, std::string_view lastReadVersion,
                         std::string_view lastReadKind) noexcept;

} // namespace params
