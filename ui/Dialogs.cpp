#include "Dialogs.h"

#include "BusyCursor.h"
#include "QuitSignals.h"
#include "db/Names.h"

#include <QApplication>
#include <QComboBox>
#include <QCompleter>
#include <QDialog>
#include <QFileDialog>
#include <QHeaderView>
#include <QInputDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTreeView>

namespace ui {

ModalResult showModal(QDialog &dialog)
{
    if (QuitSignals::quitting())
        return ModalResult::Cancel;
    return dialog.exec() == QDialog::Accepted ? ModalResult::Ok : ModalResult::Cancel;
}

namespace {

void showMessage(QMessageBox::Icon icon, const QString &title, const QString &objectName,
                 const QString &text)
{
    // Nobody is there to read it: the program is ending.
    if (QuitSignals::quitting()) {
        qWarning("%s", qPrintable(text));
        return;
    }
    const ArrowCursor arrow;
    QMessageBox box(icon, title, text, QMessageBox::NoButton, QApplication::activeWindow());
    box.setObjectName(objectName);
    // Names from the catalogue are shown as they are, never read as markup.
    box.setTextFormat(Qt::PlainText);
    box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
    box.exec();
}

} // namespace

void showErrorMessage(const QString &text)
{
    showMessage(QMessageBox::Critical, QStringLiteral("Error"), QStringLiteral("ErrorMessageBox"),
                text);
}

void showInformationMessage(const QString &text)
{
    showMessage(QMessageBox::Information, QStringLiteral("Information"),
                QStringLiteral("InformationMessageBox"), text);
}

bool confirm(const QString &text, bool yesByDefault)
{
    if (QuitSignals::quitting())
        return false;
    QMessageBox box(QMessageBox::Question, QStringLiteral("Confirm"), text, QMessageBox::NoButton,
                    QApplication::activeWindow());
    box.setObjectName(QStringLiteral("ConfirmMessageBox"));
    box.setTextFormat(Qt::PlainText);
    QPushButton *yes = box.addButton(QStringLiteral("&Yes"), QMessageBox::YesRole);
    QPushButton *no = box.addButton(QStringLiteral("&No"), QMessageBox::NoRole);
    box.setDefaultButton(yesByDefault ? yes : no);
    box.setEscapeButton(no);
    box.exec();
    return box.clickedButton() == yes;
}

namespace {

// Qt's own dialog: the same on every desktop, and driven by the keyboard.
QString askFileName(const QString &caption, const QString &suggested, const QString &nameFilter,
                    QFileDialog::AcceptMode mode)
{
    if (QuitSignals::quitting())
        return {};
    QFileDialog dialog(QApplication::activeWindow(), caption);
    const bool saving = mode == QFileDialog::AcceptSave;
    dialog.setObjectName(saving ? QStringLiteral("SaveFileDialog")
                                : QStringLiteral("OpenFileDialog"));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(mode);
    dialog.setFileMode(saving ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    dialog.setNameFilter(nameFilter);
    if (saving) {
        dialog.setDefaultSuffix(QStringLiteral("sql"));
        dialog.selectFile(suggested);
    }
    // The files' dates show whole: their column as wide as they are, in a
    // dialog wide enough to keep the names beside them.
    constexpr int DateColumn = 3;
    if (auto *details = dialog.findChild<QTreeView *>(QStringLiteral("treeView")))
        details->header()->setSectionResizeMode(DateColumn, QHeaderView::ResizeToContents);
    dialog.resize(dialog.sizeHint().expandedTo(QSize(760, 460)));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().constFirst();
}

} // namespace

QString askSaveFileName(const QString &caption, const QString &suggested, const QString &nameFilter)
{
    return askFileName(caption, suggested, nameFilter, QFileDialog::AcceptSave);
}

QString askOpenFileName(const QString &caption, const QString &nameFilter)
{
    return askFileName(caption, {}, nameFilter, QFileDialog::AcceptOpen);
}

bool inputQuery(const QString &caption, const QString &prompt, QString &value,
                const QStringList &suggestions)
{
    if (QuitSignals::quitting())
        return false;
    QInputDialog dialog(QApplication::activeWindow());
    dialog.setObjectName(QStringLiteral("InputQueryDialog"));
    dialog.setWindowTitle(caption);
    dialog.setLabelText(prompt);
    // The prompt may hold a user's name: plain text, never markup.
    if (auto *label = dialog.findChild<QLabel *>())
        label->setTextFormat(Qt::PlainText);
    if (!suggestions.isEmpty()) {
        dialog.setComboBoxItems(suggestions);
        dialog.setComboBoxEditable(true);
        // A typed name is taken exactly as typed: the suggestions drop down
        // below it, never completing it in place to a longer name.
        if (auto *combo = dialog.findChild<QComboBox *>()) {
            combo->setInsertPolicy(QComboBox::NoInsert);
            if (QCompleter *completer = combo->completer()) {
                completer->setCompletionMode(QCompleter::PopupCompletion);
                completer->setCaseSensitivity(Qt::CaseSensitive);
            }
        }
    }
    dialog.setTextValue(value);
    dialog.setOkButtonText(QStringLiteral("OK"));
    dialog.setCancelButtonText(QStringLiteral("Cancel"));
    if (dialog.exec() != QDialog::Accepted)
        return false;
    value = dialog.textValue();
    return true;
}

QString upperCaseAscii(const QString &text)
{
    return db::upperCaseAscii(text);
}

} // namespace ui
