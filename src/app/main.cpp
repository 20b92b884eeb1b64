// The tool: the window on the operating system's HID services.
#include "cmdline/CommandLine.h"
#include "cmdline/Console.h"
#include "app/DeviceErrors.h"
#include "app/Main.h"
#include "hid/HidControllerClass.h"
#include "hid/qt/QtMainThread.h"

#include <QApplication>
#include <QFile>

#include <cstdio>
#include <cstdlib>

namespace {

// --close-after-scan: the window's own device pass runs, then the window closes as if the
// user had closed it, so that an installation can be checked from a script.
struct TCloseAfterScan {
    hid::TNotifyEvent FormPass;
    QWidget* Form = nullptr;
    void DeviceChange(void* sender) {
        FormPass(sender);
        QMetaObject::invokeMethod(
            Form, [form = Form] { form->close(); }, Qt::QueuedConnection);
    }
};

// --close-after-scan runs unattended: a box would wait for a click that never comes. What
// it would show goes to stderr, and an error box ends the check with exit code 1.
// Questions are answered No, choosers cancelled.
class TScriptDialogs final : public TUnattendedDialogs {
  public:
    void ShowErrorBox(std::string_view text) override {
        Say({}, text);
        Failed = true;
    }
    void ShowErrorMessage(std::string_view caption, std::string_view text) override {
        Say(caption, text);
    }
    void ShowAbout(std::string_view, const std::vector<std::string>&) override {}
    bool Failed = false;

  private:
    void Say(std::string_view, std::string_view text) override {
        std::fprintf(stderr, "sonavelle-customize: %.*s\n", static_cast<int>(text.size()),
                     text.data());
    }
};

} // namespace

int main(int argc, char* argv[]) {
    cmdline::AttachParentConsole();
    QCommandLineParser args;
    const QCommandLineOption logOption(QStringLiteral("log"),
                                       QStringLiteral("Also append every log line to FILE."),
                                       QStringLiteral("FILE"));
    args.addOption(logOption);
    const QCommandLineOption closeOption(
        QStringLiteral("close-after-scan"),
        QStringLiteral("Close the window after the first look at the devices (for checks)."));
    args.addOption(closeOption);
    if (const auto exitCode = cmdline::ParseCommandLine(
            args, "sonavelle-customize",
            QStringLiteral(
                "Customise the settings of a Sonavelle transceiver plugged in over USB."),
            argc, argv))
        return *exitCode;
    std::unique_ptr<QFile> logFile;
    if (args.isSet(logOption)) {
        logFile = std::make_unique<QFile>(args.value(logOption));
        // Unbuffered: each line reaches the file at once, so it holds the last one before a crash.
        if (!logFile->open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text |
                           QIODevice::Unbuffered))
            return cmdline::UsageError("sonavelle-customize",
                                       QStringLiteral("cannot open log file '%1': %2")
                                           .arg(logFile->fileName(), logFile->errorString()));
    }
#if defined(__linux__)
    if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY") &&
        !std::getenv("QT_QPA_PLATFORM")) {
        std::fprintf(stderr, "sonavelle-customize: no display found (DISPLAY and WAYLAND_DISPLAY "
                             "are unset). Start it from a desktop session; without a display, "
                             "try the headless demo: sonavelle-demo --scenario FILE.\n");
        return 2;
    }
#endif
    QApplication app(argc, argv);
    QApplication::setApplicationName(QString::fromUtf8(app::kApplicationTitle));

    // Declared before the window so that they outlive it and the controller it owns.
    hid::TQtMainThread mainThread;
    const auto services = hid::CreateSystemServices();
    auto controller = std::make_unique<hid::THidDeviceController>(*services, mainThread);
    auto* loading = controller.get();
    TCloseAfterScan closeAfterScan; // outlives the controller, which may call it to the end
    std::unique_ptr<TScriptDialogs> scriptDialogs;
    if (args.isSet(closeOption)) scriptDialogs = std::make_unique<TScriptDialogs>();
    const TScriptDialogs* script = scriptDialogs.get();
    TForm1 form(TFormServices{std::move(controller), nullptr, std::move(scriptDialogs),
                              store::TJournalOptions{}});
    if (logFile) form.SetLogFile(std::move(logFile));
    if (args.isSet(closeOption)) {
        // Before Loaded(): the controller's first notice is still to come.
        closeAfterScan = {loading->OnDeviceChange(), &form};
        loading->SetOnDeviceChange(
            hid::TNotifyEvent::Bind<&TCloseAfterScan::DeviceChange>(&closeAfterScan));
    }
    ShowDeviceErrorsInErrorBox(mainThread, form.Dialogs());
    loading->Loaded();
    form.show();
    const int exitCode = app.exec();
    return exitCode == 0 && script && script->Failed ? 1 : exitCode;
}
