// Memory, each measurement in a process of its own, since a peak once
// reached never comes down.
#include "Bench.h"

#include "app/Forms.h"
#include "app/PrivEdit.h"
#include "db/Query.h"

#include <QApplication>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

#include <cstdio>

namespace kbench {

namespace {

// Loads the client library and its plugins and opens one attachment, so
// that a baseline taken after it leaves only what the rows cost.
void warmClientLibrary(const QString &target)
{
    BenchConnection connection(target, QStringLiteral("warm-up connection"));
    for (const QStringList &row :
         connection.rows(QStringLiteral("SELECT RDB$RELATION_NAME FROM RDB$RELATIONS")))
        (void)row;
}

// A thousand moves more, a hundred down the users' list and a hundred back,
// ending on the row they started from: what the resident set and the heap
// grew by then is what moving leaves behind.
void moveAThousandTimes()
{
    db::TDataSet &master = KelvaneForm->MasterQuery;
    for (int move = 0; move < 1000; ++move) {
        if ((move / 100) % 2 == 0)
            master.next();
        else
            master.prior();
        if (move % 50 == 49)
            settle();
    }
    settle();
}

void report(const char *key, qint64 value)
{
    std::printf("%s=%lld\n", key, static_cast<long long>(value));
}

} // namespace

int runMemoryChild(const QStringList &args)
{
    // args: mode (program|bare), baseline (cold|warm), steps file, target
    if (args.size() != 4)
        fail(QStringLiteral("memory child: bad arguments"));
    const bool program = args[0] == QLatin1String("program");
    const bool warm = args[1] == QLatin1String("warm");
    QFile file(args[2]);
    if (!file.open(QIODevice::ReadOnly))
        fail(QStringLiteral("memory child: cannot read %1").arg(args[2]));
    const QJsonObject steps = QJsonDocument::fromJson(file.readAll()).object();
    const QString target = args[3];

    if (program) {
        Forms forms;
        KelvaneForm->show();
        settle();
        startWatchdog();
        if (warm)
            warmClientLibrary(target);
        settle();
        const qint64 baseline = procStatusKb("VmHWM");
        const qint64 heapBefore = heapInUse();
        (void)connectThroughDialog();
        positionMaster(QStringLiteral("SYSDBA"));
        expectGridsFilled();
        checkNothingUnexpected(QStringLiteral("memory"));
        report("baseline_kb", baseline);
        report("peak_kb", procStatusKb("VmHWM"));
        report("rss_kb", procStatusKb("VmRSS"));
        report("heap_growth", heapInUse() - heapBefore);
        const QString before = KelvaneForm->MasterQuery.fields(0)->text();
        moveAThousandTimes();
        if (KelvaneForm->MasterQuery.fields(0)->text() != before)
            fail(QStringLiteral("the thousand moves did not come back to %1").arg(before));
        report("moved_rss_kb", procStatusKb("VmRSS"));
        report("moved_heap_growth", heapInUse() - heapBefore);
        report("master_rows", KelvaneForm->MasterQuery.recordCount());
        report("detail_rows", KelvaneForm->DetailQuery.recordCount());
        report("priv_rows", KelvaneForm->PrivQuery.recordCount());
        report("procedure_rows", KelvaneForm->Procedures.recordCount());
        report("view_rows", KelvaneForm->ViewsQuery.recordCount());
        return 0;
    }

    BareReplay bare(target);
    const QList<Step> connect = stepsFromJson(steps.value(QStringLiteral("connect")).toArray());
    const QList<Step> move = stepsFromJson(steps.value(QStringLiteral("move")).toArray());
    if (warm)
        warmClientLibrary(target);
    const qint64 baseline = procStatusKb("VmHWM");
    const qint64 heapBefore = heapInUse();
    Held held;
    (void)bare.run(connect, false, &held);
    (void)bare.run(move, false, &held);
    report("baseline_kb", baseline);
    report("peak_kb", procStatusKb("VmHWM"));
    report("rss_kb", procStatusKb("VmRSS"));
    report("heap_growth", heapInUse() - heapBefore);
    qint64 values = 0, delivered = 0, trimmed = 0;
    for (const auto &[sql, list] : held) {
        values += qint64(list.size());
        for (const QString &value : list) {
            delivered += value.size() * qint64(sizeof(QChar));
            trimmed += trimmedLength(value) * qint64(sizeof(QChar));
        }
    }
    report("held_values", values);
    report("held_delivered_bytes", delivered);
    report("held_trimmed_bytes", trimmed);
    return 0;
}

MemoryFigures runChild(const QStringList &args)
{
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QCoreApplication::applicationFilePath(),
                QStringList{QStringLiteral("--memory-child")} + args);
    if (!child.waitForFinished(120000) || child.exitStatus() != QProcess::NormalExit ||
        child.exitCode() != 0)
        fail(QStringLiteral("memory child %1 failed").arg(args.join(QLatin1Char(' '))));
    MemoryFigures figures;
    for (const QByteArray &line : child.readAllStandardOutput().split('\n')) {
        const qsizetype equals = line.indexOf('=');
        if (equals > 0)
            figures.values.insert(QString::fromUtf8(line.left(equals)),
                                  line.mid(equals + 1).toLongLong());
    }
    return figures;
}

namespace {

QString signedKib(qint64 kilobytes)
{
    return QStringLiteral("%1%2 KiB")
        .arg(kilobytes >= 0 ? QStringLiteral("+") : QString())
        .arg(kilobytes);
}

} // namespace

void printMemory(const MemoryFigures &programCold, const MemoryFigures &programWarm,
                 const MemoryFigures &bareCold, const MemoryFigures &bareWarm)
{
    const double delivered = double(bareCold["held_delivered_bytes"]);
    const double trimmed = double(bareCold["held_trimmed_bytes"]);
    const auto growth = [](const MemoryFigures &f) {
        return double(f["peak_kb"] - f["baseline_kb"]) * 1024.0;
    };
    out();
    out(QStringLiteral(
        "Memory: connect By User, then move onto SYSDBA; each line a fresh process."));
    out(QStringLiteral(
        "  peak growth = VmHWM (peak resident set, /proc/self/status) at the end minus VmHWM "
        "just before connecting;"));
    out(QStringLiteral(
        "  'warm' baselines are taken after one throwaway connection has loaded the client "
        "library and its plugins;"));
    out(QStringLiteral(
        "  heap = malloc's bytes in use (mallinfo2 uordblks + hblkhd), end minus baseline."));
    out(QStringLiteral(
            "  rows held at once: master %1 + detail %2 + privileges %3 + procedures %4 + views %5 "
            "rows = %6 values")
            .arg(programCold["master_rows"])
            .arg(programCold["detail_rows"])
            .arg(programCold["priv_rows"])
            .arg(programCold["procedure_rows"])
            .arg(programCold["view_rows"])
            .arg(bareCold["held_values"]));
    out(QStringLiteral("  their text as the client interface delivers it (UTF-16, a CHAR without "
                       "its padding): %1; without any trailing blanks: %2")
            .arg(kib(delivered), kib(trimmed)));
    out(QStringLiteral("  %1 %2 %3 %4 %5")
            .arg(QString(), -34)
            .arg(QStringLiteral("peak growth"), 14)
            .arg(QStringLiteral("x delivered"), 12)
            .arg(QStringLiteral("x trimmed"), 10)
            .arg(QStringLiteral("heap"), 12));
    const struct
    {
        const char *label;
        const MemoryFigures &figures;
    } lines[] = {{"program, cold baseline", programCold},
                 {"program, warm baseline", programWarm},
                 {"bare loop holding rows, cold", bareCold},
                 {"bare loop holding rows, warm", bareWarm}};
    for (const auto &line : lines) {
        out(QStringLiteral("  %1 %2 %3 %4 %5")
                .arg(QString::fromLatin1(line.label), -34)
                .arg(kib(growth(line.figures)), 14)
                .arg(growth(line.figures) / delivered, 12, 'f', 2)
                .arg(growth(line.figures) / trimmed, 10, 'f', 1)
                .arg(kib(double(line.figures["heap_growth"])), 12));
    }
    const auto verdict = [](bool met) {
        return met ? QStringLiteral("met") : QStringLiteral("NOT met");
    };
    for (const auto &[label, figures] :
         {std::pair{"cold", &programCold}, std::pair{"warm", &programWarm}})
        out(QStringLiteral("  program, %1: after 1,000 more moves, back on the same row, resident "
                           "set %2 (%3 against the first move), heap %4 (%5)")
                .arg(QLatin1String(label), kib(double((*figures)["moved_rss_kb"]) * 1024.0),
                     signedKib((*figures)["moved_rss_kb"] - (*figures)["rss_kb"]),
                     kib(double((*figures)["moved_heap_growth"])),
                     signedKib(((*figures)["moved_heap_growth"] - (*figures)["heap_growth"]) /
                               1024)));
    out(QStringLiteral(
            "  target, program peak growth (cold) within 3 x the rows as delivered (%1): %2")
            .arg(kib(3 * delivered), verdict(growth(programCold) <= 3 * delivered)));
    out(QStringLiteral("  target, program peak growth (cold) within 3 x the rows trimmed (%1): %2")
            .arg(kib(3 * trimmed), verdict(growth(programCold) <= 3 * trimmed)));
}

} // namespace kbench
