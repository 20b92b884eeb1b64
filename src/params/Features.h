#pragma once
// What a unit has, decided from its identity alone. Every rule that depends on the firmware
// or the model (the capability rules, the commands Apply sends, the change count, the keys
// the read-back takes) asks one of these, so no threshold or model list is restated
// elsewhere.
//
// Two notions meet here. What the panel offers follows the table of models; what Apply
// writes follows the firmware's write gates. They agree except for the dive-computer
// interface, which units "DW720 QZ" and "PX510" from "201029" are written (as they always
// were) but not offered. A setting counts as changed only if Apply writes it.
#include "params/Capabilities.h"

#include <string_view>

namespace params {

// How the volume is read and written.
enum class TVolumeKey { RxLevel, RxOutLevel, PhoneOutVol };
TVolumeKey VolumeKey(const TIdentity& id) noexcept;

// The unit is asked its model ("KIND"), and its language ("LANGUAGE").
bool AsksModel(const TIdentity& id) noexcept;
bool AsksLanguage(const TIdentity& id) noexcept;

// Hands-free with sensitivity 1 to 5, the threshold read and written: from "201026".
bool HasSensitivity(std::string_view version) noexcept;

// The settings a model offers on the panel once its read-back is done (extended firmware).
bool OffersVolume(const TIdentity& id) noexcept;
bool OffersAutoSwitching(const TIdentity& id) noexcept;
bool OffersHandsFree(const TIdentity& id) noexcept;
bool OffersChannel(const TIdentity& id) noexcept;
bool OffersRecorder(const TIdentity& id) noexcept;
bool OffersDiveComInterface(const TIdentity& id) noexcept; // or the receive-only switch
bool IsAdjustable(const TIdentity& id) noexcept;           // Apply and Default

// The dive-computer choice is the receive-only switch ("TxModeSw"), on every firmware.
bool HasReceiveOnlySwitch(const TIdentity& id) noexcept;
// Apply writes the dive-computer choice: the receive-only switch, or "DiveConWarningSw"
// from "201029".
bool WritesDiveComInterface(const TIdentity& id) noexcept;
// Voice guide level: from "201033", not for "DW720 QZ", "PX510", "PX510 MIV".
bool HasVoiceGuide(const TIdentity& id) noexcept;
// Air check time: from "201036", not for "PX510", "PX510 MIV".
bool HasAirCheck(const TIdentity& id) noexcept;

} // namespace params
