// sonavelle-demo: the tool's window with a simulated transceiver instead of USB.
//   sonavelle-demo                      the window and the simulated unit's panel
//   sonavelle-demo --scenario FILE [--json FILE] [--screenshot FILE]
//                                       runs a scenario headless and prints the log lines,
//                                       then the state of every control as JSON
#include "app/DeviceErrors.h"
#include "demo/DemoRig.h"
#include "demo/ScenarioRunner.h"
#include "demo/SimPanel.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QFile>
#include <QJsonDocument>
#include <QTimer>

#include <cstdio>
#include <cstdlib>

namespace {

// Batch mode: nothing may block, so message boxes become lines on stderr.
class TPrintedDialogs final : public TDialogs {
  public:
    void ShowErrorBox(const QString& text) override { Print(QStringLiteral("error box"), text); }
    void ShowErrorMessage(const QString& caption, const QString& text) override {
        Print(caption, text);
    }
    void ShowAbout(const QString& caption, const QStringList& lines) override {
        Print(caption, lines.join(QStringLiteral(" / ")));
    }

  private:
    static void Print(const QString& caption, const QString& text) {
        std::fprintf(stderr, "[message box] %s: %s\n", qPrintable(caption), qPrintable(text));
    }
};

bool HaveDisplay() {
    return std::getenv("DISPLAY") || std::getenv("WAYLAND_DISPLAY") || std::getenv("QT_QPA_PLATFORM");
}

int RunBatch(const QString& scenarioPath, const QString& jsonPath, const QString& shotPath) {
    const auto loaded = demo::LoadScenario(scenarioPath.toStdString());
    if (!loaded.Scenario) {
        std::fprintf(stderr, "%s\n", loaded.Error.c_str());
        return 2;
    }
    std::string error;
    const auto profile = demo::ScenarioProfile(*loaded.Scenario, error);
    if (!profile) {
        std::fprintf(stderr, "%s: %s\n", qPrintable(scenarioPath), error.c_str());
        return 2;
    }
    demo::TDemoRig rig(*profile, std::make_unique<TPrintedDialogs>());
    rig.Form().show();
    const auto result = demo::RunScenario(*loaded.Scenario, rig);
    for (const auto& line : rig.Form().LogLines()) std::printf("%s\n", line.toUtf8().constData());
    const QByteArray json =
        QJsonDocument(demo::ControlStates(rig.Form())).toJson(QJsonDocument::Indented);
    if (jsonPath.isEmpty()) {
        std::printf("%s", json.constData());
    } else {
        QFile out(jsonPath);
        if (!out.open(QIODevice::WriteOnly) || out.write(json) != json.size()) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(jsonPath));
            return 2;
        }
    }
    if (!shotPath.isEmpty() && !rig.Form().grab().save(shotPath)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(shotPath));
        return 2;
    }
    if (!result.Ok) {
        std::fprintf(stderr, "%s: %s\n", qPrintable(scenarioPath), qPrintable(result.Error));
        return 1;
    }
    return 0;
}

} // namespace

int main(int argc, char* argv[]) {
    bool batch = false;
    for (int i = 1; i < argc; ++i)
        if (QByteArray(argv[i]) == "--scenario") batch = true;
    if (batch && !std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    if (!batch && !HaveDisplay()) {
        std::fprintf(stderr, "sonavelle-demo: no display found (DISPLAY and WAYLAND_DISPLAY are "
                             "unset). Run a scenario headless instead:\n"
                             "  sonavelle-demo --scenario examples/connect-201036.scn\n");
        return 2;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QString::fromUtf8(app::kApplicationTitle));
    QCommandLineParser args;
    args.addHelpOption();
    args.addOption({QStringLiteral("scenario"), QStringLiteral("Run FILE headless."), QStringLiteral("FILE")});
    args.addOption({QStringLiteral("json"), QStringLiteral("Write the control states to FILE."), QStringLiteral("FILE")});
    args.addOption({QStringLiteral("screenshot"), QStringLiteral("Save the window as PNG."), QStringLiteral("FILE")});
    args.process(app);
    if (args.isSet(QStringLiteral("scenario")))
        return RunBatch(args.value(QStringLiteral("scenario")), args.value(QStringLiteral("json")),
                        args.value(QStringLiteral("screenshot")));

    demo::TDemoRig rig(*sim::FindPreset("DW730 TONAL/201036"), nullptr);
    // The rig keeps its main thread to itself; its controller knows it.
    if (auto* controller = dynamic_cast<hid::THidDeviceController*>(rig.Form().HidCtrl1.get()))
        if (auto* queue = dynamic_cast<hid::TQueuedMainThread*>(&controller->Main()))
            ShowDeviceErrorsInErrorBox(*queue, rig.Form().Dialogs());
    demo::TSimPanel panel(rig);
    rig.Form().show();
    panel.move(rig.Form().frameGeometry().topRight() + QPoint(12, 0));
    panel.show();
    // Plugged a moment after start, as a user would, so the start-up rule is not hit.
    QTimer::singleShot(1500, &panel, [&rig] { rig.Plug(); });
    return app.exec();
}
