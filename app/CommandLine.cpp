#include "CommandLine.h"

#include "DiffCommand.h"
#include "ExportCommand.h"
#include "KelvaneVersion.h"
#include "WhoCanCommand.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <cstdio>

namespace {

// Qt's options for the window system and widget style, as QGuiApplication
// and QApplication take them; those with a value, then the switches.
constexpr const char *QtValueOptions[] = {"platform",
                                          "platformpluginpath",
                                          "platformtheme",
                                          "plugin",
                                          "qwindowgeometry",
                                          "geometry",
                                          "qwindowtitle",
                                          "title",
                                          "qwindowicon",
                                          "icon",
                                          "session",
                                          "display",
                                          "name",
                                          "style",
                                          "stylesheet",
                                          "dialogs",
                                          "qmljsdebugger",
                                          "visual",
                                          "ncols",
                                          "cmap",
                                          "im",
                                          "inputstyle"};
constexpr const char *QtSwitches[] = {"reverse", "widgetcount", "nograb", "dograb", "sync"};

void addHidden(QCommandLineParser &parser, const char *name, bool takesValue)
{
    QCommandLineOption option(QString::fromLatin1(name));
    if (takesValue)
        option.setValueName(QStringLiteral("value"));
    option.setFlags(QCommandLineOption::HiddenFromHelp);
    parser.addOption(option);
}

void print(std::FILE *stream, const QString &text)
{
    std::fputs(text.toLocal8Bit().constData(), stream);
    std::fflush(stream);
}

} // namespace

std::optional<int> handleCommandLine(int argc, char *argv[])
{
    // A core application only: it needs no display, and goes before the
    // widgets' application is made.
    QCoreApplication core(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kelvane"));
    QCoreApplication::setApplicationVersion(QLatin1String(KelvaneVersion));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("See and change the privileges of users on a Firebird database."));
    // Qt's options are written with one dash, as in -platform offscreen.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Displays this help and exits."));
    const QCommandLineOption version({QStringLiteral("v"), QStringLiteral("version")},
                                     QStringLiteral("Displays the version and exits."));
    parser.addOption(help);
    parser.addOption(version);
    const QCommandLineOption exportTo(
        QStringLiteral("export"),
        QStringLiteral("Writes the privileges of the database as GRANT statements and exits, "
                       "without a display. The database is an alias of the alias file, else a "
                       "connection string (host/port:path). The password comes from "
                       "KELVANE_PASSWORD (or ISC_PASSWORD), else it is asked for on the "
                       "terminal."),
        QStringLiteral("database"));
    const QCommandLineOption whoCan(
        QStringLiteral("who-can"),
        QStringLiteral("Prints who can use each object of the name given as the argument, and "
                       "through what (directly, PUBLIC, a role, ownership, SYSDBA), "
                       "tab-separated, and exits, without a display. The database and the "
                       "password as for --export."),
        QStringLiteral("database"));
    const QCommandLineOption diff(
        QStringLiteral("diff"),
        QStringLiteral("Prints the statements that would make the privileges of this database "
                       "those of the database given as the argument, and exits: 0 when they "
                       "grant the same, 1 when they differ, 2 on trouble. Each is an alias, "
                       "a connection string or a file saved by --export; the password as for "
                       "--export."),
        QStringLiteral("database"));
    const QCommandLineOption letter(
        QStringLiteral("letter"),
        QStringLiteral("With --who-can, only this privilege: S U I D R X G M, or its word."),
        QStringLiteral("letter"));
    const QCommandLineOption user(
        QStringLiteral("user"),
        QStringLiteral("The login for --export, --who-can and --diff; ISC_USER, else SYSDBA."),
        QStringLiteral("name"));
    const QCommandLineOption role(
        QStringLiteral("role"),
        QStringLiteral("The SQL role for --export, --who-can and --diff, e.g. RDB$ADMIN."),
        QStringLiteral("role"));
    const QCommandLineOption output(
        QStringLiteral("output"),
        QStringLiteral("The file --export writes, replaced whole; standard output without it."),
        QStringLiteral("file"));
    for (const QCommandLineOption &option : {exportTo, whoCan, diff, letter, user, role, output})
        parser.addOption(option);
    for (const char *name : QtValueOptions)
        addHidden(parser, name, true);
    for (const char *name : QtSwitches)
        addHidden(parser, name, false);

    parser.addPositionalArgument(QStringLiteral("argument"),
                                 QStringLiteral("With --who-can, the object, as the catalogue "
                                                "keeps its name; with --diff, the database to "
                                                "compare with."),
                                 QStringLiteral("[argument]"));

    QString error;
    const QStringList arguments =
        parser.parse(QCoreApplication::arguments()) ? parser.positionalArguments() : QStringList();
    const int commands =
        int(parser.isSet(exportTo)) + int(parser.isSet(whoCan)) + int(parser.isSet(diff));
    const bool withoutWindow = commands > 0;
    const bool takesArgument = parser.isSet(whoCan) || parser.isSet(diff);
    if (!parser.errorText().isEmpty())
        error = parser.errorText();
    else if (commands > 1)
        error = QStringLiteral("--export, --who-can and --diff go one at a time.");
    else if (parser.isSet(whoCan) && arguments.size() != 1)
        error = QStringLiteral("--who-can takes the database, then the name of one object.");
    else if (parser.isSet(diff) && arguments.size() != 1)
        error = QStringLiteral("--diff takes two databases: the one to change, then the one "
                               "to make it like.");
    else if (!takesArgument && !arguments.isEmpty())
        error = QStringLiteral("Unexpected argument '%1': kelvane takes no arguments.")
                    .arg(arguments.constFirst());
    else if (!withoutWindow && (parser.isSet(user) || parser.isSet(role)))
        error = QStringLiteral("--user and --role go with --export, --who-can or --diff.");
    else if (!parser.isSet(exportTo) && parser.isSet(output))
        error = QStringLiteral("--output goes with --export.");
    else if (!parser.isSet(whoCan) && parser.isSet(letter))
        error = QStringLiteral("--letter goes with --who-can.");
    if (!error.isEmpty()) {
        print(stderr, QStringLiteral("kelvane: %1\n\n%2").arg(error, parser.helpText()));
        return 2;
    }
    if (parser.isSet(help)) {
        print(stdout, parser.helpText());
        return 0;
    }
    if (parser.isSet(version)) {
        print(stdout, QStringLiteral("kelvane %1\n").arg(QLatin1String(KelvaneVersion)));
        return 0;
    }
    if (parser.isSet(exportTo))
        return runExport(
            {parser.value(exportTo), parser.value(user), parser.value(role), parser.value(output)});
    if (parser.isSet(diff)) {
        const CommandLogin login{{}, parser.value(user), parser.value(role)};
        CommandLogin here = login;
        here.database = parser.value(diff);
        CommandLogin there = login;
        there.database = arguments.constFirst();
        return runDiff({here, there});
    }
    if (parser.isSet(whoCan))
        return runWhoCan({{parser.value(whoCan), parser.value(user), parser.value(role)},
                          arguments.constFirst(),
                          parser.value(letter)});
    return std::nullopt;
}
