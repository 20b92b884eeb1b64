#pragma once
// The window's panel drawn from one unit's state: what a front end that shows the window's
// controls calls after each event (Draw), and the watcher the unit tells of the moments that
// change what the window shows beyond its state (what a device change clears, what the end of
// a read-back and the capability rules enable). The conversation names no control: the
// window's rules about its controls live here.
#include "link/Conversation.h"
#include "link/Panel.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace testing_support {
class TPainterPeer;
}

namespace core {

class TPanelPainter final : public TUnitWatcher {
  public:
    TPanelPainter() = default;
    TPanelPainter(const TPanelPainter&) = delete;
    TPanelPainter& operator=(const TPanelPainter&) = delete;

    // The unit drawn from now on (its ports name this painter as their watcher).
    void Show(const TConversation& unit) { unit_ = &unit; }
    // Brings the panel up to the unit's state; nothing is done while the state stands.
    void Draw() {
        if (unit_ && (!drawn_ || unit_->Revision() != drawnRevision_)) Redraw();
    }
    // Drawn first.
    const TPanel& Panel() {
        Draw();
        return panel_;
    }

    // The user's choice in a radio group or combo box, or the check box's new state, as the
    // window feeds it back: to the unit when it stands for a setting, else onto the panel.
    void Choose(TConversation& unit, TControl control, int index);
    void Check(TConversation& unit, TControl control, bool checked);

  private:
    friend class testing_support::TPainterPeer;
    void Forgotten() override;
    void Disconnected() override;
    void DevicesSettled() override;
    void Ticked() override;
    void VersionAnswered() override;
    void SettingsShownChanged() override;
    void ModelAnswered() override;
    void LanguageAnswered() override;
    void CapabilitiesChecked() override;
    void ReadBackFinished() override;
    void SaveAnswered() override;

    void Redraw();
    void DrawIdentity(const TConversation& unit);
    void DrawLists(const TConversation& unit);
    void DrawSetting(const TConversation& unit, TSetting setting);
    void EnableMenus(bool enabled);

    const TConversation* unit_ = nullptr;
    TPanel panel_;
    bool drawn_ = false;
    std::uint32_t drawnRevision_ = 0;
    std::array<std::uint32_t, 3> drawnParts_{};
    std::optional<std::optional<TRunKind>> drawnRun_; // the run Label4 was last drawn for
    // The capability rules are applied, at this revision of the unit.
    bool rulesHold_ = false;
    std::uint32_t rulesRevision_ = 0;
    std::optional<bool> menusReady_; // the menus were last enabled for a ready unit, or not
    // The identity the lists were last built for, once they are the identity's.
    bool listsForVersion_ = false;
    bool listsForModel_ = false;
    std::string listsVersion_;
    std::string listsModel_;
};

} // namespace core
