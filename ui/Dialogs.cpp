#include "Dialogs.h"

#include "BusyCursor.h"
#include "db/Names.h"

#include <QApplication>
#include <QDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <QPushButton>

namespace ui {

ModalResult showModal(QDialog &dialog)
{
    return dialog.exec() == QDialog::Accepted ? ModalResult::Ok : ModalResult::Cancel;
}

void showErrorMessage(const QString &text)
{
    const ArrowCursor arrow;
    QMessageBox box(QMessageBox::Critical, QStringLiteral("Error"), text, QMessageBox::NoButton,
                    QApplication::activeWindow());
    box.setObjectName(QStringLiteral("ErrorMessageBox"));
    box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
    box.exec();
}

bool confirm(const QString &text)
{
    QMessageBox box(QMessageBox::Question, QStringLiteral("Confirm"), text, QMessageBox::NoButton,
                    QApplication::activeWindow());
    box.setObjectName(QStringLiteral("ConfirmMessageBox"));
    QPushButton *yes = box.addButton(QStringLiteral("&Yes"), QMessageBox::YesRole);
    QPushButton *no = box.addButton(QStringLiteral("&No"), QMessageBox::NoRole);
    box.setDefaultButton(yes);
    box.setEscapeButton(no);
    box.exec();
    return box.clickedButton() == yes;
}

bool inputQuery(const QString &caption, const QString &prompt, QString &value)
{
    QInputDialog dialog(QApplication::activeWindow());
    dialog.setObjectName(QStringLiteral("InputQueryDialog"));
    dialog.setWindowTitle(caption);
    dialog.setLabelText(prompt);
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
