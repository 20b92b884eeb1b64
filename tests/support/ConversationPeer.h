#pragma once
// A test's way into the conversation core: starting in the middle of a conversation, and
// looking at what no front end needs. The production class names this peer as its friend.
#include "link/Conversation.h"
#include "link/PanelPainter.h"

#include <string>
#include <string_view>

namespace testing_support {

class TConversationPeer {
  public:
    explicit TConversationPeer(core::TConversation& c) : c_(c) {}

    void SetPhase(core::TPhase phase) { c_.phase_ = phase; }
    // By number, for a step outside the step table (the fuzzer feeds them).
    void SetStep(int step) { c_.phase_ = static_cast<core::TPhase>(step); }
    void SetRunning(bool running) { c_.running_ = running; }
    core::TReplyQueue& Replies() { return c_.replies_; }
    // The identity as identification would leave it, the texts' rules run.
    void SetIdentity(const params::TIdentity& identity) {
        c_.identity_.extendedFirmware = identity.extendedFirmware;
        c_.identity_.phoneVolume = identity.phoneVolume;
        c_.SetVersionText(identity.version);
        c_.SetModelText(identity.model);
    }
    params::TParamSet& InitialParams() { return c_.initParams_; }
    // An initial read-back of this version and model done before.
    void SetInitialRead(std::int32_t count, std::string version, std::string model) {
        c_.initParamReadCnt_ = count;
        c_.lastReadVersion_ = std::move(version);
        c_.lastReadKind_ = std::move(model);
    }
    // A serial number as identification would leave it.
    void SetSerial(std::string serial) { c_.SetSerial(std::move(serial)); }
    void SendCommand(const std::string& text) { c_.SendCommand(text); }
    // What a setting's box shows, as no unit can make it (the tables give every text).
    void SetShown(params::TSetting setting, std::string text) {
        c_.Data(setting).shown = std::move(text);
    }

    hid::TCustomHidDevice* Device() const { return c_.device_; }
    const params::TParamSet& InitialParams() const { return c_.initParams_; }
    const params::TCurParams& CurrentParams() const { return c_.curParams_; }
    std::int32_t ExpectedParamCnt() const { return c_.expectedParamCnt_; }
    std::int32_t InitialReceivedCount() const { return c_.initParamRecvCnt_; }
    const std::string& ReplyHex() const { return c_.replyHex_; }
    bool UploadRunning() const { return c_.upload_.running; }
    bool UploadEndSeen() const { return c_.upload_.endSeen; }

  private:
    core::TConversation& c_;
};

// The panel as no unit can make it (the tables give every text).
class TPainterPeer {
  public:
    explicit TPainterPeer(core::TPanelPainter& p) : p_(p) {}
    void SetText(core::TControl control, std::string_view text) {
        p_.Draw();
        p_.panel_.SetText(control, text);
    }

  private:
    core::TPanelPainter& p_;
};

inline TConversationPeer Peer(core::TConversation& c) {
    return TConversationPeer(c);
}
inline TConversationPeer Peer(const core::TConversation& c) {
    return TConversationPeer(const_cast<core::TConversation&>(c));
}

} // namespace testing_support
