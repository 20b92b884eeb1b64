// Makes docs/fleet.png: the fleet window serving four simulated units, caught part way, the
// first two finished (one of them failed) and the others being written. Offscreen, on
// simulated time, the same picture every run but for the font of the machine.
//   build/tests/fleet/fleet_screenshot docs/fleet.png
#include "fleet/FleetWindow.h"
#include "sim/Profile.h"
#include "store/DataFolder.h"

#include <QApplication>
#include <QFile>
#include <QPixmap>
#include <QProgressBar>
#include <QTableWidget>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>

namespace {

class TNoDialogs final : public fleet::TFleetDialogs {
  public:
    std::optional<std::string> ChooseSettingsFile() override { return std::nullopt; }
    bool Confirm(std::string_view, std::string_view) override { return false; }
    void ShowError(std::string_view, std::string_view text) override {
        std::fprintf(stderr, "%.*s\n", static_cast<int>(text.size()), text.data());
    }
};

} // namespace

int main(int argc, char* argv[]) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: fleet_screenshot FILE.png\n");
        return 2;
    }
    if (!std::getenv("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // Backups and records of the picture's units go nowhere that lasts.
    QTemporaryDir data;
    qputenv("XDG_DATA_HOME", QFile::encodeName(data.path()));
    store::KeepSimulatedApart();
    std::vector<sim::Profile> units;
    for (const char* preset : {"DW730 TONAL/201036", "PX510/201036",
                               "DW730 VELMORAS_SPECIAL/201036", "DW720 MIV/201033"})
        units.push_back(*sim::FindPreset(preset));
    cli::TCommandOptions options;
    options.session.simulated = true;
    fleet::TFleetWindow window([units] { return std::make_unique<cli::TSimBench>(units, 400); },
                               options, std::make_unique<TNoDialogs>(), fleet::TPace::Manual);
    window.Fleet().UseSettings(
        cli::ParseSettingsText("volume = 2\nvoice-guide = high\n", "bench.conf").requests,
        "bench.conf");
    window.show();
    window.Fleet().Start();
    const auto* table = window.findChild<QTableWidget*>(QStringLiteral("UnitTable"));
    const auto finished = [&](int row) {
        return table->rowCount() > row &&
               !table->item(row, fleet::TFleetWindow::Result)->text().isEmpty();
    };
    // Written about half.
    const auto writing = [&](int row) {
        if (table->rowCount() <= row ||
            table->item(row, fleet::TFleetWindow::State)->text() != QStringLiteral("writing"))
            return false;
        const int done =
            static_cast<QProgressBar*>(table->cellWidget(row, fleet::TFleetWindow::Progress))
                ->value();
        return done >= 40 && done <= 70;
    };
    for (int ms = 0; ms < 60000 && !(finished(0) && finished(1) && writing(3)); ++ms)
        window.Step();
    // The layout catches up with what changed.
    QApplication::processEvents();
    if (!window.grab().save(QString::fromLocal8Bit(argv[1]))) {
        std::fprintf(stderr, "cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
