#include "Session.h"

#include "Exception.h"

#include <QDir>
#include <QFile>
#include <QStringDecoder>
#include <filesystem>
#include <optional>
#include <system_error>

namespace db {

namespace {

// One alias: its keys in the order the file gives them.
struct AliasGroup
{
    QString name;
    QList<std::pair<QString, QString>> keys;

    [[nodiscard]] QString value(const QString &key) const
    {
        // A key given twice: the later line wins, as an editor's reader would
        // take it.
        for (auto it = keys.crbegin(); it != keys.crend(); ++it) {
            if (it->first == key)
                return it->second;
        }
        return {};
    }
};

// What identifies one version of the file without reading it again, so that
// asking for the driver of each of thousands of aliases does not parse the
// file once per alias. A rewrite that keeps the size within one
// tick of the file system's clock goes unseen until the list is read again,
// which reads the file whatever its stamp.
struct FileStamp
{
    QString path;
    bool exists = false;
    std::uintmax_t size = 0;
    std::filesystem::file_time_type modified;

    bool operator==(const FileStamp &) const = default;
};

struct AliasFileContents
{
    FileStamp stamp;
    QList<AliasGroup> groups;
};

std::optional<AliasFileContents> g_cache;

[[noreturn]] void cannotRead(const QString &path)
{
    throw kelvane::EngineError(QStringLiteral("Cannot read the alias file %1").arg(path));
}

[[noreturn]] void notValid(const QString &path)
{
    throw kelvane::EngineError(
        QStringLiteral("The alias file %1 is not a valid INI file").arg(path));
}

FileStamp stampOf(const QString &path)
{
    FileStamp stamp;
    stamp.path = path;
    std::error_code error;
    const std::filesystem::path file(QFile::encodeName(path).toStdString());
    const auto status = std::filesystem::status(file, error);
    if (error || !std::filesystem::exists(status))
        return stamp;
    stamp.exists = true;
    if (!std::filesystem::is_regular_file(status))
        cannotRead(path);
    stamp.size = std::filesystem::file_size(file, error);
    if (!error)
        stamp.modified = std::filesystem::last_write_time(file, error);
    if (error)
        cannotRead(path);
    return stamp;
}

// "key = value": both trimmed; a value wholly inside double quotes loses them,
// with \" and \\ standing for a quote and a backslash, so that blanks at its
// ends can be kept.
QString valueOf(QStringView text)
{
    const QStringView trimmed = text.trimmed();
    if (trimmed.size() < 2 || trimmed.front() != u'"' || trimmed.back() != u'"')
        return trimmed.toString();
    QString value;
    const QStringView inner = trimmed.mid(1, trimmed.size() - 2);
    for (qsizetype i = 0; i < inner.size(); ++i) {
        if (inner[i] == u'\\' && i + 1 < inner.size() &&
            (inner[i + 1] == u'"' || inner[i + 1] == u'\\'))
            ++i;
        value += inner[i];
    }
    return value;
}

// Every group of the file is an alias, named exactly as written between its
// brackets, in the order of the file. Qt's own INI reader would take a group
// named General as its top level and hide it, sort the groups, and decode
// '%' and '\' in their names; this one changes nothing.
QList<AliasGroup> parse(const QString &path, const QByteArray &bytes)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = decoder.decode(bytes);
    if (decoder.hasError())
        notValid(path);
    QList<AliasGroup> groups;
    AliasGroup *current = nullptr;
    const QList<QStringView> lines = QStringView(text).split(u'\n');
    for (QStringView line : lines) {
        if (line.endsWith(u'\r'))
            line.chop(1);
        const QStringView trimmed = line.trimmed();
        if (trimmed.isEmpty() || trimmed.front() == u';' || trimmed.front() == u'#')
            continue;
        if (trimmed.front() == u'[') {
            if (trimmed.back() != u']' || trimmed.size() < 3)
                notValid(path);
            const QString name = trimmed.mid(1, trimmed.size() - 2).toString();
            current = nullptr;
            for (AliasGroup &group : groups) {
                if (group.name == name)
                    current = &group; // a group given again goes on where it was
            }
            if (!current) {
                groups.append(AliasGroup{name, {}});
                current = &groups.back();
            }
            continue;
        }
        const qsizetype equals = trimmed.indexOf(u'=');
        // A key outside every group would belong to no alias.
        if (equals <= 0 || !current)
            notValid(path);
        const QString key = trimmed.left(equals).trimmed().toString();
        if (key.isEmpty())
            notValid(path);
        current->keys.append({key, valueOf(trimmed.mid(equals + 1))});
    }
    return groups;
}

const QList<AliasGroup> &readAliasFile(bool always)
{
    const QString path = TSession::aliasFilePath();
    const FileStamp stamp = stampOf(path);
    if (!always && g_cache && g_cache->stamp == stamp)
        return g_cache->groups;
    g_cache.reset();
    if (!stamp.exists) {
        g_cache = AliasFileContents{stamp, {}};
        return g_cache->groups;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        cannotRead(path);
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        cannotRead(path);
    g_cache = AliasFileContents{stamp, parse(path, bytes)};
    return g_cache->groups;
}

QString aliasValue(const QString &alias, const QString &key)
{
    for (const AliasGroup &group : readAliasFile(false)) {
        if (group.name == alias)
            return group.value(key);
    }
    throw kelvane::EngineError(QStringLiteral("Invalid alias name %1").arg(alias));
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
    // The list is where the program starts from: always the file as it is now.
    QStringList names;
    for (const AliasGroup &group : readAliasFile(true))
        names.append(group.name);
    return names;
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
