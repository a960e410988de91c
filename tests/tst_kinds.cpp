// Every kind of object and grantee that a Firebird 3 GRANT can name, in both
// lists: the statement each toggle sends, the catalogue row it makes and
// removes, the letters a kind does not have, and one name standing for two
// objects or two grantees.
#include "MainWindowDriver.h"
#include "TestServer.h"
#include "app/Forms.h"
#include "app/PrivEdit.h"
#include "dialogs/CopyPriv.h"
#include "dialogs/Pictures.h"
#include "ui/Application.h"
#include "ui/DBGrid.h"

#include <QComboBox>
#include <QImage>
#include <QInputDialog>
#include <QLineEdit>
#include <QMap>
#include <QRadioButton>
#include <QRegularExpression>
#include <QSet>
#include <QTest>
#include <algorithm>

using driver::cellsOf;
using driver::CopyAnswer;
using driver::hintOf;
using driver::select;
using driver::statements;

namespace {

const char *const Schema = R"(
CREATE TABLE CUSTOMER (ID INTEGER, NAME VARCHAR(20));
CREATE TABLE ORDERS (ID INTEGER);
CREATE VIEW V_CUST AS SELECT ID FROM CUSTOMER;
CREATE SEQUENCE SQ;
CREATE SEQUENCE ORDERS;
CREATE EXCEPTION EX 'no';
CREATE ROLE R1;
SET TERM ^ ;
CREATE PROCEDURE P1 AS BEGIN END^
CREATE FUNCTION F1 RETURNS INTEGER AS BEGIN RETURN 1; END^
CREATE PACKAGE PK AS BEGIN PROCEDURE PP; END^
CREATE PACKAGE BODY PK AS BEGIN PROCEDURE PP AS BEGIN END END^
CREATE TRIGGER TR1 FOR CUSTOMER BEFORE INSERT AS BEGIN END^
SET TERM ; ^
GRANT SELECT ON ORDERS TO FRED;
GRANT R1 TO CAROL;
GRANT SELECT ON CUSTOMER TO PROCEDURE P1;
GRANT SELECT ON CUSTOMER TO FUNCTION F1;
GRANT SELECT ON CUSTOMER TO PACKAGE PK;
GRANT SELECT ON CUSTOMER TO TRIGGER TR1;
GRANT SELECT ON CUSTOMER TO VIEW V_CUST;
GRANT SELECT ON CUSTOMER TO R1;
GRANT SELECT ON CUSTOMER TO FRED;
GRANT SELECT ON ORDERS TO P1;
)";

enum class Refusal
{
    Ignored, // a double-click on the column does nothing
    Told     // Ctrl+S is refused with a message
};

// A catalogue row of FRED, granted by SYSDBA without option.
QString fredRow(int objectType, const QString &object, char letter)
{
    return QStringLiteral("8:FRED:%1:%2:%3::0:SYSDBA")
        .arg(QString::number(objectType), object, QString(QLatin1Char(letter)));
}

QStringList sorted(QStringList rows)
{
    rows.sort();
    return rows;
}

// The rows with some added and some taken away, in the order catalogue() gives.
QStringList changed(QStringList rows, const QStringList &added, const QStringList &removed = {})
{
    for (const QString &row : removed)
        if (!rows.removeOne(row))
            QTest::qFail(qPrintable(QStringLiteral("no row %1 to take away").arg(row)), __FILE__,
                         __LINE__);
    return sorted(rows + added);
}

} // namespace

Q_DECLARE_METATYPE(Refusal)

class TestKinds : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void objectKinds_data();
    void objectKinds();
    void granteeKinds_data();
    void granteeKinds();
    void oneNameTwoObjects();
    void commandsOnGranteesOfEveryKind();
    void newUserPickedFromTheIdleLogins();
    void everyKindHasABadgeOfItsOwn();
    void ddlPrivilegesAreRowsOfTheirOwn();

private:
    // Every row of every grantee but SYSDBA and PUBLIC, as "grantee type:
    // grantee:object type:object:privilege:column:option:grantor", sorted.
    [[nodiscard]] QStringList catalogue() const;
    // What the window stands on: the master's and the detail's current rows,
    // each with its kind, the pair the next command acts on.
    [[nodiscard]] static QString screen();

    driver::WindowFixture m_window;
};

void TestKinds::initTestCase()
{
    ui::Application::setTitle(QStringLiteral("Kelvane"));
    testserver::createLogin(QStringLiteral("LONELY"), QStringLiteral("lonely"));
}

void TestKinds::init()
{
    m_window.start(QStringLiteral("KINDS"), Schema);
    driver::chooseAlias(QStringLiteral("KINDS"), testserver::password());
}

void TestKinds::cleanup()
{
    m_window.stop();
}

QStringList TestKinds::catalogue() const
{
    return sorted(m_window.db->column(QStringLiteral(
        "SELECT RDB$USER_TYPE || ':' || TRIM(RDB$USER) || ':' || RDB$OBJECT_TYPE || ':' || "
        "TRIM(RDB$RELATION_NAME) || ':' || TRIM(RDB$PRIVILEGE) || ':' || "
        "COALESCE(TRIM(RDB$FIELD_NAME), '') || ':' || RDB$GRANT_OPTION || ':' || "
        "COALESCE(TRIM(RDB$GRANTOR), '') FROM RDB$USER_PRIVILEGES "
        "WHERE RDB$USER NOT IN ('SYSDBA', 'PUBLIC')")));
}

QString TestKinds::screen()
{
    TKelvaneForm *form = KelvaneForm;
    return form->nameHint(form->MasterQuery, form->MasterQuery.recNo()) + QStringLiteral(" / ") +
           form->nameHint(form->DetailQuery, form->DetailQuery.recNo());
}

void TestKinds::objectKinds_data()
{
    QTest::addColumn<QString>("object");
    QTest::addColumn<int>("column");
    QTest::addColumn<QString>("grant");
    QTest::addColumn<QString>("revoke");
    QTest::addColumn<QString>("grantAll");
    QTest::addColumn<QString>("row");
    // FRED's rows on the object after grant all.
    QTest::addColumn<QStringList>("allRows");
    QTest::addColumn<int>("refusedColumn");
    QTest::addColumn<Refusal>("refusal");
    const auto relationRows = [](const char *relation) {
        QStringList rows;
        for (char letter : {'S', 'U', 'I', 'D', 'R'})
            rows << fredRow(0, relation, letter);
        return rows;
    };
    QTest::newRow("table") << "CUSTOMER (table)" << 2 << "GRANT UPDATE ON CUSTOMER TO FRED"
                           << "REVOKE UPDATE ON CUSTOMER FROM FRED"
                           << "GRANT ALL ON CUSTOMER TO FRED" << fredRow(0, "CUSTOMER", 'U')
                           << relationRows("CUSTOMER") << 5 << Refusal::Ignored;
    QTest::newRow("view") << "V_CUST (view)" << 1 << "GRANT SELECT ON V_CUST TO FRED"
                          << "REVOKE SELECT ON V_CUST FROM FRED"
                          << "GRANT ALL ON V_CUST TO FRED" << fredRow(0, "V_CUST", 'S')
                          << relationRows("V_CUST") << 5 << Refusal::Ignored;
    const struct
    {
        const char *tag;
        const char *name;
        const char *onObject;
        int type;
        char letter;
        int refusedColumn;
        Refusal refusal;
    } singles[] = {
        {"procedure", "P1", "EXECUTE ON PROCEDURE P1", 5, 'X', 1, Refusal::Ignored},
        {"function", "F1", "EXECUTE ON FUNCTION F1", 15, 'X', 1, Refusal::Told},
        {"package", "PK", "EXECUTE ON PACKAGE PK", 18, 'X', 1, Refusal::Told},
        {"sequence", "SQ", "USAGE ON SEQUENCE SQ", 14, 'G', 1, Refusal::Told},
        {"exception", "EX", "USAGE ON EXCEPTION EX", 7, 'G', 1, Refusal::Told},
        {"role", "R1", "R1", 13, 'M', 1, Refusal::Told},
    };
    for (const auto &single : singles) {
        const QString on = QLatin1String(single.onObject);
        const QString row = fredRow(single.type, QLatin1String(single.name), single.letter);
        // Grant all and revoke all act on the kind's one privilege.
        QTest::newRow(single.tag) << QStringLiteral("%1 (%2)").arg(QLatin1String(single.name),
                                                                   QLatin1String(single.tag))
                                  << 5 << "GRANT " + on + " TO FRED"
                                  << "REVOKE " + on + " FROM FRED"
                                  << "GRANT " + on + " TO FRED" << row << QStringList{row}
                                  << single.refusedColumn << single.refusal;
    }
}

void TestKinds::objectKinds()
{
    QFETCH(QString, object);
    QFETCH(int, column);
    QFETCH(QString, grant);
    QFETCH(QString, revoke);
    QFETCH(QString, grantAll);
    QFETCH(QString, row);
    QFETCH(QStringList, allRows);
    QFETCH(int, refusedColumn);
    QFETCH(Refusal, refusal);
    const QString name = object.section(u' ', 0, 0);
    const QString kind = object.section(u'(', 1).chopped(1);
    const QString standing = QStringLiteral("user FRED / ") + kind + QLatin1Char(' ') + name;
    const QStringList before = catalogue();

    select(QStringLiteral("FRED"), object);
    QCOMPARE(screen(), standing);
    const QString cells = cellsOf(object);
    // The kind shows in the name's and every cell's tooltip.
    QCOMPARE(hintOf(object, 0), kind + QLatin1Char(' ') + name);
    QCOMPARE(hintOf(object, column).section(u'\n', 0, 0), kind + QLatin1Char(' ') + name);
    SqlLog log;
    driver::doubleClickDetailCell(object, column);
    QCOMPARE(statements(log), QStringList{grant});
    QCOMPARE(catalogue(), changed(before, {row}));
    QCOMPARE(cellsOf(object).at(column - 1), column == 5 ? QChar(u'X') : grant.at(6));
    QCOMPARE(screen(), standing);
    driver::doubleClickDetailCell(object, column);
    QCOMPARE(statements(log), (QStringList{grant, revoke}));
    QCOMPARE(catalogue(), before);
    QCOMPARE(cellsOf(object), cells);

    driver::typeInto(KelvaneForm->DetailGrid, Qt::Key_G, Qt::ControlModifier);
    QCOMPARE(statements(log).last(), grantAll);
    QStringList fredsOnObject;
    for (const QString &held : before) {
        if (held.startsWith(QStringLiteral("8:FRED:")) && held.section(u':', 3, 3) == name)
            fredsOnObject << held;
    }
    const QStringList withoutFred = changed(before, {}, fredsOnObject);
    QCOMPARE(catalogue(), changed(withoutFred, allRows));
    driver::typeInto(KelvaneForm->DetailGrid, Qt::Key_R, Qt::ControlModifier);
    QCOMPARE(catalogue(), withoutFred);
    QCOMPARE(screen(), standing);

    // A letter the kind does not have gives nothing.
    const int sent = int(statements(log).size());
    if (refusal == Refusal::Ignored) {
        driver::doubleClickDetailCell(object, refusedColumn);
    } else {
        QString message;
        driver::answerMessage(&message);
        driver::typeInto(KelvaneForm->DetailGrid, Qt::Key_S, Qt::ControlModifier);
        QVERIFY(testui::allAnswered());
        QVERIFY2(message.startsWith(
                     QStringLiteral("%1 is a %2: it has no SELECT privilege").arg(name, kind)),
                 qPrintable(message));
    }
    QCOMPARE(statements(log).size(), sent);
    QCOMPARE(catalogue(), withoutFred);
    QCOMPARE(screen(), standing);
}

void TestKinds::granteeKinds_data()
{
    QTest::addColumn<QString>("grantee");
    QTest::addColumn<QString>("grant");
    QTest::addColumn<QString>("row");
    QTest::newRow("user") << "FRED (user)"
                          << "GRANT UPDATE ON CUSTOMER TO FRED"
                          << "8:FRED:0:CUSTOMER:U::0:SYSDBA";
    // "TO R1" reaches the role of that name.
    QTest::newRow("role") << "R1 (role)"
                          << "GRANT UPDATE ON CUSTOMER TO R1"
                          << "13:R1:0:CUSTOMER:U::0:SYSDBA";
    QTest::newRow("procedure") << "P1 (procedure)"
                               << "GRANT UPDATE ON CUSTOMER TO PROCEDURE P1"
                               << "5:P1:0:CUSTOMER:U::0:SYSDBA";
    QTest::newRow("function") << "F1 (function)"
                              << "GRANT UPDATE ON CUSTOMER TO FUNCTION F1"
                              << "15:F1:0:CUSTOMER:U::0:SYSDBA";
    QTest::newRow("package") << "PK (package)"
                             << "GRANT UPDATE ON CUSTOMER TO PACKAGE PK"
                             << "18:PK:0:CUSTOMER:U::0:SYSDBA";
    QTest::newRow("trigger") << "TR1 (trigger)"
                             << "GRANT UPDATE ON CUSTOMER TO TRIGGER TR1"
                             << "2:TR1:0:CUSTOMER:U::0:SYSDBA";
    QTest::newRow("view") << "V_CUST (view)"
                          << "GRANT UPDATE ON CUSTOMER TO VIEW V_CUST"
                          << "1:V_CUST:0:CUSTOMER:U::0:SYSDBA";
}

void TestKinds::granteeKinds()
{
    QFETCH(QString, grantee);
    QFETCH(QString, grant);
    QFETCH(QString, row);
    KelvaneForm->ByTableRadio->click();
    const QStringList before = catalogue();
    select(grantee, QStringLiteral("CUSTOMER (table)"));
    const QString standing =
        QStringLiteral("table CUSTOMER / %1 %2")
            .arg(grantee.section(u'(', 1).chopped(1), grantee.section(u' ', 0, 0));
    QCOMPARE(screen(), standing);
    QCOMPARE(cellsOf(grantee), QStringLiteral("S...."));
    SqlLog log;
    driver::doubleClickDetailCell(grantee, 2);
    QVERIFY(testui::allAnswered());
    QCOMPARE(statements(log), QStringList{grant});
    QCOMPARE(catalogue(), changed(before, {row}));
    QCOMPARE(cellsOf(grantee), QStringLiteral("SU..."));
    QCOMPARE(screen(), standing);
    driver::doubleClickDetailCell(grantee, 2);
    QString revoke = grant;
    revoke.replace(QStringLiteral("GRANT"), QStringLiteral("REVOKE"))
        .replace(QStringLiteral(" TO "), QStringLiteral(" FROM "));
    QCOMPARE(statements(log), (QStringList{grant, revoke}));
    QCOMPARE(catalogue(), before);
    QCOMPARE(screen(), standing);
}

void TestKinds::oneNameTwoObjects()
{
    TKelvaneForm *form = KelvaneForm;
    // ORDERS is a table and a sequence; P1 a user and a procedure grantee.
    QCOMPARE(driver::namesOf(form->MasterGrid).count(QStringLiteral("P1")), 2);
    select(QStringLiteral("FRED"), QStringLiteral("ORDERS (sequence)"));
    QCOMPARE(driver::namesOf(form->DetailGrid).count(QStringLiteral("ORDERS")), 2);
    QCOMPARE(cellsOf(QStringLiteral("ORDERS (table)")), QStringLiteral("S...."));
    QCOMPARE(cellsOf(QStringLiteral("ORDERS (sequence)")), QStringLiteral("....."));
    const QStringList before = catalogue();
    SqlLog log;
    driver::typeInto(form->DetailGrid, Qt::Key_X, Qt::ControlModifier);
    QCOMPARE(statements(log), QStringList{"GRANT USAGE ON SEQUENCE ORDERS TO FRED"});
    QCOMPARE(catalogue(), changed(before, {fredRow(14, "ORDERS", 'G')}));
    QCOMPARE(cellsOf(QStringLiteral("ORDERS (table)")), QStringLiteral("S...."));
    QCOMPARE(cellsOf(QStringLiteral("ORDERS (sequence)")), QStringLiteral("....X"));
    QCOMPARE(screen(), QStringLiteral("user FRED / sequence ORDERS"));

    // The view switch keeps the kind as well as the name.
    form->ByTableRadio->click();
    QCOMPARE(screen(), QStringLiteral("sequence ORDERS / user FRED"));
    QCOMPARE(cellsOf(QStringLiteral("FRED")), QStringLiteral("....X"));
    // The procedure P1 holds nothing on the sequence; the user P1 neither.
    QCOMPARE(driver::namesOf(form->DetailGrid).count(QStringLiteral("P1")), 2);
    QCOMPARE(cellsOf(QStringLiteral("P1 (user)")), QStringLiteral("....."));
    form->ByUserRadio->click();
    QCOMPARE(screen(), QStringLiteral("user FRED / sequence ORDERS"));

    // Type-ahead goes by name, and stands on the first kind of it.
    driver::typeInto(form->DetailGrid, Qt::Key_O);
    QCOMPARE(screen(), QStringLiteral("user FRED / table ORDERS"));
}

void TestKinds::commandsOnGranteesOfEveryKind()
{
    // The copy dialog offers every grantee but the source, each kind named,
    // and then the login that holds nothing yet.
    QStringList expected = catalogue();
    select(QStringLiteral("FRED"), QStringLiteral("ORDERS (table)"));
    CopyAnswer answer({QStringLiteral("PK (package)"), QStringLiteral("LONELY")});
    driver::answerCopyDialog(&answer);
    SqlLog log;
    driver::chooseFromEditMenu("UserCopyItem");
    QVERIFY(testui::allAnswered());
    for (const char *offered : {"CAROL", "F1 (function)", "P1", "P1 (procedure)", "R1 (role)",
                                "TR1 (trigger)", "V_CUST (view)"})
        QVERIFY2(answer.offered.contains(QLatin1String(offered)), offered);
    QVERIFY(!answer.offered.contains(QStringLiteral("FRED")));
    QVERIFY(answer.offered.indexOf(QStringLiteral("LONELY")) >
            answer.offered.indexOf(QStringLiteral("V_CUST (view)")));
    QCOMPARE(statements(log), (QStringList{"GRANT SELECT ON ORDERS TO PACKAGE PK",
                                           "GRANT SELECT ON ORDERS TO LONELY"}));
    expected = changed(expected, {"18:PK:0:ORDERS:S::0:SYSDBA", "8:LONELY:0:ORDERS:S::0:SYSDBA"});
    QCOMPARE(catalogue(), expected);
    QCOMPARE(screen(), QStringLiteral("user FRED / table ORDERS"));
    // Only users, roles and PUBLIC hold grant options: nothing is sent.
    select(QStringLiteral("PK (package)"), QStringLiteral("ORDERS (table)"));
    QString refused;
    driver::answerMessage(&refused);
    driver::typeInto(KelvaneForm->DetailGrid, Qt::Key_S, Qt::ControlModifier | Qt::ShiftModifier);
    QVERIFY(testui::allAnswered());
    QVERIFY2(refused.contains(QLatin1String("The package PK cannot hold a grant option")),
             qPrintable(refused));
    QCOMPARE(statements(log).size(), 2);
    QCOMPARE(catalogue(), expected);

    // Copy to other relations, on a sequence, offers the other sequences.
    select(QStringLiteral("FRED"), QStringLiteral("SQ (sequence)"));
    driver::typeInto(KelvaneForm->DetailGrid, Qt::Key_X, Qt::ControlModifier);
    CopyAnswer relations({QStringLiteral("ORDERS")});
    driver::answerCopyDialog(&relations);
    driver::chooseFromEditMenu("TableCopyItem", false);
    QVERIFY(testui::allAnswered());
    QVERIFY(!relations.offered.contains(QStringLiteral("SQ")));
    QVERIFY(!relations.offered.contains(QStringLiteral("CUSTOMER")));
    QVERIFY(!relations.offered.contains(QStringLiteral("EX")));
    QCOMPARE(statements(log).mid(2), (QStringList{"GRANT USAGE ON SEQUENCE SQ TO FRED",
                                                  "GRANT USAGE ON SEQUENCE ORDERS TO FRED"}));
    expected = changed(expected, {fredRow(14, "SQ", 'G'), fredRow(14, "ORDERS", 'G')});
    QCOMPARE(catalogue(), expected);
    QCOMPARE(screen(), QStringLiteral("user FRED / sequence SQ"));

    // Renaming the procedure grantee P1 moves its rows to a user; the user
    // P1 keeps its own.
    select(QStringLiteral("P1 (procedure)"), QStringLiteral("CUSTOMER (table)"));
    driver::InputAnswer newName(QStringLiteral("NEWP"));
    driver::answerInput(&newName);
    driver::chooseFromEditMenu("RenameItem");
    QVERIFY(testui::allAnswered());
    QCOMPARE(statements(log).mid(4), (QStringList{"GRANT SELECT ON CUSTOMER TO NEWP",
                                                  "REVOKE ALL ON CUSTOMER FROM PROCEDURE P1"}));
    expected =
        changed(expected, {"8:NEWP:0:CUSTOMER:S::0:SYSDBA"}, {"5:P1:0:CUSTOMER:S::0:SYSDBA"});
    QCOMPARE(catalogue(), expected);
    QCOMPARE(screen(), QStringLiteral("user NEWP / table CUSTOMER"));

    // Removing a trigger grantee names it by its keyword.
    select(QStringLiteral("TR1 (trigger)"), QStringLiteral("CUSTOMER (table)"));
    QString question;
    driver::answerConfirm(true, &question);
    driver::chooseFromEditMenu("RemoveItem");
    QVERIFY(testui::allAnswered());
    QCOMPARE(statements(log).mid(6), QStringList{"REVOKE ALL ON ALL FROM TRIGGER TR1"});
    expected = changed(expected, {}, {"2:TR1:0:CUSTOMER:S::0:SYSDBA"});
    QCOMPARE(catalogue(), expected);
    QVERIFY(!driver::namesOf(KelvaneForm->MasterGrid).contains(QStringLiteral("TR1")));
}

void TestKinds::newUserPickedFromTheIdleLogins()
{
    select(QStringLiteral("FRED"), QStringLiteral("SQ (sequence)"));
    const QStringList before = catalogue();
    QStringList offered;
    testui::whenModal([&offered](QWidget *modal) {
        auto *dialog = qobject_cast<QInputDialog *>(modal);
        QVERIFY(dialog);
        auto *combo = dialog->findChild<QComboBox *>();
        QVERIFY(combo && combo->isEditable());
        // Nothing is chosen for the administrator: the line starts empty.
        QCOMPARE(combo->currentText(), QString());
        for (int i = 0; i < combo->count(); ++i)
            offered << combo->itemText(i);
        QTest::keyClicks(combo->lineEdit(), QStringLiteral("LON"));
        // Typed, not completed in place: a prefix stays a prefix.
        QCOMPARE(combo->lineEdit()->text(), QStringLiteral("LON"));
        combo->lineEdit()->clear();
        combo->showPopup();
        const int lonely = combo->findText(QStringLiteral("LONELY"));
        QVERIFY(lonely >= 0);
        QTest::keyClick(combo->view(), Qt::Key_Home);
        for (int i = 0; i < lonely; ++i)
            QTest::keyClick(combo->view(), Qt::Key_Down);
        QTest::keyClick(combo->view(), Qt::Key_Return);
        QCOMPARE(combo->currentText(), QStringLiteral("LONELY"));
        QTest::keyClick(combo->lineEdit(), Qt::Key_Return);
    });
    SqlLog log;
    driver::chooseFromEditMenu("AddNewItem");
    QVERIFY(testui::allAnswered());
    // The logins with privileges are not offered.
    QVERIFY(offered.contains(QStringLiteral("LONELY")));
    QVERIFY(!offered.contains(QStringLiteral("SYSDBA")));
    // On a sequence a new user gets its one privilege.
    QCOMPARE(statements(log), QStringList{"GRANT USAGE ON SEQUENCE SQ TO LONELY"});
    QCOMPARE(catalogue(), changed(before, {"8:LONELY:14:SQ:G::0:SYSDBA"}));
    QCOMPARE(screen(), QStringLiteral("user LONELY / sequence SQ"));
    QCOMPARE(cellsOf(QStringLiteral("SQ")), QStringLiteral("....X"));
}

void TestKinds::everyKindHasABadgeOfItsOwn()
{
    // A name may stand for several rows of a list, told apart by the badge
    // alone: within a list no two kinds share a letter, and no two kinds
    // anywhere share a picture, so that a trigger and a table, both a T,
    // still look different.
    const QList<KindLook> objects{
        objectLook(db::kind::Relation, false),    objectLook(db::kind::Relation, true),
        objectLook(db::kind::Procedure, false),   objectLook(db::kind::Exception, false),
        objectLook(db::kind::Role, false),        objectLook(db::kind::Sequence, false),
        objectLook(db::kind::Function, false),    objectLook(db::kind::Package, false),
        objectLook(db::kind::DdlPrivilege, false)};
    const QList<KindLook> grantees{
        granteeLook(db::kind::User),      granteeLook(db::kind::Role),
        granteeLook(db::kind::Procedure), granteeLook(db::kind::Function),
        granteeLook(db::kind::Package),   granteeLook(db::kind::Trigger),
        granteeLook(db::kind::View)};
    for (const QList<KindLook> *list : {&objects, &grantees}) {
        QSet<QChar> letters;
        for (const KindLook &look : *list) {
            QVERIFY2(look.badge != QLatin1Char('?'), qPrintable(look.name));
            QVERIFY2(!letters.contains(look.badge), qPrintable(look.name));
            letters.insert(look.badge);
        }
    }
    QMap<QString, QImage> pictures; // by kind
    for (const KindLook &look : objects + grantees) {
        const QImage image =
            kindBadge(look).pixmap(pictures::BadgeSize, pictures::BadgeSize).toImage();
        QVERIFY2(!image.isNull(), qPrintable(look.name));
        if (pictures.contains(look.name)) {
            QCOMPARE(image, pictures.value(look.name));
            continue;
        }
        for (auto it = pictures.cbegin(); it != pictures.cend(); ++it)
            QVERIFY2(it.value() != image,
                     qPrintable(look.name + QStringLiteral(" and ") + it.key()));
        pictures.insert(look.name, image);
    }
    QCOMPARE(pictures.size(), 11);
}

void TestKinds::ddlPrivilegesAreRowsOfTheirOwn()
{
    TKelvaneForm *form = KelvaneForm;
    const testserver::TestDatabase &db = *m_window.db;
    testserver::createLogin(QStringLiteral("DDLER"), QStringLiteral("ddler"));
    db.run(QStringLiteral("GRANT CREATE TABLE TO DDLER;\nGRANT CREATE TABLE TO CAROL;\n"
                          "GRANT DROP DATABASE TO CAROL;\nCOMMIT;\n"));
    // A switch there and back shows the lists as they were read; F5 reads
    // them again.
    form->ByTableRadio->click();
    form->ByUserRadio->click();
    QVERIFY(!driver::namesOf(form->MasterGrid).contains(QStringLiteral("DDLER")));
    driver::typeInto(form->MasterGrid, Qt::Key_F5);
    QVERIFY(driver::namesOf(form->MasterGrid).contains(QStringLiteral("DDLER")));
    const QStringList relations = driver::namesOf(form->DetailGrid);
    QVERIFY(relations.contains(QStringLiteral("CREATE TABLE")));
    QVERIFY(relations.contains(QStringLiteral("DROP DATABASE")));
    QVERIFY(!relations.contains(QStringLiteral("SQL$TABLES")));
    QVERIFY(!relations.contains(QStringLiteral("CREATE DATABASE")));
    QVERIFY(std::is_sorted(relations.begin(), relations.end(), db::isNameBelow));

    select(QStringLiteral("DDLER"), QStringLiteral("CREATE TABLE"));
    const QString standing = QStringLiteral("user DDLER / DDL privilege CREATE TABLE");
    QCOMPARE(screen(), standing);
    QCOMPARE(cellsOf(QStringLiteral("CREATE TABLE")), QStringLiteral("....X"));
    QCOMPARE(cellsOf(QStringLiteral("DROP DATABASE")), QStringLiteral("....."));
    QCOMPARE(hintOf(QStringLiteral("CREATE TABLE"), 5),
             QStringLiteral("DDL privilege CREATE TABLE\nCREATE TABLE \u2014 granted by SYSDBA"));
    // DDLER owns what it creates: its DDL privileges are the rows that count.
    const auto ddlRows = [&db] {
        return db.rowsOf(QStringLiteral("DDLER"))
            .filter(QRegularExpression(QStringLiteral("^ddl:")));
    };
    const QStringList held = ddlRows();
    QCOMPARE(held, QStringList{"ddl:SQL$TABLES:C::0:SYSDBA"});
    const auto refusedToCreate = [&db](const char *table) {
        return db.refusal(QStringLiteral("CREATE TABLE %1 (A INTEGER);").arg(QLatin1String(table)),
                          QStringLiteral("DDLER"), QStringLiteral("ddler"));
    };
    QCOMPARE(refusedToCreate("BY_DDLER1"), QString());

    // The toggle takes exactly that privilege, in effect too, and gives it back.
    SqlLog log;
    driver::doubleClickDetailCell(QStringLiteral("CREATE TABLE"), 5);
    QCOMPARE(statements(log), QStringList{"REVOKE CREATE TABLE FROM DDLER"});
    QCOMPARE(ddlRows(), QStringList());
    QVERIFY(!refusedToCreate("BY_DDLER2").isEmpty());
    QCOMPARE(cellsOf(QStringLiteral("CREATE TABLE")), QStringLiteral("....."));
    QCOMPARE(screen(), standing);
    driver::typeInto(form->DetailGrid, Qt::Key_X, Qt::ControlModifier);
    QCOMPARE(statements(log).last(), QStringLiteral("GRANT CREATE TABLE TO DDLER"));
    QCOMPARE(ddlRows(), held);
    QCOMPARE(refusedToCreate("BY_DDLER3"), QString());

    // A letter of a table is refused, and grant all gives the one privilege.
    QString message;
    driver::answerMessage(&message);
    driver::typeInto(form->DetailGrid, Qt::Key_S, Qt::ControlModifier);
    QVERIFY(testui::allAnswered());
    QVERIFY2(message.startsWith(
                 QStringLiteral("CREATE TABLE is a DDL privilege: it has no SELECT privilege")),
             qPrintable(message));
    select(QStringLiteral("DDLER"), QStringLiteral("DROP DATABASE"));
    driver::typeInto(form->DetailGrid, Qt::Key_G, Qt::ControlModifier);
    QCOMPARE(statements(log).last(), QStringLiteral("GRANT DROP DATABASE TO DDLER"));
    QCOMPARE(ddlRows(),
             (QStringList{"ddl:SQL$DATABASE:O::0:SYSDBA", "ddl:SQL$TABLES:C::0:SYSDBA"}));

    // By Relation the privilege lists its holders; a copy goes to the other
    // DDL privileges only, each with its own letter.
    form->ByTableRadio->click();
    QCOMPARE(screen(), QStringLiteral("DDL privilege DROP DATABASE / user DDLER"));
    QCOMPARE(cellsOf(QStringLiteral("CAROL")), QStringLiteral("....X"));
    QCOMPARE(cellsOf(QStringLiteral("FRED")), QStringLiteral("....."));
    select(QStringLiteral("FRED"), QStringLiteral("CREATE TABLE"));
    QCOMPARE(cellsOf(QStringLiteral("DDLER")), QStringLiteral("....X"));
    select(QStringLiteral("CAROL"), QStringLiteral("DROP DATABASE"));
    CopyAnswer targets({QStringLiteral("CREATE TABLE")});
    driver::answerCopyDialog(&targets);
    driver::chooseFromEditMenu("TableCopyItem", false);
    QVERIFY(testui::allAnswered());
    QVERIFY(targets.offered.contains(QStringLiteral("CREATE TABLE")));
    QVERIFY(!targets.offered.contains(QStringLiteral("CUSTOMER")));
    // CAROL already holds CREATE TABLE: nothing to send.
    QCOMPARE(statements(log).size(), 3);

    // Removing a user takes its DDL privileges along.
    select(QStringLiteral("DDLER"), QStringLiteral("CREATE TABLE"));
    driver::answerConfirm(true, &message);
    driver::chooseFromEditMenu("RemoveItem");
    QVERIFY(testui::allAnswered());
    QCOMPARE(db.rowsOf(QStringLiteral("DDLER")), QStringList());
    QVERIFY(!refusedToCreate("BY_DDLER4").isEmpty());
}

QTEST_MAIN(TestKinds)
#include "tst_kinds.moc"
