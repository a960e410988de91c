#include "RunKelvane.h"

#include "TestServer.h"

#include <QProcess>

#include <unistd.h>

namespace testprogram {

QString program()
{
    return QStringLiteral(KELVANE_PROGRAM);
}

Ran runKelvane(const QStringList &arguments)
{
    return runKelvane(arguments, {{QStringLiteral("KELVANE_PASSWORD"), testserver::password()}});
}

Ran runKelvane(const QStringList &arguments, const QMap<QString, QString> &variables)
{
    QProcess kelvane;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char *name :
         {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "ISC_PASSWORD", "KELVANE_PASSWORD"})
        environment.remove(QLatin1String(name));
    for (auto it = variables.begin(); it != variables.end(); ++it)
        environment.insert(it.key(), it.value());
    kelvane.setProcessEnvironment(environment);
    // A session of its own: no terminal to ask a password on.
    kelvane.setChildProcessModifier([] { ::setsid(); });
    kelvane.start(program(), arguments);
    if (!kelvane.waitForFinished(60000))
        return {};
    return {kelvane.exitCode(), QString::fromUtf8(kelvane.readAllStandardOutput()),
            QString::fromUtf8(kelvane.readAllStandardError())};
}

} // namespace testprogram
