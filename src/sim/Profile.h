#pragma once
// What a simulated unit is: identity, report lengths, pacing, its parameter sets, its
// information file and the faults it shows. Built in code (MakeProfile, FindPreset) or
// from a small text file (ParseProfile, LoadProfile; format in Transceiver.h).
#include "sim/Params.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace sim {

// Each switch is one line to set. Command names match a command that equals the name or
// begins with it followed by a blank ("SPAR" matches every write, "SPAR VOXsw" one key,
// "UPLR" the upload result packets).
struct Faults {
    std::set<std::string> ng;       // answer "NG" and do nothing
    std::set<std::string> silent;   // never answer, do nothing (the report is lost)
    std::set<std::string> garbage;  // answer binary bytes holding no reply-kind marker
    std::set<std::string> noMarker; // answer without "OK"/"NG" (e.g. "201036\r\n")
    std::set<std::string> noTerm;   // answer without the CR LF
    std::set<std::string> split;    // answer in two reports, cut in the middle
    // Upload faults hit the first attempt of an upload only (see Transceiver.h).
    int shortUpload = 0;       // > 0: data-packet reports cut to this many payload bytes
    int wrongPacket = -1;      // >= 0: the data packet of this index carries index + 1
    int32_t infoSizeDelta = 0; // added to the size the information packet announces
    std::string uploadMarker;  // written into the file's bytes at offset 100
    int vanishAfter = -1;      // >= 0: vanish when command vanishAfter + 1 arrives
};

// How far the unit's device node lets the tool in: fully, for queries only (as without the
// udev rule), or not at all (it cannot be opened).
enum class Access { Full, QueryOnly, None };

struct Profile {
    std::string model = "DW730 TONAL";
    std::string firmware = "201036";
    std::string serial = "SV0000000001";
    std::string language = "English";
    uint16_t vendorId = 0x3A5C; // another one: a device the tool does not take
    Access access = Access::Full;
    uint16_t productId = 0x7802;
    std::string productName = "Sonavelle Transceiver";
    uint16_t inputReportLength = 1025;  // report-ID byte counted
    uint16_t outputReportLength = 1025; // above 2049 is a fault a tool must survive
    int64_t replyIntervalUs = 2000;     // 0: all replies of a command due at once
    // Factory set ("GETTMPPARAM") and stored set ("GPAR"); nullopt: "Parameters not found".
    std::optional<ParamSet> defaults;
    std::optional<ParamSet> stored;
    uint32_t infoSize = 2132; // information-file length in bytes
    std::string infoStamp = "2024/05/17 10:21:33";
    Faults faults;
};

// A unit of that model and firmware with its factory set and a stored set that differs
// from it in every setting.
Profile MakeProfile(std::string_view model, std::string_view firmware);

// The listed models, the firmware gates, and "model/firmware" names for every pair.
const std::vector<std::string>& ListedModels();
const std::vector<std::string>& PresetFirmwares(); // gates, "105" (type 1), "202000"
std::vector<std::string> PresetNames();
std::optional<Profile> FindPreset(std::string_view name);

struct ProfileResult {
    std::optional<Profile> profile;
    std::string error; // "line N: ..." when profile is empty
    explicit operator bool() const { return profile.has_value(); }
};

// How error texts name line N (from 1) of the text; unset: "line N".
using LineNames = std::function<std::string(int)>;

// Never throws; every problem comes back as an error text with its line number.
ProfileResult ParseProfile(std::string_view text, const LineNames& lineName = {});
ProfileResult LoadProfile(const std::string& path);
// The preset of that name, or else the unit file at that path (what --sim takes).
ProfileResult PresetOrFile(const std::string& name);

} // namespace sim
