// The main window's browsing: the two view modes, the privilege grid that
// follows the master list, the search of a list and the type-ahead.
#include "PrivEdit.h"

#include "DataSetGuards.h"
#include "Privileges.h"
#include "ui/Application.h"
#include "ui/DBGrid.h"

#include <QLabel>
#include <QRadioButton>

namespace {

bool isLetterKey(int key)
{
    return key >= Qt::Key_A && key <= Qt::Key_Z;
}

} // namespace

void TKelvaneForm::ByRadioClick(QObject *)
{
    if (!Database.connected())
        return;

    QString userName;
    QString relationName;
    if (UserList && UserList->active()) {
        userName = UserList->fields(0)->text();
        relationName = RelationList->fields(0)->text();
    }

    if (ByUserRadio->isChecked()) {
        UserList = &MasterQuery;
        RelationList = &DetailQuery;
        MasterLabel->setText(QStringLiteral("Users"));
        DetailLabel->setText(QStringLiteral("Relations"));
    } else {
        RelationList = &MasterQuery;
        UserList = &DetailQuery;
        MasterLabel->setText(QStringLiteral("Relations"));
        DetailLabel->setText(QStringLiteral("Users"));
    }
    MasterLabel->adjustSize();
    DetailLabel->adjustSize();

    // Field names can change only while their datasets are closed.
    DetailQuery.close();
    MasterQuery.close();
    PrivQuery.close();
    db::TQuery &userList = *UserList;
    db::TQuery &relationList = *RelationList;
    userList.sqlClear();
    relationList.sqlClear();
    PrivQuery.sqlClear();
    // Only tables, views (type 0) and stored procedures (type 5): the catalogue
    // also records usage of character sets, collations, domains, sequences,
    // roles and the database itself, on which no GRANT of ours could succeed.
    addStatement(
        userList,
        {"SELECT DISTINCT RDB$USER", "FROM RDB$USER_PRIVILEGES", "WHERE RDB$OBJECT_TYPE IN (0, 5)"},
        QStringLiteral("RDB$USER"));
    addStatement(relationList,
                 {"SELECT DISTINCT RDB$RELATION_NAME", "FROM RDB$USER_PRIVILEGES",
                  "WHERE RDB$OBJECT_TYPE IN (0, 5)"},
                 QStringLiteral("RDB$RELATION_NAME"));
    // Beside the letters, the object's kind (a function or a sequence may
    // share a relation's name) and what the cells' tooltips tell.
    if (UserList == &MasterQuery) {
        addStatement(PrivQuery,
                     {"SELECT RDB$RELATION_NAME, RDB$PRIVILEGE, RDB$OBJECT_TYPE, RDB$FIELD_NAME, "
                      "RDB$GRANT_OPTION, RDB$GRANTOR",
                      "FROM RDB$USER_PRIVILEGES", "WHERE RDB$USER = :User"},
                     QStringLiteral("RDB$RELATION_NAME"));
    } else {
        addStatement(PrivQuery,
                     {"SELECT RDB$USER, RDB$PRIVILEGE, RDB$OBJECT_TYPE, RDB$FIELD_NAME, "
                      "RDB$GRANT_OPTION, RDB$GRANTOR",
                      "FROM RDB$USER_PRIVILEGES", "WHERE RDB$RELATION_NAME = :Table"},
                     QStringLiteral("RDB$USER"));
    }
    userList.prepare();
    relationList.prepare();
    PrivQuery.prepare();
    DetailGrid->setColumnFieldName(0, DetailQuery.fields(0)->fieldName());

    MasterQuery.open();

    if (!userName.isEmpty())
        standOnPair(userName, relationName);
}

void TKelvaneForm::standOnPair(const QString &user, const QString &relation)
{
    const bool byUser = UserList == &MasterQuery;
    locateMasterOnce(byUser ? user : relation);
    // The detail search runs in the detail list of the master row found, its
    // rows calculated as they are read.
    if (DetailQuery.active())
        LocateRecord(DetailQuery, 0, byUser ? relation : user, false);
}

void TKelvaneForm::locateMasterOnce(const QString &name)
{
    // Reloading the detail at every master row passed would cost a privilege
    // read and a full detail read per row; the reload of the row the search
    // stops on is all that shows.
    {
        const auto scanning = flagSetFor(Scanning);
        LocateRecord(MasterQuery, 0, name, false);
    }
    // Opening the master already reloaded the detail for its first row.
    if (MasterQuery.recNo() > 0)
        MasterQueryAfterScroll(nullptr);
}

void TKelvaneForm::DBGridKeyDown(QObject *sender, int &key, Qt::KeyboardModifiers shift)
{
    if (!Database.connected())
        return;
    if (shift != Qt::NoModifier || !isLetterKey(key))
        return;
    auto *grid = static_cast<ui::DBGrid *>(sender);
    {
        const auto scanning = flagSetFor(Scanning);
        // Qt reports letter keys by their upper-case code whatever the case.
        LocateRecord(*grid->dataSet(), 0, QString(QChar(key)), false);
        key = 0;
    }
    // The search left the cells it read empty: read them again for the
    // master's current row.
    MasterQueryAfterScroll(nullptr);
    ui::abortSilently();
}

void TKelvaneForm::MasterQueryAfterScroll(db::TDataSet *)
{
    if (Scanning)
        return;
    db::TBookmark bookmark = DetailQuery.bookmark();
    {
        const auto enable = controlsDisabledFor(DetailQuery);
        DetailQuery.close();
        PrivQuery.close();
        if (MasterQuery.recordCount() > 0) {
            PrivQuery.setParamText(0, MasterQuery.fields(0)->text());
            PrivQuery.open();
            DetailQuery.open();
            DetailQuery.gotoBookmark(bookmark);
        }
    }
    db::TDataSet::freeBookmark(bookmark);
    if (&MasterQuery == RelationList)
        CheckProcedure();
}

void TKelvaneForm::DetailQueryAfterScroll(db::TDataSet *)
{
    if (&DetailQuery == RelationList)
        CheckProcedure();
}

void TKelvaneForm::DetailQueryCalcFields(db::TDataSet *)
{
    if (Scanning)
        return;
    if (m_privilegeMarks.isStale(PrivQuery))
        m_privilegeMarks.rebuild(PrivQuery, *PrivQueryName, *PrivQueryPrivilege,
                                 *PrivQueryObjectType);
    else if (!PrivQuery.eof())
        PrivQuery.last(); // as a walk over the rows would leave them
    // One shared string per letter rather than an allocation per mark.
    static const std::array<QString, PrivilegeColumns.size()> letters = [] {
        std::array<QString, PrivilegeColumns.size()> all;
        for (const PrivilegeColumn &column : PrivilegeColumns)
            all[column.index - 1] = QString(column.letter);
        return all;
    }();
    const PrivilegeMarks::Marks marks = m_privilegeMarks.marksOf(DetailQuery.fields(0)->text());
    for (const PrivilegeColumn &column : PrivilegeColumns) {
        if (marks & (1u << (column.index - 1)))
            DetailQuery.fields(column.index)->setText(letters[column.index - 1]);
    }
}

void TKelvaneForm::CheckProcedure()
{
    CurrentIsProcedure = Procedures.findKey(RelationList->fields(0)->text());
}

void TKelvaneForm::RefreshPrivileges()
{
    PrivQuery.close();
    PrivQuery.open();
    db::TBookmark bookmark = DetailQuery.bookmark();
    {
        const auto enable = controlsDisabledFor(DetailQuery);
        DetailQuery.close();
        DetailQuery.open();
        DetailQuery.gotoBookmark(bookmark);
    }
    db::TDataSet::freeBookmark(bookmark);
    MasterQuery.enableControls();
}

void TKelvaneForm::LocateRecord(db::TDataSet &dataSet, int column, const QString &text, bool reopen)
{
    const auto enable = controlsDisabledFor(dataSet);
    if (reopen) {
        dataSet.close();
        dataSet.open();
    }
    dataSet.first();
    while (!dataSet.eof() && db::isNameBelow(dataSet.fields(column)->text(), text))
        dataSet.next();
}

QString TKelvaneForm::privilegeHint(int row, int column) const
{
    if (column < 1 || column > ExecuteColumn || !PrivQuery.active() || !DetailQuery.active())
        return {};
    const QString name = DetailQuery.fields(0)->textAt(row);
    const QChar letter = PrivilegeColumns[column - 1].letter;
    QList<db::GrantRow> held;
    for (int i = 0; i < PrivQuery.recordCount(); ++i) {
        const QString privilege = PrivQueryPrivilege->textAt(i);
        if (PrivQueryName->textAt(i) != name || !privilege.startsWith(letter) ||
            !PrivilegeMarks::isListedKind(PrivQueryObjectType->textAt(i)))
            continue;
        held.append({name, db::kind::User, name, PrivQueryObjectType->textAt(i).toInt(), letter,
                     PrivQueryColumn->textAt(i), PrivQueryOption->textAt(i).toInt(),
                     PrivQueryGrantor->textAt(i)});
    }
    QStringList lines;
    for (const db::PrivilegeForm &form : db::formsOf(held))
        lines.append(db::describeHeld(form));
    return lines.join(QLatin1Char('\n'));
}
