// The tool: the window on the operating system's HID services.
#include "app/DeviceErrors.h"
#include "app/Main.h"
#include "hid/HidControllerClass.h"
#include "hid/qt/QtMainThread.h"

#include <QApplication>

#include <cstdio>
#include <cstdlib>

int main(int argc, char* argv[]) {
#if defined(__linux__)
    if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY") && !std::getenv("QT_QPA_PLATFORM")) {
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
    TForm1 form(TFormServices{std::move(controller), nullptr, nullptr});
    ShowDeviceErrorsInErrorBox(mainThread, form.Dialogs());
    loading->Loaded();
    form.show();
    return app.exec();
}
