// The privileges saved as SQL and run again: a database given every kind of
// privilege, its export run through isql in a database of the same objects,
// and the two catalogues compared row by row; one grantee's export; and the
// command line without a display.
#include "RunKelvane.h"
#include "TestServer.h"
#include "db/Database.h"
#include "db/Export.h"

#include <QBuffer>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace {

// The objects, owned by OWNR but for ORDERS, which is SYSDBA's; both
// databases get them. ORDERS is a sequence's name too.
const char *const Schema = R"(
CREATE TABLE CUSTOMER (ID INTEGER, NAME VARCHAR(20), "Größe" INTEGER);
CREATE TABLE "Mixed case" (ID INTEGER);
CREATE TABLE "Straße ""7""" (ID INTEGER);
CREATE VIEW V_CUST AS SELECT ID FROM CUSTOMER;
CREATE SEQUENCE SQ;
CREATE SEQUENCE ORDERS;
CREATE EXCEPTION EX 'no';
CREATE ROLE R1;
CREATE ROLE R2;
CREATE ROLE ACNT;
SET TERM ^ ;
CREATE PROCEDURE P1 AS BEGIN END^
CREATE FUNCTION F1 RETURNS INTEGER AS BEGIN RETURN 1; END^
CREATE PACKAGE PK AS BEGIN PROCEDURE PP; END^
CREATE PACKAGE BODY PK AS BEGIN PROCEDURE PP AS BEGIN END END^
CREATE TRIGGER TR1 FOR CUSTOMER BEFORE INSERT AS BEGIN END^
SET TERM ; ^
)";

const char *const OwnerRights = "GRANT CREATE TABLE TO OWNR; GRANT CREATE VIEW TO OWNR;"
                                "GRANT CREATE SEQUENCE TO OWNR; GRANT CREATE EXCEPTION TO OWNR;"
                                "GRANT CREATE ROLE TO OWNR; GRANT CREATE PROCEDURE TO OWNR;"
                                "GRANT CREATE FUNCTION TO OWNR; GRANT CREATE PACKAGE TO OWNR;";

// Every kind of grantee, object and form; BOSS passes on what it holds with
// grant and admin option itself.
const char *const Grants = R"(
GRANT SELECT, UPDATE ON CUSTOMER TO BOSS WITH GRANT OPTION GRANTED BY OWNR;
GRANT R1 TO BOSS WITH ADMIN OPTION GRANTED BY OWNR;
GRANT UPDATE (NAME, "Größe") ON CUSTOMER TO CAROL;
GRANT REFERENCES (ID) ON CUSTOMER TO CAROL WITH GRANT OPTION;
GRANT SELECT ON "Straße ""7""" TO "Jörg ""J""" GRANTED BY OWNR;
GRANT INSERT, DELETE ON "Mixed case" TO "Mixed case";
GRANT SELECT, INSERT ON "Mixed case" TO R1;
GRANT SELECT ON ORDERS TO CAROL GRANTED BY GHOST;
GRANT USAGE ON SEQUENCE ORDERS TO CAROL;
GRANT USAGE ON SEQUENCE SQ TO R2 WITH GRANT OPTION;
GRANT USAGE ON EXCEPTION EX TO PROCEDURE P1;
GRANT EXECUTE ON FUNCTION F1 TO R1;
GRANT EXECUTE ON PACKAGE PK TO "Mixed case";
GRANT EXECUTE ON PROCEDURE P1 TO PUBLIC;
GRANT SELECT ON CUSTOMER TO PROCEDURE P1;
GRANT SELECT ON CUSTOMER TO TRIGGER TR1;
GRANT SELECT ON ORDERS TO VIEW V_CUST;
GRANT SELECT ON ORDERS TO PACKAGE PK;
GRANT INSERT ON ORDERS TO FUNCTION F1;
GRANT SELECT ON RDB$RELATIONS TO CAROL;
GRANT R2 TO CAROL;
GRANT CREATE TABLE TO CAROL;
GRANT ALTER ANY VIEW TO DAVE WITH GRANT OPTION;
GRANT DROP DATABASE TO BOSS;
GRANT SELECT ON CUSTOMER TO "fred";
GRANT SELECT ON CUSTOMER TO ROLE ACNT;
GRANT SELECT, UPDATE (NAME) ON CUSTOMER TO USER ACNT;
GRANT R1 TO USER ACNT;
)";

const char *const BossGrants = R"(
GRANT SELECT ON CUSTOMER TO CAROL;
GRANT UPDATE (NAME) ON CUSTOMER TO DAVE WITH GRANT OPTION;
GRANT R1 TO DAVE;
)";

// Role to role and default roles are Firebird 4's.
const char *const Firebird4Grants = "GRANT DEFAULT R2 TO DAVE; GRANT R1 TO ROLE R2;";

// Every catalogue row, a DDL privilege's object kind by name: its number
// differs between Firebird 3 and 4.
void makeObjects(const testserver::TestDatabase &database)
{
    database.run(QString::fromLatin1(OwnerRights));
    database.run(QString::fromUtf8(Schema), QStringLiteral("OWNR"), QStringLiteral("ownr"));
    database.run(QStringLiteral("CREATE TABLE ORDERS (ID INTEGER);"));
}

QStringList exportOf(const testserver::TestDatabase &database,
                     const std::function<bool(const db::GrantRow &)> &wanted = {})
{
    testserver::AliasFile aliases(
        {{QStringLiteral("EXP"), QStringLiteral("INTRBASE"), database.connectionString()}});
    const auto connection = testserver::connectAsSysdba(QStringLiteral("EXP"));
    QBuffer out;
    out.open(QIODevice::WriteOnly);
    const qsizetype count = db::writeExport(*connection, out, wanted);
    const QStringList lines = QString::fromUtf8(out.data()).split(QLatin1Char('\n'));
    const QStringList statements = lines.filter(QRegularExpression(QStringLiteral("^GRANT ")));
    if (statements.size() != count)
        qFatal("writeExport counted %lld statements and wrote %lld", qlonglong(count),
               qlonglong(statements.size()));
    return statements;
}

using testprogram::Ran;
using testprogram::runKelvane;

// Runs the file with isql as SYSDBA, as the header of the file says.
void runFile(const testserver::TestDatabase &database, const QString &file)
{
    QProcess isql;
    isql.start(QStringLiteral("isql-fb"),
               {QStringLiteral("-q"), QStringLiteral("-b"), QStringLiteral("-ch"),
                QStringLiteral("UTF8"), QStringLiteral("-user"), QStringLiteral("SYSDBA"),
                QStringLiteral("-password"), testserver::password(), QStringLiteral("-i"), file,
                database.connectionString()});
    QVERIFY(isql.waitForFinished(60000));
    QVERIFY2(isql.exitCode() == 0, isql.readAllStandardError().constData());
}

} // namespace

class TestExport : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void roundTripGivesTheSameCatalogue();
    void oneGranteesExport();
    void largeExportComesWholeAndInOrder();
    void commandLineWithoutDisplay();
    void commandLineKeepsWhatIsNotAFile();
    void commandLineRefusesWhatNamesNoDatabase();

private:
    std::unique_ptr<testserver::TestDatabase> m_source;
    QTemporaryDir m_dir;
};

void TestExport::initTestCase()
{
    for (const char *login : {"OWNR", "BOSS"})
        testserver::createLogin(QLatin1String(login), QLatin1String(login).toString().toLower());
    m_source = std::make_unique<testserver::TestDatabase>(QStringLiteral("export-source"));
    makeObjects(*m_source);
    m_source->run(QString::fromUtf8(Grants));
    m_source->run(QString::fromLatin1(BossGrants), QStringLiteral("BOSS"), QStringLiteral("boss"));
    if (m_source->serverVersion() >= 4)
        m_source->run(QString::fromLatin1(Firebird4Grants));
}

void TestExport::roundTripGivesTheSameCatalogue()
{
    testserver::TestDatabase target(QStringLiteral("export-target"));
    makeObjects(target);
    target.run(QString::fromLatin1(OwnerRights)
                   .replace(QStringLiteral("GRANT"), QStringLiteral("REVOKE"))
                   .replace(QStringLiteral(" TO "), QStringLiteral(" FROM ")));
    // The objects alone give nothing to export: what their creation made is
    // the target's already.
    QCOMPARE(exportOf(target), QStringList());

    const QStringList statements = exportOf(*m_source);
    // A grant BOSS made comes after BOSS's option, and names its grantor.
    const qsizetype option = statements.indexOf(
        QStringLiteral("GRANT UPDATE ON CUSTOMER TO USER BOSS WITH GRANT OPTION GRANTED BY OWNR;"));
    const qsizetype passed = statements.indexOf(QStringLiteral(
        "GRANT UPDATE (NAME) ON CUSTOMER TO USER DAVE WITH GRANT OPTION GRANTED BY BOSS;"));
    QVERIFY2(option >= 0 && passed > option, qPrintable(statements.join(QLatin1Char('\n'))));
    QVERIFY(statements.indexOf(QStringLiteral("GRANT R1 TO USER DAVE GRANTED BY BOSS;")) >
            statements.indexOf(
                QStringLiteral("GRANT R1 TO USER BOSS WITH ADMIN OPTION GRANTED BY OWNR;")));
    // A membership goes first in its round: a grant of the same round may
    // rest on the role's option.
    QVERIFY(statements.indexOf(QStringLiteral(
                "GRANT R1 TO USER BOSS WITH ADMIN OPTION GRANTED BY OWNR;")) < option);
    QVERIFY(statements.contains(QString::fromUtf8(
        "GRANT SELECT ON \"Straße \"\"7\"\"\" TO USER \"Jörg \"\"J\"\"\" GRANTED BY OWNR;")));

    const QString file = m_dir.filePath(QStringLiteral("all.sql"));
    {
        QFile out(file);
        QVERIFY(out.open(QIODevice::WriteOnly));
        testserver::AliasFile aliases(
            {{QStringLiteral("EXP"), QStringLiteral("INTRBASE"), m_source->connectionString()}});
        const auto connection = testserver::connectAsSysdba(QStringLiteral("EXP"));
        QVERIFY(db::writeExport(*connection, out) == statements.size());
    }
    runFile(target, file);
    const QStringList source = m_source->catalogue();
    QCOMPARE(target.catalogue(), source);
    // The scenario holds what it means to: column lists, admin options,
    // grants made by BOSS, DDL privileges; and on Firebird 4 a default role
    // and a role's role.
    // A user and a role of one name each keep their own; a lower-case name
    // stays lower-case.
    for (const char *row :
         {"ACNT|8|CUSTOMER|0|U|NAME|0|SYSDBA", "ACNT|13|CUSTOMER|0|S||0|SYSDBA",
          "ACNT|8|R1|13|M||0|SYSDBA", "fred|8|CUSTOMER|0|S||0|SYSDBA",
          "CAROL|8|CUSTOMER|0|U|Größe|0|SYSDBA", "DAVE|8|R1|13|M||0|BOSS",
          "DAVE|8|CUSTOMER|0|U|NAME|1|BOSS", "BOSS|8|SQL$DATABASE|ddl|O||0|SYSDBA",
          "TR1|2|CUSTOMER|0|S||0|SYSDBA", "PK|18|ORDERS|0|S||0|SYSDBA"})
        QVERIFY2(source.contains(QString::fromUtf8(row)), row);
    if (m_source->serverVersion() >= 4) {
        QVERIFY(source.contains(QStringLiteral("DAVE|8|R2|13|M|D|0|SYSDBA")));
        QVERIFY(source.contains(QStringLiteral("R2|13|R1|13|M||0|SYSDBA")));
    }
}

void TestExport::oneGranteesExport()
{
    const QStringList statements = exportOf(
        *m_source, [](const db::GrantRow &row) { return row.grantee == QLatin1String("CAROL"); });
    QVERIFY(statements.filter(QStringLiteral(" TO USER CAROL ")).size() == statements.size());
    QVERIFY(statements.contains(QString::fromUtf8(
        "GRANT UPDATE (NAME, \"Größe\") ON CUSTOMER TO USER CAROL GRANTED BY SYSDBA;")));
    QVERIFY(statements.contains(
        QStringLiteral("GRANT SELECT ON CUSTOMER TO USER CAROL GRANTED BY BOSS;")));
    QVERIFY(statements.contains(
        QStringLiteral("GRANT SELECT ON ORDERS TO USER CAROL GRANTED BY GHOST;")));
    QVERIFY(statements.contains(
        QStringLiteral("GRANT USAGE ON SEQUENCE ORDERS TO USER CAROL GRANTED BY SYSDBA;")));
    QVERIFY(
        statements.contains(QStringLiteral("GRANT CREATE TABLE TO USER CAROL GRANTED BY SYSDBA;")));
    QCOMPARE(statements.size(), 8);
}

// Thousands of grantees are planned and written in parts at once: the parts
// must come back whole, in grantee order, and the option chain in rounds.
void TestExport::largeExportComesWholeAndInOrder()
{
    const QString sysdba = QStringLiteral("SYSDBA");
    const auto user = [](int i) { return QStringLiteral("U%1").arg(i, 5, 10, QLatin1Char('0')); };
    db::Owners owners;
    QList<db::GrantRow> rows;
    for (const char *table : {"T1", "T2"})
        owners.add(db::kind::Relation, QLatin1String(table), sysdba);
    const int users = 9000;
    // Backwards, so that only the planning puts them in order.
    for (int i = users - 1; i >= 0; --i)
        rows.append({user(i),
                     db::kind::User,
                     QStringLiteral("T1"),
                     db::kind::Relation,
                     u'S',
                     {},
                     0,
                     sysdba});
    // U00000 passes T2 on to U00001, who passes it on to U00002.
    for (int i = 2; i >= 0; --i)
        rows.append({user(i),
                     db::kind::User,
                     QStringLiteral("T2"),
                     db::kind::Relation,
                     u'I',
                     {},
                     i < 2 ? 1 : 0,
                     i == 0 ? sysdba : user(i - 1)});

    const auto grant = [](const char *what, const QString &to, const QString &by,
                          bool option = false) {
        return QStringLiteral("GRANT %1 TO USER %2%3 GRANTED BY %4;")
            .arg(QLatin1String(what), to, option ? QStringLiteral(" WITH GRANT OPTION") : QString(),
                 by);
    };
    QStringList expected;
    for (int i = 0; i < users; ++i) {
        expected << grant("SELECT ON T1", user(i), sysdba);
        if (i == 0)
            expected << grant("INSERT ON T2", user(0), sysdba, true);
    }
    expected << grant("INSERT ON T2", user(1), user(0), true)
             << grant("INSERT ON T2", user(2), user(1));
    QCOMPARE(db::exportStatements(rows, owners), expected);
}

void TestExport::commandLineWithoutDisplay()
{
    QProcess kelvane;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "ISC_PASSWORD"})
        environment.remove(QLatin1String(name));
    environment.insert(QStringLiteral("KELVANE_PASSWORD"), testserver::password());
    kelvane.setProcessEnvironment(environment);
    const QString file = m_dir.filePath(QStringLiteral("cli.sql"));
    kelvane.start(testprogram::program(), {QStringLiteral("--export"), m_source->connectionString(),
                                           QStringLiteral("--output"), file});
    QVERIFY(kelvane.waitForFinished(60000));
    QCOMPARE(kelvane.exitCode(), 0);
    QFile written(file);
    QVERIFY(written.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(written.readAll()).split(QLatin1Char('\n'));
    QVERIFY(lines.first().startsWith(QStringLiteral("-- Privileges of ") +
                                     m_source->connectionString()));
    QCOMPARE(lines.filter(QRegularExpression(QStringLiteral("^GRANT "))), exportOf(*m_source));

    // A wrong password, the database named by its alias: the server's
    // message, status 1, nothing on standard output.
    testserver::AliasFile aliases(
        {{QStringLiteral("SOURCE"), QStringLiteral("INTRBASE"), m_source->connectionString()}});
    environment.insert(QStringLiteral("KELVANE_PASSWORD"), QStringLiteral("wrong"));
    environment.insert(QStringLiteral("KELVANE_ALIASES"), aliases.path());
    kelvane.setProcessEnvironment(environment);
    kelvane.start(testprogram::program(), {QStringLiteral("--export"), QStringLiteral("SOURCE")});
    QVERIFY(kelvane.waitForFinished(60000));
    QCOMPARE(kelvane.exitCode(), 1);
    QCOMPARE(kelvane.readAllStandardOutput(), QByteArray());
    QVERIFY2(kelvane.readAllStandardError().contains("password"), "no message from the server");
}

void TestExport::commandLineKeepsWhatIsNotAFile()
{
    const QMap<QString, QString> password{{"KELVANE_PASSWORD", testserver::password()}};
    const auto exportTo = [&](const QString &path) {
        return runKelvane({QStringLiteral("--export"), m_source->connectionString(),
                           QStringLiteral("--output"), path},
                          password);
    };
    const auto kindOf = [](const QString &path) {
        struct stat status
        {
        };
        return ::lstat(QFile::encodeName(path).constData(), &status) == 0
                   ? int(status.st_mode & S_IFMT)
                   : 0;
    };
    // A FIFO is written in place, to whoever reads it. Held open here for
    // reading and writing, it takes the export into its buffer without a
    // reader waiting on it; a file put in its place would leave it empty.
    const QString fifo = m_dir.filePath(QStringLiteral("fifo"));
    QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const int pipe = ::open(QFile::encodeName(fifo).constData(), O_RDWR | O_NONBLOCK);
    QVERIFY(pipe >= 0);
    const Ran toFifo = exportTo(fifo);
    QByteArray read(1 << 16, '\0');
    const ssize_t got = ::read(pipe, read.data(), size_t(read.size()));
    ::close(pipe);
    read.truncate(std::max<ssize_t>(got, 0));
    QCOMPARE(toFifo.status, 0);
    QCOMPARE(kindOf(fifo), int(S_IFIFO));
    QVERIFY(read.contains("GRANT SELECT ON CUSTOMER TO USER \"fred\" GRANTED BY SYSDBA;"));
    // Devices as well: the system's own are left out of a test that could
    // destroy them; nodes of the same devices here stand in for them.
    if (::geteuid() != 0)
        QSKIP("making device nodes needs root");
    const QString null = m_dir.filePath(QStringLiteral("null"));
    const QString full = m_dir.filePath(QStringLiteral("full"));
    QCOMPARE(::mknod(QFile::encodeName(null).constData(), S_IFCHR | 0600, makedev(1, 3)), 0);
    QCOMPARE(::mknod(QFile::encodeName(full).constData(), S_IFCHR | 0600, makedev(1, 7)), 0);
    QCOMPARE(exportTo(null).status, 0);
    const Ran toFull = exportTo(full);
    QCOMPARE(toFull.status, 1);
    QVERIFY2(toFull.errors.contains(full), qPrintable(toFull.errors));
    for (const QString &device : {null, full})
        QCOMPARE(kindOf(device), int(S_IFCHR));
    // Standard output on a full device fails too, and says so.
    QProcess shell;
    shell.setProcessEnvironment(QProcessEnvironment::systemEnvironment());
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("KELVANE_PASSWORD"), testserver::password());
    shell.setProcessEnvironment(environment);
    shell.setStandardOutputFile(full);
    shell.start(testprogram::program(), {QStringLiteral("--export"), m_source->connectionString()});
    QVERIFY(shell.waitForFinished(60000));
    QCOMPARE(shell.exitCode(), 1);
    QVERIFY(shell.readAllStandardError().contains("standard output"));
}

void TestExport::commandLineRefusesWhatNamesNoDatabase()
{
    testserver::AliasFile aliases(
        {{QStringLiteral("SOURCE"), QStringLiteral("INTRBASE"), m_source->connectionString()}});
    const QMap<QString, QString> right{{"KELVANE_ALIASES", aliases.path()},
                                       {"KELVANE_PASSWORD", testserver::password()}};
    // Neither an alias nor a connection string: refused before any password
    // is asked for, naming the aliases there are.
    const Ran unknown = runKelvane({QStringLiteral("--export"), QStringLiteral("NOSUCH")}, right);
    QCOMPARE(unknown.status, 2);
    QCOMPARE(
        unknown.errors.trimmed(),
        QStringLiteral("kelvane: no alias NOSUCH in %1 (its aliases: SOURCE)").arg(aliases.path()));
    // An alias whatever its case.
    QCOMPARE(runKelvane({QStringLiteral("--export"), QStringLiteral("source")}, right).status, 0);
    // KELVANE_PASSWORD before ISC_PASSWORD; neither, and no terminal: status 2.
    QCOMPARE(runKelvane({QStringLiteral("--export"), QStringLiteral("SOURCE")},
                        {{"KELVANE_ALIASES", aliases.path()},
                         {"KELVANE_PASSWORD", testserver::password()},
                         {"ISC_PASSWORD", QStringLiteral("wrong")}})
                 .status,
             0);
    const Ran none = runKelvane({QStringLiteral("--export"), QStringLiteral("SOURCE")},
                                {{"KELVANE_ALIASES", aliases.path()}});
    QCOMPARE(none.status, 2);
    QVERIFY2(none.errors.contains(QLatin1String("no password")), qPrintable(none.errors));
}

QTEST_GUILESS_MAIN(TestExport)
#include "tst_export.moc"
