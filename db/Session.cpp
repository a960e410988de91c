#include "Session.h"

#include "Exception.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>
#include <memory>

namespace db {

namespace {

std::unique_ptr<QSettings> openAliasFile()
{
    const QString path = TSession::aliasFilePath();
    const QFileInfo info(path);
    if (info.exists() && (!info.isFile() || !info.isReadable()))
        throw kelvane::EngineError(QStringLiteral("Cannot read the alias file %1").arg(path));
    auto settings = std::make_unique<QSettings>(path, QSettings::IniFormat);
    switch (settings->status()) {
    case QSettings::NoError:
        break;
    case QSettings::AccessError:
        throw kelvane::EngineError(QStringLiteral("Cannot read the alias file %1").arg(path));
    case QSettings::FormatError:
        throw kelvane::EngineError(
            QStringLiteral("The alias file %1 is not a valid INI file").arg(path));
    }
    return settings;
}

QString aliasValue(const QString &alias, const QString &key)
{
    const auto settings = openAliasFile();
    if (!settings->childGroups().contains(alias))
        throw kelvane::EngineError(QStringLiteral("Invalid alias name %1").arg(alias));
    settings->beginGroup(alias);
    return settings->value(key).toString();
}

} // namespace

QString TSession::aliasFilePath()
{
    const QString explicitPath = qEnvironmentVariable("KELVANE_ALIASES");
    if (!explicitPath.isEmpty())
        return explicitPath;
    QString configHome = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (configHome.isEmpty())
        configHome = QDir::homePath() + QStringLiteral("/.config");
    return configHome + QStringLiteral("/kelvane/aliases.ini");
}

QStringList TSession::aliasNames()
{
    return openAliasFile()->childGroups();
}

QString TSession::aliasDriverName(const QString &alias)
{
    return aliasValue(alias, QStringLiteral("Driver"));
}

QString TSession::aliasDatabase(const QString &alias)
{
    return aliasValue(alias, QStringLiteral("Database"));
}

} // namespace db
