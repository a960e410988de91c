// Who can use an object, and through what: every path shown is checked in
// effect, each login connecting over a connection of its own with no role
// and with each role, on Firebird 3 and 4; the window's dialog and the
// command line say the same.
#include "MainWindowDriver.h"
#include "RunKelvane.h"
#include "TestServer.h"
#include "app/PrivEdit.h"
#include "db/Batch.h"
#include "db/Database.h"
#include "db/WhoCan.h"
#include "dialogs/WhoCan.h"
#include "ui/Application.h"

#include <QCheckBox>
#include <QListWidget>
#include <QScreen>
#include <QTest>

namespace {

// Every route: a user's own rows, columns alone, PUBLIC, roles held by a
// login and by PUBLIC, RDB$ADMIN, an owner whose own rows are gone. The
// roles granted to roles and the default roles come per server below.
const char *const Schema = R"(
CREATE TABLE WC_T (ID INTEGER, A INTEGER, B INTEGER);
SET TERM ^;
CREATE PROCEDURE WC_P AS BEGIN END^
SET TERM ;^
CREATE ROLE WC_R1;
CREATE ROLE WC_R2;
CREATE ROLE WC_R3;
COMMIT;
GRANT SELECT ON WC_T TO USER WC_DIRECT;
GRANT UPDATE (A) ON WC_T TO USER WC_DIRECT;
GRANT INSERT ON WC_T TO PUBLIC;
GRANT DELETE ON WC_T TO ROLE WC_R1;
GRANT SELECT ON WC_T TO ROLE WC_R2;
GRANT UPDATE (B) ON WC_T TO ROLE WC_R3;
GRANT EXECUTE ON PROCEDURE WC_P TO ROLE WC_R3;
GRANT WC_R1 TO USER WC_MEMBER;
GRANT WC_R3 TO PUBLIC;
GRANT RDB$ADMIN TO USER WC_ADMIN;
GRANT CREATE TABLE TO USER WC_OWNER;
)";

// Firebird 4: WC_R2 is WC_DEFAULT's default role, and brings WC_R1 when
// connected with, WC_R3 always; WC_SEL and WC_ACC hold system privileges
// that reach every object, WC_SEL as WC_AUDITOR's default role.
const char *const Firebird4Roles = R"(
GRANT DEFAULT WC_R2 TO USER WC_DEFAULT;
GRANT WC_R1 TO ROLE WC_R2;
GRANT DEFAULT WC_R3 TO ROLE WC_R2;
CREATE ROLE WC_SEL SET SYSTEM PRIVILEGES TO SELECT_ANY_OBJECT_IN_DATABASE, USER_MANAGEMENT;
CREATE ROLE WC_ACC SET SYSTEM PRIVILEGES TO ACCESS_ANY_OBJECT_IN_DATABASE;
COMMIT;
GRANT DEFAULT WC_SEL TO USER WC_AUDITOR;
GRANT WC_ACC TO USER WC_MEMBER;
)";
// Firebird 3 has no system privileges: the same roles give nothing.
const char *const Firebird3Roles = R"(
GRANT WC_R2 TO USER WC_DEFAULT;
CREATE ROLE WC_SEL;
CREATE ROLE WC_ACC;
COMMIT;
GRANT WC_SEL TO USER WC_AUDITOR;
GRANT WC_ACC TO USER WC_MEMBER;
)";

const QStringList Logins{"WC_DIRECT", "WC_MEMBER", "WC_DEFAULT", "WC_ADMIN",
                         "WC_OWNER",  "WC_NOBODY", "WC_AUDITOR"};
const QStringList Roles{QString(), "WC_R1", "WC_R2", "WC_R3", "RDB$ADMIN", "WC_SEL", "WC_ACC"};

QString passwordOf(const QString &login)
{
    return login.toLower();
}

struct Probe
{
    db::ObjectRef object;
    QChar letter;
    QString column;
    QString sql;
};

QList<Probe> probes()
{
    QList<Probe> all;
    for (const QString &table : {QStringLiteral("WC_T"), QStringLiteral("WC_OWNED")}) {
        const db::ObjectRef object{db::kind::Relation, table};
        // A SELECT that reads no column is not checked.
        all << Probe{object, u'S', {}, QStringLiteral("SELECT ID FROM %1 WHERE 1 = 0").arg(table)}
            << Probe{object,
                     u'I',
                     {},
                     QStringLiteral("INSERT INTO %1 (ID) SELECT NULL FROM RDB$DATABASE WHERE 1 = 0")
                         .arg(table)}
            << Probe{object, u'D', {}, QStringLiteral("DELETE FROM %1 WHERE 1 = 0").arg(table)};
        for (const char *column : {"ID", "A", "B"}) {
            if (table == QLatin1String("WC_OWNED") && qstrcmp(column, "ID") != 0)
                continue;
            all << Probe{object, u'U', QLatin1String(column),
                         QStringLiteral("UPDATE %1 SET %2 = NULL WHERE 1 = 0")
                             .arg(table, QLatin1String(column))};
        }
    }
    all << Probe{{db::kind::Procedure, QStringLiteral("WC_P")},
                 u'X',
                 {},
                 QStringLiteral("EXECUTE PROCEDURE WC_P")};
    return all;
}

// Whether the paths let the login, connected with the role, run the probe.
bool allows(const QList<db::AccessPath> &paths, const QString &role, const Probe &probe)
{
    return std::any_of(paths.begin(), paths.end(), [&](const db::AccessPath &path) {
        const QString needed = path.connectRole();
        return (needed.isEmpty() || needed == role) && path.letter == probe.letter &&
               (path.columns.isEmpty() || path.columns.contains(probe.column));
    });
}

using testprogram::Ran;
using testprogram::runKelvane;

} // namespace

class TestWhoCan : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void everyPathShownHoldsInEffect();
    void linesSayThroughWhat_data();
    void linesSayThroughWhat();
    void dialogShowsThePairThenEveryone();
    void commandLineTabulates();

private:
    [[nodiscard]] bool isFirebird3() const { return m_window.db->serverVersion() == 3; }
    [[nodiscard]] QList<db::AccessPath> pathsOn(const db::ObjectRef &object);

    driver::WindowFixture m_window;
    std::unique_ptr<db::TDatabase> m_sysdba;
};

void TestWhoCan::initTestCase()
{
    ui::Application::setTitle(QStringLiteral("Kelvane"));
    for (const QString &login : Logins)
        testserver::createLogin(login, passwordOf(login));
    m_window.start(QStringLiteral("WHOCAN"), Schema);
    testserver::TestDatabase &db = *m_window.db;
    db.run(QLatin1String(isFirebird3() ? Firebird3Roles : Firebird4Roles));
    // An owner keeps every right on what it made, its own rows revoked.
    db.run(QStringLiteral("CREATE TABLE WC_OWNED (ID INTEGER);"), QStringLiteral("WC_OWNER"),
           passwordOf(QStringLiteral("WC_OWNER")));
    db.run(QStringLiteral("REVOKE ALL ON WC_OWNED FROM USER WC_OWNER GRANTED BY WC_OWNER;"));
    m_sysdba = testserver::connectAsSysdba(QStringLiteral("WHOCAN"));
}

void TestWhoCan::cleanupTestCase()
{
    m_sysdba.reset();
    m_window.stop();
}

QList<db::AccessPath> TestWhoCan::pathsOn(const db::ObjectRef &object)
{
    return db::whoCan(object, db::readAccessFacts(*m_sysdba, object));
}

void TestWhoCan::everyPathShownHoldsInEffect()
{
    // The owner's rights on WC_OWNED come from owning it alone.
    QCOMPARE(m_window.db->catalogue(
                 QStringLiteral("RDB$USER = 'WC_OWNER' AND RDB$RELATION_NAME = 'WC_OWNED'")),
             QStringList());
    const QList<Probe> all = probes();
    QHash<QString, QList<db::AccessPath>> pathsByObject;
    for (const Probe &probe : all)
        pathsByObject.insert(probe.object.name, pathsOn(probe.object));
    QStringList wrong;
    int allowed = 0;
    for (const QString &login : Logins) {
        for (const QString &role : Roles) {
            db::TDatabase connection(QStringLiteral("PROBE"));
            connection.setConnectionString(m_window.db->connectionString());
            connection.paramsAdd(QStringLiteral("USERNAME=") + login);
            connection.paramsAdd(QStringLiteral("PASSWORD=") + passwordOf(login));
            if (!role.isEmpty())
                connection.paramsAdd(QStringLiteral("ROLE=") + role);
            connection.open();
            db::TCommandTransaction probing(connection);
            for (const Probe &probe : all) {
                const bool works = !probing.run({probe.sql}, 0).refused;
                const bool shown = allows(
                    db::pathsOfLogin(pathsByObject.value(probe.object.name), login), role, probe);
                allowed += works;
                if (works != shown)
                    wrong.append(QStringLiteral("%1 with role %2: \"%3\" %4, the paths say %5")
                                     .arg(login, role.isEmpty() ? QStringLiteral("none") : role,
                                          probe.sql, works ? "runs" : "is refused",
                                          shown ? "it may" : "it may not"));
            }
            probing.rollback();
        }
    }
    QVERIFY2(wrong.isEmpty(), qPrintable(wrong.join(u'\n')));
    // Neither everything nor nothing: the probes tell the routes apart.
    QVERIFY(allowed > 0 && allowed < int(Logins.size() * Roles.size() * all.size()));
}

void TestWhoCan::linesSayThroughWhat_data()
{
    QTest::addColumn<QString>("object");
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("login");
    QTest::addColumn<QStringList>("firebird3");
    QTest::addColumn<QStringList>("firebird4");

    const QStringList directLines{"WC_DIRECT — SELECT, UPDATE (A) directly",
                                  "WC_DIRECT — INSERT through PUBLIC",
                                  "WC_DIRECT — UPDATE (B) through role WC_R3, held by PUBLIC "
                                  "(when connecting with role WC_R3)"};
    QTest::newRow("own rows, PUBLIC's and PUBLIC's role")
        << "WC_T" << db::kind::Relation << "WC_DIRECT" << directLines << directLines;
    QTest::newRow("default role, and the roles granted to it")
        << "WC_T" << db::kind::Relation << "WC_DEFAULT"
        << QStringList{"WC_DEFAULT — SELECT through role WC_R2 (when connecting with role WC_R2)",
                       "WC_DEFAULT — INSERT through PUBLIC",
                       "WC_DEFAULT — UPDATE (B) through role WC_R3, held by PUBLIC (when "
                       "connecting with role WC_R3)"}
        << QStringList{"WC_DEFAULT — SELECT through role WC_R2 (default role)",
                       "WC_DEFAULT — UPDATE (B) through role WC_R3, granted to role WC_R2 "
                       "(default role)",
                       "WC_DEFAULT — DELETE through role WC_R1, granted to role WC_R2 (when "
                       "connecting with role WC_R2)",
                       "WC_DEFAULT — INSERT through PUBLIC",
                       "WC_DEFAULT — UPDATE (B) through role WC_R3, held by PUBLIC (when "
                       "connecting with role WC_R3)"};
    const QStringList admin{
        "WC_ADMIN — SELECT, UPDATE, INSERT, DELETE, REFERENCES through role RDB$ADMIN (when "
        "connecting with role RDB$ADMIN)",
        "WC_ADMIN — INSERT through PUBLIC",
        "WC_ADMIN — UPDATE (B) through role WC_R3, held by PUBLIC (when connecting with role "
        "WC_R3)"};
    QTest::newRow("RDB$ADMIN") << "WC_T" << db::kind::Relation << "WC_ADMIN" << admin << admin;
    const QStringList owner{"WC_OWNER — SELECT, UPDATE, INSERT, DELETE, REFERENCES as its owner"};
    QTest::newRow("owner without rows")
        << "WC_OWNED" << db::kind::Relation << "WC_OWNER" << owner << owner;
    const QStringList procedure{
        "WC_NOBODY — EXECUTE through role WC_R3, held by PUBLIC (when connecting with role "
        "WC_R3)"};
    QTest::newRow("procedure through PUBLIC's role")
        << "WC_P" << db::kind::Procedure << "WC_NOBODY" << procedure << procedure;
    const QStringList publics{
        "WC_AUDITOR — INSERT through PUBLIC",
        "WC_AUDITOR — UPDATE (B) through role WC_R3, held by PUBLIC (when connecting with role "
        "WC_R3)"};
    QTest::newRow("system privilege of a default role")
        << "WC_T" << db::kind::Relation << "WC_AUDITOR" << publics
        << QStringList{"WC_AUDITOR — SELECT, REFERENCES through the system privilege "
                       "SELECT_ANY_OBJECT_IN_DATABASE of role WC_SEL (default role)"} +
               publics;
    const QString memberProcedure = QString(procedure.first()).replace("WC_NOBODY", "WC_MEMBER");
    QTest::newRow("system privilege on a procedure")
        << "WC_P" << db::kind::Procedure << "WC_MEMBER" << QStringList{memberProcedure}
        << QStringList{"WC_MEMBER — EXECUTE through the system privilege "
                       "ACCESS_ANY_OBJECT_IN_DATABASE of role WC_ACC (when connecting with role "
                       "WC_ACC)",
                       memberProcedure};
}

void TestWhoCan::linesSayThroughWhat()
{
    QFETCH(QString, object);
    QFETCH(int, type);
    QFETCH(QString, login);
    QFETCH(QStringList, firebird3);
    QFETCH(QStringList, firebird4);
    const QList<db::AccessPath> paths = pathsOn({type, object});
    QCOMPARE(db::describePaths(db::pathsOfLogin(paths, login), login),
             isFirebird3() ? firebird3 : firebird4);
}

void TestWhoCan::dialogShowsThePairThenEveryone()
{
    driver::chooseAlias(QStringLiteral("WHOCAN"), testserver::password());
    driver::select(QStringLiteral("WC_DIRECT"), QStringLiteral("WC_T"));
    QStringList shown;
    QStringList everyone;
    testui::whenModal([&](QWidget *modal) {
        auto *form = qobject_cast<TWhoCanForm *>(modal);
        QVERIFY(form);
        const auto lines = [form] {
            QStringList texts;
            for (int row = 0; row < form->PathList->count(); ++row)
                texts.append(form->PathList->item(row)->text());
            return texts;
        };
        shown = lines();
        // On the box itself: the check box is as wide as the dialog.
        QTest::mouseClick(form->OnlyGranteeCheck, Qt::LeftButton, {},
                          QPoint(8, form->OnlyGranteeCheck->height() / 2));
        everyone = lines();
        // Its lines whole, as far as nine tenths of the screen allow.
        int widest = 0;
        for (const QString &line : everyone)
            widest = std::max(widest, form->PathList->fontMetrics().horizontalAdvance(line));
        const int room = form->screen()->availableGeometry().width() * 9 / 10;
        QVERIFY2(form->PathList->viewport()->width() >= widest || form->width() >= room,
                 qPrintable(QStringLiteral("%1 wide for %2").arg(form->width()).arg(widest)));
        QTest::keyClick(form, Qt::Key_Escape);
    });
    driver::typeInto(KelvaneForm->MasterGrid, Qt::Key_W, Qt::ControlModifier);
    QVERIFY(testui::allAnswered());
    QCOMPARE(shown.value(0), QStringLiteral("WC_DIRECT — SELECT, UPDATE (A) directly"));
    QCOMPARE(shown.size(), 3);
    for (const char *line :
         {"role WC_R1 — DELETE directly", "PUBLIC — INSERT directly (every login)",
          "SYSDBA — SELECT, UPDATE, INSERT, DELETE, REFERENCES as SYSDBA"})
        QVERIFY2(everyone.contains(QString::fromUtf8(line)), line);
    QVERIFY(everyone.contains(shown.value(0)));
}

void TestWhoCan::commandLineTabulates()
{
    const QString database = m_window.db->connectionString();
    const Ran deletes = runKelvane({"--who-can", database, "WC_T", "--letter", "DELETE"});
    QCOMPARE(deletes.status, 0);
    QStringList expected{
        db::tabulatedHeader(),
        "WC_T\trelation\tSYSDBA\tuser\tDELETE\t\tdirectly\talways",
        "WC_T\trelation\tSYSDBA\tuser\tDELETE\t\towner\talways",
        "WC_T\trelation\tSYSDBA\tuser\tDELETE\t\tSYSDBA\talways",
        "WC_T\trelation\tWC_ADMIN\tuser\tDELETE\t\trole RDB$ADMIN\twith role RDB$ADMIN",
        "WC_T\trelation\tWC_MEMBER\tuser\tDELETE\t\trole WC_R1\twith role WC_R1",
        "WC_T\trelation\tWC_R1\trole\tDELETE\t\tdirectly\talways"};
    // Firebird 4 gives the database's creator RDB$ADMIN as a default role.
    if (!isFirebird3()) {
        expected.insert(2, "WC_T\trelation\tSYSDBA\tuser\tDELETE\t\trole RDB$ADMIN\tdefault role");
        expected.insert(6, "WC_T\trelation\tWC_DEFAULT\tuser\tDELETE\t\trole WC_R1, granted to "
                           "role WC_R2\twith role WC_R2");
        expected.insert(7, "WC_T\trelation\tWC_MEMBER\tuser\tDELETE\t\tthe system privilege "
                           "ACCESS_ANY_OBJECT_IN_DATABASE of role WC_ACC\twith role WC_ACC");
    }
    QCOMPARE(deletes.out.split(u'\n', Qt::SkipEmptyParts), expected);

    const Ran unknown = runKelvane({"--who-can", database, "wc_t"});
    QCOMPARE(unknown.status, 1);
    QVERIFY2(unknown.errors.contains(QLatin1String("no object named wc_t")),
             qPrintable(unknown.errors));
    QCOMPARE(runKelvane({"--who-can", database, "WC_T", "--letter", "Z"}).status, 2);
    QCOMPARE(runKelvane({"--who-can", database}).status, 2);
}

QTEST_MAIN(TestWhoCan)
#include "tst_whocan.moc"
