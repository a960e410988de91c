#pragma once

#include "Lines.h"

#include <QString>
#include <QStringList>

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
// The confirmation kind: title "Confirm", question icon, Yes and No; true on
// Yes. Enter answers Yes unless the question is one to think twice about.
[[nodiscard]] bool confirm(const QString &text, bool yesByDefault = true);
// A one-line text input; true when OK was pressed, the edited text in value.
// Suggestions, where given, drop down below the line to be picked instead of
// typed; the line starts as value all the same.
[[nodiscard]] bool inputQuery(const QString &caption, const QString &prompt, QString &value,
                              const QStringList &suggestions = {});

// Asks where to save a file, starting from the suggested name; empty when
// the administrator cancels. An existing file is replaced only once the
// dialog has asked.
[[nodiscard]] QString askSaveFileName(const QString &caption, const QString &suggested,
                                      const QString &nameFilter);
// Asks for an existing file to read; empty when the administrator cancels.
[[nodiscard]] QString askOpenFileName(const QString &caption, const QString &nameFilter);
// Upper-cases the letters a to z and nothing else.
[[nodiscard]] QString upperCaseAscii(const QString &text);

} // namespace ui
