// Saving the whole catalogue as SQL, as `kelvane --export` and the window's
// "Save as SQL" do: one read of the catalogue and its statements written,
// beside a bare read of every catalogue row through the same client
// interface.
#include "Bench.h"

#include "TestServer.h"
#include "db/Compare.h"
#include "db/Database.h"
#include "db/Export.h"
#include "db/SavedExport.h"

#include <QBuffer>

#include <algorithm>
#include <functional>

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

std::unique_ptr<db::client::Statement> bareReadStatement(BenchConnection &bare)
{
    return guarded(QStringLiteral("bare read"), [&] {
        return std::make_unique<db::client::Statement>(
            bare.attachment(), bare.reading(), QStringLiteral("SELECT * FROM RDB$USER_PRIVILEGES"));
    });
}

std::unique_ptr<db::TDatabase> programConnection()
{
    auto database = std::make_unique<db::TDatabase>(QStringLiteral("KELVANE"));
    database->setAliasName(Alias);
    database->paramsAdd(QStringLiteral("USERNAME=SYSDBA"));
    database->paramsAdd(QStringLiteral("PASSWORD=") + testserver::password());
    guarded(QStringLiteral("connect"), [&] { database->open(); });
    return database;
}

// The comparison where nearly everything differs: the catalogue against an
// empty database's (every row revoked) and the other way round (every row
// granted), and read back from its own saved file, as the window lists it.
void measureLargeDifferences(db::TDatabase &database)
{
    const db::Catalogue mine =
        guarded(QStringLiteral("compare"), [&] { return db::readCatalogue(database); });
    db::Catalogue empty;
    empty.owners = mine.owners;
    empty.isFirebird3 = mine.isFirebird3;
    const auto timed = [](const QString &what, const std::function<qsizetype()> &work) {
        QElapsedTimer clock;
        clock.start();
        const qsizetype count = work();
        out(QStringLiteral("  %1: %2 ms, %3").arg(what).arg(msSince(clock), 0, 'f', 1).arg(count));
    };
    timed(QStringLiteral("against an empty catalogue, listed by pair"), [&] {
        const db::CatalogueDifference difference = db::compareCatalogues(mine, empty);
        return db::pairsOf(difference).size();
    });
    timed(QStringLiteral("an empty catalogue against it, statements"),
          [&] { return db::compareCatalogues(empty, mine).changes.size(); });
    const QByteArray saved =
        guarded(QStringLiteral("compare"), [&] { return db::exportText(database).text; });
    timed(QStringLiteral("against its own saved file, read and compared"), [&] {
        const db::Catalogue file = db::catalogueOfExport(saved, QStringLiteral("saved"), &mine);
        if (!db::compareCatalogues(mine, file).isEmpty())
            fail(QStringLiteral("compare: a catalogue differs from its saved file"));
        return file.rows.size();
    });
}

} // namespace

double measureCompare(const QString &target, int runs)
{
    out();
    out(QStringLiteral("Compare (kelvane --diff of the catalogue with itself, over two "
                       "connections):"));
    const std::unique_ptr<db::TDatabase> here = programConnection();
    const std::unique_ptr<db::TDatabase> there = programConnection();
    BenchConnection bare(target, QStringLiteral("bare read"));
    const auto statement = bareReadStatement(bare);
    qint64 sink = 0;
    QList<double> program;
    QList<double> compareOnly;
    QList<double> floor;
    qsizetype rows = 0;
    for (int run = 0; run < runs; ++run) {
        QElapsedTimer clock;
        clock.start();
        const db::Catalogue mine =
            guarded(QStringLiteral("compare"), [&] { return db::readCatalogue(*here); });
        const db::Catalogue theirs =
            guarded(QStringLiteral("compare"), [&] { return db::readCatalogue(*there); });
        QElapsedTimer comparing;
        comparing.start();
        const db::CatalogueDifference difference = db::compareCatalogues(mine, theirs);
        compareOnly.append(msSince(comparing));
        program.append(msSince(clock));
        if (!difference.isEmpty())
            fail(QStringLiteral("compare: a catalogue differs from itself"));
        rows = mine.rows.size();
        floor.append(guarded(QStringLiteral("bare read"), [&] {
            return bareRead(bare, *statement, sink) + bareRead(bare, *statement, sink);
        }));
    }
    out(QStringLiteral("  %1 rows a side: both read and compared in a median %2 ms of %3 runs, "
                       "of it the comparison %4 ms; two bare reads %5 ms; ratio %6")
            .arg(rows)
            .arg(median(program), 0, 'f', 1)
            .arg(runs)
            .arg(median(compareOnly), 0, 'f', 1)
            .arg(median(floor), 0, 'f', 1)
            .arg(median(program) / median(floor), 0, 'f', 2));
    measureLargeDifferences(*here);
    return median(program) / median(floor);
}

double measureExport(const QString &target, int atLeast)
{
    const int runs = std::max(atLeast, LeastExportRuns);
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
    const auto statement = bareReadStatement(bare);
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
