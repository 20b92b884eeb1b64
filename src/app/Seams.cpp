#include "app/Seams.h"

#include <QApplication>
#include <QMessageBox>

void ShowErrorBoxFor(TDialogs& Dialogs, std::exception_ptr Error) {
    try {
        std::rethrow_exception(Error);
    } catch (const std::exception& e) {
        Dialogs.ShowErrorBox(QString::fromLocal8Bit(e.what()));
    } catch (...) {
        Dialogs.ShowErrorBox(QStringLiteral("Unknown error."));
    }
}

void TMessageBoxDialogs::ShowErrorBox(const QString& text) {
    QMessageBox::critical(parent_, QApplication::applicationName(), text);
}

void TMessageBoxDialogs::ShowErrorMessage(const QString& caption, const QString& text) {
    QMessageBox::critical(parent_, caption, text);
}

void TMessageBoxDialogs::ShowAbout(const QString& caption, const QStringList& lines) {
    QMessageBox::about(parent_, caption, lines.join(QLatin1Char('\n')));
}
