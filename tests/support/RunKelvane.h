#pragma once

#include <QMap>
#include <QString>
#include <QStringList>

// The program itself, run from a test as an administrator runs it from a
// shell script.
namespace testprogram {

// The path of the program built.
[[nodiscard]] QString program();

// What one run answered; the status -1 when it did not end within a minute.
struct Ran
{
    int status = -1;
    QString out;
    QString errors;
};

// Runs kelvane with the arguments, with no display and no terminal to ask a
// password on, with the variables added to its environment: by default the
// test server's password as KELVANE_PASSWORD.
[[nodiscard]] Ran runKelvane(const QStringList &arguments);
[[nodiscard]] Ran runKelvane(const QStringList &arguments, const QMap<QString, QString> &variables);

} // namespace testprogram
