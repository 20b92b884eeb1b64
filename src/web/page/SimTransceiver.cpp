// A simulated transceiver for the page's tests (and for trying the page without a unit): the
// stand-in for navigator.hid in tests/web drives it on the browser's clock.
//   const unit = new Module.SimTransceiver('model = DW730 TONAL\nfirmware = 201036\n...');
//   unit.error()              "" or "line N: ..." (the profile file's format, sim/Transceiver.h)
//   unit.write(bytes, nowUs)  an output report, byte 0 its ID; false when not taken
//   unit.read(nowUs)          the next input report due (with its ID byte 0), or null
//   unit.nextDueUs()          when the next one is due; -1 for none
//   unit.replug(); unit.vanished(); unit.stored(key); unit.identity()
#include "sim/Profile.h"
#include "sim/Transceiver.h"

#include <emscripten/bind.h>
#include <emscripten/val.h>

#include <memory>
#include <string>

namespace web {

namespace {

using emscripten::val;

class TSimTransceiver {
  public:
    explicit TSimTransceiver(std::string profileText) {
        sim::ProfileResult parsed = sim::ParseProfile(profileText);
        if (!parsed) {
            error_ = parsed.error;
            return;
        }
        unit_ = std::make_unique<sim::Transceiver>(std::move(*parsed.profile));
    }
    std::string Error() const { return error_; }
    bool Write(val bytes, double nowUs) {
        if (!unit_) return false;
        const auto data = emscripten::convertJSArrayToNumberVector<std::uint8_t>(bytes);
        return unit_->Write(data.data(), data.size(), static_cast<std::int64_t>(nowUs));
    }
    val Read(double nowUs) {
        if (!unit_) return val::null();
        const auto report = unit_->Read(static_cast<std::int64_t>(nowUs));
        if (!report) return val::null();
        return val::global("Uint8Array")
            .new_(val(emscripten::typed_memory_view(report->size(), report->data())))
            .call<val>("slice");
    }
    double NextDueUs() const {
        if (!unit_ || unit_->NextDueUs() == sim::Transceiver::kNever) return -1;
        return static_cast<double>(unit_->NextDueUs());
    }
    void Replug() {
        if (unit_) unit_->Replug();
    }
    bool Vanished() const { return unit_ && unit_->Vanished(); }
    // A value of the unit's stored set (what survives a restart); "" when it has none.
    std::string Stored(std::string key) const {
        if (!unit_ || !unit_->Stored()) return {};
        return unit_->Stored()->Get(key).value_or("");
    }
    val Identity() const {
        val out = val::object();
        if (!unit_) return out;
        const sim::Profile& p = unit_->GetProfile();
        out.set("vendorId", p.vendorId);
        out.set("productId", p.productId);
        out.set("productName", p.productName);
        out.set("inputLength", unit_->InputReportLength());
        out.set("outputLength", unit_->OutputReportLength());
        out.set("serial", p.serial);
        return out;
    }

  private:
    std::string error_;
    std::unique_ptr<sim::Transceiver> unit_;
};

} // namespace

EMSCRIPTEN_BINDINGS(sonavelle_sim) {
    emscripten::class_<TSimTransceiver>("SimTransceiver")
        .constructor<std::string>()
        .function("error", &TSimTransceiver::Error)
        .function("write", &TSimTransceiver::Write)
        .function("read", &TSimTransceiver::Read)
        .function("nextDueUs", &TSimTransceiver::NextDueUs)
        .function("replug", &TSimTransceiver::Replug)
        .function("vanished", &TSimTransceiver::Vanished)
        .function("stored", &TSimTransceiver::Stored)
        .function("identity", &TSimTransceiver::Identity);
}

} // namespace web
