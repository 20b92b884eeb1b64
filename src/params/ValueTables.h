#pragma once
// Device value <-> panel item tables of every setting, in both directions, and the pure part
// of each Show... display operation: which item, which current-setting box text, which tag.
// A std::nullopt result means "value outside the table: leave choice, text and tag as they are".

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace params {

// What a display operation puts into a choice control and its current-setting box.
struct TDisplay {
    int itemIndex = -1;
    std::string_view text;
    int tag = -1;
    bool operator==(const TDisplay&) const = default;
};

// ---- Volume: RadioGroup1 / Edit5, items "1" to "5" ----

// One item of a range table: device values low..high select the item; written is what Apply
// sends for it.
struct TLevelRow {
    std::int32_t low;
    std::int32_t high;
    std::int32_t written;
};
using TLevelTable = std::array<TLevelRow, 5>;

inline constexpr std::array<std::string_view, 5> VolumeItems{"1", "2", "3", "4", "5"};

// RxLevel, firmware without the extended-firmware flag.
inline constexpr TLevelTable RxLevelTable{{{0, 22000, 22000},
                                           {22001, 23500, 23500},
                                           {23501, 25000, 25000},
                                           {25001, 26500, 26500},
                                           {26501, 65536, 28000}}};
// RxOutLevel, extended firmware below "201033", one table per model family.
inline constexpr TLevelTable RxOutLevelTableKEL{{{0, 9000, 9000},
                                                 {9001, 10728, 10728},
                                                 {10729, 12744, 12744},
                                                 {12745, 15138, 15138},
                                                 {15139, 65536, 18000}}};
inline constexpr TLevelTable RxOutLevelTableVELMORAS{{{0, 6280, 6280},
                                                      {6281, 8870, 8870},
                                                      {8871, 12530, 12530},
                                                      {12531, 18000, 18000},
                                                      {18001, 65536, 25000}}};
inline constexpr TLevelTable RxOutLevelTableOther{{{0, 7500, 7500},
                                                   {7501, 8940, 8940},
                                                   {8941, 10620, 10620},
                                                   {10621, 12615, 12615},
                                                   {12616, 65536, 15000}}};
// PhoneOutVol written for items 0..4; reading takes half-open ranges between them.
inline constexpr std::array<double, 5> PhoneOutVolValues{-12, -9, -6, -3, 0};

const TLevelTable& RxOutLevelTable(std::string_view model) noexcept;

std::optional<int> RxLevelToIndex(std::int32_t value) noexcept;
std::optional<int> RxOutLevelToIndex(std::string_view model, std::int32_t value) noexcept;
// Every finite or infinite value selects an item; NaN selects none.
std::optional<int> PhoneOutVolToIndex(double value) noexcept;

std::optional<std::int32_t> RxLevelValue(int index) noexcept;
std::optional<std::int32_t> RxOutLevelValue(std::string_view model, int index) noexcept;
std::optional<double> PhoneOutVolValue(int index) noexcept;

std::optional<TDisplay> RxLevelToDisplay(std::int32_t value) noexcept;
std::optional<TDisplay> RxOutLevelToDisplay(std::string_view model, std::int32_t value) noexcept;
std::optional<TDisplay> PhoneOutVolToDisplay(double value) noexcept;
// Edit5 after a save: "1".."5" for items 0..4; the text stays for any other index.
std::optional<std::string_view> VolumeBoxText(int index) noexcept;

// ---- Hands-free: RadioGroup4 / Edit8 ----
// Below "201026" only the first two items, "Off" and "On".
inline constexpr std::array<std::string_view, 6> HandsFreeItems{"Off", "1", "2", "3", "4", "5"};
inline constexpr std::array<std::string_view, 2> HandsFreeOnOffItems{"Off", "On"};

// CsgVoxNzccTh written for items 1..5 (item 0 writes the default set's value back).
inline constexpr std::array<double, 5> CsgVoxNzccThValues{0.8, 0.7, 0.6, 0.5, 0.4};

// The sensitivity item 1..5 of a threshold read; NaN selects none.
std::optional<int> CsgVoxNzccThToIndex(double threshold) noexcept;
// Threshold written for an item: 0 gives initThreshold, 1..5 the table; others none.
std::optional<double> CsgVoxNzccThValue(int index, double initThreshold) noexcept;

// ShowHandsFree: below "201026" only off/on; from it, the sensitivity by the threshold.
std::optional<TDisplay> HandsFreeToDisplay(std::string_view version, std::int32_t vox,
                                           double threshold) noexcept;

struct TBoxUpdate {
    std::optional<std::string_view> text; // nullopt: text unchanged
    int tag = -1;
    bool operator==(const TBoxUpdate&) const = default;
};
// Edit8 after a save, from the RadioGroup4 index.
TBoxUpdate HandsFreeBoxFromIndex(std::string_view version, int index) noexcept;

// ---- Automatic switching: RadioGroup3 / Edit7 ----
inline constexpr std::array<std::string_view, 2> TxSquelchItems{"Off", "On"};

std::optional<TDisplay> TxSquelchToDisplay(std::int32_t value) noexcept;
std::optional<std::string_view> TxSquelchBoxText(int index) noexcept;

// ---- Channel: RGChannel / EdtChannel, from the pair (Channel, BaseFreq) ----

std::optional<TDisplay> ChannelToDisplay(std::string_view channel, std::int32_t baseFreq) noexcept;
// EdtChannel after a save: "A ch", "B ch" or "S ch" (model "DW720 MIV"), "C ch".
std::optional<std::string_view> ChannelBoxText(std::string_view model, int index) noexcept;

// ---- Voice recorder: RadioGroup5 / Edit9 ----

inline constexpr std::array<std::string_view, 5> RecordSwItems{
    "O\xEF\xBD\x86\xEF\xBD\x86", // "Off" with full-width f's, as the window has always shown it
    "Transmitting record", "Receiving record", "All record", "Record only"};
inline constexpr std::array<std::string_view, 5> RecordSwBoxTexts{
    "OFF", "Transmitting record", "Receiving record", "All record", "Record only"};

// ShowRecordSw always touches item and tag: item is the value limited to -1..4, tag the value
// itself; the text only for 0..4.
struct TRecordSwDisplay {
    int itemIndex = -1;
    std::optional<std::string_view> text;
    std::int32_t tag = 0;
    bool operator==(const TRecordSwDisplay&) const = default;
};
TRecordSwDisplay RecordSwToDisplay(std::int32_t value) noexcept;

// ---- Dive-computer interface / receive-only switch: RgDiveComInterface ----

std::int32_t DiveConWarningToIndex(std::int32_t value) noexcept;
std::int32_t TxModeToIndex(std::int32_t value) noexcept;
// ShowDiveComInterface, by item index.
std::optional<TDisplay> DiveComInterfaceToDisplay(std::string_view model,
                                                  std::int32_t index) noexcept;

// ---- Voice guide level: RadioGroupVoiceGuideLevel ----

inline constexpr std::array<std::string_view, 3> VoiceGuideItems{"Low", "Middle", "High"};
inline constexpr std::array<std::int32_t, 3> VoiceGuideValues{120, 510, 511};

std::int32_t VoiceGuideToIndex(std::int32_t value) noexcept;
std::optional<TDisplay> VoiceGuideLevelToDisplay(std::int32_t index) noexcept;

// ---- Air check time: CheckBoxDivingTimeSignalEnable and two combo boxes ----

inline constexpr std::array<std::string_view, 4> DivingTimeSignal1Items{
    "in 10 min.", "in 20 min.", "in 30 min.", "in 2 min. (Test)"};
inline constexpr std::array<std::string_view, 3> DivingTimeSignal2Items{
    "every 5 min.", "every 10 min.", "every 1 min. (Test)"};

// One known combination. The device value packs the first signal (seconds) in bits 12..23 and
// the repeat interval (seconds) in bits 0..11; the code is the tag of EditDivingTimeSignal.
struct TDivingTimeSignalRow {
    std::int32_t firstSeconds;
    std::int32_t intervalSeconds;
    int code;
    std::string_view text;
    int first; // ComboBoxDivingTimeSignal1 item
    int later; // ComboBoxDivingTimeSignal2 item
};
inline constexpr std::array<TDivingTimeSignalRow, 7> DivingTimeSignalTable{{
    {600, 300, 1, "10min. 5min.", 0, 0},
    {600, 600, 2, "10min. 10min.", 0, 1},
    {1200, 300, 3, "20min. 5min.", 1, 0},
    {1200, 600, 4, "20min. 10min.", 1, 1},
    {1800, 300, 5, "30min. 5min.", 2, 0},
    {1800, 600, 6, "30min. 10min.", 2, 1},
    {120, 60, 7, "2min. 1min. (Test)", 3, 2},
}};

constexpr std::int32_t EncodeDivingTimeSignal(std::int32_t firstSeconds,
                                              std::int32_t intervalSeconds) noexcept {
    return firstSeconds * 4096 + intervalSeconds;
}

// What ShowDivingTimeSignal sets, in its order: tag and text of EditDivingTimeSignal, the two
// combo boxes, then the check box.
struct TDivingTimeSignalDisplay {
    int tag = -1;
    std::string_view text;
    int first = -1;
    int later = -1;
    bool checked = false;
    bool operator==(const TDivingTimeSignalDisplay&) const = default;
};
TDivingTimeSignalDisplay DivingTimeSignalToDisplay(std::int32_t value) noexcept;

// Apply side, from the check box and the two combo indexes: the device value (0 = off) and
// the code compared with the tag (0 = off). Unknown pairs give 0 for both.
std::int32_t GetDivingTimeSignalValue(bool checked, int first, int later) noexcept;
int GetDivingTimeSignalCode(bool checked, int first, int later) noexcept;

} // namespace params
