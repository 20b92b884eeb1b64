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

} // namespace store
