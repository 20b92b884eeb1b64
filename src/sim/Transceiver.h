#pragma once
// A simulated Sonavelle transceiver: a model of the unit's firmware seen from the USB side.
// It takes output reports (byte 0 = report ID 0, the command bytes, zero padding) and
// produces input reports (report ID 0, the reply, zero padding to the input length).
//
// Time is given by the caller as a monotonic microsecond count; nothing here reads a clock
// or sleeps. Replies leave one report at a time, the first one replyIntervalUs after the
// command and each further one replyIntervalUs after the previous (0: all due at once).
// Not thread-safe: one caller at a time (the HID services wrap it with a mutex).
//
// Commands and replies ("\r\n" = CR LF; "NG\r\n" for anything unknown or malformed):
//   RTC SET <seconds>  "OK\r\n" (the value is kept, see ClockSeconds())
//   VER                "OK <firmware>\r\n"
//   KIND               "OK <model>\r\n" from 201020 on; older firmware "NG\r\n"
//   LANGUAGE           "OK <language>\r\n" from 201033 on; older firmware "NG\r\n"
//   GSER               "OK Sonavelle serial number : <serial>\r\n" (serial at character 27
//                      after "OK " is removed); three-character firmware "NG\r\n"
//   GETTMPPARAM        factory set, GPAR working set: one "OK <Key> <value>\r\n" per key,
//                      or "NG Parameters not found\r\n" when the unit holds none
//   SPAR <Key> <value> "OK\r\n" when the unit has the key (letter case ignored, so the
//                      tool's "VOXsw" is "VOXSw") and the value is in range; else "NG\r\n"
//   SAVE               "Parameter saved OK\r\n" (working set becomes the stored set)
//   CLEAR              "OK Successfully erased\r\n" (stored and working set := factory)
//   UPLS DWINFO.INI    starts the information-file upload (below)
//   FINS DWINFO.INI    "act_finfo DWINFO.INI <size> <stamp>\n"
//   An empty report, or one of zeros only, gets no answer. Commands are case-sensitive.
//
// Parameter sets: SPAR changes the working set, which GPAR reports at once; SAVE copies it
// to the stored set. Unsaved changes live until the unit restarts: Replug() (unplugged and
// plugged again) drops them, the working set becomes the stored set again. All of this
// persists across Replug(); Reset() returns the unit to its profile.
//
// Upload ("UPLS DWINFO.INI"): start packet, data packets 0, 1, ... of 1016 file bytes, an
// end packet with the rest, an information packet with size and time stamp. Each start,
// data and end packet waits for the tool's 12-byte result packet ("UPLR", code, status).
// A result with another code is ignored. Status 1 makes the unit start the upload over
// from the start packet (the tool's side resets only on a start packet), at most
// kMaxUploadAttempts attempts; refused on the last one, the unit gives the upload up and
// sends nothing more. Upload faults hit the first attempt only, as a transient error
// would. Any other command during an upload ends it.
//
// Profile file (ParseProfile/LoadProfile in Profile.h): "key = value" lines, '#' or ';'
// starts a comment line, blanks around key and value are dropped, later lines win.
//   model = DW730 TONAL           any text; the seven listed ones or unlisted
//   firmware = 201036             "201016".."201036", "105" (three characters), "202000"...
//   serial = SV0000000001         language = English
//   product_id = 7802             product_name = Sonavelle Transceiver
//   vendor_id = 3A5C              (another vendor: a device the tool leaves alone)
//   access = full                 query: opens for queries only, as without the udev rule;
//                                 none: cannot be opened at all
//   input_length = 1025           output_length = 1025   (report-ID byte counted; input at
//                                 least 1025 with three-character firmware)
//   reply_interval_us = 2000
//   defaults = factory | none     stored = preset | factory | none
//   param.RxOutLevel = 12744      a value of the stored set; default.<Key> = ... likewise
//                                 for the factory set (key must exist on that unit)
//   info.size = 2132              info.stamp = 2024/05/17 10:21:33
//   fault.* = ...                 the switches below
// Errors come back as "line N: ..." (see ProfileResult), never as an exception.
//
// Fault switches (Faults in Profile.h; profile key in brackets). <names> is a
// comma-separated list of command names; a name matches a command equal to it or
// beginning with it and a blank ("SPAR", "SPAR VOXsw", "UPLR" for result packets):
//   [fault.ng = <names>]            answer "NG\r\n", do nothing
//   [fault.silent = <names>]        never answer, do nothing
//   [fault.garbage = <names>]       answer binary bytes that hold no reply-kind marker
//   [fault.nomarker = <names>]      answer with every "OK"/"NG" taken out
//   [fault.noterm = <names>]        answer without the closing CR LF
//   [fault.split = <names>]         each answer spread over two reports
//   [fault.short_upload = N]        data-packet reports cut to N payload bytes (1..1023);
//                                   the only input reports shorter than the input length
//   [fault.wrong_packet = I]        data packet I carries the number I + 1
//   [fault.info_size_delta = D]     the information packet announces size + D
//   [fault.upload_marker = OK]      the text written into the file at offset 100
//   [output_length = 4096]          an output report length above 2049
//   [fault.vanish_after = N]        N commands are taken; the next one makes the unit
//                                   vanish: pending replies dropped, Vanished() true,
//                                   writes fail, until Replug()
#include "sim/Profile.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <limits>
#include <optional>
#include <string>
#include <vector>

namespace sim {

class Transceiver {
  public:
    static constexpr int64_t kNever = std::numeric_limits<int64_t>::max();
    static constexpr int kMaxUploadAttempts = 3;
    static constexpr size_t kDataBytes = 1016; // file bytes per data packet

    explicit Transceiver(Profile profile);

    // One output report, byte 0 the report ID. False when the unit is gone or the report
    // could not be taken (empty, longer than the output length); a report with another
    // ID is taken and ignored.
    bool Write(const uint8_t* report, size_t len, int64_t nowUs);
    // The next input report due at nowUs, if any; full input length unless a fault cuts it.
    std::optional<std::vector<uint8_t>> Read(int64_t nowUs);
    // When the next report is due; kNever when nothing is pending.
    int64_t NextDueUs() const;
    size_t PendingReports() const { return queue_.size(); }
    bool Vanished() const { return vanished_; }

    uint16_t InputReportLength() const { return profile_.inputReportLength; }
    uint16_t OutputReportLength() const { return profile_.outputReportLength; }

    const Profile& GetProfile() const { return profile_; }
    Faults& MutableFaults() { return profile_.faults; }
    void SetReplyIntervalUs(int64_t us) { profile_.replyIntervalUs = us < 0 ? 0 : us; }

    const std::optional<ParamSet>& Defaults() const { return defaults_; }
    const std::optional<ParamSet>& Stored() const { return stored_; }
    const std::optional<ParamSet>& Working() const { return working_; }
    std::optional<int64_t> ClockSeconds() const { return clock_; }
    // Every command taken, as sent up to its first zero byte ("UPLR" packets: 12 bytes).
    const std::vector<std::string>& Received() const { return received_; }
    // What the unit noticed and a real one would keep to itself: ignored reports,
    // refused packets, upload restarts, vanishing.
    const std::vector<std::string>& Notes() const { return notes_; }

    // Unplugged and plugged again: the link starts afresh (no pending replies, no upload,
    // the vanish count restarts), unsaved changes are dropped, stored values stay.
    void Replug();
    // Back to the state the profile describes.
    void Reset();

  private:
    struct Pending {
        int64_t dueUs;
        std::vector<uint8_t> report;
    };
    enum class Await { Start, Data, End };

    void Handle(const std::string& text, int64_t now);
    void HandleResult(const std::string& packet, int64_t now);
    void StartUpload(int64_t now);
    void SendData(size_t index, int64_t now);
    void SendEnd(int64_t now);
    void SendInfo(int64_t now);
    void Answer(std::string_view name, const std::string& bytes, int64_t now,
                size_t maxPayload = 0);
    void Push(const std::string& bytes, int64_t now, size_t maxPayload);
    std::string Garbage(size_t n);
    void Vanish();

    Profile profile_;
    std::optional<ParamSet> defaults_;
    std::optional<ParamSet> stored_;
    std::optional<ParamSet> working_;
    std::optional<int64_t> clock_;
    std::deque<Pending> queue_;
    std::vector<std::string> received_;
    std::vector<std::string> notes_;
    bool vanished_ = false;
    int commandCount_ = 0;
    uint32_t noise_ = 0x2545F491u;

    bool uploading_ = false;
    int uploadAttempt_ = 0;
    Await await_ = Await::Start;
    size_t nextData_ = 0;
    std::string file_;
    std::string command_; // the command whose answers are being produced, for the faults
};

// The information file a unit uploads: "[DWINFO]", "ser <serial>", "model", "fw", "lang"
// lines, then log lines up to the profile's info size (lines end in CR LF).
std::string BuildInfoFile(const Profile& profile);

} // namespace sim
