#include "store/DataFolder.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QStandardPaths>
#include <QTimeZone>

#include <cstdio>
#include <cstdlib>

namespace store {

namespace {

std::string DateTimeText(std::int64_t ms) {
    return QDateTime::fromMSecsSinceEpoch(ms, QTimeZone::utc())
        .toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss"))
        .toStdString();
}

bool gSimulatedApart = false;

} // namespace

void KeepSimulatedApart() {
    gSimulatedApart = true;
}

std::string DataFolder() {
    // QStandardPaths builds the folder from these names; a front end may have set others.
    const QString organisation = QCoreApplication::organizationName();
    const QString application = QCoreApplication::applicationName();
    QCoreApplication::setOrganizationName(QStringLiteral("Sonavelle"));
    QCoreApplication::setApplicationName(QStringLiteral("Customize"));
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    QCoreApplication::setOrganizationName(organisation);
    QCoreApplication::setApplicationName(application);
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
