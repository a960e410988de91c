// The engine layer against the private server: fields, rows, bookmarks,
// notifications, aliases and failures.
#include "TestServer.h"
#include "db/Batch.h"
#include "db/DataSet.h"
#include "db/Database.h"
#include "db/Exception.h"
#include "db/Query.h"
#include "db/Session.h"
#include "db/Table.h"

#include <QScopeGuard>
#include <QSignalSpy>
#include <QTest>
#include <memory>

using testserver::AliasFile;
using testserver::DelayedAction;
using testserver::transactionsOf;
using testui::failureOf;

class TestEngine : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void fieldsBindByNameWhateverTheColumnOrder();
    void missingFieldFailsTheOpen();
    void fieldNamesChangeOnlyWhileClosed();
    void keptRowsOpenAnotherDatasetOnce();
    void charLosesItsPaddingOnly();
    void failuresCarryTheServersMessage();
    void revokeOfPrivilegeNotHeldIsNoFailure();
    void executedStatementTakesEffectAtOnce();
    void parametersAreSetByPosition();
    void movesAndTheirNotifications();
    void calculatedFieldsAreFilledPerRowRead();
    void bookmarkFindsItsRowAfterRowsAddedBefore();
    void bookmarkOfVanishedRowFallsBackToNearestPosition();
    void nullAndClosedBookmarksDoNothing();
    void disablingControlsIsCounted();
    void tableKeyLookupIsExact();
    void closingTheConnectionClosesItsDatasets();
    void aliasFile();
    void refusedLoginCarriesTheServersMessage();
    void statementsAreLoggedPasswordsAreNot();
    void batchesStopAtEachRefusalInOrder();
    void uncommittedCommandLeavesNothing();
    void statementThenItsRowsInOneRoundTrip_data();
    void statementThenItsRowsInOneRoundTrip();
    void guardedStatementBetweenItsRows_data();
    void guardedStatementBetweenItsRows();
    void readsSeeCommitsThroughStatementsPreparedOnce();
    void failedCommitLeavesNoTransaction();
    void lockConflictEndsTheCommand();
    void lostConnectionIsToldByItsCode();

private:
    // Whether each transaction of the connection is read-only ("1") or not.
    [[nodiscard]] static QString valueOf(db::TDatabase &connection, const QString &select);
    std::unique_ptr<db::TQuery> peopleQuery(const QString &order = QStringLiteral("ID"));

    std::unique_ptr<testserver::TestDatabase> m_db;
    std::unique_ptr<AliasFile> m_aliases;
    std::unique_ptr<db::TDatabase> m_connection;
};

void TestEngine::initTestCase()
{
    m_db = std::make_unique<testserver::TestDatabase>(QStringLiteral("engine"));
    m_db->run(QStringLiteral(
        "CREATE TABLE PEOPLE (ID INTEGER NOT NULL PRIMARY KEY, NAME CHAR(10), NOTE VARCHAR(20));\n"
        "INSERT INTO PEOPLE VALUES (1, 'BOB', 'two  ');\n"
        "INSERT INTO PEOPLE VALUES (2, 'CAROL', '  lead');\n"
        "INSERT INTO PEOPLE VALUES (3, 'DAVE', NULL);\n"
        "INSERT INTO PEOPLE VALUES (4, 'Eve', '');\n"));
    m_aliases = std::make_unique<AliasFile>(QList<AliasFile::Alias>{
        {QStringLiteral("TEST"), QStringLiteral("INTRBASE"), m_db->connectionString()},
        {QStringLiteral("OTHER"), QStringLiteral("STANDARD"), QStringLiteral("/nowhere")}});
}

void TestEngine::init()
{
    m_connection = testserver::connectAsSysdba(QStringLiteral("TEST"));
}

void TestEngine::cleanup()
{
    m_connection.reset();
}

std::unique_ptr<db::TQuery> TestEngine::peopleQuery(const QString &order)
{
    auto query = std::make_unique<db::TQuery>(*m_connection);
    query->setName(QStringLiteral("People"));
    query->sqlAdd(QStringLiteral("SELECT NOTE, NAME, ID"));
    query->sqlAdd(QStringLiteral("FROM PEOPLE ORDER BY ") + order);
    query->addField(QStringLiteral("NAME"), db::FieldKind::Data, 10);
    query->addField(QStringLiteral("NOTE"), db::FieldKind::Data, 20);
    return query;
}

void TestEngine::fieldsBindByNameWhateverTheColumnOrder()
{
    auto query = peopleQuery();
    query->open();
    QCOMPARE(query->fields(0)->text(), QStringLiteral("BOB"));
    QCOMPARE(query->fields(1)->text(), QStringLiteral("two  "));
    QCOMPARE(query->fieldByName(QStringLiteral("NOTE"))->index(), 1);
    QCOMPARE(query->recordCount(), 4);
    QCOMPARE(failureOf([&] { (void)query->fieldByName(QStringLiteral("ID")); }),
             QStringLiteral("Field 'ID' not found"));
}

void TestEngine::missingFieldFailsTheOpen()
{
    auto query = peopleQuery();
    query->addField(QStringLiteral("RDB$USER"), db::FieldKind::Data, 31);
    QCOMPARE(failureOf([&] { query->open(); }), QStringLiteral("Field 'RDB$USER' not found"));
    QVERIFY(!query->active());
    QCOMPARE(query->fields(0)->text(), QString());
}

void TestEngine::fieldNamesChangeOnlyWhileClosed()
{
    auto query = peopleQuery();
    query->open();
    QVERIFY(failureOf([&] {
                query->fields(0)->setFieldName(QStringLiteral("NOTE"));
            }).contains(QStringLiteral("while the dataset is open")));
    QCOMPARE(query->fields(0)->fieldName(), QStringLiteral("NAME"));
    query->close();
    query->fields(0)->setFieldName(QStringLiteral("ID"));
    query->open();
    QCOMPARE(query->fields(0)->text(), QStringLiteral("1"));
}

void TestEngine::keptRowsOpenAnotherDatasetOnce()
{
    // Rows hidden by a filter travel too, and fields match by name.
    auto from = peopleQuery();
    from->setRowFilter({0, QStringLiteral("o"), {}, {}, -1});
    from->open();
    QCOMPARE(from->recordCount(), 2);
    auto to = peopleQuery();
    to->fields(0)->setFieldName(QStringLiteral("NOTE"));
    to->fields(1)->setFieldName(QStringLiteral("NAME"));
    to->openNextWith(from->readRows());
    to->open();
    QStringList names;
    for (to->first(); !to->eof(); to->next())
        names << to->fields(1)->text();
    QCOMPARE(names, (QStringList{"BOB", "CAROL", "DAVE", "Eve"}));
    QCOMPARE(to->fields(0)->textAt(1), QStringLiteral("  lead"));
    // Once only: the next open reads the server.
    to->close();
    to->openNextWith({{QStringLiteral("NAME"), QStringLiteral("NOTE")}, {"KEPT", "x"}});
    to->open();
    QCOMPARE(to->recordCount(), 1);
    to->close();
    to->open();
    QCOMPARE(to->recordCount(), 4);
    // A field the rows lack fails the open, as a column the server lacks.
    auto other = peopleQuery();
    other->addField(QStringLiteral("RDB$USER"), db::FieldKind::Data, 31);
    other->openNextWith(from->readRows());
    QCOMPARE(failureOf([&] { other->open(); }), QStringLiteral("Field 'RDB$USER' not found"));
    QVERIFY(!other->active());
}

void TestEngine::charLosesItsPaddingOnly()
{
    auto query = peopleQuery();
    query->open();
    QStringList names;
    QStringList notes;
    for (query->first(); !query->eof(); query->next()) {
        names << query->fields(0)->text();
        notes << query->fields(1)->text();
    }
    QCOMPARE(names, (QStringList{"BOB", "CAROL", "DAVE", "Eve"}));
    // A VARCHAR keeps what was stored: only a CHAR is padded.
    QCOMPARE(notes, (QStringList{"two  ", "  lead", "", ""}));

    // The catalogue's names are CHAR(31) (CHAR(63) on Firebird 4), padded
    // to four bytes a character in UTF-8.
    db::TQuery catalogue(*m_connection);
    catalogue.sqlAdd(QStringLiteral("SELECT FIRST 1 RDB$RELATION_NAME FROM RDB$RELATIONS "
                                    "WHERE RDB$RELATION_NAME = 'PEOPLE'"));
    catalogue.addField(QStringLiteral("RDB$RELATION_NAME"), db::FieldKind::Data, 31);
    catalogue.open();
    QCOMPARE(catalogue.fields(0)->text(), QStringLiteral("PEOPLE"));

    // Only trailing blanks are padding: inner and leading ones are data.
    db::TQuery casts(*m_connection);
    casts.sqlAdd(QStringLiteral("SELECT CAST('ab   cd' AS CHAR(11)) AS A, CAST('' AS CHAR(5)) AS B,"
                                " CAST('x' AS CHAR(1)) AS C, CAST('  lead' AS CHAR(7)) AS D,"
                                " CAST('wxyz' AS CHAR(4)) AS E FROM RDB$DATABASE"));
    QStringList expected{"ab   cd", "", "x", "  lead", "wxyz"};
    for (const char *column : {"A", "B", "C", "D", "E"})
        casts.addField(QString::fromLatin1(column), db::FieldKind::Data, 11);
    casts.open();
    for (int i = 0; i < casts.fieldCount(); ++i)
        QCOMPARE(casts.fields(i)->text(), expected[i]);
}

void TestEngine::failuresCarryTheServersMessage()
{
    db::TQuery query(*m_connection);
    query.sqlAdd(QStringLiteral("SELECT X FROM NOSUCH"));
    const QString openFailure = failureOf([&] { query.open(); });
    QVERIFY2(openFailure.contains(QStringLiteral("Table unknown")), qPrintable(openFailure));
    QVERIFY2(openFailure.contains(QStringLiteral("NOSUCH")), qPrintable(openFailure));

    query.sqlClear();
    query.sqlAdd(QStringLiteral("GRANT SELECT ON NOSUCH TO FRED"));
    const QString grantFailure = failureOf([&] { query.execSQL(); });
    QVERIFY2(grantFailure.contains(QStringLiteral("Table NOSUCH does not exist")),
             qPrintable(grantFailure));
    QVERIFY(!query.active());

    // The codes decide, the words are for the administrator: a login
    // without the right gets the server's no-permission code, and a code
    // the client does not know (Firebird 4's "Effective user is" through a
    // Firebird 3 client) keeps its number and its arguments.
    m_db->run(QStringLiteral("CREATE USER ENGINE_NOBODY PASSWORD 'x';"));
    const auto dropUser =
        qScopeGuard([this] { m_db->run(QStringLiteral("DROP USER ENGINE_NOBODY;")); });
    db::TDatabase nobody(QStringLiteral("engine"));
    nobody.setAliasName(QStringLiteral("TEST"));
    nobody.paramsAdd(QStringLiteral("USERNAME=ENGINE_NOBODY"));
    nobody.paramsAdd(QStringLiteral("PASSWORD=x"));
    nobody.open();
    db::TQuery denied(nobody);
    denied.sqlAdd(QStringLiteral("SELECT NAME FROM PEOPLE"));
    denied.addField(QStringLiteral("NAME"), db::FieldKind::Data, 10);
    try {
        denied.open();
        QFAIL("a login without SELECT read PEOPLE");
    } catch (const kelvane::EngineError &failure) {
        QVERIFY2(failure.noPermission(), qPrintable(failure.message()));
        QVERIFY(!failure.lostConnection() && !failure.lockConflict());
        QVERIFY2(failure.message().contains(QStringLiteral("no permission for SELECT access")),
                 qPrintable(failure.message()));
        if (failure.message().contains(QStringLiteral("unknown ISC error 335545254")))
            QVERIFY2(failure.message().contains(QStringLiteral("arguments: ENGINE_NOBODY")),
                     qPrintable(failure.message()));
    }
}

void TestEngine::revokeOfPrivilegeNotHeldIsNoFailure()
{
    db::TQuery query(*m_connection);
    query.sqlAdd(QStringLiteral("REVOKE SELECT ON PEOPLE FROM NOBODY_AT_ALL"));
    query.execSQL();
    QVERIFY(!query.active());
}

void TestEngine::executedStatementTakesEffectAtOnce()
{
    db::TQuery change(*m_connection);
    change.sqlAdd(QStringLiteral("GRANT UPDATE ON PEOPLE TO AT_ONCE"));
    change.execSQL();

    // Another connection sees it: it was committed, not merely sent.
    testserver::TestDatabase &database = *m_db;
    QCOMPARE(database.column(QStringLiteral("SELECT RDB$PRIVILEGE FROM RDB$USER_PRIVILEGES "
                                            "WHERE RDB$USER = 'AT_ONCE'")),
             QStringList{QStringLiteral("U")});
}

void TestEngine::parametersAreSetByPosition()
{
    db::TQuery query(*m_connection);
    query.setName(QStringLiteral("ByName"));
    query.sqlAdd(QStringLiteral("SELECT ID FROM PEOPLE"));
    query.sqlAdd(QStringLiteral("WHERE NAME = :Who"));
    query.addField(QStringLiteral("ID"), db::FieldKind::Data, 10);
    QCOMPARE(query.paramCount(), 1);
    QCOMPARE(query.paramName(0), QStringLiteral("Who"));
    query.setParamText(0, QStringLiteral("CAROL"));
    query.open();
    QCOMPARE(query.fields(0)->text(), QStringLiteral("2"));
    QVERIFY(failureOf([&] {
                query.setParamText(1, QString());
            }).contains(QStringLiteral("out of range")));

    // Changing the text closes the query and derives the parameters anew.
    query.sqlClear();
    QVERIFY(!query.active());
    QCOMPARE(query.paramCount(), 0);
}

void TestEngine::movesAndTheirNotifications()
{
    auto query = peopleQuery();
    QStringList scrolledTo;
    query->setAfterScroll([&](db::TDataSet &ds) { scrolledTo << ds.fields(0)->text(); });

    query->open();
    QCOMPARE(scrolledTo, QStringList{"BOB"});
    QVERIFY(query->bof());
    QVERIFY(!query->eof());
    query->next();
    query->next();
    query->prior();
    query->last();
    QVERIFY(query->eof());
    query->next(); // already on the last row: no move, no notification
    QVERIFY(query->eof());
    QCOMPARE(query->fields(0)->text(), QStringLiteral("Eve"));
    query->first();
    QVERIFY(query->bof());
    query->prior();
    QVERIFY(query->bof());
    QCOMPARE(scrolledTo, (QStringList{"BOB", "CAROL", "DAVE", "CAROL", "Eve", "BOB"}));

    // An open that yields no rows does not scroll.
    query->close();
    query->sqlClear();
    query->sqlAdd(QStringLiteral("SELECT NOTE, NAME FROM PEOPLE WHERE ID < 0"));
    scrolledTo.clear();
    query->open();
    QVERIFY(scrolledTo.isEmpty());
    QVERIFY(query->eof() && query->bof());
    QCOMPARE(query->recordCount(), 0);
    QCOMPARE(query->fields(0)->text(), QString());
}

void TestEngine::calculatedFieldsAreFilledPerRowRead()
{
    auto query = peopleQuery();
    db::TField *calc = query->addField(QStringLiteral("CALC"), db::FieldKind::Calculated, 12);
    QStringList seen;
    query->setOnCalcFields([&](db::TDataSet &ds) {
        // Emptied before every calculation, whatever the row held before.
        QVERIFY(calc->text().isEmpty());
        seen << ds.fields(0)->text();
        if (ds.fields(0)->text() != QLatin1String("DAVE"))
            calc->setText(ds.fields(0)->text().toLower());
    });
    query->open();
    // The row the open stands on at once, each other when first read, once.
    QCOMPARE(seen, QStringList{"BOB"});
    QCOMPARE(calc->textAt(1), QStringLiteral("carol"));
    QCOMPARE(calc->textAt(2), QString());
    QCOMPARE(calc->textAt(1), QStringLiteral("carol"));
    QCOMPARE(seen, (QStringList{"BOB", "CAROL", "DAVE"}));

    // Writing a calculated field does not calculate anything again.
    seen.clear();
    calc->setText(QStringLiteral("written"));
    QCOMPARE(calc->text(), QStringLiteral("written"));
    QVERIFY(seen.isEmpty());
    QVERIFY(failureOf([&] {
                query->fields(0)->setText(QStringLiteral("x"));
            }).contains(QStringLiteral("cannot be modified")));

    // Reading the rows again calculates them again.
    query->close();
    query->open();
    QCOMPARE(seen, QStringList{"BOB"});
    QCOMPARE(calc->text(), QStringLiteral("bob"));

    // Calculating again without reading: written values go, the rows and a
    // move made meanwhile are told as one change of values.
    db::TDataSource source;
    source.setDataSet(query.get());
    QSignalSpy changed(&source, &db::TDataSource::dataSetChanged);
    QSignalSpy values(&source, &db::TDataSource::valuesChanged);
    calc->setText(QStringLiteral("written"));
    seen.clear();
    query->disableControls();
    query->next();
    query->recalculate();
    query->enableControls();
    QCOMPARE(seen, QStringList{"CAROL"});
    QCOMPARE(calc->text(), QStringLiteral("carol"));
    QCOMPARE(calc->textAt(0), QStringLiteral("bob"));
    QCOMPARE(seen, (QStringList{"CAROL", "BOB"}));
    QCOMPARE(query->recNo(), 1);
    QCOMPARE(values.size(), 1);
    QCOMPARE(changed.size(), 1); // setText's own, with controls enabled
}

void TestEngine::bookmarkFindsItsRowAfterRowsAddedBefore()
{
    auto query = peopleQuery(QStringLiteral("NAME"));
    query->open();
    query->moveBy(2);
    QCOMPARE(query->fields(0)->text(), QStringLiteral("DAVE"));
    db::TBookmark bookmark = query->bookmark();

    m_db->run(QStringLiteral("INSERT INTO PEOPLE VALUES (10, 'AARON', NULL);\n"
                             "INSERT INTO PEOPLE VALUES (11, 'ABE', NULL);"));
    query->close();
    query->open();
    int scrolls = 0;
    query->setAfterScroll([&](db::TDataSet &) { ++scrolls; });
    query->gotoBookmark(bookmark);
    QCOMPARE(query->fields(0)->text(), QStringLiteral("DAVE"));
    QCOMPARE(query->recNo(), 4);
    QCOMPARE(scrolls, 1);
    m_db->run(QStringLiteral("DELETE FROM PEOPLE WHERE ID >= 10;"));
}

void TestEngine::bookmarkOfVanishedRowFallsBackToNearestPosition()
{
    m_db->run(QStringLiteral("INSERT INTO PEOPLE VALUES (20, 'ZED', NULL);"));
    auto query = peopleQuery(QStringLiteral("NAME"));
    query->open();
    query->moveBy(2); // DAVE
    db::TBookmark middle = query->bookmark();
    query->last(); // ZED
    db::TBookmark lastRow = query->bookmark();

    m_db->run(QStringLiteral("DELETE FROM PEOPLE WHERE ID IN (3, 20);"));
    query->close();
    query->open();
    query->gotoBookmark(middle);
    QCOMPARE(query->fields(0)->text(), QStringLiteral("Eve")); // DAVE's place
    query->gotoBookmark(lastRow);
    QCOMPARE(query->fields(0)->text(), QStringLiteral("Eve")); // the last there is
    m_db->run(QStringLiteral("INSERT INTO PEOPLE VALUES (3, 'DAVE', NULL);"));

    // A row that is still there is found, also when rows before it went.
    query->close();
    query->open();
    query->last();
    db::TBookmark eve = query->bookmark();
    QCOMPARE(query->recNo(), 3);
    m_db->run(QStringLiteral("DELETE FROM PEOPLE WHERE ID IN (1, 2);"));
    query->close();
    query->open();
    query->gotoBookmark(eve);
    QCOMPARE(query->fields(0)->text(), QStringLiteral("Eve"));
    QCOMPARE(query->recNo(), 1);
    m_db->run(QStringLiteral("INSERT INTO PEOPLE VALUES (1, 'BOB', 'two  ');\n"
                             "INSERT INTO PEOPLE VALUES (2, 'CAROL', '  lead');"));
}

void TestEngine::nullAndClosedBookmarksDoNothing()
{
    auto query = peopleQuery();
    QVERIFY(query->bookmark().isNull());
    query->open();
    query->next();
    int scrolls = 0;
    query->setAfterScroll([&](db::TDataSet &) { ++scrolls; });
    query->gotoBookmark(db::TBookmark());
    db::TBookmark bookmark = query->bookmark();
    db::TDataSet::freeBookmark(bookmark);
    query->gotoBookmark(bookmark);
    QCOMPARE(query->recNo(), 1);
    QCOMPARE(scrolls, 0);
}

void TestEngine::disablingControlsIsCounted()
{
    auto query = peopleQuery();
    db::TDataSource source;
    source.setDataSet(query.get());
    QSignalSpy changed(&source, &db::TDataSource::dataSetChanged);
    QSignalSpy scrolled(&source, &db::TDataSource::scrolled);

    query->open();
    QCOMPARE(changed.count(), 1);
    query->next();
    QCOMPARE(scrolled.count(), 1);

    query->disableControls();
    query->disableControls();
    query->next();
    query->close();
    query->open();
    query->enableControls();
    QVERIFY(query->controlsDisabled());
    QCOMPARE(changed.count(), 1);
    QCOMPARE(scrolled.count(), 1);
    query->enableControls();
    QVERIFY(!query->controlsDisabled());
    QCOMPARE(changed.count(), 2); // once for all that happened meanwhile
    QCOMPARE(scrolled.count(), 1);

    // Enabling more often than disabled never goes below zero.
    query->enableControls();
    query->disableControls();
    query->next();
    QCOMPARE(scrolled.count(), 1);
    query->enableControls();
    QCOMPARE(scrolled.count(), 2);

    // Nothing happened while disabled: nothing to announce.
    query->disableControls();
    query->enableControls();
    QCOMPARE(changed.count(), 2);
    QCOMPARE(scrolled.count(), 2);
}

void TestEngine::tableKeyLookupIsExact()
{
    db::TTable table(*m_connection);
    table.setTableName(QStringLiteral("PEOPLE"));
    table.setIndexFieldName(QStringLiteral("NAME"));
    db::TField *name = table.addField(QStringLiteral("NAME"), db::FieldKind::Data, 10);
    table.open();
    QVERIFY(table.findKey(QStringLiteral("DAVE")));
    QCOMPARE(name->text(), QStringLiteral("DAVE"));
    QVERIFY(!table.findKey(QStringLiteral("dave")));
    QVERIFY(!table.findKey(QStringLiteral("DAV")));
    QVERIFY(!table.findKey(QString()));
    QCOMPARE(name->text(), QStringLiteral("DAVE"));
    QVERIFY(table.findKey(QStringLiteral("Eve")));
}

void TestEngine::closingTheConnectionClosesItsDatasets()
{
    auto query = peopleQuery();
    query->open();
    query->prepare();
    m_connection->close();
    QVERIFY(!m_connection->connected());
    QVERIFY(!query->active());
    QVERIFY(!query->prepared());
    m_connection->open();
    query->open();
    QCOMPARE(query->recordCount(), 4);
}

void TestEngine::aliasFile()
{
    QCOMPARE(db::TSession::aliasNames(), (QStringList{"TEST", "OTHER"}));
    QCOMPARE(db::TSession::aliasDriverName(QStringLiteral("OTHER")), QStringLiteral("STANDARD"));
    QCOMPARE(failureOf([] { (void)db::TSession::aliasDriverName(QStringLiteral("test")); }),
             QStringLiteral("Invalid alias name test"));

    db::TDatabase other(QStringLiteral("OTHER"));
    other.setAliasName(QStringLiteral("OTHER"));
    QVERIFY(failureOf([&] { other.open(); }).contains(QStringLiteral("STANDARD")));

    {
        AliasFile missing({});
        QFile::remove(missing.path());
        QCOMPARE(db::TSession::aliasNames(), QStringList());
    }
    {
        AliasFile malformed({});
        malformed.writeRaw("[DEMO\nDriver=INTRBASE\n");
        QVERIFY(failureOf([] {
                    (void)db::TSession::aliasNames();
                }).contains(QStringLiteral("is not a valid INI file")));
    }
    {
        AliasFile folder({});
        QFile::remove(folder.path());
        QVERIFY(QDir().mkdir(folder.path()));
        QVERIFY(failureOf([] {
                    (void)db::TSession::aliasNames();
                }).startsWith(QStringLiteral("Cannot read the alias file")));
    }
    QCOMPARE(db::TSession::aliasNames(), (QStringList{"TEST", "OTHER"}));
}

void TestEngine::refusedLoginCarriesTheServersMessage()
{
    db::TDatabase refused(QStringLiteral("KELVANE"));
    refused.setAliasName(QStringLiteral("TEST"));
    refused.paramsAdd(QStringLiteral("USERNAME=SYSDBA"));
    refused.paramsAdd(QStringLiteral("PASSWORD=wrong") + testserver::password());
    const QString message = failureOf([&] { refused.open(); });
    QVERIFY2(message.contains(QStringLiteral("user name and password are not defined")),
             qPrintable(message));
    QVERIFY(!refused.connected());
}

void TestEngine::statementsAreLoggedPasswordsAreNot()
{
    SqlLog log;
    m_connection->close();
    m_connection->open();
    auto query = peopleQuery();
    query->open();
    db::TQuery change(*m_connection);
    change.sqlAdd(QStringLiteral("REVOKE SELECT ON PEOPLE FROM NOBODY"));
    change.execSQL();

    QCOMPARE(log.linesOf(QStringLiteral("open")),
             QStringList{QStringLiteral("SELECT NOTE, NAME, ID\nFROM PEOPLE ORDER BY ID")});
    QCOMPARE(log.linesOf(QStringLiteral("execute")),
             QStringList{QStringLiteral("REVOKE SELECT ON PEOPLE FROM NOBODY")});
    QCOMPARE(log.linesOf(QStringLiteral("connect")).size(), 1);
    for (const QString &line : log.lines())
        QVERIFY2(!line.contains(testserver::password()), qPrintable(line));
}

namespace {

// Walks the statements as a command does, going on past every refusal;
// returns each refused statement's index with the server's reason. Every
// batch runs at least one statement or stops at one, so a walk needs no more
// batches than there are statements: one more means a batch that went
// nowhere, and the walk gives up there rather than spin for ever.
QList<std::pair<qsizetype, QString>> walk(db::TCommandTransaction &work,
                                          const QStringList &statements, int *batches)
{
    QList<std::pair<qsizetype, QString>> refusals;
    qsizetype next = 0;
    while (next < statements.size() && *batches <= statements.size()) {
        const db::TCommandTransaction::Step step = work.run(statements, next);
        ++*batches;
        next = step.next;
        if (step.refused)
            refusals.append({next++, step.message});
    }
    return refusals;
}

} // namespace

void TestEngine::batchesStopAtEachRefusalInOrder()
{
    // 250 statements: a refused grant, a refused revoke, one too long to
    // travel in a batch, and names of two and three UTF-8 bytes a
    // character among them, which the batch's lengths count in bytes.
    const auto nameOf = [](int i) {
        return i % 40 == 5 ? QStringLiteral("BATCH%1 é数").arg(i)
                           : QStringLiteral("BATCH%1").arg(i);
    };
    QStringList statements;
    for (int i = 0; i < 250; ++i)
        statements.append(QStringLiteral("GRANT SELECT ON PEOPLE TO \"%1\"").arg(nameOf(i)));
    statements[17] = QStringLiteral("GRANT SELECT ON NO_SUCH_TABLE TO BATCH17");
    statements[130] = QStringLiteral("REVOKE SELECT ON NO_SUCH_VIEW FROM BATCH130");
    statements[200] += QStringLiteral(" /*%1*/").arg(QString(33000, u'x'));
    int batches = 0;
    db::TCommandTransaction work(*m_connection);
    const auto refusals = walk(work, statements, &batches);
    QVERIFY2(batches <= statements.size(), "a batch ran no statement and stopped at none");
    work.commit();

    QCOMPARE(refusals.size(), 2);
    QCOMPARE(refusals[0].first, 17);
    QVERIFY2(refusals[0].second.contains(QLatin1String("NO_SUCH_TABLE")),
             qPrintable(refusals[0].second));
    QCOMPARE(refusals[1].first, 130);
    QVERIFY2(refusals[1].second.contains(QLatin1String("NO_SUCH_VIEW")),
             qPrintable(refusals[1].second));
    // Batches end at a refusal and before the long statement, which goes
    // alone: 0-17, 18-130, 131-199, 200 and 201-249.
    QCOMPARE(batches, 5);
    QStringList granted;
    for (int i = 0; i < 250; ++i) {
        if (i != 17 && i != 130)
            granted.append(nameOf(i));
    }
    granted.sort();
    QStringList stored = m_db->column(QStringLiteral(
        "SELECT RDB$USER FROM RDB$USER_PRIVILEGES WHERE RDB$USER STARTING WITH 'BATCH'"));
    stored.sort();
    QCOMPARE(stored, granted);
}

void TestEngine::statementThenItsRowsInOneRoundTrip_data()
{
    QTest::addColumn<QString>("grantee");
    QTest::addColumn<QString>("statement");
    QTest::addColumn<bool>("refused");
    QTest::addColumn<QStringList>("rows");
    const QString name = QStringLiteral("O'HARA é数:X");
    QTest::newRow("granted") << name << QStringLiteral("GRANT INSERT ON PEOPLE TO \"%1\"").arg(name)
                             << false << QStringList{"I", "S"};
    QTest::newRow("refused") << name << QStringLiteral("GRANT INSERT ON NO_SUCH_TABLE TO X") << true
                             << QStringList{"S"};
    QTest::newRow("too long for the block")
        << name
        << QStringLiteral("GRANT INSERT ON PEOPLE TO \"%1\" /*%2*/").arg(name, QString(33000, u'x'))
        << false << QStringList{"I", "S"};
}

// The rows come back as the statement left them, the queries' parameters
// kept, for each query's next open alone, a second query's after the
// first's; a refusal carries the server's reason.
void TestEngine::statementThenItsRowsInOneRoundTrip()
{
    QFETCH(QString, grantee);
    QFETCH(QString, statement);
    QFETCH(bool, refused);
    QFETCH(QStringList, rows);
    m_db->run(QStringLiteral("GRANT SELECT ON PEOPLE TO \"%1\";").arg(grantee));
    db::TQuery query(*m_connection);
    query.sqlAdd(QStringLiteral("SELECT TRIM(TRAILING FROM RDB$PRIVILEGE) AS LETTER, "
                                "TRIM(TRAILING FROM RDB$USER) AS GRANTEE FROM "
                                "RDB$USER_PRIVILEGES WHERE RDB$USER = :Grantee ORDER BY 1"));
    query.addField(QStringLiteral("GRANTEE"), db::FieldKind::Data, 63);
    query.addField(QStringLiteral("LETTER"), db::FieldKind::Data, 6);
    query.setParamText(0, grantee);
    db::TQuery held(*m_connection);
    held.sqlAdd(QStringLiteral("SELECT COUNT(*) AS HELD FROM RDB$USER_PRIVILEGES WHERE "
                               "RDB$USER = :Grantee"));
    held.addField(QStringLiteral("HELD"), db::FieldKind::Data, 4);
    held.setParamText(0, grantee);
    db::TCommandTransaction work(*m_connection);
    const db::TCommandTransaction::Step step = work.runThenRead(
        statement, {{&query, {{QStringLiteral("LETTER"), 6}, {QStringLiteral("GRANTEE"), 63}}},
                    {&held, {{QStringLiteral("HELD"), 4}}}});
    QCOMPARE(step.refused, refused);
    QCOMPARE(step.message.contains(QLatin1String("NO_SUCH_TABLE")), refused);
    // A grant after them is not in what the next open shows; a second open
    // reads it.
    QVERIFY(
        !work.run({QStringLiteral("GRANT DELETE ON PEOPLE TO \"%1\"").arg(grantee)}, 0).refused);
    QStringList letters;
    for (query.open(); !query.eof(); query.next()) {
        QCOMPARE(query.fieldByName(QStringLiteral("GRANTEE"))->text(), grantee);
        letters.append(query.fieldByName(QStringLiteral("LETTER"))->text());
    }
    query.close();
    // A statement too long for the block runs alone; the query then reads.
    if (statement.size() > 32000) {
        rows.append(QStringLiteral("D"));
        rows.sort();
    }
    QCOMPARE(letters, rows);
    held.open();
    QCOMPARE(held.fields(0)->text(), QString::number(rows.size()));
    held.close();
    query.open();
    QCOMPARE(query.recordCount(), 3 - int(refused));
    query.close();
    work.commit();
    m_db->run(QStringLiteral("REVOKE ALL ON PEOPLE FROM \"%1\";").arg(grantee));
}

void TestEngine::guardedStatementBetweenItsRows_data()
{
    QTest::addColumn<QString>("letter");
    QTest::addColumn<QString>("statement");
    QTest::addColumn<QString>("outcome");
    QTest::addColumn<QStringList>("after");
    const QString grant = QStringLiteral("GRANT INSERT ON PEOPLE TO \"O'HARA é数:X\"");
    QTest::newRow("guard holds") << "I" << grant << "ran" << QStringList{"I", "S"};
    QTest::newRow("guard fails") << "S" << grant << "held back" << QStringList{"S"};
    QTest::newRow("refused") << "I" << QStringLiteral("GRANT INSERT ON NO_SUCH_TABLE TO X")
                             << "refused" << QStringList{"S"};
    QTest::newRow("too long to go with its guard")
        << "I" << QStringLiteral("%1 /*%2*/").arg(grant, QString(33000, u'x')) << "held back"
        << QStringList{"S"};
}

// The rows before come whatever happens; the statement runs only where its
// guard holds, and the rows after show what it did.
void TestEngine::guardedStatementBetweenItsRows()
{
    QFETCH(QString, letter);
    QFETCH(QString, statement);
    QFETCH(QString, outcome);
    QFETCH(QStringList, after);
    const QString grantee = QStringLiteral("O'HARA é数:X");
    m_db->run(QStringLiteral("GRANT SELECT ON PEOPLE TO \"%1\";").arg(grantee));
    db::TQuery query(*m_connection);
    query.sqlAdd(QStringLiteral("SELECT TRIM(TRAILING FROM RDB$PRIVILEGE) AS LETTER FROM "
                                "RDB$USER_PRIVILEGES WHERE RDB$USER = :Grantee ORDER BY 1"));
    query.addField(QStringLiteral("LETTER"), db::FieldKind::Data, 6);
    query.setParamText(0, grantee);
    const db::TCommandTransaction::Guard guard{
        QStringLiteral("NOT EXISTS (SELECT 1 FROM RDB$USER_PRIVILEGES WHERE RDB$USER = :Who AND "
                       "RDB$PRIVILEGE = :Letter) AND :Who <> ''"),
        // The rows before it come from within the reach, and from outside it
        // after it.
        QStringLiteral("LETTER IN ('I', :Letter)"),
        {{QStringLiteral("Who"), grantee}, {QStringLiteral("Letter"), letter}}};
    const QList<db::TextColumn> columns{{QStringLiteral("LETTER"), 6}};
    // Read after the rows, as the statement left them, where the block ran.
    db::TQuery held(*m_connection);
    held.sqlAdd(QStringLiteral("SELECT COUNT(*) AS HELD FROM RDB$USER_PRIVILEGES WHERE "
                               "RDB$USER = :Grantee"));
    held.addField(QStringLiteral("HELD"), db::FieldKind::Data, 4);
    held.setParamText(0, grantee);
    db::TCommandTransaction work(*m_connection);
    db::TCommandTransaction::RowsAround rows;
    const db::TCommandTransaction::Step step = work.runBetweenReads(
        statement, guard, query, columns, rows, {{&held, {{QStringLiteral("HELD"), 4}}}});
    QCOMPARE(step.heldBack, outcome == QLatin1String("held back"));
    QCOMPARE(step.refused, outcome == QLatin1String("refused"));
    QCOMPARE(step.message.contains(QLatin1String("NO_SUCH_TABLE")), step.refused);
    QCOMPARE(work.ran(), qsizetype(outcome == QLatin1String("ran")));
    QCOMPARE(rows.before.values, std::vector<QString>{QStringLiteral("S")});
    QVERIFY(rows.after);
    QCOMPARE(QStringList(rows.after->values.begin(), rows.after->values.end()), after);
    // What runs after the block is not in the count read with it; a
    // statement too long for the block leaves the count to be read now.
    QVERIFY(
        !work.run({QStringLiteral("GRANT UPDATE ON PEOPLE TO \"%1\"").arg(grantee)}, 0).refused);
    held.open();
    const bool tooLong = statement.size() > 32000;
    QCOMPARE(held.fields(0)->text(), QString::number(after.size() + int(tooLong)));
    held.close();
    // A parameter without a value sends nothing.
    QVERIFY_THROWS_EXCEPTION(kelvane::Exception, (void)work.runBetweenReads(
                                                     statement, {guard.condition, guard.reach, {}},
                                                     query, columns, rows));
    work.commit();
    QCOMPARE(m_db->holders(QStringLiteral("PEOPLE"), QStringLiteral("I")),
             outcome == QLatin1String("ran") ? QStringList{grantee} : QStringList());
    m_db->run(QStringLiteral("REVOKE ALL ON PEOPLE FROM \"%1\";").arg(grantee));
}

void TestEngine::uncommittedCommandLeavesNothing()
{
    {
        db::TCommandTransaction work(*m_connection);
        const db::TCommandTransaction::Step step =
            work.run({QStringLiteral("GRANT DELETE ON PEOPLE TO NEVER_COMMITTED")}, 0);
        QCOMPARE(step.next, 1);
        QVERIFY(!step.refused);
    }
    QCOMPARE(m_db->column(QStringLiteral("SELECT RDB$USER FROM RDB$USER_PRIVILEGES WHERE RDB$USER "
                                         "= 'NEVER_COMMITTED'")),
             QStringList());
    // The connection goes on working outside a command.
    db::TQuery change(*m_connection);
    change.sqlAdd(QStringLiteral("GRANT DELETE ON PEOPLE TO AFTER_ROLLBACK"));
    change.execSQL();
    QCOMPARE(m_db->holders(QStringLiteral("PEOPLE"), QStringLiteral("D")),
             QStringList{QStringLiteral("AFTER_ROLLBACK")});

    // A connection closed under a running command undoes the command first.
    db::TCommandTransaction work(*m_connection);
    QVERIFY(!work.run({QStringLiteral("GRANT DELETE ON PEOPLE TO CLOSED_UNDER")}, 0).refused);
    m_connection->close();
    QVERIFY(!work.active() && !work.committed());
    QCOMPARE(m_db->holders(QStringLiteral("PEOPLE"), QStringLiteral("D")),
             QStringList{QStringLiteral("AFTER_ROLLBACK")});
}

QString TestEngine::valueOf(db::TDatabase &connection, const QString &select)
{
    db::TQuery query(connection);
    query.sqlAdd(select);
    query.addField(QStringLiteral("V"), db::FieldKind::Data, 20);
    query.open();
    return query.fields(0)->text();
}

void TestEngine::readsSeeCommitsThroughStatementsPreparedOnce()
{
    SqlLog log;
    db::TQuery held(*m_connection);
    held.sqlAdd(QStringLiteral("SELECT COUNT(*) AS V FROM RDB$USER_PRIVILEGES WHERE RDB$USER = "
                               ":Who"));
    held.addField(QStringLiteral("V"), db::FieldKind::Data, 10);
    held.setParamText(0, QStringLiteral("SEEN_LATER"));
    const auto count = [&held] {
        held.close();
        held.open();
        return held.fields(0)->text();
    };
    QCOMPARE(count(), QStringLiteral("0"));
    // Another session's commit is seen by the next read of the same
    // statement, which is not prepared again.
    m_db->run(QStringLiteral("GRANT SELECT ON PEOPLE TO SEEN_LATER;"));
    QCOMPARE(count(), QStringLiteral("1"));
    {
        db::TCommandTransaction work(*m_connection);
        QCOMPARE(work.run({QStringLiteral("GRANT UPDATE ON PEOPLE TO SEEN_LATER")}, 0).next, 1);
        QCOMPARE(count(), QStringLiteral("2")); // the command reads its own work
        work.commit();
    }
    QCOMPARE(count(), QStringLiteral("2"));
    QCOMPARE(log.linesOf(QStringLiteral("prepare")).count(held.sqlText()), 1);
    QCOMPARE(log.linesOf(QStringLiteral("open"))
                 .count(held.sqlText() + QStringLiteral(" with SEEN_LATER")),
             4);
    // Between commands only the kept read-only transaction is open.
    QCOMPARE(transactionsOf(*m_connection), QStringList{QStringLiteral("1")});
}

void TestEngine::failedCommitLeavesNoTransaction()
{
    m_db->run(QStringLiteral("CREATE TABLE IN_USE (ID INTEGER);"));
    // A statement prepared on the table keeps it in use: dropping it is
    // refused when the drop commits.
    const auto other = testserver::connectAsSysdba(QStringLiteral("TEST"));
    db::TQuery user(*other);
    user.sqlAdd(QStringLiteral("SELECT ID FROM IN_USE"));
    user.prepare();
    {
        db::TCommandTransaction work(*m_connection);
        QCOMPARE(work.run({QStringLiteral("DROP TABLE IN_USE")}, 0).next, 1);
        QVERIFY(!failureOf([&] { work.commit(); }).isEmpty());
        QVERIFY(!work.active());
        QVERIFY(!work.committed());
        // Rolled back by the failed commit itself, not later when the
        // command's objects go: nothing of it stays open on the server.
        QCOMPARE(transactionsOf(*m_connection), QStringList{QStringLiteral("1")});
    }
    QCOMPARE(m_db->column(QStringLiteral("SELECT COUNT(*) FROM RDB$RELATIONS WHERE "
                                         "RDB$RELATION_NAME = 'IN_USE'")),
             QStringList{QStringLiteral("1")});
}

void TestEngine::lockConflictEndsTheCommand()
{
    const auto other = testserver::connectAsSysdba(QStringLiteral("TEST"));
    db::TCommandTransaction holder(*other);
    const QString update = QStringLiteral("UPDATE PEOPLE SET NOTE = 'held' WHERE ID = 1");
    QCOMPARE(holder.run({update}, 0).next, 1);
    // Let go well after the two waits of a second: a wait much longer than
    // the timeout set then ends in an update that should have failed.
    const DelayedAction release(5000, [&holder] { holder.rollback(); });

    m_connection->setLockTimeoutSeconds(1);
    db::TCommandTransaction work(*m_connection);
    // The waiting statement, batched or alone, fails the command: it is no
    // refusal to report and pass over.
    for (const QStringList &statements : {QStringList{update}, QStringList{update, update}}) {
        try {
            (void)work.run(statements, 0);
            QFAIL("a row another transaction holds was updated");
        } catch (const kelvane::EngineError &failure) {
            QVERIFY2(failure.lockConflict(), qPrintable(failure.message()));
            QVERIFY2(failure.message().contains(QStringLiteral("lock")),
                     qPrintable(failure.message()));
        }
    }
    work.rollback();
    QCOMPARE(transactionsOf(*m_connection), QStringList{QStringLiteral("1")});
}

void TestEngine::lostConnectionIsToldByItsCode()
{
    const QString id = valueOf(*m_connection, QStringLiteral("SELECT CURRENT_CONNECTION AS V "
                                                             "FROM RDB$DATABASE"));
    m_db->run(QStringLiteral("DELETE FROM MON$ATTACHMENTS WHERE MON$ATTACHMENT_ID = %1;").arg(id));
    try {
        (void)valueOf(*m_connection, QStringLiteral("SELECT 1 AS V FROM RDB$DATABASE"));
        QFAIL("a read on a connection the server ended succeeded");
    } catch (const kelvane::EngineError &failure) {
        QVERIFY2(failure.lostConnection(), qPrintable(failure.message()));
    }
    // Closing what is already gone is quiet.
    m_connection->close();
    QVERIFY(!m_connection->connected());
}

QTEST_GUILESS_MAIN(TestEngine)
#include "tst_engine.moc"
