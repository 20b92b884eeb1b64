#include "sim/Transceiver.h"

#include <algorithm>
#include <cstdio>

namespace sim {

namespace {

constexpr std::string_view kOk = "OK\r\n";
constexpr std::string_view kNg = "NG\r\n";
constexpr uint32_t kStartCode = 0x1001;
constexpr uint32_t kDataCode = 0x1002;
constexpr uint32_t kEndCode = 0x1003;
constexpr size_t kResultSize = 12;
constexpr size_t kHeaderPacketSize = 64;     // start and information packets
constexpr uint32_t kStampNumber = 738000000; // bytes 80 2F FD 2B: no marker among them
constexpr std::string_view kFileName = "DWINFO.INI";

// Bytes 1 to 32 separate tokens, as the tool splits its replies.
std::vector<std::string> Tokens(std::string_view text) {
    std::vector<std::string> out;
    size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && static_cast<uint8_t>(text[i]) <= 32)
            ++i;
        size_t start = i;
        while (i < text.size() && static_cast<uint8_t>(text[i]) > 32)
            ++i;
        if (i > start) out.emplace_back(text.substr(start, i - start));
    }
    return out;
}

bool NameMatches(const std::set<std::string>& names, std::string_view command) {
    for (const auto& n : names)
        if (command == n ||
            (command.starts_with(n) && command.size() > n.size() && command[n.size()] == ' '))
            return true;
    return false;
}

void PutLe32(std::string& s, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        s.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

uint32_t GetLe32(std::string_view s, size_t at) {
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i)
        v |= uint32_t(static_cast<uint8_t>(s[at + i])) << (8 * i);
    return v;
}

void EraseAll(std::string& s, std::string_view what) {
    for (auto p = s.find(what); p != std::string::npos; p = s.find(what, p))
        s.erase(p, what.size());
}

// Printable form for the notes.
std::string Shown(std::string_view bytes) {
    std::string out;
    for (char c : bytes) {
        auto b = static_cast<uint8_t>(c);
        out.push_back(b >= 0x20 && b <= 0x7E ? c : '_');
    }
    return out;
}

} // namespace

std::string BuildInfoFile(const Profile& p) {
    std::string f = "[DWINFO]\r\nser " + p.serial + "\r\nmodel " + p.model + "\r\nfw " +
                    p.firmware + "\r\nlang " + p.language + "\r\n";
    for (int n = 1; f.size() < p.infoSize; ++n) {
        char line[64];
        std::snprintf(line, sizeof line, "log %04d t=%06d d=%05.1f s=%d\r\n", n % 10000,
                      (n * 377) % 1000000, (n * 7 % 600) / 10.0, n % 3);
        f += line;
    }
    f.resize(p.infoSize);
    return f;
}

Transceiver::Transceiver(Profile profile) : profile_(std::move(profile)) {
    Reset();
}

void Transceiver::Reset() {
    defaults_ = profile_.defaults;
    stored_ = profile_.stored;
    clock_.reset();
    received_.clear();
    notes_.clear();
    Replug();
}

void Transceiver::Replug() {
    queue_.clear();
    vanished_ = false;
    commandCount_ = 0;
    uploading_ = false;
    working_ = stored_;
}

void Transceiver::Vanish() {
    vanished_ = true;
    queue_.clear();
    uploading_ = false;
    notes_.push_back("vanished");
}

int64_t Transceiver::NextDueUs() const {
    return queue_.empty() ? kNever : queue_.front().dueUs;
}

std::optional<std::vector<uint8_t>> Transceiver::Read(int64_t nowUs) {
    if (vanished_ || queue_.empty() || queue_.front().dueUs > nowUs) return std::nullopt;
    std::vector<uint8_t> report = std::move(queue_.front().report);
    queue_.pop_front();
    return report;
}

bool Transceiver::Write(const uint8_t* report, size_t len, int64_t nowUs) {
    if (vanished_) return false;
    if (!report || len == 0) {
        notes_.push_back("empty write refused");
        return false;
    }
    if (len > profile_.outputReportLength) {
        notes_.push_back("write of " + std::to_string(len) + " bytes refused, output length " +
                         std::to_string(profile_.outputReportLength));
        return false;
    }
    if (report[0] != 0) {
        notes_.push_back("report ID " + std::to_string(report[0]) + " ignored");
        return true;
    }
    std::string payload(reinterpret_cast<const char*>(report + 1), len - 1);
    if (std::all_of(payload.begin(), payload.end(), [](char c) { return c == 0; })) {
        notes_.push_back("empty report ignored");
        return true;
    }
    if (profile_.faults.vanishAfter >= 0 && commandCount_ >= profile_.faults.vanishAfter) {
        Vanish();
        return false;
    }
    ++commandCount_;
    if (payload.starts_with("UPLR")) {
        payload.resize(std::max(payload.size(), kResultSize), '\0');
        payload.resize(kResultSize);
        received_.push_back(payload);
        HandleResult(payload, nowUs);
    } else {
        payload.resize(std::min(payload.find('\0'), payload.size()));
        received_.push_back(payload);
        Handle(payload, nowUs);
    }
    return true;
}

void Transceiver::Push(const std::string& bytes, int64_t now, size_t maxPayload) {
    const size_t room = profile_.inputReportLength - 1u;
    std::vector<uint8_t> report;
    if (maxPayload > 0) {
        report.assign(1 + std::min(bytes.size(), maxPayload), 0);
    } else {
        report.assign(profile_.inputReportLength, 0);
        if (bytes.size() > room) notes_.push_back("reply cut to the input report length");
    }
    std::copy_n(bytes.begin(), std::min(bytes.size(), report.size() - 1), report.begin() + 1);
    const int64_t after = queue_.empty() ? now : std::max(now, queue_.back().dueUs);
    queue_.push_back({after + profile_.replyIntervalUs, std::move(report)});
}

std::string Transceiver::Garbage(size_t n) {
    std::string out;
    while (out.size() < std::max<size_t>(n, 8)) {
        noise_ = noise_ * 1664525u + 1013904223u;
        char c = static_cast<char>(noise_ >> 24);
        // Every marker begins with one of these, so leaving them out keeps the bytes raw.
        if (c == 'O' || c == 'N' || c == 'f' || c == 'a' || c == '-') continue;
        out.push_back(c);
    }
    return out;
}

void Transceiver::Answer(std::string_view name, const std::string& bytes, int64_t now,
                         size_t maxPayload) {
    const Faults& f = profile_.faults;
    std::string out = bytes;
    if (NameMatches(f.garbage, name)) out = Garbage(out.size());
    if (NameMatches(f.noMarker, name)) {
        EraseAll(out, "OK ");
        EraseAll(out, "OK");
        EraseAll(out, "NG ");
        EraseAll(out, "NG");
    }
    if (NameMatches(f.noTerm, name) && out.ends_with("\r\n")) out.resize(out.size() - 2);
    if (NameMatches(f.split, name) && out.size() >= 2) {
        const size_t half = out.size() / 2;
        Push(out.substr(0, half), now, maxPayload);
        Push(out.substr(half), now, maxPayload);
        return;
    }
    Push(out, now, maxPayload);
}

void Transceiver::Handle(const std::string& text, int64_t now) {
    const Faults& f = profile_.faults;
    if (uploading_) {
        uploading_ = false;
        notes_.push_back("upload ended by a command");
    }
    if (NameMatches(f.silent, text)) return;
    auto answer = [&](std::string_view bytes) { Answer(text, std::string(bytes), now); };
    if (NameMatches(f.ng, text)) return answer(kNg);

    const std::vector<std::string> tok = Tokens(text);
    const std::string word = tok.empty() ? std::string() : tok[0];
    const size_t n = tok.size();
    const std::string& fw = profile_.firmware;

    if (word == "RTC" && n == 3 && tok[1] == "SET") {
        const std::string& v = tok[2];
        if (v.size() > 18 ||
            !std::all_of(v.begin(), v.end(), [](char c) { return c >= '0' && c <= '9'; }))
            return answer(kNg);
        clock_ = std::stoll(v);
        return answer(kOk);
    }
    if (word == "VER" && n == 1) return answer("OK " + fw + "\r\n");
    if (word == "KIND" && n == 1)
        return answer(HasKind(fw) ? "OK " + profile_.model + "\r\n" : std::string(kNg));
    if (word == "LANGUAGE" && n == 1)
        return answer(HasLanguage(fw) ? "OK " + profile_.language + "\r\n" : std::string(kNg));
    if (word == "GSER" && n == 1) {
        if (!HasSerialCommand(fw)) return answer(kNg);
        return answer("OK Sonavelle serial number : " + profile_.serial + "\r\n");
    }
    if ((word == "GETTMPPARAM" || word == "GPAR") && n == 1) {
        const std::optional<ParamSet>& set = word == "GPAR" ? working_ : defaults_;
        if (!set) return answer("NG Parameters not found\r\n");
        for (const auto& [k, v] : set->Entries())
            answer("OK " + k + " " + v + "\r\n");
        return;
    }
    if (word == "SPAR" && n == 3) {
        if (!working_ && defaults_) working_ = defaults_;
        auto key = CanonicalKey(tok[1]);
        auto value = key ? NormaliseValue(*key, tok[2]) : std::nullopt;
        if (!working_ || !value || !working_->Set(*key, *value)) {
            notes_.push_back("refused " + Shown(text));
            return answer(kNg);
        }
        return answer(kOk);
    }
    if (word == "SAVE" && n == 1) {
        if (!working_) return answer(kNg);
        stored_ = working_;
        return answer("Parameter saved OK\r\n");
    }
    if (word == "CLEAR" && n == 1) {
        stored_ = defaults_;
        working_ = defaults_;
        return answer("OK Successfully erased\r\n");
    }
    if (word == "UPLS" && n == 2 && tok[1] == kFileName) {
        command_ = text;
        uploadAttempt_ = 0;
        return StartUpload(now);
    }
    if (word == "FINS" && n == 2 && tok[1] == kFileName)
        return answer("act_finfo " + std::string(kFileName) + " " +
                      std::to_string(profile_.infoSize) + " " + profile_.infoStamp + "\n");
    notes_.push_back("unknown command " + Shown(text));
    answer(kNg);
}

void Transceiver::StartUpload(int64_t now) {
    ++uploadAttempt_;
    uploading_ = true;
    await_ = Await::Start;
    nextData_ = 0;
    file_ = BuildInfoFile(profile_);
    const std::string& marker = profile_.faults.uploadMarker;
    if (uploadAttempt_ == 1 && !marker.empty() && !file_.empty()) {
        const size_t at =
            std::min<size_t>(100, file_.size() - std::min(file_.size(), marker.size()));
        file_.replace(at, std::min(marker.size(), file_.size() - at), marker);
    }
    std::string packet = "UPLS";
    PutLe32(packet, static_cast<uint32_t>(file_.size()));
    PutLe32(packet, kStampNumber);
    packet += kFileName;
    packet.resize(kHeaderPacketSize, '\0');
    Answer(command_, packet, now);
}

void Transceiver::SendData(size_t index, int64_t now) {
    const Faults& f = profile_.faults;
    const bool faulty = uploadAttempt_ == 1;
    uint32_t number = static_cast<uint32_t>(index);
    if (faulty && f.wrongPacket >= 0 && index == static_cast<size_t>(f.wrongPacket)) ++number;
    std::string packet = "UPLD";
    PutLe32(packet, number);
    packet += file_.substr(index * kDataBytes, kDataBytes);
    await_ = Await::Data;
    nextData_ = index;
    Answer(command_, packet, now, faulty && f.shortUpload > 0 ? size_t(f.shortUpload) : 0);
}

void Transceiver::SendEnd(int64_t now) {
    const size_t full = file_.size() / kDataBytes;
    std::string packet = "UPLE";
    PutLe32(packet, static_cast<uint32_t>(file_.size() - full * kDataBytes));
    packet += file_.substr(full * kDataBytes);
    await_ = Await::End;
    Answer(command_, packet, now);
}

void Transceiver::SendInfo(int64_t now) {
    const int32_t delta = uploadAttempt_ == 1 ? profile_.faults.infoSizeDelta : 0;
    std::string packet = "UPLI";
    PutLe32(packet, static_cast<uint32_t>(static_cast<int64_t>(file_.size()) + delta));
    packet += profile_.infoStamp.substr(0, kHeaderPacketSize - 9);
    packet.resize(kHeaderPacketSize, '\0');
    uploading_ = false;
    Answer(command_, packet, now);
}

void Transceiver::HandleResult(const std::string& packet, int64_t now) {
    const Faults& f = profile_.faults;
    if (NameMatches(f.silent, "UPLR")) return;
    if (NameMatches(f.ng, "UPLR")) return Answer("UPLR", std::string(kNg), now);
    if (!uploading_) {
        notes_.push_back("result packet outside an upload ignored");
        return;
    }
    const uint32_t code = GetLe32(packet, 4);
    const uint32_t status = GetLe32(packet, 8);
    const uint32_t expected = await_ == Await::Start  ? kStartCode
                              : await_ == Await::Data ? kDataCode
                                                      : kEndCode;
    if (code != expected) {
        char note[80];
        std::snprintf(note, sizeof note, "result code %#x ignored, waiting for %#x", code,
                      expected);
        notes_.push_back(note);
        return;
    }
    // The faults of the answers to a result packet are looked up under "UPLR".
    command_ = "UPLR";
    if (status != 0) {
        if (uploadAttempt_ >= kMaxUploadAttempts) {
            uploading_ = false;
            notes_.push_back("upload refused " + std::to_string(uploadAttempt_) +
                             " times, given up");
            return;
        }
        notes_.push_back("upload refused, starting over");
        return StartUpload(now);
    }
    const size_t full = file_.size() / kDataBytes;
    switch (await_) {
    case Await::Start:
        return full > 0 ? SendData(0, now) : SendEnd(now);
    case Await::Data:
        return nextData_ + 1 < full ? SendData(nextData_ + 1, now) : SendEnd(now);
    case Await::End:
        return SendInfo(now);
    }
}

} // namespace sim
