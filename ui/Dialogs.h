#pragma once

#include <QString>

class QDialog;

namespace ui {

// The result of a modal dialog; the program only tests for OK.
enum class ModalResult
{
    Ok,
    Cancel
};

[[nodiscard]] ModalResult showModal(QDialog &dialog);

// The error kind: title "Error", error icon, the one button OK.
void showErrorMessage(const QString &text);
// The information kind: title "Information", information icon, the one button OK.
void showInformationMessage(const QString &text);
// The confirmation kind: title "Confirm", question icon, Yes and No; true on Yes.
[[nodiscard]] bool confirm(const QString &text);
// A one-line text input; true when OK was pressed, the edited text in value.
[[nodiscard]] bool inputQuery(const QString &caption, const QString &prompt, QString &value);

// Upper-cases the letters a to z and nothing else.
[[nodiscard]] QString upperCaseAscii(const QString &text);

} // namespace ui
