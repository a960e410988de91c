// Browsing and editing benchmark: the real main window against a large
// privilege catalogue, each operation timed beside a bare loop of the same
// statements through the same client interface, plus the peak memory of a
// browsing session.
//
//   kelvane_bench [--runs N] [--statements] [--rtt MS] [--export-only] [--compare]
//
// --compare ends the report with each figure the program is held to beside
// its goal.
//
// Needs the private server's environment (KELVANE_FB_DIR, KELVANE_FB_PORT,
// KELVANE_FB_PASSWORD); scripts/run-bench.sh sets it up.

#include "Bench.h"
#include "Proxy.h"

#include "TestServer.h"
#include "app/Forms.h"
#include "app/PrivEdit.h"
#include "ui/Application.h"

#include <QApplication>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRadioButton>
#include <QTemporaryDir>

#include <unistd.h>

#include <algorithm>
#include <cstdio>

namespace kbench {
namespace {

struct Options
{
    int runs = 9;
    bool listStatements = false;
    int rttMs = 0;
    bool exportOnly = false;
    bool compare = false;
};

int runBench(const Options &options)
{
    const int runs = options.runs;
    const int rttMs = options.rttMs;
    out(QStringLiteral("kelvane_bench: %1")
            .arg(QCoreApplication::arguments().join(QLatin1Char(' '))));
    out(QStringLiteral("machine: nproc %1, %2; Qt %3; QT_QPA_PLATFORM=%4; %5 build")
            .arg(sysconf(_SC_NPROCESSORS_ONLN))
            .arg(cpuModel(), QString::fromLatin1(qVersion()),
                 qEnvironmentVariable("QT_QPA_PLATFORM"),
#ifdef NDEBUG
                 QStringLiteral("optimised")
#else
                 QStringLiteral("debug")
#endif
                     ));
    out(QStringLiteral("load average at start: %1").arg(loadAverage()));
    out(QStringLiteral("server: port %1, folder %2")
            .arg(testserver::port(), qEnvironmentVariable("KELVANE_FB_DIR")));

    QElapsedTimer total;
    total.start();
    testserver::TestDatabase database(QStringLiteral("bench"));
    {
        QElapsedTimer clock;
        clock.start();
        for (const QString &script : catalogueScripts())
            database.run(script);
        out();
        out(QStringLiteral("Catalogue (filled in %1 s):").arg(msSince(clock) / 1000, 0, 'f', 1));
    }
    for (const QString &line : catalogueFigures(database.connectionString()))
        out(line);

    // With a round trip asked for, the program and the bare loop reach the
    // server through the delaying proxy, which delays only while an
    // operation is timed at the delay.
    std::unique_ptr<DelayProxy> proxy;
    if (rttMs > 0)
        proxy = std::make_unique<DelayProxy>(quint16(testserver::port().toUInt()));
    const QString target =
        proxy ? proxy->connectionString(database.path()) : database.connectionString();
    testserver::AliasFile aliases({{Alias, QStringLiteral("INTRBASE"), target}});
    const double exportRatio = measureExport(target, runs);
    const double compareRatio = measureCompare(target, runs);
    if (options.exportOnly)
        return 0;
    BareReplay bare(target);
    setBenchConnection(&bare);
    QList<Step> connectSteps;
    QList<Step> heavyMoveSteps;
    {
        Forms forms;
        KelvaneForm->show();
        settle();
        startWatchdog();
        Bench bench(bare, runs, options.listStatements, proxy.get(), rttMs);

        out();
        out(QStringLiteral("By User (master: users; detail: every relation name):"));
        connectSteps = bench.measure(connectOp(QStringLiteral("(a) connect, By User"))).steps;
        heavyMoveSteps = bench
                             .measure(moveDown(QStringLiteral("(b) move onto SYSDBA (heavy user)"),
                                               QStringLiteral("PUBLIC"), QStringLiteral("SYSDBA")))
                             .steps;
        bench.measure(moveDown(QStringLiteral("(b) move onto CLERK076 (typical user)"),
                               QStringLiteral("CLERK075"), QStringLiteral("CLERK076")));
        bench.measure(jump(QStringLiteral("(c) type-ahead W from the top -> WORKER001"), Qt::Key_W,
                           QStringLiteral("WORKER001")));
        bench.measure(refresh(QStringLiteral("(d) refresh on SYSDBA (heavy user)"),
                              QStringLiteral("SYSDBA")));
        bench.measure(refresh(QStringLiteral("(d) refresh on CLERK076 (typical user)"),
                              QStringLiteral("CLERK076")));
        bench.measure(toggleOp(QStringLiteral("(d) toggle SELECT of CLERK076 on T0002"),
                               QStringLiteral("CLERK076"), QStringLiteral("T0002"), true));
        bench.measure(toggleOp(QStringLiteral("(d) toggle SELECT off, CLERK076 on T0003"),
                               QStringLiteral("CLERK076"), QStringLiteral("T0003"), false));
        bench.measure(switchView(QStringLiteral("(e) switch to By Relation, last relation"),
                                 KelvaneForm->ByUserRadio, KelvaneForm->ByTableRadio,
                                 QStringLiteral("CLERK076")));
        bench.measure(copyAllOp(QStringLiteral("(f) copy ALL of CLERK076 to 2 users"),
                                QStringLiteral("CLERK076"),
                                {QStringLiteral("CLERK077"), QStringLiteral("CLERK078")}));
        bench.measure(renameOp(QStringLiteral("(g) rename CLERK080"), KelvaneForm->ByUserRadio,
                               QStringLiteral("CLERK080"), QStringLiteral("T0001"),
                               QStringLiteral("RENAMED1")));
        bench.measure(copyNewAllOp(QStringLiteral("(h) copy ALL of CLERK079 to a new user"),
                                   KelvaneForm->ByUserRadio, QStringLiteral("CLERK079"),
                                   QStringLiteral("T0001"), QStringLiteral("NEWUSER1")));
        bench.measure(removeOp(QStringLiteral("(i) remove CLERK081"), KelvaneForm->ByUserRadio,
                               QStringLiteral("CLERK081"), QStringLiteral("T0001")));
        bench.measure(eachRelationOp(QStringLiteral("(j) grant SELECT on every relation, CLERK085"),
                                     QStringLiteral("CLERK085")));

        out();
        out(QStringLiteral("By Relation (master: relation names; detail: every user):"));
        selectView(KelvaneForm->ByTableRadio);
        bench.measure(connectOp(QStringLiteral("(a) connect, By Relation")));
        bench.measure(moveDown(QStringLiteral("(b) move onto T1000 (typical table)"),
                               QStringLiteral("T0999"), QStringLiteral("T1000")));
        bench.measure(moveDown(QStringLiteral("(b) move onto P002 (procedure)"),
                               QStringLiteral("P001"), QStringLiteral("P002")));
        bench.measure(jump(QStringLiteral("(c) type-ahead V from the top -> V001"), Qt::Key_V,
                           QStringLiteral("V001")));
        bench.measure(refresh(QStringLiteral("(d) refresh on T1000"), QStringLiteral("T1000")));
        bench.measure(switchView(QStringLiteral("(e) switch to By User, last user"),
                                 KelvaneForm->ByTableRadio, KelvaneForm->ByUserRadio,
                                 QStringLiteral("T1000")));
        bench.measure(renameOp(QStringLiteral("(g) rename CLERK082, By Relation"),
                               KelvaneForm->ByTableRadio, QStringLiteral("CLERK082"),
                               QStringLiteral("T1000"), QStringLiteral("RENAMED2")));
        bench.measure(
            copyNewAllOp(QStringLiteral("(h) copy ALL of CLERK083 to a new user, By Rel."),
                         KelvaneForm->ByTableRadio, QStringLiteral("CLERK083"),
                         QStringLiteral("T1000"), QStringLiteral("NEWUSER2")));
        bench.measure(removeOp(QStringLiteral("(i) remove CLERK084, By Relation"),
                               KelvaneForm->ByTableRadio, QStringLiteral("CLERK084"),
                               QStringLiteral("T1000")));

        printTimingTable(bench.outcomes(), runs);
        if (proxy)
            printRoundTrips(bench.outcomes(), rttMs);
        if (options.compare)
            printGoals(bench.outcomes(), rttMs, exportRatio, compareRatio);
    }
    const qint64 bareCharacters = bare.sink();
    bare.disconnect();

    QTemporaryDir scratch;
    const QString stepsPath = scratch.filePath(QStringLiteral("steps.json"));
    {
        QFile file(stepsPath);
        if (!file.open(QIODevice::WriteOnly))
            fail(QStringLiteral("cannot write %1").arg(stepsPath));
        file.write(QJsonDocument(QJsonObject{{QStringLiteral("connect"), toJson(connectSteps)},
                                             {QStringLiteral("move"), toJson(heavyMoveSteps)}})
                       .toJson());
    }
    const auto child = [&](const char *mode, const char *baseline) {
        return runChild({QString::fromLatin1(mode), QString::fromLatin1(baseline), stepsPath,
                         database.connectionString()});
    };
    const MemoryFigures programCold = child("program", "cold");
    const MemoryFigures programWarm = child("program", "warm");
    const MemoryFigures bareCold = child("bare", "cold");
    const MemoryFigures bareWarm = child("bare", "warm");
    printMemory(programCold, programWarm, bareCold, bareWarm);

    out();
    // Printed so that the bare loop's reads cannot be optimised away.
    out(QStringLiteral("load average at end: %1").arg(loadAverage()));
    out(QStringLiteral("Total %1 s (bare loop read %2 characters)")
            .arg(msSince(total) / 1000, 0, 'f', 1)
            .arg(bareCharacters));
    return 0;
}

} // namespace
} // namespace kbench

namespace {

QtMessageHandler g_defaultHandler = nullptr;

// The offscreen platform warns each time a dialog with a size grip is shown,
// which the editing commands do on every run; nothing else is dropped.
void quietHandler(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (message == QLatin1String("This plugin does not support propagateSizeHints()"))
        return;
    g_defaultHandler(type, context, message);
}

} // namespace

int main(int argc, char *argv[])
{
    g_defaultHandler = qInstallMessageHandler(quietHandler);
    // The window is driven, never looked at; offscreen keeps the figures
    // free of any display server's costs.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    ui::Application::setTitle(QStringLiteral("Kelvane"));

    const QStringList args = QCoreApplication::arguments().mid(1);
    try {
        if (args.value(0) == QLatin1String("--memory-child"))
            return kbench::runMemoryChild(args.mid(1));
        kbench::Options options;
        for (int i = 0; i < args.size(); ++i) {
            if (args[i] == QLatin1String("--runs") && i + 1 < args.size()) {
                options.runs = std::max(1, args[++i].toInt());
            } else if (args[i] == QLatin1String("--statements")) {
                options.listStatements = true;
            } else if (args[i] == QLatin1String("--export-only")) {
                options.exportOnly = true;
            } else if (args[i] == QLatin1String("--compare")) {
                options.compare = true;
            } else if (args[i] == QLatin1String("--rtt") && i + 1 < args.size() &&
                       args[i + 1].toInt() > 0) {
                options.rttMs = args[++i].toInt();
            } else {
                std::fprintf(stderr, "usage: kelvane_bench [--runs N] [--statements] [--rtt MS] "
                                     "[--export-only] [--compare]\n");
                return 2;
            }
        }
        return kbench::runBench(options);
    } catch (const std::exception &e) {
        std::fprintf(stderr, "kelvane_bench: %s\n", e.what());
        return 1;
    }
}
