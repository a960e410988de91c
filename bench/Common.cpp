// Small helpers: the bench's own connections, output, clocks, medians, and
// what the machine says of itself.
#include "Bench.h"

#include "TestServer.h"
#include "db/Database.h"

#include <QCoreApplication>
#include <QFile>

#include <malloc.h>

#include <algorithm>
#include <cstdio>
#include <ctime>

namespace kbench {

[[noreturn]] void fail(const QString &message)
{
    throw BenchError(message);
}

BenchConnection::BenchConnection(const QString &target, const QString &where) : m_where(where)
{
    guarded(m_where, [&] {
        m_attachment = std::make_unique<db::client::Attachment>(
            target, db::client::Login{QStringLiteral("SYSDBA"), testserver::password(), {}});
        m_reading = std::make_unique<db::client::Transaction>(
            *m_attachment, db::client::TransactionKind::ReadCommittedReadOnly);
    });
}

void BenchConnection::execute(const QStringList &statements)
{
    db::client::Transaction transaction(*m_attachment, db::client::TransactionKind::Command,
                                        db::TDatabase::DefaultLockTimeoutSeconds);
    for (const QString &statement : statements) {
        guarded(QStringLiteral("%1: %2").arg(m_where, statement),
                [&] { m_attachment->execute(transaction, statement); });
    }
    guarded(m_where, [&] { transaction.commit(); });
}

QList<QStringList> BenchConnection::rows(const QString &sql, const QStringList &params)
{
    return guarded(QStringLiteral("%1: %2").arg(m_where, sql), [&] {
        db::client::Statement statement(*m_attachment, *m_reading, sql);
        db::client::Cursor &cursor = statement.open(*m_reading, params);
        QList<QStringList> rows;
        while (cursor.fetch()) {
            QStringList row;
            for (int i = 0; i < cursor.columnCount(); ++i)
                row.append(cursor.text(i));
            rows.append(row);
        }
        return rows;
    });
}

void out(const QString &line)
{
    std::fputs(qPrintable(line), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

double msSince(const QElapsedTimer &clock)
{
    return double(clock.nsecsElapsed()) / 1e6;
}

double processCpuMs()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

// Wall time and this process's CPU time side by side: the server works in
double median(QList<double> values)
{
    if (values.isEmpty())
        return 0;
    std::sort(values.begin(), values.end());
    const qsizetype n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

QString kib(double bytes)
{
    return QStringLiteral("%1 KiB").arg(bytes / 1024.0, 0, 'f', 0);
}

qint64 procStatusKb(const char *key)
{
    QFile file(QStringLiteral("/proc/self/status"));
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray prefix = QByteArray(key) + ':';
    for (const QByteArray &line : file.readAll().split('\n')) {
        if (line.startsWith(prefix))
            return line.mid(prefix.size()).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

// Bytes the allocator has handed out and not got back: unlike RSS it is
// blind to mapped library pages and to freed memory not yet returned.
qint64 heapInUse()
{
    const struct mallinfo2 info = mallinfo2();
    return qint64(info.uordblks + info.hblkhd);
}

qsizetype trimmedLength(const QString &value)
{
    qsizetype end = value.size();
    while (end > 0 && value.at(end - 1) == QLatin1Char(' '))
        --end;
    return end;
}

// Posted events (repaints, deferred layout) run only when the loop turns;
// events posted while these run wait for the next turn, hence a few turns.
void settle()
{
    for (int i = 0; i < 3; ++i)
        QCoreApplication::processEvents(QEventLoop::AllEvents);
}

// Other work on the machine shows in every figure: the load average is
// printed at both ends of the run so that a reader can tell.
QString loadAverage()
{
    QFile file(QStringLiteral("/proc/loadavg"));
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("unknown");
    return QString::fromLatin1(file.readAll().split(' ').mid(0, 3).join(' '));
}

QString cpuModel()
{
    QFile file(QStringLiteral("/proc/cpuinfo"));
    if (file.open(QIODevice::ReadOnly)) {
        for (const QByteArray &line : file.readAll().split('\n')) {
            if (line.startsWith("model name"))
                return QString::fromUtf8(line.mid(line.indexOf(':') + 1).trimmed());
        }
    }
    return QStringLiteral("unknown CPU");
}

} // namespace kbench
