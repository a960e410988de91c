// Hostile and odd names on their way into GRANT and REVOKE: every generated
// name reaches exactly the object or user meant, or is refused with nothing
// changed. Seeded and reproducible: KELVANE_NAMES_SEED repeats a run.
#include "MainWindowDriver.h"
#include "TestServer.h"
#include "app/Forms.h"
#include "app/PrivEdit.h"
#include "db/Database.h"
#include "db/Exception.h"
#include "db/ListedNames.h"
#include "db/Names.h"
#include "db/PackedRead.h"
#include "db/Query.h"
#include "db/ScopeRead.h"
#include "ui/Application.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QPointer>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSet>
#include <QTest>
#include <QTimer>
#include <memory>

using testserver::AliasFile;

namespace {

// The server's limit for a name: 31 bytes of UTF-8 on Firebird 3, whose
// names are UNICODE_FSS, 63 characters on Firebird 4.
int g_nameLimit = 31;
bool g_limitInBytes = true;
constexpr int GeneratedNames = 200;

// Pieces that have broken statements built by hand: quotes, blanks,
// terminators, comments, placeholders, reserved words, letters beyond ASCII.
const char16_t *const Pieces[] = {
    u"A", u"b",     u"Z",      u"q",  u"7",      u"_",  u"$", u"\"",    u"'",   u" ",
    u";", u"--",    u"/*",     u"*/", u":x",     u"?",  u":", u"é",     u"ß",   u"数",
    u"Ω", u"ORDER", u"select", u"TO", u"PUBLIC", u"\\", u"%", u"[",     u"]",   u"@",
    u",", u"(",     u")",      u"=",  u"\"\"",   u"∑",  u"💾", u"admin", u"--\n"};

// What the server stores for a name written into SQL: a plain identifier
// upper-cased, anything else exactly as delimited, less the trailing blanks,
// which mean nothing to it. A catalogue name is stored as it is.
QString storedFor(const QString &text, bool typed)
{
    static const QRegularExpression plain(QStringLiteral("^[A-Za-z][A-Za-z0-9_$]*$"));
    if (typed && plain.match(text).hasMatch())
        return db::upperCaseAscii(text);
    QString stored = text;
    while (stored.endsWith(QLatin1Char(' ')))
        stored.chop(1);
    return stored;
}

// Firebird 3 keeps names in UNICODE_FSS, at most 31 bytes of UTF-8 and no
// letter beyond the Basic Multilingual Plane; Firebird 4 in UTF8.
bool acceptable(const QString &stored)
{
    if (stored.isEmpty())
        return false;
    if (!g_limitInBytes)
        return stored.toUcs4().size() <= g_nameLimit;
    const bool basicPlane =
        std::none_of(stored.begin(), stored.end(), [](QChar c) { return c.isSurrogate(); });
    return stored.toUtf8().size() <= g_nameLimit && basicPlane;
}

} // namespace

class TestNames : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();

    void placeholdersInsideQuotesReachTheServerUnchanged_data();
    void placeholdersInsideQuotesReachTheServerUnchanged();
    void catalogueNamesReachExactlyTheirObject();
    void typedNamesReachExactlyTheirUser();
    void listedNamesTravelByTheirBytes();
    void connectReadsWhatEachStatementWould();
    void packedRowsComeBackWhole();
    void scopeRowsComeByEveryName();

private:
    // Every privilege row of tables and procedures, one text each.
    [[nodiscard]] QSet<QString> catalogue() const;
    void createTable(const QString &name) const;
    // Grants SELECT, then revokes it, checking the catalogue after each.
    void grantAndRevoke(const db::SqlName &user, const QString &storedUser,
                        const db::SqlName &relation, const QString &storedRelation);

    quint32 m_seed = 0;
    QStringList m_names;
    std::unique_ptr<testserver::TestDatabase> m_db;
    std::unique_ptr<AliasFile> m_aliases;
    std::unique_ptr<Forms> m_forms;
    std::unique_ptr<db::TDatabase> m_checker;
};

void TestNames::initTestCase()
{
    ui::Application::setTitle(QStringLiteral("Kelvane"));
    bool given = false;
    m_seed = qEnvironmentVariableIntValue("KELVANE_NAMES_SEED", &given);
    if (!given)
        m_seed = 20261207;
    qInfo("names generated from seed %u (KELVANE_NAMES_SEED repeats it)", m_seed);
    QRandomGenerator random(m_seed);
    m_db = std::make_unique<testserver::TestDatabase>(QStringLiteral("names"));
    g_limitInBytes = m_db->serverVersion() == 3;
    g_nameLimit = g_limitInBytes ? 31 : 63;

    // The edges first, then random names built from the pieces.
    m_names = QStringList{QString(g_nameLimit, QLatin1Char('N')),
                          QString(g_nameLimit + 1, QLatin1Char('N')),
                          QString(g_nameLimit - 1, QLatin1Char('N')) + QStringLiteral("é"),
                          QString(15, QChar(0xe9)),
                          QString(16, QChar(0xe9)),
                          QString(),
                          QStringLiteral("   "),
                          QStringLiteral("order"),
                          QStringLiteral("ORDER"),
                          QStringLiteral("a\"b"),
                          QStringLiteral("x;DROP TABLE T"),
                          QStringLiteral("T -- comment"),
                          QStringLiteral("T /* open"),
                          QStringLiteral(":name"),
                          QStringLiteral("a ? b"),
                          QStringLiteral("PUBLIC"),
                          QStringLiteral("  leading"),
                          QStringLiteral("trailing  ")};
    while (m_names.size() < GeneratedNames) {
        QString name;
        const int pieces = 1 + int(random.bounded(8));
        for (int i = 0; i < pieces; ++i)
            name += QString::fromUtf16(Pieces[random.bounded(int(std::size(Pieces)))]);
        m_names.append(name);
    }

    m_db->run(QStringLiteral("CREATE TABLE PLAIN (ID INTEGER);\n"
                             "GRANT SELECT ON PLAIN TO HOLDER;"));
    m_aliases = std::make_unique<AliasFile>(QList<AliasFile::Alias>{
        {QStringLiteral("NAMES"), QStringLiteral("INTRBASE"), m_db->connectionString()}});
    m_checker = testserver::connectAsSysdba(QStringLiteral("NAMES"));
    m_forms = std::make_unique<Forms>();
    KelvaneForm->show();
    QVERIFY(QTest::qWaitForWindowExposed(KelvaneForm));
    driver::chooseAlias(QStringLiteral("NAMES"), testserver::password());
    QVERIFY(KelvaneForm->Database.connected());
}

void TestNames::cleanupTestCase()
{
    m_forms.reset();
    m_checker.reset();
    QVERIFY(testui::allAnswered());
}

QSet<QString> TestNames::catalogue() const
{
    db::TQuery query(*m_checker);
    query.sqlAdd(QStringLiteral("SELECT RDB$USER, RDB$RELATION_NAME, RDB$PRIVILEGE, RDB$GRANTOR "
                                "FROM RDB$USER_PRIVILEGES WHERE RDB$OBJECT_TYPE IN (0, 5)"));
    for (const char *name : {"RDB$USER", "RDB$RELATION_NAME", "RDB$PRIVILEGE", "RDB$GRANTOR"})
        query.addField(QString::fromLatin1(name), db::FieldKind::Data, 31);
    query.open();
    QSet<QString> rows;
    for (query.first(); !query.eof(); query.next()) {
        QStringList fields;
        for (int i = 0; i < 4; ++i)
            fields << query.fields(i)->text();
        rows.insert(fields.join(QChar(0)));
    }
    return rows;
}

void TestNames::createTable(const QString &name) const
{
    // Delimited, so that no placeholder parsing touches the name on this
    // way in.
    QString quoted = name;
    quoted.replace(QLatin1Char('"'), QLatin1String("\"\""));
    db::TQuery create(*m_checker);
    create.sqlAdd(QStringLiteral("CREATE TABLE \"%1\" (ID INTEGER)").arg(quoted));
    QVERIFY(create.paramCount() == 0);
    create.execSQL();
}

void TestNames::grantAndRevoke(const db::SqlName &user, const QString &storedUser,
                               const db::SqlName &relation, const QString &storedRelation)
{
    TKelvaneForm *form = KelvaneForm;
    const db::Grantee grantee{user, db::kind::User};
    const db::ObjectRef object{db::kind::Relation, relation.storedText()};
    const QSet<QString> before = catalogue();
    const QString row =
        QStringList{storedUser, storedRelation, QStringLiteral("S"), QStringLiteral("SYSDBA")}.join(
            QChar(0));
    QVERIFY2(!before.contains(row), qPrintable(storedUser));

    // The statement a toggle's revoke sends for the one grantor.
    const auto revoke = [&] {
        form->ChangeQuery.sqlClear();
        form->ChangeQuery.sqlAdd(
            db::revokeSql(object.type, object.name, QStringLiteral("SELECT"), grantee));
        form->ChangeQuery.execSQL();
    };
    testui::MessageCollector messages;
    if (!acceptable(storedUser) || !acceptable(storedRelation)) {
        // Refused: the grant says the relation is read-only, the revoke
        // carries the server's message, and nothing at all changed.
        form->GrantPrivilege(grantee, object, QStringLiteral("SELECT"));
        QCOMPARE(messages.texts.size(), 1);
        QCOMPARE(messages.texts.first().section(u'\n', 0, 0),
                 form->RelationList->fields(0)->text() + QStringLiteral(" is read-only."));
        QString failure;
        try {
            revoke();
        } catch (const kelvane::EngineError &e) {
            failure = e.message();
        }
        QVERIFY2(failure.contains(QLatin1String("Name longer than database column size")) ||
                     failure.contains(QLatin1String("Zero length identifiers are not allowed")) ||
                     failure.contains(QLatin1String("Malformed string")),
                 qPrintable(failure));
        QCOMPARE(catalogue(), before);
        return;
    }
    form->GrantPrivilege(grantee, object, QStringLiteral("SELECT"));
    QVERIFY2(messages.texts.isEmpty(),
             qPrintable(QStringLiteral("grant to [%1] on [%2] refused: %3 (statement %4)")
                            .arg(storedUser, storedRelation, messages.texts.join(u'|'),
                                 form->ChangeQuery.sqlText())));
    QSet<QString> expected = before;
    expected.insert(row);
    const QSet<QString> granted = catalogue();
    QVERIFY2(granted == expected,
             qPrintable(QStringLiteral("grant to [%1] on [%2] (seed %3): added %4, lost %5")
                            .arg(storedUser, storedRelation)
                            .arg(m_seed)
                            .arg(QStringList((granted - expected).values()).join(u'|'),
                                 QStringList((expected - granted).values()).join(u'|'))));
    revoke();
    QCOMPARE(catalogue(), before);
}

void TestNames::placeholdersInsideQuotesReachTheServerUnchanged_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("colon name") << ":User";
    QTest::newRow("question mark") << "?";
    QTest::newRow("both, with quotes") << "a\":x\"?";
    QTest::newRow("double colon") << "::x";
}

void TestNames::placeholdersInsideQuotesReachTheServerUnchanged()
{
    // A statement without parameters of its own, whose delimited names hold
    // what Qt could take for placeholders.
    QFETCH(QString, name);
    const db::SqlName user = db::SqlName::stored(name);
    db::TQuery query(*m_checker);
    query.sqlAdd(QStringLiteral("GRANT SELECT ON PLAIN TO ") + user.sql());
    QCOMPARE(query.paramCount(), 0);
    query.execSQL();
    const QSet<QString> rows = catalogue();
    QVERIFY(rows.contains(
        QStringList{name, QStringLiteral("PLAIN"), QStringLiteral("S"), QStringLiteral("SYSDBA")}
            .join(QChar(0))));
    query.sqlClear();
    query.sqlAdd(QStringLiteral("REVOKE SELECT ON PLAIN FROM ") + user.sql());
    query.execSQL();
    QCOMPARE(catalogue().size(), rows.size() - 1);
}

void TestNames::catalogueNamesReachExactlyTheirObject()
{
    QElapsedTimer timer;
    timer.start();
    // Tables under every name the server takes; each is granted to the name
    // after it, so users carry the same odd names.
    QStringList relations;
    for (const QString &name : std::as_const(m_names)) {
        const QString stored = storedFor(name, false);
        if (stored == name && acceptable(name) && !relations.contains(name)) {
            createTable(name);
            relations.append(name);
        }
    }
    QVERIFY(relations.size() > GeneratedNames / 2);
    for (qsizetype i = 0; i < relations.size(); ++i) {
        const QString &relation = relations[i];
        const QString &user = relations[(i + 1) % relations.size()];
        grantAndRevoke(db::SqlName::stored(user), user, db::SqlName::stored(relation), relation);
        if (QTest::currentTestFailed())
            return;
    }
    // Names the catalogue cannot hold, asked for on a real table.
    for (const QString &name : std::as_const(m_names)) {
        if (!acceptable(storedFor(name, false)))
            grantAndRevoke(db::SqlName::stored(name), storedFor(name, false),
                           db::SqlName::stored(QStringLiteral("PLAIN")), QStringLiteral("PLAIN"));
    }
    QVERIFY2(timer.elapsed() < 60000, qPrintable(QString::number(timer.elapsed())));
}

void TestNames::typedNamesReachExactlyTheirUser()
{
    QElapsedTimer timer;
    timer.start();
    for (const QString &name : std::as_const(m_names)) {
        const db::SqlName typed = db::SqlName::typed(name);
        grantAndRevoke(typed, storedFor(name, true), db::SqlName::stored(QStringLiteral("PLAIN")),
                       QStringLiteral("PLAIN"));
        if (QTest::currentTestFailed())
            return;
    }
    QVERIFY2(timer.elapsed() < 60000, qPrintable(QString::number(timer.elapsed())));
}

// The block that looks names up skips each by its UTF-8 bytes, so that a
// colon or a letter beyond ASCII in a name ends nothing early; names beyond
// its one parameter are not sent at all.
void TestNames::listedNamesTravelByTheirBytes()
{
    QCOMPARE(db::packListedNames({{db::ListSide::Relations, QStringLiteral("Zoë:s"), 0},
                                  {db::ListSide::Users, QStringLiteral("A"), 8}}),
             std::optional(QStringLiteral("1:0:6:Zoë:s0:8:1:A")));
    const QList<db::ListedName> many(3000, {db::ListSide::Users, QStringLiteral("CLERK00001"), 8});
    QCOMPARE(db::packListedNames(many), std::nullopt);
}

// A connection reads the login, the procedures, the views and both lists in
// one packed statement: each dataset must hold exactly the rows its own
// statement reads, under the odd names too.
void TestNames::connectReadsWhatEachStatementWould()
{
    // Users of the odd names, beside the tables of those names the first
    // case left.
    QStringList granted;
    for (const QString &name : std::as_const(m_names)) {
        const QString stored = storedFor(name, false);
        if (!acceptable(stored) || granted.contains(stored))
            continue;
        db::TQuery grant(*m_checker);
        grant.sqlAdd(QStringLiteral("GRANT SELECT ON PLAIN TO ") +
                     db::SqlName::stored(stored).sql());
        grant.execSQL();
        granted.append(stored);
    }
    driver::chooseAlias(QStringLiteral("NAMES"), testserver::password());
    TKelvaneForm *form = KelvaneForm;
    QVERIFY(form->Database.connected());
    QVERIFY(!form->MasterQuery.prepared());
    QCOMPARE(form->windowTitle(), QStringLiteral("IB Kelvane Administrator \u2014 SYSDBA"));

    const auto rowsOf = [](const db::TDataSet &dataSet) {
        const db::ReadRows rows = dataSet.readRows();
        return rows.fieldNames + QStringList(rows.values.begin(), rows.values.end());
    };
    QStringList users;
    for (db::TDataSet *dataSet : std::initializer_list<db::TDataSet *>{
             &form->MasterQuery, &form->DetailQuery, &form->Procedures, &form->ViewsQuery}) {
        const QStringList packed = rowsOf(*dataSet);
        if (dataSet == &form->MasterQuery)
            users = packed;
        dataSet->close();
        dataSet->open();
        QCOMPARE(packed, rowsOf(*dataSet));
    }
    for (const QString &name : std::as_const(granted))
        QVERIFY2(users.contains(name), qPrintable(name));
}

// More rows than one chunk holds, each split nowhere but between rows,
// values beyond ASCII, colons, digits, blanks and nulls among them; and
// chunks the block cannot have written are refused.
void TestNames::packedRowsComeBackWhole()
{
    const QList<db::PackedSource> sources{
        {QStringLiteral("WITH RECURSIVE N AS (SELECT 0 AS I FROM RDB$DATABASE UNION ALL\n"
                        "SELECT I + 1 FROM N WHERE I < 99),\n"
                        "M AS (SELECT A.I * 100 + B.I + 1 AS I FROM N A CROSS JOIN N B\n"
                        "WHERE A.I < 60)\n"
                        "SELECT I, 'Zoë:' || I || ' 1:', IIF(MOD(I, 7) = 0, NULL, '  x') FROM M\n"
                        "ORDER BY I"),
         {QStringLiteral("I"), QStringLiteral("TEXT"), QStringLiteral("MAYBE")}},
        {QStringLiteral("SELECT 'only' FROM RDB$DATABASE"), {QStringLiteral("ONE")}}};
    db::TQuery packed(*m_checker);
    packed.sqlAdd(db::packedReadSql(sources));
    packed.addField(QStringLiteral("CHUNK"), db::FieldKind::Data, db::PackedChunkBytes);
    packed.open();
    QStringList chunks;
    for (; !packed.eof(); packed.next())
        chunks.append(packed.fields(0)->text());
    QVERIFY2(chunks.size() > 1, qPrintable(QString::number(chunks.size())));

    const QList<db::ReadRows> rows = db::unpackReadRows(sources, chunks);
    QCOMPARE(rows.size(), 2);
    QCOMPARE(rows[0].values.size(), size_t(6000 * 3));
    for (int i = 1; i <= 6000; ++i) {
        const QString *row = &rows[0].values[size_t(i - 1) * 3];
        QCOMPARE(row[0], QString::number(i));
        QCOMPARE(row[1], QStringLiteral("Zoë:%1 1:").arg(i));
        QCOMPARE(row[2], i % 7 == 0 ? QString() : QStringLiteral("  x"));
    }
    QCOMPARE(rows[1].values, std::vector<QString>{QStringLiteral("only")});

    for (const char *broken : {"0;3:ab", "2;4:only", "0;x:a", "1;", "1;4:only1"}) {
        QVERIFY_THROWS_EXCEPTION(kelvane::EngineError,
                                 (void)db::unpackReadRows(sources, {QString::fromUtf8(broken)}));
    }
}

// The way back reads the rows of many names through one block, each name by
// its bytes: every odd grantee and object, beside enough names of nothing
// that they take several reads, reach exactly their rows, once for each
// side that names them.
void TestNames::scopeRowsComeByEveryName()
{
    const QString select = QStringLiteral("SELECT TRIM(TRAILING FROM RDB$USER) AS RDB$USER, "
                                          "TRIM(TRAILING FROM RDB$RELATION_NAME) AS "
                                          "RDB$RELATION_NAME, RDB$PRIVILEGE");
    QStringList every;
    db::UndoScope scope;
    {
        db::TQuery all(*m_checker);
        all.sqlAdd(select + QStringLiteral(" FROM RDB$USER_PRIVILEGES"));
        for (const char *name : {"RDB$USER", "RDB$RELATION_NAME", "RDB$PRIVILEGE"})
            all.addField(QLatin1String(name), db::FieldKind::Data, 63);
        all.open();
        for (; !all.eof(); all.next()) {
            const QString user = all.fields(0)->text();
            const QString object = all.fields(1)->text();
            every.append(user + u'|' + object + u'|' + all.fields(2)->text());
            if (user != QLatin1String("SYSDBA"))
                scope.grantees.insert(user);
            if (object != QLatin1String("PLAIN") && !object.startsWith(QLatin1String("RDB$")))
                scope.objects.insert(object);
        }
    }
    QVERIFY(scope.grantees.size() > GeneratedNames / 2 &&
            scope.objects.size() > GeneratedNames / 2);
    QStringList expected;
    for (const QString &row : std::as_const(every)) {
        if (scope.grantees.contains(row.section(u'|', 0, 0)))
            expected.append(QStringLiteral("0|") + row);
        if (scope.objects.contains(row.section(u'|', 1, 1)))
            expected.append(QStringLiteral("1|") + row);
    }
    for (int i = 0; i < 3000; ++i)
        scope.objects.insert(QStringLiteral("NOTHING:%1").arg(i));

    const QList<db::ScopeNamesRead> reads = db::packScopeNames(scope);
    QVERIFY(reads.size() > 1);
    db::TQuery block(*m_checker);
    const QStringList columns{QStringLiteral("RDB$USER"), QStringLiteral("RDB$RELATION_NAME"),
                              QStringLiteral("RDB$PRIVILEGE")};
    block.sqlAdd(db::scopeRowsSql(select, columns));
    block.addField(QStringLiteral("CHUNK"), db::FieldKind::Data, db::PackedChunkBytes);
    QStringList found;
    db::UndoScope asked;
    for (const db::ScopeNamesRead &read : reads) {
        QVERIFY(read.packed.toUtf8().size() <= 32765);
        asked.unite(read.names);
        block.close();
        block.setParamText(0, read.packed);
        const QList<db::ReadRows> sides =
            db::readPackedRows(block, db::scopeSources(select, columns));
        for (int side = 0; side < 2; ++side) {
            for (size_t at = 0; at < sides[side].values.size(); at += 3)
                found.append(QString::number(side) + u'|' + sides[side].values[at] + u'|' +
                             sides[side].values[at + 1] + u'|' + sides[side].values[at + 2]);
        }
    }
    QCOMPARE(asked, scope);
    found.sort();
    expected.sort();
    QCOMPARE(found, expected);
}

QTEST_MAIN(TestNames)
#include "tst_names.moc"
