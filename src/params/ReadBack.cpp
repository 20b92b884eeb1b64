#include "params/ReadBack.h"

#include "params/Features.h"

#include "params/ReplyTokens.h"
#include "params/ValueTables.h"

namespace params {

namespace {

bool HasKey(std::string_view reply, std::string_view key) {
    return ReplyContains(reply, key);
}

bool HasKeyBut(std::string_view reply, std::string_view key, std::string_view longer) {
    return ReplyContains(reply, key) && !ReplyContains(reply, longer);
}

std::optional<TInitialReply> StoreInitialKey(std::string_view reply,
                                             const std::vector<std::string_view>& tokens,
                                             TParamSet& initParams) {
    auto stored = [](TReplyKey key) { return TInitialReply{key, true, {}}; };

    if (HasKey(reply, KeyRxLevel)) {
        initParams.RxLevel = IntValue(tokens, DefaultRxLevel);
        return stored(TReplyKey::RxLevel);
    }
    if (HasKey(reply, KeyRxOutLevel)) {
        initParams.RxOutLevel = IntValue(tokens, DefaultRxOutLevel);
        return stored(TReplyKey::RxOutLevel);
    }
    if (HasKey(reply, KeyTxSquelchSw)) {
        initParams.TxSquelchSw = IntValue(tokens, DefaultTxSquelchSw);
        return stored(TReplyKey::TxSquelchSw);
    }
    if (HasKey(reply, KeyVOXSw)) {
        initParams.VOXSw = IntValue(tokens, DefaultVOXSw);
        return stored(TReplyKey::VOXSw);
    }
    if (HasKey(reply, KeyCsgVoxNzccTh)) {
        initParams.CsgVoxNzccTh = RealValue(tokens);
        return stored(TReplyKey::CsgVoxNzccTh);
    }
    if (HasKey(reply, KeyRecordSw)) {
        initParams.RecordSw = IntValue(tokens, DefaultRecordSw);
        return stored(TReplyKey::RecordSw);
    }
    if (HasKeyBut(reply, KeyChannel, KeyChannelChangeSw)) {
        initParams.Channel = TextValue(tokens);
        return stored(TReplyKey::Channel);
    }
    if (HasKey(reply, KeyLed)) {
        initParams.Led = TextValue(tokens);
        return stored(TReplyKey::Led);
    }
    if (HasKey(reply, KeyBaseFreq)) {
        initParams.BaseFreq = IntValue(tokens, DefaultBaseFreq);
        return stored(TReplyKey::BaseFreq);
    }
    if (HasKey(reply, KeyDiveConWarningSw)) {
        initParams.DiveConWarningSw = IntValue(tokens, DefaultDiveConWarningSw);
        return stored(TReplyKey::DiveConWarningSw);
    }
    // The receive-only switch is not part of the default set, and stops the tests.
    if (HasKey(reply, KeyTxModeSw)) return TInitialReply{TReplyKey::TxModeSw, false, {}};
    if (HasKeyBut(reply, KeyPhoneOutVol, KeyPhoneOutVolTrx)) {
        initParams.PhoneOutVol = RealValue(tokens);
        return stored(TReplyKey::PhoneOutVol);
    }
    if (HasKey(reply, KeyVoiceGuideSwitch)) {
        initParams.VoiceGuideSwitch = IntValue(tokens, DefaultVoiceGuideSwitch);
        return stored(TReplyKey::VoiceGuideSwitch);
    }
    if (HasKey(reply, KeyDivingTimeSignalSw)) {
        initParams.DivingTimeSignalSw = IntValue(tokens, DefaultDivingTimeSignalSw);
        return stored(TReplyKey::DivingTimeSignalSw);
    }
    return std::nullopt;
}

std::optional<TCurrentReply> ReadCurrentKey(std::string_view reply,
                                            const std::vector<std::string_view>& tokens,
                                            const TIdentity& identity, TCurParams& curParams) {
    const bool velmoras = HasReceiveOnlySwitch(identity);
    const TVolumeKey volume = VolumeKey(identity);
    auto shown = [](TReplyKey key, TShowOp op, std::int32_t arg = 0) {
        return TCurrentReply{key, true, op, arg, 0, {}};
    };

    if (HasKey(reply, KeyRxLevel)) {
        const auto value = IntValue(tokens, DefaultRxLevel);
        return shown(TReplyKey::RxLevel,
                     volume == TVolumeKey::RxLevel ? TShowOp::RxLevel : TShowOp::None, value);
    }
    if (HasKey(reply, KeyRxOutLevel)) {
        const auto value = IntValue(tokens, DefaultRxOutLevel);
        const bool show = volume == TVolumeKey::RxOutLevel;
        return shown(TReplyKey::RxOutLevel, show ? TShowOp::RxOutLevel : TShowOp::None, value);
    }
    if (HasKeyBut(reply, KeyPhoneOutVol, KeyPhoneOutVolTrx)) {
        const double value = RealValue(tokens);
        TCurrentReply r{TReplyKey::PhoneOutVol,
                        true,
                        volume == TVolumeKey::PhoneOutVol ? TShowOp::PhoneOutVol : TShowOp::None,
                        0,
                        value,
                        {}};
        return r;
    }
    if (HasKeyBut(reply, KeyChannel, KeyChannelChangeSw)) {
        curParams.Channel = TextValue(tokens);
        return shown(TReplyKey::Channel, TShowOp::Channel);
    }
    if (HasKey(reply, KeyLed)) {
        curParams.Led = TextValue(tokens);
        return shown(TReplyKey::Led, TShowOp::None);
    }
    if (HasKey(reply, KeyTxSquelchSw))
        return shown(TReplyKey::TxSquelchSw, TShowOp::TxSquelch,
                     IntValue(tokens, DefaultTxSquelchSw));
    if (HasKey(reply, KeyVOXSw)) {
        curParams.VOXSw = IntValue(tokens, DefaultVOXSw);
        return shown(TReplyKey::VOXSw, TShowOp::HandsFree);
    }
    if (HasKey(reply, KeyRecordSw))
        return shown(TReplyKey::RecordSw, TShowOp::RecordSw, IntValue(tokens, DefaultRecordSw));
    if (HasKey(reply, KeyBaseFreq)) {
        curParams.BaseFreq = IntValue(tokens, DefaultBaseFreq);
        return shown(TReplyKey::BaseFreq, TShowOp::Channel);
    }
    if (HasKey(reply, KeyCsgVoxNzccTh)) {
        curParams.CsgVoxNzccTh = RealValue(tokens);
        return shown(TReplyKey::CsgVoxNzccTh, TShowOp::HandsFree);
    }
    if (HasKey(reply, KeyDiveConWarningSw)) {
        // For this model the choice is the receive-only switch; the value is not read at all.
        if (velmoras) return shown(TReplyKey::DiveConWarningSw, TShowOp::None);
        return shown(TReplyKey::DiveConWarningSw, TShowOp::DiveComInterface,
                     DiveConWarningToIndex(IntValue(tokens, DefaultDiveConWarningSw)));
    }
    if (HasKey(reply, KeyTxModeSw)) {
        TCurrentReply r{TReplyKey::TxModeSw, false, TShowOp::None, 0, 0, {}};
        if (velmoras) {
            r.show = TShowOp::DiveComInterface;
            r.intArg = TxModeToIndex(IntValue(tokens, DefaultTxModeSw));
        }
        return r;
    }
    if (HasKey(reply, KeyVoiceGuideSwitch))
        return shown(TReplyKey::VoiceGuideSwitch, TShowOp::VoiceGuideLevel,
                     VoiceGuideToIndex(IntValue(tokens, DefaultVoiceGuideSwitch)));
    if (HasKey(reply, KeyDivingTimeSignalSw))
        return shown(TReplyKey::DivingTimeSignalSw, TShowOp::DivingTimeSignal,
                     IntValue(tokens, DefaultDivingTimeSignalSw));
    if (HasKey(reply, TextParametersNotFound))
        return TCurrentReply{TReplyKey::ParametersNotFound, false, TShowOp::InitParams, 0, 0, {}};
    return std::nullopt;
}

// The value token rides along with the result, so that the caller need not split the reply again.
template <typename TResult>
std::optional<TResult> WithValue(std::optional<TResult> result,
                                 const std::vector<std::string_view>& tokens) {
    if (result && tokens.size() >= 3) result->value = tokens[2];
    return result;
}

} // namespace

std::optional<TInitialReply> StoreInitialReply(std::string_view reply, TParamSet& initParams) {
    const auto tokens = TokenizeReply(reply);
    return WithValue(StoreInitialKey(reply, tokens, initParams), tokens);
}

std::optional<TCurrentReply> ReadCurrentReply(std::string_view reply, const TIdentity& identity,
                                              TCurParams& curParams) {
    const auto tokens = TokenizeReply(reply);
    return WithValue(ReadCurrentKey(reply, tokens, identity, curParams), tokens);
}

TShowOp VolumeShowOp(const TIdentity& identity) noexcept {
    switch (VolumeKey(identity)) {
    case TVolumeKey::RxLevel:
        return TShowOp::RxLevel;
    case TVolumeKey::PhoneOutVol:
        return TShowOp::PhoneOutVol;
    case TVolumeKey::RxOutLevel:
        break;
    }
    return TShowOp::RxOutLevel;
}

} // namespace params
