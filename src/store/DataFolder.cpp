#include "store/DataFolder.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QStandardPaths>
#include <QTimeZone>

#include <atomic>
#include <cstdio>
#include <cstdlib>

namespace store {

namespace {

std::string DateTimeText(std::int64_t ms) {
    return QDateTime::fromMSecsSinceEpoch(ms, QTimeZone::utc())
        .toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss"))
        .toStdString();
}

std::atomic<bool> gSimulatedApart{false};

// The tool's folder, whatever names a front end gives its application: QStandardPaths would
// name the application's folder after those.
QString ToolFolder() {
#if defined(Q_OS_WIN)
    // Roaming AppData, where the tool has always kept its files, is a folder QStandardPaths
    // gives an application only. It is asked for once, under the tool's names lent to the
    // application for the moment; the first call comes from a front end as it starts, before
    // any other thread could read those names.
    static const QString folder = [] {
        const QString organisation = QCoreApplication::organizationName();
        const QString application = QCoreApplication::applicationName();
        QCoreApplication::setOrganizationName(QStringLiteral("Sonavelle"));
        QCoreApplication::setApplicationName(QStringLiteral("Customize"));
        const QString appData = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
        QCoreApplication::setOrganizationName(organisation);
        QCoreApplication::setApplicationName(application);
        return appData;
    }();
    return folder;
#else
    // An application's data folder is the folder of all applications' data and the
    // application's names below it: the same folder, from any thread, with the application's
    // names left alone. Asked for anew each time, as $XDG_DATA_HOME says now.
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/Sonavelle/Customize");
#endif
}

} // namespace

void KeepSimulatedApart() {
    gSimulatedApart = true;
}

std::string DataFolder() {
    const QString folder = ToolFolder();
    if (gSimulatedApart) return (folder + QStringLiteral("/simulated")).toStdString();
    return folder.toStdString();
}

std::string UtcText(const core::TTimePoint& time) {
    return DateTimeText(time.utcMs) + "Z";
}

std::string LocalText(const core::TTimePoint& time) {
    // The offset in whole minutes; the two clock readings may differ by a few milliseconds.
    const std::int64_t offsetMin =
        (time.wallMs - time.utcMs + (time.wallMs >= time.utcMs ? 30000 : -30000)) / 60000;
    const std::int64_t minutes = std::llabs(offsetMin);
    char offset[32];
    std::snprintf(offset, sizeof offset, "%c%02lld:%02lld", offsetMin < 0 ? '-' : '+',
                  static_cast<long long>(minutes / 60), static_cast<long long>(minutes % 60));
    return DateTimeText(time.wallMs) + offset;
}

} // namespace store
