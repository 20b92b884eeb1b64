#include "params/Features.h"

namespace params {

namespace {

bool Px510(const TIdentity& id) noexcept {
    return IsAnyModel(id.model, {ModelPX510, ModelPX510MIV});
}
bool Qz(const TIdentity& id) noexcept {
    return IsModel(id.model, ModelDW720QZ);
}
bool Tonal(const TIdentity& id) noexcept {
    return IsModel(id.model, ModelDW730TONAL);
}
bool TonalBefore26(const TIdentity& id) noexcept {
    return Tonal(id) && !HasSensitivity(id.version);
}

} // namespace

TVolumeKey VolumeKey(const TIdentity& id) noexcept {
    if (!id.extendedFirmware) return TVolumeKey::RxLevel;
    if (id.phoneVolume) return TVolumeKey::PhoneOutVol;
    return TVolumeKey::RxOutLevel;
}

bool AsksModel(const TIdentity& id) noexcept {
    return id.extendedFirmware;
}
bool AsksLanguage(const TIdentity& id) noexcept {
    return id.phoneVolume;
}

bool HasSensitivity(std::string_view version) noexcept {
    return VersionAtLeast(version, Version201026);
}

bool OffersVolume(const TIdentity& id) noexcept {
    return !TonalBefore26(id);
}
bool OffersAutoSwitching(const TIdentity& id) noexcept {
    return !Qz(id) && !Tonal(id) && !Px510(id);
}
bool OffersHandsFree(const TIdentity& id) noexcept {
    return !Qz(id) && !TonalBefore26(id) && !Px510(id);
}

bool OffersChannel(const TIdentity& id) noexcept {
    return !Px510(id) &&
           !IsAnyModel(id.model, {ModelDW720KEL, ModelDW730TONAL, ModelDW730VELMORAS});
}

bool OffersRecorder(const TIdentity& id) noexcept {
    return !Qz(id) && !Px510(id) && !IsAnyModel(id.model, {ModelDW730TONAL, ModelDW730VELMORAS});
}

bool OffersDiveComInterface(const TIdentity& id) noexcept {
    if (HasReceiveOnlySwitch(id)) return true;
    return VersionAtLeast(id.version, Version201029) && !Qz(id) && !Px510(id);
}

bool IsAdjustable(const TIdentity& id) noexcept {
    return !TonalBefore26(id);
}

bool HasReceiveOnlySwitch(const TIdentity& id) noexcept {
    return IsModel(id.model, ModelDW730VELMORAS);
}

bool WritesDiveComInterface(const TIdentity& id) noexcept {
    return HasReceiveOnlySwitch(id) || VersionAtLeast(id.version, Version201029);
}

bool HasVoiceGuide(const TIdentity& id) noexcept {
    return VersionAtLeast(id.version, Version201033) && !Qz(id) && !Px510(id);
}

bool HasAirCheck(const TIdentity& id) noexcept {
    return VersionAtLeast(id.version, Version201036) && !Px510(id);
}

} // namespace params
