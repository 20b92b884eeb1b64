// The tool: the window on the operating system's HID services.
#include "app/Main.h"

#include <QApplication>

#include <cstdio>
#include <cstdlib>

int main(int argc, char* argv[]) {
    const bool haveDisplay = std::getenv("DISPLAY") || std::getenv("WAYLAND_DISPLAY") ||
                             std::getenv("QT_QPA_PLATFORM");
#if defined(__linux__)
    if (!haveDisplay) {
        std::fprintf(stderr, "sonavelle-customize: no display found (DISPLAY and WAYLAND_DISPLAY "
                             "are unset). Start it from a desktop session, or run the headless "
                             "demo described in README.md.\n");
        return 2;
    }
#else
    (void)haveDisplay;
#endif
    QApplication app(argc, argv);
    QApplication::setApplicationName(QString::fromUtf8(app::kApplicationTitle));
    TForm1 form(TFormServices{});
    form.show();
    return app.exec();
}
