// Saving the whole catalogue as SQL, as `kelvane --export` and the window's
// "Save as SQL" do: one read of the catalogue and its statements written,
// beside a bare read of every catalogue row through the same client
// interface.
#include "Bench.h"

#include "TestServer.h"
#include "db/Database.h"
#include "db/Export.h"

#include <QBuffer>

#include <algorithm>

namespace kbench {

namespace {

// The floor: every row of the catalogue fetched and each value read as text,
// on a kept connection in its kept read-only transaction, statement prepared
// once.
double bareRead(BenchConnection &connection, db::client::Statement &statement, qint64 &sink)
{
    Stopwatch clock;
    clock.start();
    db::client::Cursor &cursor = statement.open(connection.reading(), {});
    while (cursor.fetch()) {
        for (int i = 0; i < cursor.columnCount(); ++i)
            sink += cursor.text(i).size();
    }
    statement.closeCursor();
    return clock.elapsed().wall;
}

} // namespace

double measureExport(const QString &target, int runs)
{
    out();
    out(QStringLiteral("Save as SQL (the whole catalogue, as kelvane --export writes it):"));
    QElapsedTimer clock;
    clock.start();
    db::TDatabase database(QStringLiteral("KELVANE"));
    database.setAliasName(Alias);
    database.paramsAdd(QStringLiteral("USERNAME=SYSDBA"));
    database.paramsAdd(QStringLiteral("PASSWORD=") + testserver::password());
    QBuffer first;
    first.open(QIODevice::WriteOnly);
    const qsizetype statements = guarded(QStringLiteral("export"), [&] {
        database.open();
        return db::writeExport(database, first);
    });
    const double cold = msSince(clock);

    // Where the time goes, once: the read, then the statements.
    clock.restart();
    const db::Catalogue catalogue =
        guarded(QStringLiteral("export"), [&] { return db::readCatalogue(database); });
    const double readMs = msSince(clock);
    clock.restart();
    const qsizetype planned = db::exportStatements(catalogue.rows, catalogue.owners).size();
    const double planMs = msSince(clock);
    if (planned != statements)
        fail(QStringLiteral("export: %1 statements written, %2 planned")
                 .arg(statements)
                 .arg(planned));

    BenchConnection bare(target, QStringLiteral("bare read"));
    const auto statement = guarded(QStringLiteral("bare read"), [&] {
        return std::make_unique<db::client::Statement>(
            bare.attachment(), bare.reading(), QStringLiteral("SELECT * FROM RDB$USER_PRIVILEGES"));
    });
    qint64 sink = 0;
    QList<double> program;
    QList<double> floor;
    for (int run = 0; run < runs; ++run) {
        QBuffer buffer;
        buffer.open(QIODevice::WriteOnly);
        clock.restart();
        guarded(QStringLiteral("export"), [&] { (void)db::writeExport(database, buffer); });
        program.append(msSince(clock));
        floor.append(
            guarded(QStringLiteral("bare read"), [&] { return bareRead(bare, *statement, sink); }));
    }
    out(QStringLiteral("  %1 catalogue rows, %2 owners; %3 GRANT statements, %4")
            .arg(catalogue.rows.size())
            .arg(catalogue.owners.size())
            .arg(statements)
            .arg(kib(double(first.size()))));
    out(QStringLiteral("  connect and export, first run: %1 ms").arg(cold, 0, 'f', 1));
    out(QStringLiteral("  export on a kept connection: median %1 ms of %2 runs (min %3 ms); "
                       "of it the read %4 ms and the statements %5 ms, once")
            .arg(median(program), 0, 'f', 1)
            .arg(runs)
            .arg(*std::min_element(program.begin(), program.end()), 0, 'f', 1)
            .arg(readMs, 0, 'f', 1)
            .arg(planMs, 0, 'f', 1));
    out(QStringLiteral("  bare read of every catalogue row: median %1 ms; ratio %2 (%3 characters)")
            .arg(median(floor), 0, 'f', 1)
            .arg(median(program) / median(floor), 0, 'f', 2)
            .arg(sink));
    return median(program) / median(floor);
}

} // namespace kbench
