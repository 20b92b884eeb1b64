// Texts from a hostile unit in every output that carries them: control bytes, terminal
// escapes, quotes, backslashes, bytes above 0x7F and line breaks reach a terminal, a JSON
// file or a spreadsheet only as escapes, never as the bytes themselves.
#include "CliCases.h"
#include "store/ServiceRecord.h"
#include "store/UnitJson.h"
#include "support/ConversationPeer.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>

#include <functional>
#include <optional>
#include <ostream>
#include <string>

using namespace cli_cases;
using cli::TSetting;

namespace {

// Planted where a unit's reply carries it: no blank, CR or LF, which would end the token or
// the reply (as on a real unit).
constexpr char kToken[] = "A\x1b[2J\x1b]0;t\x07\"'\\\x7f\xe9\x9bZ";
constexpr char kTokenShown[] = "A\\x1b[2J\\x1b]0;t\\x07\"'\\\\x7f\xc3\xa9\\xc2\\x9bZ";
// The product text comes with the device's descriptor, line breaks and all.
constexpr char kProduct[] = "Sona\x1b[31mvelle\nline\r\"'\\\x07";
constexpr char kProductShown[] = "Sona\\x1b[31mvelle\\x0aline\\x0d\"'\\\\x07";

std::string ReadFile(const std::string& path) {
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::ReadOnly)) return {};
    return file.readAll().toStdString();
}

QJsonObject JsonOf(const std::string& text) {
    return QJsonDocument::fromJson(QByteArray::fromStdString(text)).object();
}

std::optional<std::string> StringAt(const QJsonObject& object,
                                    std::initializer_list<const char*> path) {
    QJsonValue v = object;
    for (const char* key : path)
        v = v.toObject().value(QLatin1String(key));
    if (!v.isString()) return std::nullopt;
    return v.toString().toStdString();
}

// The text after `prefix` up to the end of its line (or `end`), where it first occurs.
std::optional<std::string> After(const std::string& text, const std::string& prefix,
                                 const std::string& end = "\n") {
    const std::size_t at = text.find(prefix);
    if (at == std::string::npos) return std::nullopt;
    const std::size_t from = at + prefix.size();
    const std::size_t to = text.find(end, from);
    return text.substr(from, to == std::string::npos ? std::string::npos : to - from);
}

// A byte or character a terminal or spreadsheet acts on, other than the line and field
// breaks the output's own format uses; or a byte sequence that is not UTF-8.
std::optional<std::string> FirstUnsafe(const std::string& text, std::string_view allowed) {
    for (std::size_t i = 0; i < text.size();) {
        const auto b = static_cast<unsigned char>(text[i]);
        const auto at = [&](const char* what) {
            return std::string(what) + " at byte " + std::to_string(i);
        };
        if (b < 0x80) {
            if ((b < 0x20 || b == 0x7f) && allowed.find(static_cast<char>(b)) == std::string::npos)
                return at("a control byte");
            ++i;
            continue;
        }
        const std::size_t n = b >= 0xf0 ? 4 : b >= 0xe0 ? 3 : b >= 0xc2 ? 2 : 0;
        if (n == 0 || i + n > text.size()) return at("not UTF-8");
        for (std::size_t k = 1; k < n; ++k)
            if ((static_cast<unsigned char>(text[i + k]) & 0xc0) != 0x80) return at("not UTF-8");
        // C1 controls: U+0080..U+009F
        if (b == 0xc2 && static_cast<unsigned char>(text[i + 1]) < 0xa0) return at("a C1 control");
        i += n;
    }
    return std::nullopt;
}

// ---- the table: where a unit's text is planted, and the output that must carry it escaped ----

// The same bytes, escaped as every output of the tool shows them: control bytes and bytes
// that are not printable text as \xNN, printable characters (quotes and backslashes too) as
// they are.
constexpr char kSerial[] = "S\x1b[2J\x07\"'\\\xe9\x9bZ"; // twelve bytes, all the unit tells
constexpr char kSerialShown[] = "S\\x1b[2J\\x07\"'\\\xc3\xa9\\xc2\\x9bZ";
// A raw value token: a reply's token ends at a blank or a control byte.
constexpr char kRaw[] = "\"'\\\x7f\xe9\x9b\xffZ";
constexpr char kRawShown[] = "\"'\\\\x7f\xc3\xa9\\xc2\\x9b\xc3\xbfZ";

// What one command left: the bytes a terminal or a file got, and the unit's text in it.
struct TOutput {
    std::string bytes;
    std::optional<std::string> field;
};

struct TCarrier {
    const char* name;
    std::function<void(sim::Profile&)> plant;
    std::function<TOutput(const sim::Profile&)> run;
    std::string expected;              // the field as it must read
    std::string_view allowed = "\n\t"; // the output format's own breaks
};

void PrintTo(const TCarrier& c, std::ostream* out) {
    *out << c.name;
}

sim::Profile Tonal() {
    return Preset("DW730 TONAL/201036");
}

TOutput List(const sim::Profile& p) {
    TPrinted o;
    cli::TSimBench bench(p, 1);
    EXPECT_EQ(cli::RunList(bench, o.Options()), 0) << o.err.Text();
    const std::string out = o.out.Text();
    return {out, After(out, "sim:hid#1\t", "\t<- the transceiver")};
}

TOutput ShowText(const sim::Profile& p, const std::string& row) {
    TPrinted o;
    cli::TSimBench bench(p, 1);
    EXPECT_EQ(cli::RunShow(bench, false, o.Options()), 0) << o.err.Text();
    const std::string out = o.out.Text();
    return {out + o.err.Text(), After(out, row)};
}

TOutput ShowJson(const sim::Profile& p, const char* key) {
    TPrinted o;
    cli::TSimBench bench(p, 1);
    EXPECT_EQ(cli::RunShow(bench, true, o.Options()), 0) << o.err.Text();
    const std::string out = o.out.Text();
    return {out + o.err.Text(), StringAt(JsonOf(out), {"unit", key})};
}

TOutput DeviceMessage(const sim::Profile& p) {
    TPrinted o;
    cli::TSimBench bench(p, 1);
    cli::TCommandOptions options = o.Options();
    options.session.device = "SV0000000009";
    EXPECT_EQ(cli::RunShow(bench, false, options), 3);
    const std::string err = o.err.Text();
    return {o.out.Text() + err, After(err, "; 1 identified: ", " (sim:hid#1)")};
}

// The box texts come from the tables alone, so no unit makes them odd: the conversation's
// is set, as every output that prints it as JSON takes it (show --json, backups).
TOutput ShownJson(const sim::Profile& p) {
    TBenchRun run(p);
    EXPECT_TRUE(run.session.Connect(5000).ok());
    testing_support::Peer(run.c()).SetShown(TSetting::Volume, kProduct);
    const QJsonObject json = store::UnitJson(run.c(), true);
    return {QJsonDocument(json).toJson().toStdString(),
            StringAt(json, {"details", "volume", "shown"})};
}

// A run's backup and record line: Default sends "CLEAR" alone, so no value of the unit goes
// back to it; Apply writes every setting, the unit's own values included.
struct TRun {
    std::string backup;
    std::string record;
};
TRun Run(const sim::Profile& p, bool apply) {
    TPrinted o;
    cli::TSimBench bench(p, 1);
    if (apply)
        cli::RunSet(bench, Requests({{TSetting::Volume, "2"}}), o.Options());
    else
        EXPECT_EQ(cli::RunDefault(bench, o.Options()), 0) << o.err.Text();
    const std::optional<std::string> path = After(o.err.Text(), "backup saved: ");
    EXPECT_TRUE(path) << o.err.Text();
    return {path ? ReadFile(*path) : std::string(), ReadFile(store::RecordPath())};
}

TOutput Backup(const sim::Profile& p, std::initializer_list<const char*> key) {
    const std::string backup = Run(p, false).backup;
    return {backup, StringAt(JsonOf(backup), key)};
}

TOutput RecordLine(const sim::Profile& p, bool apply, const char* key) {
    const std::string record = Run(p, apply).record;
    return {record, StringAt(JsonOf(record), {key})};
}

TOutput Record(const sim::Profile& p, bool csv) {
    Run(p, false);
    TPrinted o;
    EXPECT_EQ(cli::RunRecord(csv, std::nullopt, o.Options()), 0) << o.err.Text();
    const std::string out = o.out.Text();
    return {out + o.err.Text(), csv ? After(out, ",default,", ",DW730 TONAL,")
                                    : After(out, "+00:00\t", "\tDW730 TONAL\t")};
}

const auto kSerialIs = [](sim::Profile& p) { p.serial = kSerial; };
const auto kLanguageIs = [](sim::Profile& p) { p.language = kToken; };
// A key of the unit that no setting of this model stands for: only the raw values carry it.
const auto kRawIs = [](sim::Profile& p) { ASSERT_TRUE(p.stored->Set("RecordSw", kRaw)); };

const TCarrier kCarriers[] = {
    {"ListProductText", [](sim::Profile& p) { p.productName = kProduct; }, List, kProductShown},
    {"ShowTextSerial", kSerialIs,
     [](const sim::Profile& p) { return ShowText(p, "serial number    "); }, kSerialShown},
    {"ShowTextLanguage", kLanguageIs,
     [](const sim::Profile& p) { return ShowText(p, "language         "); }, kTokenShown},
    {"ShowJsonSerial", kSerialIs, [](const sim::Profile& p) { return ShowJson(p, "serial"); },
     kSerialShown},
    {"ShowJsonLanguage", kLanguageIs, [](const sim::Profile& p) { return ShowJson(p, "language"); },
     kTokenShown},
    {"ShownJson", [](sim::Profile&) {}, ShownJson, kProductShown},
    {"DeviceMessageSerial", kSerialIs, DeviceMessage, kSerialShown},
    {"BackupRawValue", kRawIs,
     [](const sim::Profile& p) {
         return Backup(p, {"raw", "RecordSw"});
     },
     kRawShown},
    {"BackupSerial", kSerialIs,
     [](const sim::Profile& p) {
         return Backup(p, {"unit", "serial"});
     },
     kSerialShown},
    {"RecordLineSerial", kSerialIs,
     [](const sim::Profile& p) { return RecordLine(p, false, "serial"); }, kSerialShown},
    {"RecordLineLanguage", kLanguageIs,
     [](const sim::Profile& p) { return RecordLine(p, false, "language"); }, kTokenShown},
    // The unit's own raw value goes back to it with the run, and is refused.
    {"RecordLineRefusedCommand", kRawIs,
     [](const sim::Profile& p) { return RecordLine(p, true, "command"); },
     std::string("SPAR RecordSw ") + kRawShown},
    {"RecordTextSerial", kSerialIs, [](const sim::Profile& p) { return Record(p, false); },
     kSerialShown},
    // A field with a quote is quoted, its quotes doubled; rows end in CR LF.
    {"RecordCsvSerial", kSerialIs, [](const sim::Profile& p) { return Record(p, true); },
     "\"S\\x1b[2J\\x07\"\"'\\\xc3\xa9\\xc2\\x9bZ\"", "\r\n"},
};

class UnitText : public ::testing::TestWithParam<TCarrier> {};

TEST_P(UnitText, ReachesTheOutputEscaped) {
    const TCarrier& c = GetParam();
    const TDataHome home;
    sim::Profile profile = Tonal();
    c.plant(profile);
    const TOutput got = c.run(profile);
    EXPECT_EQ(got.field, std::optional<std::string>(c.expected)) << got.bytes;
    EXPECT_EQ(FirstUnsafe(got.bytes, c.allowed), std::nullopt) << got.bytes;
}

INSTANTIATE_TEST_SUITE_P(Outputs, UnitText, ::testing::ValuesIn(kCarriers),
                         [](const auto& row) { return std::string(row.param.name); });

} // namespace
