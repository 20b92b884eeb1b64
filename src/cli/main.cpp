// sonavelle-cli: the tool's conversation without a window, for service benches.
#include "cmdline/CommandLine.h"
#include "cli/Batch.h"
#include "cli/Commands.h"
#include "sim/Profile.h"
#include "store/DataFolder.h"

#include <QCommandLineParser>
#include <QStringList>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <cstdio>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <vector>

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#define SV_ISATTY(f) _isatty(_fileno(f))
#else
#include <unistd.h>
#define SV_ISATTY(f) isatty(fileno(f))
#endif

namespace {

constexpr const char* kProgram = "sonavelle-cli";

const char* const kDescription =
    "Show and change the settings of a Sonavelle transceiver without the window.\n"
    "\n"
    "Commands:\n"
    "  list                     the HID devices present; the transceiver is marked\n"
    "  show [--json]            identify the unit and print its settings\n"
    "  set NAME=VALUE ...       choose settings and Apply them (or: set --from FILE)\n"
    "  default                  restore the factory settings (the Default button)\n"
    "  batch --from FILE        apply FILE to every unit plugged in, all at once, until\n"
    "                           Ctrl-C (the first Ctrl-C finishes the units in progress;\n"
    "                           --parallel 1: one unit after another)\n"
    "  restore                  restore the newest backup of the unit plugged in\n"
    "  restore --from FILE      restore a backup or any settings file\n"
    "  restore --list           list the unit's backups and what each would change\n"
    "  record [--csv] [--serial S]  print the service record (no unit needed)\n"
    "set, batch and restore with --dry-run print what would change and write nothing.\n"
    "Before each write the unit's settings are backed up, and each run that writes is\n"
    "added to the service record, in the data folder (Linux: ~/.local/share/Sonavelle/\n"
    "Customize, Windows: %APPDATA%\\Sonavelle\\Customize): backups/ and\n"
    "service-record.jsonl; with --sim in simulated/ inside it. Without a backup nothing is\n"
    "written, unless --no-backup. A record line not kept is exit code 1.\n"
    "--sim list prints the simulated units --sim takes.\n"
    "\n"
    "Plug the unit in after the command has started, as with the window.\n"
    "\n"
    "Settings and values:\n"
    "  volume          1 2 3 4 5\n"
    "  auto-switching  off on\n"
    "  hands-free      off 1 2 3 4 5 (firmware before 201026: off on)\n"
    "  channel         A B C (DW720 MIV: A S)\n"
    "  recorder        off transmit receive all record-only\n"
    "  dive-computer   off beep voice\n"
    "  receive-only    off on (DW730 VELMORAS_SPECIAL)\n"
    "  voice-guide     low middle high\n"
    "  air-check       off 10/5 10/10 20/5 20/10 30/5 30/10 2/1 (minutes: first/repeat)\n"
    "A settings FILE holds NAME=VALUE lines ('#' starts a comment) or the JSON that\n"
    "show --json prints; --from - reads them from standard input.\n"
    "\n"
    "Exit codes: 0 done; 1 the unit refused or failed a step, or an output could not be\n"
    "written; 2 bad usage or a value this unit does not have; 3 no unit found, or it went\n"
    "away.";

void OnInterrupt(int) {
    cli::RequestStop();
}

int Usage(const QString& message) {
    return cmdline::UsageError(kProgram, message);
}

} // namespace

int main(int argc, char* argv[]) {
    QCommandLineParser args;
    const QCommandLineOption simOption(
        QStringLiteral("sim"),
        QStringLiteral("Run against a simulated unit: a preset (\"DW730 TONAL/201036\"; "
                       "\"--sim list\" lists them) or a unit file. Given more than once, the "
                       "units are attached together. Its time is simulated, so it runs at full "
                       "speed."),
        QStringLiteral("PROFILE"));
    const QCommandLineOption logOption(
        QStringLiteral("log"),
        QStringLiteral("Write every log line, as the window logs it, to FILE."),
        QStringLiteral("FILE"));
    const QCommandLineOption timeoutOption(
        QStringLiteral("timeout"),
        QStringLiteral("Wait at most SECONDS for the unit, and as long for each phase: "
                       "identification, Apply, Default, the check read-back (default 30)."),
        QStringLiteral("SECONDS"), QStringLiteral("30"));
    const QCommandLineOption jsonOption(QStringLiteral("json"),
                                        QStringLiteral("show: print one JSON object."));
    const QCommandLineOption fromOption(
        QStringLiteral("from"),
        QStringLiteral("set, batch, restore: the settings in FILE (-: standard input)."),
        QStringLiteral("FILE"));
    const QCommandLineOption dryRunOption(
        QStringLiteral("dry-run"),
        QStringLiteral("set, batch, restore: check the settings against the unit and print what "
                       "would change; write nothing."));
    const QCommandLineOption deviceOption(
        QStringLiteral("device"),
        QStringLiteral(
            "list, show, set, default, restore: take the transceiver at PATH (as list "
            "prints it) or the one whose serial number is SERIAL (the units attached are "
            "identified one after another)."),
        QStringLiteral("PATH|SERIAL"));
    const QCommandLineOption countOption(
        QStringLiteral("count"),
        QStringLiteral("batch: stop after N units (with --sim the number of simulated units, "
                       "default 3)."),
        QStringLiteral("N"));
    const QCommandLineOption noBackupOption(
        QStringLiteral("no-backup"),
        QStringLiteral("set, default, batch, restore: write without a backup of the unit's "
                       "settings (the service record says so)."));
    const QCommandLineOption keepOption(
        QStringLiteral("keep-backups"),
        QStringLiteral("set, default, batch, restore: keep the newest N backups of each unit "
                       "(default 50; 0 keeps all)."),
        QStringLiteral("N"), QStringLiteral("50"));
    const QCommandLineOption listOption(
        QStringLiteral("list"),
        QStringLiteral("restore: list the unit's backups, newest first; write nothing."));
    const QCommandLineOption anyUnitOption(
        QStringLiteral("any-unit"),
        QStringLiteral("restore: restore a backup of a unit with another serial number too."));
    const QCommandLineOption csvOption(QStringLiteral("csv"),
                                       QStringLiteral("record: print a spreadsheet (CSV)."));
    const QCommandLineOption serialOption(
        QStringLiteral("serial"), QStringLiteral("record: only the runs of the unit SERIAL."),
        QStringLiteral("SERIAL"));
    const QCommandLineOption recordOption(
        QStringLiteral("record"),
        QStringLiteral("batch: add the service record's lines to FILE too."),
        QStringLiteral("FILE"));
    const QCommandLineOption parallelOption(
        QStringLiteral("parallel"),
        QStringLiteral("batch: serve at most K units at once (default: every unit plugged in); "
                       "1 serves one unit after another."),
        QStringLiteral("K"));
    const QCommandLineOption simEveryOption(
        QStringLiteral("sim-every"),
        QStringLiteral("batch with --sim: plug the simulated units in one every MS "
                       "milliseconds of simulated time, without waiting for the one before "
                       "to be unplugged (0: all together)."),
        QStringLiteral("MS"));
    for (const auto* option :
         {&simOption, &logOption, &timeoutOption, &jsonOption, &fromOption, &dryRunOption,
          &deviceOption, &countOption, &noBackupOption, &keepOption, &listOption, &anyUnitOption,
          &csvOption, &serialOption, &recordOption, &parallelOption, &simEveryOption})
        args.addOption(*option);
    args.addPositionalArgument(
        QStringLiteral("command"),
        QStringLiteral("list, show, set, default, batch, restore or record."));
    if (const auto exitCode = cmdline::ParseCommandLine(
            args, kProgram, QString::fromUtf8(kDescription), argc, argv, true))
        return *exitCode;

    const QStringList sims = args.values(simOption);
    if (sims.contains(QStringLiteral("list"))) {
        cli::TCommandOptions listing;
        const int listed = cli::RunSimList(listing);
        return cmdline::CloseOutput(kProgram, stdout, QStringLiteral("standard output"))
                   ? listed
                   : static_cast<int>(cli::TExit::Failed);
    }
    // Simulated units keep their backups and record apart from real ones (record too reads
    // theirs when given --sim).
    if (!sims.isEmpty()) store::KeepSimulatedApart();
    QStringList positional = args.positionalArguments();
    if (positional.isEmpty()) return Usage(QStringLiteral("no command given (see --help)."));
    const QString command = positional.takeFirst();
    const QStringList commands{QStringLiteral("list"),  QStringLiteral("show"),
                               QStringLiteral("set"),   QStringLiteral("default"),
                               QStringLiteral("batch"), QStringLiteral("restore"),
                               QStringLiteral("record")};
    if (!commands.contains(command))
        return Usage(QStringLiteral("unknown command '%1' (see --help).").arg(command));
    const auto only = [&](const QCommandLineOption& option, std::initializer_list<const char*> in) {
        if (!args.isSet(option)) return true;
        for (const char* c : in)
            if (command == QLatin1String(c)) return true;
        return false;
    };
    bool ok = false;
    if (!only(jsonOption, {"show"})) return Usage(QStringLiteral("--json is for show only."));
    if (!only(fromOption, {"set", "batch", "restore"}))
        return Usage(QStringLiteral("--from is for set, batch and restore only."));
    if (!only(countOption, {"batch"})) return Usage(QStringLiteral("--count is for batch only."));
    if (!only(dryRunOption, {"set", "batch", "restore"}))
        return Usage(QStringLiteral("--dry-run is for set, batch and restore only."));
    if (!only(deviceOption, {"list", "show", "set", "default", "restore"}))
        return Usage(QStringLiteral("--device is for list, show, set, default and restore only."));
    for (const auto* option : {&noBackupOption, &keepOption})
        if (!only(*option, {"set", "default", "batch", "restore"}))
            return Usage(QStringLiteral("--%1 is for set, default, batch and restore only.")
                             .arg(option->names().constFirst()));
    if (!only(listOption, {"restore"}) || !only(anyUnitOption, {"restore"}))
        return Usage(QStringLiteral("--list and --any-unit are for restore only."));
    if (!only(csvOption, {"record"}) || !only(serialOption, {"record"}))
        return Usage(QStringLiteral("--csv and --serial are for record only."));
    if (!only(recordOption, {"batch"})) return Usage(QStringLiteral("--record is for batch only."));
    if (args.isSet(listOption) && (args.isSet(fromOption) || args.isSet(dryRunOption)))
        return Usage(QStringLiteral("restore --list takes neither --from nor --dry-run."));
    if (args.isSet(deviceOption) && args.value(deviceOption).isEmpty())
        return Usage(QStringLiteral("--device takes a device path or a serial number."));
    if (!only(parallelOption, {"batch"}) || !only(simEveryOption, {"batch"}))
        return Usage(QStringLiteral("--parallel and --sim-every are for batch only."));
    if (args.isSet(simEveryOption) && sims.isEmpty())
        return Usage(QStringLiteral("--sim-every is for simulated units (--sim)."));
    int parallel = 0;
    if (args.isSet(parallelOption)) {
        parallel = args.value(parallelOption).toInt(&ok);
        if (!ok || parallel < 1)
            return Usage(QStringLiteral("--parallel takes a number of units, not '%1'.")
                             .arg(args.value(parallelOption)));
    }
    std::int64_t simEveryMs = -1;
    if (args.isSet(simEveryOption)) {
        simEveryMs = args.value(simEveryOption).toLongLong(&ok);
        if (!ok || simEveryMs < 0 || simEveryMs > 86400000)
            return Usage(QStringLiteral("--sim-every takes milliseconds from 0 to 86400000, "
                                        "not '%1'.")
                             .arg(args.value(simEveryOption)));
    }
    if (sims.size() > 1 && command == QLatin1String("batch") && parallel == 1)
        return Usage(QStringLiteral("batch --parallel 1 takes one --sim: its units come one "
                                    "after another."));
    const bool takesSettings = command == QLatin1String("set") || command == QLatin1String("batch");
    if (!takesSettings && !positional.isEmpty())
        return Usage(QStringLiteral("unexpected argument '%1'.").arg(positional.constFirst()));

    const double timeoutSeconds = args.value(timeoutOption).toDouble(&ok);
    if (!ok || !(timeoutSeconds > 0) || timeoutSeconds > 86400)
        return Usage(QStringLiteral("--timeout takes seconds above 0 and up to 86400, not '%1'.")
                         .arg(args.value(timeoutOption)));
    const int keep = args.value(keepOption).toInt(&ok);
    if (!ok || keep < 0)
        return Usage(QStringLiteral("--keep-backups takes a number of backups (0: all), not '%1'.")
                         .arg(args.value(keepOption)));
    int count = 0;
    if (args.isSet(countOption)) {
        count = args.value(countOption).toInt(&ok);
        if (!ok || count < 1)
            return Usage(QStringLiteral("--count takes a number of units, not '%1'.")
                             .arg(args.value(countOption)));
    }

    // Every setting is checked before anything goes to a unit.
    std::vector<cli::TRequest> requests;
    if (takesSettings) {
        if (args.isSet(fromOption) && !positional.isEmpty())
            return Usage(
                QStringLiteral("give the settings as NAME=VALUE or with --from, not both."));
        cli::TRequests parsed;
        if (args.isSet(fromOption)) {
            const std::string path = args.value(fromOption).toLocal8Bit().toStdString();
#if defined(_WIN32)
            // The bytes as they come: a byte order mark, CR LF and Ctrl-Z are the parser's.
            if (path == "-") _setmode(_fileno(stdin), _O_BINARY);
#endif
            try {
                parsed = cli::LoadSettingsFrom(path);
            } catch (const std::bad_alloc&) {
                return Usage(QStringLiteral("%1: not enough memory to read it.")
                                 .arg(args.value(fromOption)));
            }
        } else {
            std::vector<std::string> assignments;
            for (const QString& a : positional)
                assignments.push_back(a.toLocal8Bit().toStdString());
            // "set volume=4": the first assignment is the second argument after the options.
            parsed = cli::ParseAssignments(assignments, 2);
        }
        if (!parsed) return Usage(QString::fromLocal8Bit(parsed.error.c_str()));
        if (parsed.requests.empty())
            return Usage(QStringLiteral("no settings given (NAME=VALUE ... or --from FILE)."));
        requests = std::move(parsed.requests);
    }

    cli::TCommandOptions options;
    options.program = kProgram;
    options.dryRun = args.isSet(dryRunOption);
    options.backups = !args.isSet(noBackupOption);
    options.keepBackups = keep;
    options.anyUnit = args.isSet(anyUnitOption);
    options.session.simulated = !sims.isEmpty();
    for (const QString& record : args.values(recordOption))
        options.records.push_back(record.toLocal8Bit().toStdString());
    options.session.device = args.value(deviceOption).toLocal8Bit().toStdString();
    options.session.timeoutMs = static_cast<std::int64_t>(timeoutSeconds * 1000);
    options.session.progressBar = SV_ISATTY(stderr) != 0;
    if (command == QLatin1String("record")) {
#if defined(_WIN32)
        // The spreadsheet's CR LF as they are.
        if (args.isSet(csvOption)) _setmode(_fileno(stdout), _O_BINARY);
#endif
        std::optional<std::string> serial;
        if (args.isSet(serialOption)) serial = args.value(serialOption).toUtf8().toStdString();
        const int recorded = cli::RunRecord(args.isSet(csvOption), serial, options);
        return cmdline::CloseOutput(kProgram, stdout, QStringLiteral("standard output"))
                   ? recorded
                   : static_cast<int>(cli::TExit::Failed);
    }
    const std::string restoreFrom = args.value(fromOption).toLocal8Bit().toStdString();
    if (command == QLatin1String("restore") && args.isSet(fromOption) &&
        (restoreFrom.empty() || restoreFrom == "-"))
        return Usage(QStringLiteral("restore --from takes a file."));

    std::unique_ptr<std::FILE, int (*)(std::FILE*)> logFile(nullptr, &std::fclose);
    int logError = 0;
    if (args.isSet(logOption)) {
        logFile.reset(std::fopen(args.value(logOption).toLocal8Bit().constData(), "a"));
        if (!logFile)
            return Usage(
                QStringLiteral("cannot open log file '%1': %2")
                    .arg(args.value(logOption), QString::fromLocal8Bit(std::strerror(errno))));
        options.session.log = logFile.get();
        options.session.logError = &logError;
    }

    std::unique_ptr<cli::TBench> bench;
    if (!sims.isEmpty()) {
        std::vector<std::string> names;
        for (const QString& sim : sims)
            names.push_back(sim.toLocal8Bit().toStdString());
        cli::TSimUnits units = cli::SimUnits(names);
        if (!units.error.empty()) return Usage(QString::fromLocal8Bit(units.error.c_str()));
        std::vector<sim::Profile> profiles = std::move(units.profiles);
        const bool batch = command == QLatin1String("batch");
        if (batch && profiles.size() == 1 && simEveryMs >= 0)
            profiles.resize(static_cast<std::size_t>(count > 0 ? count : 3), profiles.front());
        if (batch && (profiles.size() > 1 || simEveryMs >= 0))
            bench = std::make_unique<cli::TSimBench>(std::move(profiles),
                                                     std::max<std::int64_t>(simEveryMs, 0));
        else if (profiles.size() > 1)
            bench = std::make_unique<cli::TSimBench>(std::move(profiles));
        else
            bench = std::make_unique<cli::TSimBench>(profiles.front(),
                                                     batch ? (count > 0 ? count : 3) : 1);
    } else {
        auto system = std::make_unique<cli::TSystemBench>();
        if (!system->Available()) {
            std::fprintf(stderr, "%s: the system's HID services are not available\n", kProgram);
            return static_cast<int>(cli::TExit::NoUnit);
        }
        bench = std::move(system);
    }

    std::signal(SIGINT, &OnInterrupt);
    std::signal(SIGTERM, &OnInterrupt);
    int exitCode = 0;
    if (command == QLatin1String("list"))
        exitCode = cli::RunList(*bench, options);
    else if (command == QLatin1String("show"))
        exitCode = cli::RunShow(*bench, args.isSet(jsonOption), options);
    else if (command == QLatin1String("set"))
        exitCode = cli::RunSet(*bench, requests, options);
    else if (command == QLatin1String("default"))
        exitCode = cli::RunDefault(*bench, options);
    else if (command == QLatin1String("restore"))
        exitCode = args.isSet(listOption) ? cli::RunRestoreList(*bench, options)
                                          : cli::RunRestore(*bench, restoreFrom, options);
    else if (parallel == 1)
        exitCode = cli::RunBatch(*bench, requests, count, options);
    else
        exitCode = cli::RunParallelBatch(*bench, requests, {count, parallel}, options);

    // Both are checked and closed, each failure said; a lost output is never exit code 0.
    bool written = cmdline::CloseOutput(kProgram, stdout, QStringLiteral("standard output"));
    if (logFile)
        written = cmdline::CloseOutput(
                      kProgram, logFile.release(),
                      QStringLiteral("the log file '%1'").arg(args.value(logOption)), logError) &&
                  written;
    if (!written && exitCode == 0) exitCode = static_cast<int>(cli::TExit::Failed);
    return exitCode;
}
