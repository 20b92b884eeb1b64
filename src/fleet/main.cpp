// sonavelle-fleet: every unit plugged in served at once, one row each, in a window.
#include "cli/Bench.h"
#include "cli/Commands.h"
#include "cmdline/CommandLine.h"
#include "cmdline/Console.h"
#include "fleet/FleetWindow.h"
#include "sim/Profile.h"
#include "store/DataFolder.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QStringList>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <new>
#include <optional>
#include <vector>

namespace {

const char* const kDescription =
    "Serve every Sonavelle transceiver plugged in at once, each in a row of its own: the\n"
    "settings of a settings file, or those of the first unit plugged in, are written to\n"
    "each unit, saved, read back and checked, as sonavelle-cli batch does. Each unit is\n"
    "backed up first and recorded in the service record, as with the command line.\n"
    "\n"
    "--demo or --sim serves simulated units instead of USB, on simulated time.";

// --demo: four units of different models, one plugged in every half second.
const char* const kDemoUnits[] = {"DW730 TONAL/201036", "DW720 MIV/201033",
                                  "DW730 VELMORAS_SPECIAL/201036", "PX510/201036"};
constexpr std::int64_t kDemoEveryMs = 500;
// A setting every model has.
constexpr const char* kDemoSettings = "volume = 2\n";

int Usage(const QString& message) {
    return cmdline::UsageError(fleet::kProgram, message);
}

} // namespace

int main(int argc, char* argv[]) {
    cmdline::AttachParentConsole();
    QCommandLineParser args;
    const QCommandLineOption fromOption(
        QStringLiteral("from"),
        QStringLiteral("Choose the settings in FILE (NAME = VALUE lines, or the JSON of "
                       "sonavelle-cli show --json) at start."),
        QStringLiteral("FILE"));
    const QCommandLineOption simOption(
        QStringLiteral("sim"),
        QStringLiteral("Serve a simulated unit instead of USB: a preset (\"DW730 TONAL/201036\"; "
                       "sonavelle-cli --sim list lists them) or a unit file. Given more than "
                       "once, a unit of each."),
        QStringLiteral("PROFILE"));
    const QCommandLineOption simEveryOption(
        QStringLiteral("sim-every"),
        QStringLiteral("With --sim or --demo: plug the simulated units in one every MS "
                       "milliseconds of simulated time (0: all together; the default with "
                       "--sim)."),
        QStringLiteral("MS"));
    const QCommandLineOption demoOption(
        QStringLiteral("demo"),
        QStringLiteral("Serve four simulated units of different models, with the settings "
                       "\"volume = 2\" chosen unless --from is given."));
    for (const auto* option : {&fromOption, &simOption, &simEveryOption, &demoOption})
        args.addOption(*option);
    if (const auto exitCode = cmdline::ParseCommandLine(
            args, fleet::kProgram, QString::fromUtf8(kDescription), argc, argv))
        return *exitCode;

    const bool demo = args.isSet(demoOption);
    QStringList sims = args.values(simOption);
    if (demo && !sims.isEmpty())
        return Usage(QStringLiteral("--demo brings its own units; not with --sim."));
    if (args.isSet(simEveryOption) && sims.isEmpty() && !demo)
        return Usage(QStringLiteral("--sim-every is for simulated units (--sim or --demo)."));
    std::int64_t everyMs = demo ? kDemoEveryMs : 0;
    if (args.isSet(simEveryOption)) {
        bool ok = false;
        everyMs = args.value(simEveryOption).toLongLong(&ok);
        if (!ok || everyMs < 0 || everyMs > 86400000)
            return Usage(QStringLiteral("--sim-every takes milliseconds from 0 to 86400000, "
                                        "not '%1'.")
                             .arg(args.value(simEveryOption)));
    }
    if (demo)
        for (const char* unit : kDemoUnits)
            sims.append(QString::fromLatin1(unit));
    std::vector<std::string> names;
    for (const QString& sim : sims)
        names.push_back(sim.toLocal8Bit().toStdString());
    cli::TSimUnits units = cli::SimUnits(names);
    if (!units.error.empty()) return Usage(QString::fromLocal8Bit(units.error.c_str()));
    std::vector<sim::Profile> profiles = std::move(units.profiles);
    // The settings file is read before any window, so that one that cannot be used is a line.
    cli::TRequests settings;
    std::string source;
    if (args.isSet(fromOption)) {
        source = args.value(fromOption).toLocal8Bit().toStdString();
        try {
            settings = cli::LoadSettingsFrom(source);
        } catch (const std::bad_alloc&) {
            return Usage(
                QStringLiteral("%1: not enough memory to read it.").arg(args.value(fromOption)));
        }
        if (!settings) return Usage(QString::fromLocal8Bit(settings.error.c_str()));
        if (settings.requests.empty())
            return Usage(QStringLiteral("%1: no settings in it.").arg(args.value(fromOption)));
    } else if (demo) {
        source = "the demo's settings";
        settings = cli::ParseSettingsText(kDemoSettings, source);
    }

#if defined(__linux__)
    if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY") &&
        !std::getenv("QT_QPA_PLATFORM")) {
        std::fprintf(stderr,
                     "%s: no display found (DISPLAY and WAYLAND_DISPLAY are unset). "
                     "Start it from a desktop session; without a display, serve the "
                     "units with sonavelle-cli batch.\n",
                     fleet::kProgram);
        return 2;
    }
#endif

    cli::TCommandOptions options;
    fleet::TBenchMaker makeBench;
    if (!profiles.empty()) {
        // Simulated units keep their backups and record apart from real ones.
        store::KeepSimulatedApart();
        options.session.simulated = true;
        makeBench = [profiles, everyMs]() -> std::unique_ptr<cli::TBench> {
            return std::make_unique<cli::TSimBench>(profiles, everyMs);
        };
    } else {
        if (!cli::TSystemBench().Available()) {
            std::fprintf(stderr, "%s: the system's HID services are not available\n",
                         fleet::kProgram);
            return 3;
        }
        makeBench = []() -> std::unique_ptr<cli::TBench> {
            return std::make_unique<cli::TSystemBench>();
        };
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Sonavelle Customize fleet"));
    fleet::TFleetWindow window(std::move(makeBench), options, nullptr, fleet::TPace::Timer);
    if (!settings.requests.empty())
        window.Fleet().UseSettings(std::move(settings.requests), source);
    window.show();
    return app.exec();
}
