// sonavelle-demo: the tool's window with a simulated transceiver instead of USB.
//   sonavelle-demo                      the window and the simulated unit's panel
//   sonavelle-demo --scenario FILE [--json FILE] [--screenshot FILE] [--real-time]
//                                       runs a scenario headless and prints the log lines,
//                                       then the state of every control as JSON; in virtual
//                                       time unless --real-time is given
//   --data DIR                          backups and service record under DIR (the window
//                                       alone keeps them in the folder "simulated" of the
//                                       tool's data folder; a scenario keeps none without it)
#include "cmdline/CommandLine.h"
#include "cmdline/Console.h"
#include "demo/DemoRig.h"
#include "demo/ScenarioRunner.h"
#include "demo/SimPanel.h"
#include "store/DataFolder.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QLayout>
#include <QTemporaryDir>
#include <QTimer>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <optional>

namespace {

// Batch mode: nothing may block, so message boxes become lines on stderr.
// Questions are answered No, choosers cancelled.
class TPrintedDialogs final : public TUnattendedDialogs {
  public:
    void ShowErrorBox(std::string_view text) override { Say("error box", text); }
    void ShowErrorMessage(std::string_view caption, std::string_view text) override {
        Say(caption, text);
    }
    // The printed log already holds the failure's lines, and the output stays as it was.
    void ShowFailure(std::string_view, std::string_view) override {}
    void ShowAbout(std::string_view caption, const std::vector<std::string>& lines) override {
        std::string text;
        for (std::size_t i = 0; i < lines.size(); ++i)
            text += (i ? " / " : "") + lines[i];
        Say(caption, text);
    }

  private:
    void Say(std::string_view caption, std::string_view text) override {
        std::fprintf(stderr, "[message box] %s: %s\n", qPrintable(Q(caption)), qPrintable(Q(text)));
    }
    static QString Q(std::string_view utf8) {
        return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
    }
};

bool HaveDisplay() {
    return std::getenv("DISPLAY") || std::getenv("WAYLAND_DISPLAY") ||
           std::getenv("QT_QPA_PLATFORM");
}

int RunBatch(const demo::TScenarioResult& loaded, const QString& scenarioPath,
             const QString& jsonPath, const QString& shotPath, demo::TTimeMode time,
             std::optional<store::TJournalOptions> journal) {
    std::string error;
    const auto profile = demo::ScenarioProfile(*loaded.Scenario, error);
    if (!profile) {
        std::fprintf(stderr, "%s: %s\n", qPrintable(scenarioPath), error.c_str());
        return 2;
    }
    demo::TDemoRig rig(*profile, std::make_unique<TPrintedDialogs>(), time, std::move(journal));
    if (const auto check = demo::CheckControls(*loaded.Scenario, rig.Form()); !check.Ok) {
        std::fprintf(stderr, "%s: %s\n", qPrintable(scenarioPath), qPrintable(check.Error));
        return 2;
    }
    // The window's fixed size is settled before it has a platform window: the offscreen
    // platform cannot take size hints and would warn on every run.
    rig.Form().ensurePolished();
    rig.Form().layout()->activate();
    rig.Form().show();
    const auto result = demo::RunScenario(*loaded.Scenario, rig);
    int writeError = 0; // the reason of the first write that failed
    const auto print = [&](const QByteArray& bytes) {
        errno = 0;
        const auto size = static_cast<size_t>(bytes.size());
        if (std::fwrite(bytes.constData(), 1, size, stdout) != size && writeError == 0)
            writeError = errno;
    };
    print(demo::PrintedLog(rig.Form()));
    const QByteArray json = demo::PrintedState(rig.Form());
    if (jsonPath.isEmpty()) {
        print(json);
    } else {
        QFile out(jsonPath);
        // A full disk shows only when the buffer is flushed: an empty file is no state.
        if (!out.open(QIODevice::WriteOnly) || out.write(json) != json.size() || !out.flush()) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(jsonPath));
            return 2;
        }
        out.close();
        if (out.error() != QFileDevice::NoError) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(jsonPath));
            return 2;
        }
    }
    if (!shotPath.isEmpty() && !rig.Form().grab().save(shotPath)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(shotPath));
        return 2;
    }
    // The printed log is the run's record: one that did not reach its file is a failure.
    if (!cmdline::CloseOutput("sonavelle-demo", stdout, QStringLiteral("standard output"),
                              writeError))
        return 1;
    if (!result.Ok) {
        std::fprintf(stderr, "%s: %s\n", qPrintable(scenarioPath), qPrintable(result.Error));
        return 1;
    }
    return 0;
}

} // namespace

int main(int argc, char* argv[]) {
    cmdline::AttachParentConsole();
    QCommandLineParser args;
    args.addOption(
        {QStringLiteral("scenario"), QStringLiteral("Run FILE headless."), QStringLiteral("FILE")});
    args.addOption({QStringLiteral("json"), QStringLiteral("Write the control states to FILE."),
                    QStringLiteral("FILE")});
    args.addOption({QStringLiteral("screenshot"), QStringLiteral("Save the window as PNG."),
                    QStringLiteral("FILE")});
    args.addOption({QStringLiteral("real-time"),
                    QStringLiteral("Run the scenario on the real 1 ms timer and event loop instead "
                                   "of virtual time (its lines then interleave as the machine's "
                                   "timing has it).")});
    const QCommandLineOption dataOption(
        QStringLiteral("data"),
        QStringLiteral("Keep the backups and the service record under DIR (a scenario keeps "
                       "none without it)."),
        QStringLiteral("DIR"));
    args.addOption(dataOption);
    if (const auto exitCode = cmdline::ParseCommandLine(
            args, "sonavelle-demo",
            QStringLiteral(
                "The customize tool's window with a simulated transceiver instead of USB."),
            argc, argv))
        return *exitCode;
    const bool batch = args.isSet(QStringLiteral("scenario"));
    for (const char* needsScenario : {"json", "screenshot", "real-time"})
        if (!batch && args.isSet(QString::fromLatin1(needsScenario)))
            return cmdline::UsageError(
                "sonavelle-demo",
                QStringLiteral("--%1 needs --scenario.").arg(QLatin1String(needsScenario)));
    // Read before Qt starts, so that a scenario that cannot be read or parsed is one line.
    const auto loaded =
        batch ? demo::LoadScenario(args.value(QStringLiteral("scenario")).toStdString())
              : demo::TScenarioResult{};
    if (batch && !loaded.Scenario) {
        std::fprintf(stderr, "%s\n", loaded.Error.c_str());
        return 2;
    }
    if (batch && !qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // Qt looks for a display server's socket in the session's runtime folder even for the
    // offscreen platform; a headless run outside a login session has none, so it gets a
    // private one for its lifetime instead of Qt's warning and shared fallback.
    std::optional<QTemporaryDir> runtimeDir;
    if (batch && !qEnvironmentVariableIsSet("XDG_RUNTIME_DIR")) {
        runtimeDir.emplace();
        if (runtimeDir->isValid())
            qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtimeDir->path()));
    }
    if (!batch && !HaveDisplay()) {
        std::fprintf(stderr, "sonavelle-demo: no display found (DISPLAY and WAYLAND_DISPLAY are "
                             "unset). Run a scenario headless instead:\n"
                             "  sonavelle-demo --scenario examples/connect-201036.scn\n");
        return 2;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QString::fromUtf8(app::kApplicationTitle));
    // Simulated units are backed up and recorded as real ones are, so that all of it can be
    // tried without a unit, but apart from real units' files, each record line marked so.
    std::optional<store::TJournalOptions> journal;
    if (args.isSet(dataOption)) {
        const QDir data(args.value(dataOption));
        journal = store::TJournalOptions{};
        journal->folder = data.filePath(QStringLiteral("backups")).toStdString();
        journal->record = data.filePath(QStringLiteral("service-record.jsonl")).toStdString();
    } else if (!batch) {
        store::KeepSimulatedApart();
        journal = store::TJournalOptions{};
    }
    if (journal) journal->simulated = true;
    if (batch)
        return RunBatch(loaded, args.value(QStringLiteral("scenario")),
                        args.value(QStringLiteral("json")),
                        args.value(QStringLiteral("screenshot")),
                        args.isSet(QStringLiteral("real-time")) ? demo::TTimeMode::Real
                                                                : demo::TTimeMode::Virtual,
                        std::move(journal));

    demo::TDemoRig rig(*sim::FindPreset("DW730 TONAL/201036"), nullptr, demo::TTimeMode::Real,
                       std::move(journal));
    demo::TSimPanel panel(rig);
    rig.Form().show();
    panel.move(rig.Form().frameGeometry().topRight() + QPoint(12, 0));
    panel.show();
    // Plugged a moment after start, as a user would, so the start-up rule is not hit.
    QTimer::singleShot(1500, &panel, [&rig] { rig.Plug(); });
    return app.exec();
}
