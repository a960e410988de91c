// The editing commands that treat a user as a whole: copying ALL of a user's
// privileges to other users or to a new one, renaming and removal. Each
// changes the catalogue, so before every run, the program's and the bare
// loop's alike, the users it touches are put back exactly as they were.
#include "Bench.h"

#include "app/Forms.h"
#include "app/PrivEdit.h"
#include "db/Exception.h"
#include "db/Query.h"
#include "ui/DBGrid.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include "TestServer.h"

#include <map>
#include <tuple>

namespace kbench {

namespace {

// One catalogue row of a grantee, without the grantee's name, so that the
// rows of two names can be compared.
struct HeldRow
{
    int objectType = 0;
    QString object;
    QString privilege;
    QString column;
    int option = 0;
    QString grantor;

    [[nodiscard]] QString line() const
    {
        return QStringLiteral("%1|%2|%3|%4|%5|%6")
            .arg(objectType)
            .arg(object, privilege, column)
            .arg(option)
            .arg(grantor);
    }
};

QList<HeldRow> rowsOf(const QString &user)
{
    QList<HeldRow> rows;
    for (const QStringList &row : benchConnection().rows(
             QStringLiteral("SELECT RDB$OBJECT_TYPE, RDB$RELATION_NAME, RDB$PRIVILEGE, "
                            "RDB$FIELD_NAME, RDB$GRANT_OPTION, RDB$GRANTOR FROM "
                            "RDB$USER_PRIVILEGES WHERE RDB$USER = ?"),
             {user}))
        rows.append({row[0].toInt(), row[1], row[2], row[3], row[4].toInt(), row[5]});
    return rows;
}

QStringList linesOf(const QList<HeldRow> &rows)
{
    QStringList lines;
    for (const HeldRow &row : rows)
        lines.append(row.line());
    lines.sort();
    return lines;
}

// The statements that give a user these rows again. The catalogue holds
// only what its script granted: whole objects of every kind, by SYSDBA.
QStringList grantsFor(const QList<HeldRow> &rows, const QString &user)
{
    static const QMap<QString, QString> words{
        {"S", "SELECT"},     {"U", "UPDATE"},  {"I", "INSERT"}, {"D", "DELETE"},
        {"R", "REFERENCES"}, {"X", "EXECUTE"}, {"G", "USAGE"},  {"M", QString()}};
    static const QMap<int, QString> keywords{{0, QString()},
                                             {5, QStringLiteral("PROCEDURE ")},
                                             {13, QString()},
                                             {14, QStringLiteral("SEQUENCE ")},
                                             {15, QStringLiteral("FUNCTION ")},
                                             {18, QStringLiteral("PACKAGE ")}};
    using Key = std::tuple<int, QString, QString, int, QString>;
    std::map<Key, QStringList> grouped;
    for (const HeldRow &row : rows) {
        if (!words.contains(row.privilege) || !keywords.contains(row.objectType))
            fail(QStringLiteral("%1 holds %2 on %3 (type %4), which the bench cannot give back")
                     .arg(user, row.privilege, row.object)
                     .arg(row.objectType));
        QString word = words.value(row.privilege);
        if (!row.column.isEmpty())
            word += QStringLiteral(" (%1)").arg(row.column);
        grouped[{row.objectType, row.object, row.column, row.option, row.grantor}].append(word);
    }
    QStringList statements;
    for (const auto &[key, privileges] : grouped) {
        const auto &[type, object, column, option, grantor] = key;
        (void)column;
        const bool role = type == 13;
        QString sql = role ? QStringLiteral("GRANT %1 TO %2").arg(object, user)
                           : QStringLiteral("GRANT %1 ON %2%3 TO %4")
                                 .arg(privileges.join(QStringLiteral(", ")), keywords.value(type),
                                      object, user);
        if (option != 0)
            sql +=
                role ? QStringLiteral(" WITH ADMIN OPTION") : QStringLiteral(" WITH GRANT OPTION");
        if (grantor != QLatin1String("SYSDBA"))
            sql += QStringLiteral(" GRANTED BY ") + grantor;
        statements.append(sql);
    }
    return statements;
}

void runStatements(const QStringList &statements)
{
    benchConnection().execute(statements);
}

// The restore leaves hundreds of deleted row versions, which the server
// cleans up in whichever statement next reads the whole table: a scan here,
// before the clock, keeps that cost out of the program's run and the bare
// loop's alike.
void collectGarbage()
{
    (void)benchConnection().rows(QStringLiteral("SELECT COUNT(*) FROM RDB$USER_PRIVILEGES"));
}

// What the users looked like before the first run, learnt on the first
// restore, when nothing has been changed yet.
class Snapshot
{
public:
    explicit Snapshot(const QStringList &users) : m_users(users) {}

    const QList<HeldRow> &of(const QString &user)
    {
        auto found = m_rows.find(user);
        if (found == m_rows.end()) {
            found = m_rows.emplace(user, rowsOf(user)).first;
            if (found->second.isEmpty())
                fail(QStringLiteral("%1 holds nothing in the catalogue").arg(user));
        }
        return found->second;
    }
    [[nodiscard]] const QStringList &users() const { return m_users; }

private:
    QStringList m_users;
    std::map<QString, QList<HeldRow>> m_rows;
};

// Puts the users back as the snapshot has them and takes everything from
// the names the command creates, then checks that it did.
std::function<void()> restoring(const std::shared_ptr<Snapshot> &snapshot,
                                const QStringList &created)
{
    return [snapshot, created] {
        for (const QString &user : snapshot->users())
            (void)snapshot->of(user);
        QStringList statements;
        for (const QString &name : snapshot->users() + created)
            statements.append(QStringLiteral("REVOKE ALL ON ALL FROM ") + name);
        for (const QString &user : snapshot->users())
            statements += grantsFor(snapshot->of(user), user);
        runStatements(statements);
        for (const QString &user : snapshot->users()) {
            if (linesOf(rowsOf(user)) != linesOf(snapshot->of(user)))
                fail(QStringLiteral("%1 could not be put back as it was").arg(user));
        }
        for (const QString &name : created) {
            if (!rowsOf(name).isEmpty())
                fail(QStringLiteral("%1 still holds privileges after the restore").arg(name));
        }
        collectGarbage();
    };
}

// What the command must leave: holder holds exactly the rows the snapshot
// gives for source.
void expectSameRows(const std::shared_ptr<Snapshot> &snapshot, const QString &source,
                    const QString &holder)
{
    const QStringList expected = linesOf(snapshot->of(source));
    const QStringList held = linesOf(rowsOf(holder));
    if (held == expected)
        return;
    QStringList missing;
    QStringList extra;
    for (const QString &line : expected) {
        if (!held.contains(line))
            missing.append(line);
    }
    for (const QString &line : held) {
        if (!expected.contains(line))
            extra.append(line);
    }
    fail(QStringLiteral("%1 holds %2 rows, %3 expected as %4 held them; missing (type|object|"
                        "privilege|column|option|grantor): %5; extra: %6")
             .arg(holder)
             .arg(held.size())
             .arg(expected.size())
             .arg(source, missing.mid(0, 5).join(QStringLiteral(", ")),
                  extra.mid(0, 5).join(QStringLiteral(", "))));
}

void expectNothingHeld(const QString &user)
{
    const QList<HeldRow> rows = rowsOf(user);
    if (!rows.isEmpty())
        fail(QStringLiteral("%1 still holds %2 rows, %3 among them")
                 .arg(user)
                 .arg(rows.size())
                 .arg(rows.front().line()));
}

// Runs the command, answering its dialogs in turn through the dialogs
// themselves; the clock starts when the first is answered. A later one (a
// question on what the command takes away) is answered as soon as it shows,
// and the time it waits for the answer counts in, up to the answers'
// polling interval.
Timing timeCommand(const std::function<void()> &command,
                   const QList<std::function<void(QWidget *)>> &answers)
{
    auto clock = std::make_shared<Stopwatch>();
    expectCommandDialog(true);
    for (qsizetype i = 0; i < answers.size(); ++i) {
        testui::whenModal([clock, answer = answers.at(i), first = i == 0,
                           last = i == answers.size() - 1](QWidget *modal) {
            if (first)
                clock->start();
            answer(modal);
            // Any dialog after the last, an error above all, is unexpected.
            if (last)
                expectCommandDialog(false);
        });
    }
    try {
        command();
    } catch (const kelvane::Exception &failure) {
        // In the program the event loop shows it as a message; here the
        // command has failed and the operation with it.
        expectCommandDialog(false);
        settle();
        fail(QStringLiteral("the command failed: %1").arg(failure.message()));
    }
    settle();
    expectCommandDialog(false);
    if (!testui::allAnswered(1000))
        fail(QStringLiteral("the command's dialog was not answered"));
    checkNothingUnexpected(QStringLiteral("command"));
    return clock->elapsed();
}

Timing timeCommand(void (TKelvaneForm::*command)(QObject *),
                   const QList<std::function<void(QWidget *)>> &answers)
{
    return timeCommand([command] { (KelvaneForm->*command)(nullptr); }, answers);
}

void clickYes(QWidget *modal)
{
    for (QAbstractButton *button : modal->findChildren<QAbstractButton *>()) {
        if (button->text() == QLatin1String("&Yes"))
            button->click();
    }
}

void typeIntoInput(QWidget *modal, const QString &text)
{
    auto *edit = modal->findChild<QLineEdit *>();
    if (!edit)
        fail(QStringLiteral("no text-input dialog"));
    edit->setText(text);
    QTest::keyClick(edit, Qt::Key_Return);
}

bool isByUser(QRadioButton *view)
{
    return view == KelvaneForm->ByUserRadio;
}

// Stands on the user and the relation in the view given, after the lists
// have been read again so that they show the catalogue as it was put back.
std::function<void()> standingOn(QRadioButton *view, const QString &user, const QString &relation)
{
    return [=] {
        selectView(view);
        KelvaneForm->MasterQuery.close();
        KelvaneForm->MasterQuery.open();
        settle();
        positionMaster(isByUser(view) ? user : relation);
        positionDetail(isByUser(view) ? relation : user);
    };
}

// The window stands on the user in the view given, with the relation kept.
void expectCurrentPair(QRadioButton *view, const QString &user, const QString &relation)
{
    expectGridsFilled();
    expectMaster(isByUser(view) ? user : relation);
    expectDetail(isByUser(view) ? relation : user);
}

// An editing command: the catalogue is put back before the program's run
// and before the bare loop's.
Operation editing(Operation op, const std::function<void()> &restore)
{
    const auto arrange = op.arrange;
    op.arrange = [restore, arrange] {
        restore();
        arrange();
    };
    op.resetData = restore;
    op.changesOnly = true;
    return op;
}

} // namespace

Operation toggleOp(const QString &label, const QString &user, const QString &relation, bool on)
{
    // The cell is empty at every start of a toggle on, held at every start
    // of a toggle off: what is timed is the statement with the refresh that
    // shows it.
    const QString toBefore = on ? QStringLiteral("REVOKE SELECT ON %1 FROM %2")
                                : QStringLiteral("GRANT SELECT ON %1 TO %2");
    const auto putBack = [user, relation, toBefore] {
        runStatements({toBefore.arg(relation, user)});
    };
    const auto holds = [] { return !KelvaneForm->DetailQuerySelect->text().isEmpty(); };
    QRadioButton *view = KelvaneForm->ByUserRadio;
    Operation op{label,
                 [=] {
                     putBack();
                     standingOn(view, user, relation)();
                     if (holds() == on)
                         fail(QStringLiteral("the SELECT cell of %1 on %2 is %3 before the toggle")
                                  .arg(user, relation, on ? u"held" : u"empty"));
                 },
                 [] {
                     Stopwatch clock;
                     clock.start();
                     QTest::keyClick(KelvaneForm->DetailGrid, Qt::Key_S, Qt::ControlModifier);
                     settle();
                     return clock.elapsed();
                 },
                 [=] {
                     expectCurrentPair(view, user, relation);
                     if (holds() != on)
                         fail(QStringLiteral("the SELECT cell is %1 after the toggle")
                                  .arg(on ? u"empty" : u"held"));
                 }};
    op.resetData = putBack;
    return op;
}

Operation copyAllOp(const QString &label, const QString &source, const QStringList &targets)
{
    auto snapshot = std::make_shared<Snapshot>(QStringList{source} + targets);
    Operation op{label, standingOn(KelvaneForm->ByUserRadio, source, QStringLiteral("T0001")),
                 [targets] {
                     const auto chooseTargets = [targets](QWidget *modal) {
                         auto *list = modal->findChild<QListWidget *>();
                         for (const QString &target : targets)
                             list->findItems(target, Qt::MatchExactly).value(0)->setSelected(true);
                         modal->findChild<QPushButton *>(QStringLiteral("OKButton"))->click();
                     };
                     // The targets hold what the source does not: the copy
                     // names what it takes from them and asks.
                     return timeCommand(&TKelvaneForm::AllCopyItemClick, {chooseTargets, clickYes});
                 },
                 [snapshot, source, targets] {
                     expectMaster(source);
                     expectGridsFilled();
                     for (const QString &target : targets)
                         expectSameRows(snapshot, source, target);
                 }};
    return editing(op, restoring(snapshot, {}));
}

Operation renameOp(const QString &label, QRadioButton *view, const QString &user,
                   const QString &relation, const QString &newName)
{
    auto snapshot = std::make_shared<Snapshot>(QStringList{user});
    Operation op{label, standingOn(view, user, relation),
                 [newName] {
                     return timeCommand(&TKelvaneForm::RenameItemClick, {[newName](QWidget *modal) {
                         typeIntoInput(modal, newName);
                     }});
                 },
                 [=] {
                     expectCurrentPair(view, newName, relation);
                     expectSameRows(snapshot, user, newName);
                     expectNothingHeld(user);
                 }};
    return editing(op, restoring(snapshot, {newName}));
}

Operation copyNewAllOp(const QString &label, QRadioButton *view, const QString &user,
                       const QString &relation, const QString &newName)
{
    auto snapshot = std::make_shared<Snapshot>(QStringList{user});
    Operation op{label, standingOn(view, user, relation),
                 [newName] {
                     return timeCommand(
                         &TKelvaneForm::CopyNewAllItemClick,
                         {[newName](QWidget *modal) { typeIntoInput(modal, newName); }});
                 },
                 [=] {
                     expectCurrentPair(view, newName, relation);
                     expectSameRows(snapshot, user, newName);
                     expectSameRows(snapshot, user, user);
                 }};
    return editing(op, restoring(snapshot, {newName}));
}

Operation eachRelationOp(const QString &label, const QString &user)
{
    auto snapshot = std::make_shared<Snapshot>(QStringList{user});
    const auto selectsHeld = [user] {
        return benchConnection()
            .rows(QStringLiteral(
                      "SELECT COUNT(DISTINCT RDB$RELATION_NAME) FROM RDB$USER_PRIVILEGES WHERE "
                      "RDB$USER = ? "
                      "AND RDB$PRIVILEGE = 'S' AND RDB$OBJECT_TYPE = 0 AND RDB$FIELD_NAME IS NULL"),
                  {user})
            .value(0)
            .value(0)
            .toInt();
    };
    // The list shows the system's tables too unless its switch hides them.
    const auto relationsShown = [] {
        return benchConnection()
            .rows(QString::fromLatin1(
                KelvaneForm->SystemCheck->isChecked()
                    ? "SELECT COUNT(*) FROM RDB$RELATIONS"
                    : "SELECT COUNT(*) FROM RDB$RELATIONS WHERE RDB$SYSTEM_FLAG = 0"))
            .value(0)
            .value(0)
            .toInt();
    };
    Operation op{label, standingOn(KelvaneForm->ByUserRadio, user, QStringLiteral("T0001")),
                 [] {
                     // From the names' column: the letter is SELECT's.
                     return timeCommand(
                         [] { KelvaneForm->EachLetterItemClick(KelvaneForm->GrantEachItem); },
                         {clickYes});
                 },
                 [user, selectsHeld, relationsShown] {
                     expectMaster(user);
                     expectGridsFilled();
                     const int shown = relationsShown();
                     if (const int held = selectsHeld(); held != shown)
                         fail(QStringLiteral("%1 holds SELECT on %2 relations, not on the %3 "
                                             "the list shows")
                                  .arg(user)
                                  .arg(held)
                                  .arg(shown));
                 }};
    return editing(op, restoring(snapshot, {}));
}

Operation removeOp(const QString &label, QRadioButton *view, const QString &user,
                   const QString &relation)
{
    auto snapshot = std::make_shared<Snapshot>(QStringList{user});
    Operation op{label, standingOn(view, user, relation),
                 [] {
                     // The question may go on with what else goes; the answer
                     // is the same button.
                     return timeCommand(&TKelvaneForm::RemoveItemClick, {clickYes});
                 },
                 [user] {
                     expectGridsFilled();
                     expectNothingHeld(user);
                 }};
    return editing(op, restoring(snapshot, {}));
}

} // namespace kbench
