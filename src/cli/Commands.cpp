#include "cli/Commands.h"

#include "link/Text.h"
#include "store/UnitJson.h"

#include <QJsonDocument>

#include <algorithm>
#include <cstdio>
#include <string>

namespace cli {

namespace {

int Code(TExit exit) {
    return static_cast<int>(exit);
}

// One line "program: message" for the person at the bench; returns the exit code.
int Report(const TCommandOptions& o, const TOutcome& outcome) {
    if (!outcome.message.empty())
        std::fprintf(o.err, "%s: %s\n", o.program, outcome.message.c_str());
    return Code(outcome.exit);
}

using store::kSerialNotRead;
using store::OneLine;
using store::TUnitFacts;
constexpr auto Facts = store::UnitFacts;

void PrintText(const TSession& session, std::FILE* out) {
    const core::TConversation& c = session.Conversation();
    const TUnitFacts f = Facts(c);
    const auto row = [&](const char* name, const std::string& value) {
        if (!value.empty()) std::fprintf(out, "%-17s%s\n", name, value.c_str());
    };
    row("model", f.model);
    row("firmware", f.firmware);
    row("language", f.language);
    row("serial number", f.serial.empty() ? std::string(kSerialNotRead) : f.serial);
    if (f.fileBytes > 0) row("information file", std::to_string(f.fileBytes) + " bytes");
    row("clock", f.clock.empty() ? std::string() : "set to " + f.clock);
    std::fputc('\n', out);
    if (!session.SettingsShown()) {
        std::fprintf(out, "settings not shown: %s\n",
                     OneLine(std::string(core::kUnsupportedNotice)).c_str());
        return;
    }
    for (const TSettingInfo& info : kSettings) {
        const std::vector<std::string> values = params::SettingValues(info.id, c.Identity());
        if (values.empty()) {
            std::fprintf(out, "%-17s(not on this unit)\n", std::string(info.name).c_str());
            continue;
        }
        const std::optional<std::string> value = ChosenValue(c, info.id);
        std::fprintf(out, "%-17s%-8s shown as \"%s\"; takes %s\n", std::string(info.name).c_str(),
                     value.value_or("?").c_str(), Escaped(c.Setting(info.id).shown).c_str(),
                     Join(values, " ").c_str());
    }
}

void PrintJson(const TSession& session, std::FILE* out) {
    const QByteArray text =
        QJsonDocument(store::UnitJson(session.Conversation(), session.SettingsShown()))
            .toJson(QJsonDocument::Indented);
    std::fwrite(text.constData(), 1, static_cast<std::size_t>(text.size()), out);
}

// Connects a session's unit; a wait without a unit is the session's time-out.
TOutcome ConnectFor(TSession& session, const TCommandOptions& o) {
    std::fprintf(o.err, "%s: waiting for the unit (plug it in now)\n", o.program);
    std::fflush(o.err);
    return session.Connect(o.session.timeoutMs);
}

std::string ResultLine(const TUnitFacts& f, const TOutcome& outcome) {
    const auto or_ = [](const std::string& s) { return s.empty() ? std::string("-") : s; };
    return (f.serial.empty() ? std::string(kSerialNotRead) : f.serial) + "\t" + or_(f.model) +
           "\t" + or_(f.firmware) + "\t" +
           (outcome.ok() ? std::string("OK") : "FAILED: " + outcome.message);
}

// After Apply, read the unit's settings back and compare them with the requests.
TOutcome Verify(TSession& session, const std::vector<TRequest>& requests) {
    // Apply left the number of settings it changed (none: nothing was written).
    const bool written = session.Conversation().ChangeCount() > 0;
    TOutcome outcome = session.ReadBack("the check read-back");
    if (!outcome.ok()) {
        outcome.message += written ? "; the settings were saved" : "; the unit had the settings";
        return outcome;
    }
    const core::TConversation& c = session.Conversation();
    for (const TRequest& r : requests) {
        const auto value = ChosenValue(c, r.setting);
        if (value != r.value)
            return {TExit::Failed, "read back " + std::string(Info(r.setting).name) + "=" +
                                       value.value_or("?") + ", not " + r.value};
    }
    return {};
}

// The list's lines, printed during the controller's enumeration: only there may a device
// that is not checked out be asked for its product text.
struct TLister {
    std::FILE* out;
    const hid::TCustomHidDevice* chosen;
    int listed = 0;
    bool OnEnumerate(hid::TCustomHidDevice* device, int32_t) {
        const auto& a = device->Attributes();
        std::fprintf(out, "%04x:%04x\t%s\t%s%s\n", a.VendorID, a.ProductID,
                     device->PnPInfo().DevicePath.c_str(),
                     Escaped(core::Utf16ToUtf8(device->QueryProductText())).c_str(),
                     device == chosen ? "\t<- the transceiver" : "");
        ++listed;
        return true;
    }
};

} // namespace

int RunList(TBench& bench, const TCommandOptions& o) {
    hid::THidDeviceController& hid = bench.Controller();
    // A device that cannot be opened is listed with its reason below, not raised.
    bench.MainThread().SetErrorHandler([](std::exception_ptr error) {
        try {
            std::rethrow_exception(error);
        } catch (const hid::EControllerError&) {
        }
    });
    hid.Loaded();
    bench.PlugNextUnit();
    bench.Pass();
    hid.DeviceChange(); // builds the device list now
    // The tool takes the first device it can check out, trying its identifiers in order.
    const hid::TCustomHidDevice* chosen = nullptr;
    for (const auto& id : core::kTransceiverIds) {
        hid::TCustomHidDevice* device = nullptr;
        if (hid.CheckOutByIdentifiers(device, id.VendorID, id.ProductID)) {
            chosen = device;
            hid.CheckIn(device);
            break;
        }
    }
    TLister lister{o.out, chosen};
    hid.SetOnEnumerate(hid::THidEnumerateEvent::Bind<&TLister::OnEnumerate>(&lister));
    hid.Enumerate();
    hid.SetOnEnumerate({});
    bench.MainThread().SetErrorHandler({});
    // Their identifiers could not be read.
    for (const hid::TUnopenedDevice& device : hid.Unopened())
        std::fprintf(o.out, "----:----\t%s\t%s\t<- %s\n", device.PnPInfo.DevicePath.c_str(),
                     device.PnPInfo.FriendlyName.c_str(), UnopenedReason(hid, device).c_str());
    if (chosen) return Code(TExit::Done);
    const size_t unopened = hid.Unopened().size();
    std::string message =
        "no transceiver among " + std::to_string(lister.listed + unopened) + " HID device(s)";
    if (unopened > 0) message += " (" + std::to_string(unopened) + " cannot be used)";
    return Report(o, {TExit::NoUnit, message});
}

int RunShow(TBench& bench, bool json, const TCommandOptions& o) {
    TSession session(bench, o.session);
    const TOutcome outcome = ConnectFor(session, o);
    if (!outcome.ok()) return Report(o, outcome);
    if (json)
        PrintJson(session, o.out);
    else
        PrintText(session, o.out);
    return Code(TExit::Done);
}

int RunSet(TBench& bench, const std::vector<TRequest>& requests, const TCommandOptions& o) {
    TSession session(bench, o.session);
    TOutcome outcome = ConnectFor(session, o);
    if (outcome.ok()) outcome = session.Apply(requests);
    if (outcome.ok()) std::fprintf(o.out, "%s\n", outcome.message.c_str());
    return outcome.ok() ? Code(TExit::Done) : Report(o, outcome);
}

int RunDefault(TBench& bench, const TCommandOptions& o) {
    TSession session(bench, o.session);
    TOutcome outcome = ConnectFor(session, o);
    if (outcome.ok()) outcome = session.Default();
    if (outcome.ok()) std::fprintf(o.out, "%s\n", outcome.message.c_str());
    return outcome.ok() ? Code(TExit::Done) : Report(o, outcome);
}

int RunBatch(TBench& bench, const std::vector<TRequest>& requests, int maxUnits,
             const TCommandOptions& o) {
    TSession session(bench, o.session);
    int units = 0, failed = 0, serialsNotRead = 0;
    for (;;) {
        if ((maxUnits > 0 && units >= maxUnits) || bench.NoUnitLeft() || StopRequested()) break;
        session.ClearProgress();
        std::fprintf(o.err, "%s: plug in unit %d (Ctrl-C stops)\n", o.program, units + 1);
        std::fflush(o.err);
        TOutcome outcome = session.Connect(-1);
        if (StopRequested() && !session.Conversation().Connected() && outcome.exit == TExit::NoUnit)
            break; // Ctrl-C while waiting for a unit
        ++units;
        // As identified: a unit that goes away takes its facts off the panel.
        const TUnitFacts facts = Facts(session.Conversation());
        if (outcome.ok() && !session.SettingsShown())
            outcome = {TExit::Usage,
                       "settings not shown: " + OneLine(std::string(core::kUnsupportedNotice))};
        if (outcome.ok()) outcome = session.Apply(requests);
        if (outcome.ok()) outcome = Verify(session, requests);
        if (facts.serial.empty()) {
            // The bench record could not tell this unit from another.
            ++serialsNotRead;
            if (outcome.ok())
                outcome = {
                    TExit::Failed,
                    "the serial number was not read; the settings were applied and read back"};
        }
        if (!outcome.ok()) ++failed;
        session.ClearProgress();
        std::fprintf(o.out, "%s\n", ResultLine(facts, outcome).c_str());
        // A unit set up without its line in the record is not followed by another.
        if (std::fflush(o.out) != 0 || std::ferror(o.out)) break;
        if (StopRequested()) break;
        if (session.Conversation().Connected()) {
            std::fprintf(o.err, "%s: unplug the unit\n", o.program);
            std::fflush(o.err);
            bench.UnplugUnit();
            if (!session.WaitUnplugged().ok()) break;
        }
    }
    session.ClearProgress();
    std::fprintf(o.out, "%d unit(s): %d OK, %d failed", units, units - failed, failed);
    if (serialsNotRead > 0) std::fprintf(o.out, " (%d without a serial number)", serialsNotRead);
    std::fputc('\n', o.out);
    if (units == 0) return Code(TExit::NoUnit);
    return failed > 0 ? Code(TExit::Failed) : Code(TExit::Done);
}

} // namespace cli
