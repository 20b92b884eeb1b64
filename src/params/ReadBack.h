#pragma once
// The key tests of the two read-backs: which key a parameter reply carries, what is stored,
// what is shown and whether it counts. The window's step handlers keep only the flag, the
// counters, the bar and the calls to its Show... operations.

#include "params/Capabilities.h"
#include "params/ParamKeys.h"

#include <cstdint>
#include <optional>
#include <string_view>

namespace params {

// What a parameter reply was recognised as.
enum class TReplyKey {
    RxLevel,
    RxOutLevel,
    PhoneOutVol,
    TxSquelchSw,
    VOXSw,
    CsgVoxNzccTh,
    RecordSw,
    Channel,
    Led,
    BaseFreq,
    DiveConWarningSw,
    TxModeSw,
    VoiceGuideSwitch,
    DivingTimeSignalSw,
    ParametersNotFound,
};

// ---- Initial read-back (ReadInitialParameters, replies to "GETTMPPARAM") ----

struct TInitialReply {
    TReplyKey key;
    bool counted = false;   // raise initParamRecvCnt
    std::string_view value; // the value token as the unit sent it (into the reply); may be empty
};

// Tests the keys in their fixed order and stores the value into initParams. nullopt: no key,
// nothing changed. Throws EConvertError (initParams untouched) when a real value is not a
// number or a stored key's reply has fewer than three tokens.
std::optional<TInitialReply> StoreInitialReply(std::string_view reply, TParamSet& initParams);

// ---- Current read-back (ReadCurrentParameters, replies to "GPAR") ----

// Which display operation the window runs for a reply.
enum class TShowOp {
    None,
    RxLevel,          // ShowRxLevel(intArg)
    RxOutLevel,       // ShowRxOutLevel(intArg)
    PhoneOutVol,      // ShowPhoneOutVol(realArg)
    HandsFree,        // ShowHandsFree(curParams.VOXSw, curParams.CsgVoxNzccTh)
    TxSquelch,        // ShowTxSquelch(intArg)
    Channel,          // ShowChannel()
    RecordSw,         // ShowRecordSw(intArg)
    DiveComInterface, // ShowDiveComInterface(intArg), already an item index
    VoiceGuideLevel,  // ShowVoiceGuideLevel(intArg), already an item index
    DivingTimeSignal, // ShowDivingTimeSignal(intArg)
    InitParams,       // show initParams; curParamRecvCnt := expectedParamCnt
};

struct TCurrentReply {
    TReplyKey key;
    bool counted = false; // raise curParamRecvCnt
    TShowOp show = TShowOp::None;
    std::int32_t intArg = 0;
    double realArg = 0;
    std::string_view value; // the value token as the unit sent it (into the reply); may be empty
};

// Tests the keys in their fixed order; updates curParams where two replies make one display.
// nullopt: no key. Throws EConvertError (curParams untouched) like StoreInitialReply.
std::optional<TCurrentReply> ReadCurrentReply(std::string_view reply, const TIdentity& identity,
                                              TCurParams& curParams);

// The volume operation that shows a stored set: RxLevel without extended firmware, else
// PhoneOutVol with the phone-volume flag, else RxOutLevel.
TShowOp VolumeShowOp(const TIdentity& identity) noexcept;

} // namespace params
