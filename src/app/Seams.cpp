#include "app/Seams.h"

#include <QApplication>
#include <QClipboard>
#include <QDateTime>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

namespace {

QString S(std::string_view utf8) {
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

std::optional<std::string> Chosen(const QString& path) {
    if (path.isEmpty()) return std::nullopt;
    return path.toStdString();
}

// A dialog of a label over a list of the lines, with the buttons given.
struct TListDialog {
    QDialog dialog;
    QListWidget* list;
    TListDialog(QWidget* parent, std::string_view caption, std::string_view label,
                const std::vector<std::string>& lines, QDialogButtonBox::StandardButtons buttons)
        : dialog(parent), list(new QListWidget(&dialog)) {
        dialog.setWindowTitle(S(caption));
        auto* layout = new QVBoxLayout(&dialog);
        auto* heading = new QLabel(S(label), &dialog);
        heading->setTextInteractionFlags(Qt::TextSelectableByMouse);
        layout->addWidget(heading);
        for (const std::string& line : lines)
            list->addItem(S(line));
        list->setMinimumWidth(std::min(list->sizeHintForColumn(0) + 40, 900));
        layout->addWidget(list);
        auto* box = new QDialogButtonBox(buttons, &dialog);
        QObject::connect(box, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
        QObject::connect(box, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
        layout->addWidget(box);
    }
};

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

// ---- nobody watching --------------------------------------------------------------------

void TUnattendedDialogs::ShowInformation(std::string_view caption, std::string_view text) {
    Say(caption, text);
}

bool TUnattendedDialogs::AskYesNo(std::string_view caption, std::string_view question) {
    Say(caption, std::string(question) + " No.");
    return false;
}

std::optional<std::size_t> TUnattendedDialogs::AskWhich(std::string_view caption,
                                                        std::string_view question,
                                                        const std::vector<std::string>&) {
    Say(caption, std::string(question) + " Cancelled.");
    return std::nullopt;
}

void TUnattendedDialogs::ShowFailure(std::string_view caption, std::string_view text) {
    Say(caption, text);
}

std::optional<std::string> TUnattendedDialogs::ChooseFileToOpen(std::string_view caption,
                                                                std::string_view) {
    Say(caption, "cancelled");
    return std::nullopt;
}

std::optional<std::string>
TUnattendedDialogs::ChooseFileToSave(std::string_view caption, std::string_view, std::string_view) {
    Say(caption, "cancelled");
    return std::nullopt;
}

std::optional<int> TUnattendedDialogs::ChooseItem(std::string_view caption, std::string_view,
                                                  const std::vector<std::string>&) {
    Say(caption, "cancelled");
    return std::nullopt;
}

void TUnattendedDialogs::ShowList(std::string_view caption, std::string_view heading,
                                  const std::vector<std::string>& lines) {
    std::string text(heading);
    for (const std::string& line : lines)
        text += "\n" + line;
    Say(caption, text);
}

void TUnattendedDialogs::ShowLog(std::string_view caption, std::string_view lines,
                                 const std::function<void()>&) {
    Say(caption, lines);
}

// ---- message boxes ----------------------------------------------------------------------

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

void TMessageBoxDialogs::ShowInformation(std::string_view caption, std::string_view text) {
    QMessageBox::information(parent_, S(caption), S(text));
}

bool TMessageBoxDialogs::AskYesNo(std::string_view caption, std::string_view question) {
    return QMessageBox::question(parent_, S(caption), S(question),
                                 QMessageBox::Yes | QMessageBox::No,
                                 QMessageBox::No) == QMessageBox::Yes;
}

std::optional<std::size_t> TMessageBoxDialogs::AskWhich(std::string_view caption,
                                                        std::string_view question,
                                                        const std::vector<std::string>& answers) {
    QMessageBox box(QMessageBox::Question, S(caption), S(question), QMessageBox::NoButton, parent_);
    std::vector<QAbstractButton*> buttons;
    for (const std::string& answer : answers)
        buttons.push_back(box.addButton(S(answer), QMessageBox::AcceptRole));
    QAbstractButton* cancel = box.addButton(QMessageBox::Cancel);
    box.setEscapeButton(cancel);
    box.setDefaultButton(qobject_cast<QPushButton*>(cancel));
    box.exec();
    const auto at = std::find(buttons.begin(), buttons.end(), box.clickedButton());
    if (at == buttons.end()) return std::nullopt;
    return static_cast<std::size_t>(at - buttons.begin());
}

void TMessageBoxDialogs::ShowFailure(std::string_view caption, std::string_view text) {
    QMessageBox::warning(parent_, S(caption), S(text));
}

std::optional<std::string> TMessageBoxDialogs::ChooseFileToOpen(std::string_view caption,
                                                                std::string_view filters) {
    return Chosen(QFileDialog::getOpenFileName(parent_, S(caption), {}, S(filters)));
}

std::optional<std::string> TMessageBoxDialogs::ChooseFileToSave(std::string_view caption,
                                                                std::string_view suggested,
                                                                std::string_view filters) {
    return Chosen(QFileDialog::getSaveFileName(parent_, S(caption), S(suggested), S(filters)));
}

std::optional<int> TMessageBoxDialogs::ChooseItem(std::string_view caption, std::string_view label,
                                                  const std::vector<std::string>& items) {
    // A list rather than QInputDialog's combo box: two items may read the same.
    TListDialog d(parent_, caption, label, items, QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    d.list->setCurrentRow(0);
    QObject::connect(d.list, &QListWidget::itemDoubleClicked, &d.dialog, &QDialog::accept);
    if (d.dialog.exec() != QDialog::Accepted || d.list->currentRow() < 0) return std::nullopt;
    return d.list->currentRow();
}

void TMessageBoxDialogs::ShowList(std::string_view caption, std::string_view heading,
                                  const std::vector<std::string>& lines) {
    TListDialog d(parent_, caption, heading, lines, QDialogButtonBox::Close);
    d.list->setSelectionMode(QAbstractItemView::NoSelection);
    d.dialog.exec();
}

void TMessageBoxDialogs::ShowLog(std::string_view caption, std::string_view lines,
                                 const std::function<void()>& save) {
    QDialog dialog(parent_);
    dialog.setObjectName(QStringLiteral("LogWindow"));
    dialog.setWindowTitle(S(caption));
    auto* layout = new QVBoxLayout(&dialog);
    auto* text = new QPlainTextEdit(&dialog);
    text->setObjectName(QStringLiteral("LogText"));
    text->setReadOnly(true);
    text->setLineWrapMode(QPlainTextEdit::NoWrap);
    text->setPlainText(S(lines));
    text->moveCursor(QTextCursor::End); // the latest lines are the ones looked for
    layout->addWidget(text);
    auto* box = new QDialogButtonBox(QDialogButtonBox::Close, &dialog);
    QPushButton* copy = box->addButton(QStringLiteral("Copy all"), QDialogButtonBox::ActionRole);
    QPushButton* saveAs =
        box->addButton(QStringLiteral("Save as..."), QDialogButtonBox::ActionRole);
    QObject::connect(copy, &QPushButton::clicked, text,
                     [text] { QApplication::clipboard()->setText(text->toPlainText()); });
    QObject::connect(saveAs, &QPushButton::clicked, &dialog, [&save] { save(); });
    QObject::connect(box, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    layout->addWidget(box);
    dialog.resize(860, 480);
    dialog.exec();
}
