#pragma once
// What the window shows: a plain model of every control, keyed by id, drawn by the
// conversation from its own state and never read back by it for meaning. The window mirrors
// it onto its widgets and feeds the user's choices back through the conversation's Choose
// and Check. Texts are UTF-8.
//
// Setters behave as the widgets do: an item index outside the list selects nothing,
// rebuilding a list clears its selection, a bar position outside 0..100 is ignored. Each
// real change raises the control's revision, so a view redraws only what changed.
#include "params/Controls.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace core {

using params::TControl;

struct TControlState {
    bool enabled = true;
    bool visible = true;
    int itemIndex = -1;
    std::vector<std::string> items;
    int columns = 1;
    std::string text; // edit or label text, or the caption of a group, button or menu
    int tag = 0;
    bool checked = false;
    int position = 0;
    bool operator==(const TControlState&) const = default;
};

class TPanel {
  public:
    // The controls as the window defines them before anything is connected.
    TPanel();

    const TControlState& operator[](TControl c) const { return controls_[Index(c)]; }
    // Raised by every change of the control, never lowered.
    std::uint32_t Revision(TControl c) const { return revisions_[Index(c)]; }
    // Raised by every change of any control: nothing to redraw while it stays the same.
    std::uint32_t Revision() const { return revision_; }

    // Each returns whether anything changed.
    bool SetText(TControl c, std::string_view text);
    bool SetEnabled(TControl c, bool enabled);
    bool SetVisible(TControl c, bool visible);
    bool SetItemIndex(TControl c, int index);
    bool SetItems(TControl c, std::vector<std::string> items, int columns);
    bool SetTag(TControl c, int tag);
    bool SetChecked(TControl c, bool checked);
    bool SetPosition(TControl c, int position);

  private:
    static std::size_t Index(TControl c) { return static_cast<std::size_t>(c); }
    void Changed(TControl c) {
        ++revisions_[Index(c)];
        ++revision_;
    }
    template <typename T, typename V> bool Set(TControl c, T TControlState::*field, V&& value);

    std::array<TControlState, params::kControlCount> controls_;
    std::array<std::uint32_t, params::kControlCount> revisions_{};
    std::uint32_t revision_ = 0;
};

} // namespace core
