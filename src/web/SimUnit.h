#pragma once
// The simulated transceiver on the far side of the web link, on virtual time: the node
// command line's unit (the page's units are real, through WebHID). It is described to the
// link as the simulated services describe it, and its reports are handed over when they fall
// due, as the services' reader hands them to the main thread.
#include "sim/Transceiver.h"
#include "web/WebHid.h"

#include <cstdint>

namespace web {

class TSimUnit {
  public:
    TSimUnit(TWebHidController& hid, sim::Profile profile);

    // The cable: plugged in, the device arrives; pulled, it leaves and the unit restarts.
    void Plug();
    void Unplug();
    bool Plugged() const { return id_ != 0; }

    // The virtual clock reads nowUs: every report due by then is handed over, one at a time,
    // and a unit that has vanished leaves, as a pulled cable.
    void AdvanceTo(std::uint64_t nowUs);
    // An output report to the unit; false when it takes none.
    bool Write(std::uint32_t id, const std::uint8_t* report, std::uint32_t length);

  private:
    TWebHidController& hid_;
    sim::Transceiver unit_;
    std::uint32_t id_ = 0;
    std::uint64_t nowUs_ = 0;
};

} // namespace web
