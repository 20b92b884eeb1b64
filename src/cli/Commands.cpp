#include "cli/Commands.h"

#include "files/FileText.h"
#include "link/Text.h"
#include "store/UnitJson.h"

#include <QJsonDocument>

#include <algorithm>
#include <cerrno>
#include <cstring>
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

// Says which units Connect identified and passed over for --device.
void SayPassedOver(const TSession& session, const TCommandOptions& o) {
    for (const std::string& unit : session.PassedOver())
        std::fprintf(o.err, "%s: passed over %s\n", o.program, unit.c_str());
}

// Connects a session's unit; a wait without a unit is the session's time-out.
TOutcome ConnectFor(TSession& session, const TCommandOptions& o) {
    std::fprintf(o.err, "%s: waiting for the unit (plug it in now)\n", o.program);
    std::fflush(o.err);
    TOutcome outcome = session.Connect(o.session.timeoutMs);
    if (outcome.ok()) SayPassedOver(session, o);
    return outcome;
}

constexpr const char* kNothingWritten = "nothing written (dry run)";

// The dry run's line: "2 setting(s) would change (volume, channel)" or "nothing would change".
std::string WouldChange(const TPreview& preview) {
    if (preview.changed.empty()) return "nothing would change";
    std::vector<std::string> names;
    for (TSetting setting : preview.changed)
        names.emplace_back(Info(setting).name);
    return std::to_string(preview.changed.size()) + " setting(s) would change (" +
           Join(names, ", ") + ")";
}

std::string ResultLine(const TUnitFacts& f, const TOutcome& outcome, const std::string& done) {
    const auto or_ = [](const std::string& s) { return s.empty() ? std::string("-") : s; };
    return (f.serial.empty() ? std::string(kSerialNotRead) : f.serial) + "\t" + or_(f.model) +
           "\t" + or_(f.firmware) + "\t" + (outcome.ok() ? done : "FAILED: " + outcome.message);
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
    const char* mark;
    int listed = 0;
    bool OnEnumerate(hid::TCustomHidDevice* device, int32_t) {
        const auto& a = device->Attributes();
        std::fprintf(out, "%04x:%04x\t%s\t%s%s\n", a.VendorID, a.ProductID,
                     device->PnPInfo().DevicePath.c_str(),
                     Escaped(core::Utf16ToUtf8(device->QueryProductText())).c_str(),
                     device == chosen ? mark : "");
        ++listed;
        return true;
    }
};

} // namespace

int RunSimList(const TCommandOptions& o) {
    for (const std::string& name : sim::PresetNames()) {
        const sim::Profile p = *sim::FindPreset(name);
        const auto identity = params::TIdentity::FromVersion(p.firmware, p.model);
        const char* what = !params::IsSupportedFirmware(p.firmware) ? "settings not shown"
                           : params::Adjustable(identity)           ? "settings shown and changed"
                                                                    : "settings shown only";
        std::fprintf(o.out, "%s\t%s\n", name.c_str(), what);
    }
    return Code(TExit::Done);
}

TRequests LoadSettingsFrom(const std::string& path, std::FILE* in) {
    if (path != "-") return LoadSettingsFile(path);
    const std::string name = "(standard input)";
    // Read as a file is: a piece at a time, never past one byte over the limit.
    constexpr std::size_t kLimit = files::kMaxFileBytes;
    std::string text;
    char piece[16 * 1024];
    for (;;) {
        const std::size_t want = std::min(sizeof piece, kLimit + 1 - text.size());
        const std::size_t got = std::fread(piece, 1, want, in);
        text.append(piece, got);
        if (text.size() > kLimit) return {{}, name + ": too large for a settings file"};
        if (got == want) continue;
        if (std::ferror(in)) return {{}, name + ": cannot read (" + std::strerror(errno) + ")"};
        break;
    }
    return ParseSettingsText(text, name);
}

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
    // The tool takes the first device it can check out, trying its identifiers in order; a
    // path for --device hides the others. A serial number is known only once identified.
    const std::string& wanted = o.session.device;
    TDeviceView view(hid);
    if (IsDevicePath(wanted)) view.Only(wanted);
    const hid::TCustomHidDevice* chosen = nullptr;
    for (const auto& id : core::kTransceiverIds) {
        hid::TCustomHidDevice* device = nullptr;
        if (view.CheckOutByIdentifiers(device, id.VendorID, id.ProductID)) {
            chosen = device;
            view.CheckIn(device);
            break;
        }
    }
    const char* mark = wanted.empty() ? "\t<- the transceiver"
                       : IsDevicePath(wanted)
                           ? "\t<- the transceiver (--device)"
                           : "\t<- the transceiver identified first for --device";
    TLister lister{o.out, chosen, mark};
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
    std::string message = "no transceiver" + (IsDevicePath(wanted) ? " at " + wanted : "") +
                          " among " + std::to_string(lister.listed + unopened) + " HID device(s)";
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
    if (outcome.ok() && o.dryRun) {
        const TPreview preview = session.Preview(requests);
        if (!preview.outcome.ok()) return Report(o, preview.outcome);
        for (const std::string& change : preview.changes)
            std::fprintf(o.out, "%s\n", change.c_str());
        std::fprintf(o.out, "%s; %s\n", WouldChange(preview).c_str(), kNothingWritten);
        return Code(TExit::Done);
    }
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
    session.FinishUnitOnStop(std::string(o.program) +
                             ": finishing this unit; Ctrl-C again stops at once");
    int units = 0, failed = 0, serialsNotRead = 0;
    for (;;) {
        if ((maxUnits > 0 && units >= maxUnits) || bench.NoUnitLeft() || StopRequested()) break;
        session.ClearProgress();
        std::fprintf(o.err, "%s: plug in unit %d (Ctrl-C stops)\n", o.program, units + 1);
        std::fflush(o.err);
        TOutcome outcome = session.Connect(-1);
        if (StopRequested() && !session.UnitInProgress() && !session.Conversation().Connected() &&
            outcome.exit == TExit::NoUnit)
            break; // Ctrl-C while waiting for a unit
        ++units;
        // As identified: a unit that goes away takes its facts off the panel.
        const TUnitFacts facts = Facts(session.Conversation());
        if (outcome.ok() && !session.SettingsShown())
            outcome = {TExit::Usage,
                       "settings not shown: " + OneLine(std::string(core::kUnsupportedNotice))};
        std::string done = "OK";
        if (outcome.ok() && o.dryRun) {
            const TPreview preview = session.Preview(requests);
            outcome = preview.outcome;
            done = preview.changed.empty() ? "nothing would change"
                                           : "would change " + Join(preview.changes, ", ");
        } else {
            if (outcome.ok()) outcome = session.Apply(requests);
            if (outcome.ok()) outcome = Verify(session, requests);
        }
        if (facts.serial.empty()) {
            // The bench record could not tell this unit from another.
            ++serialsNotRead;
            if (outcome.ok())
                outcome = {TExit::Failed, o.dryRun
                                              ? "the serial number was not read"
                                              : "the serial number was not read; the settings were "
                                                "applied and read back"};
        }
        if (!outcome.ok()) ++failed;
        session.ClearProgress();
        std::fprintf(o.out, "%s\n", ResultLine(facts, outcome, done).c_str());
        session.UnitDone();
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
    if (o.dryRun) std::fprintf(o.out, "; %s", kNothingWritten);
    std::fputc('\n', o.out);
    if (units == 0) return Code(TExit::NoUnit);
    return failed > 0 ? Code(TExit::Failed) : Code(TExit::Done);
}

} // namespace cli
