#include "app/Seams.h"

#include <QApplication>
#include <QDateTime>
#include <QMessageBox>

namespace {

QString S(std::string_view utf8) {
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

} // namespace

void ShowErrorBoxFor(core::TDialogSink& Dialogs, std::exception_ptr Error) {
    try {
        std::rethrow_exception(Error);
    } catch (const std::exception& e) {
        Dialogs.ShowErrorBox(QString::fromLocal8Bit(e.what()).toStdString());
    } catch (...) {
        Dialogs.ShowErrorBox("Unknown error.");
    }
}

core::TTimePoint TSystemClock::Now() const {
    const QDateTime now = QDateTime::currentDateTime();
    return {now.toMSecsSinceEpoch(),
            QDateTime(now.date(), now.time(), Qt::UTC).toMSecsSinceEpoch()};
}

void TMessageBoxDialogs::ShowErrorBox(std::string_view utf8) {
    QMessageBox::critical(parent_, QApplication::applicationName(), S(utf8));
}

void TMessageBoxDialogs::ShowErrorMessage(std::string_view caption, std::string_view text) {
    QMessageBox::critical(parent_, S(caption), S(text));
}

void TMessageBoxDialogs::ShowAbout(std::string_view caption,
                                   const std::vector<std::string>& lines) {
    QStringList shown;
    for (const std::string& line : lines)
        shown << S(line);
    QMessageBox::about(parent_, S(caption), shown.join(QLatin1Char('\n')));
}
