// The main window's writers to the database and the commands that change one
// privilege, or all of them, of the current user on the current relation.
#include "PrivEdit.h"

#include "Privileges.h"
#include "db/Exception.h"
#include "ui/Application.h"
#include "ui/DBGrid.h"
#include "ui/Dialogs.h"
#include "ui/PopupMenu.h"

#include <QAction>
#include <QLineEdit>

void TKelvaneForm::GrantPrivilege(const db::Grantee &user, const db::ObjectRef &relation,
                                  const QString &privilege)
{
    sendGrant(checkedGrant(user, relation, privilege), user);
}

db::Change TKelvaneForm::checkedGrant(const db::Grantee &user, const db::ObjectRef &relation,
                                      const QString &privilege)
{
    // A role goes to users, and on Firebird 4 to roles, alone: on Firebird
    // 3 the plain name of a role grantee would reach a user of that name.
    const bool member =
        user.type == db::kind::User || (user.type == db::kind::Role && !login().isFirebird3);
    if (relation.type == db::kind::Role && !member)
        throw kelvane::Exception(
            QStringLiteral("The role %1 cannot be granted to %2 %3: the server grants roles to "
                           "users%4 only. Nothing was changed")
                .arg(relation.name,
                     user.type == db::kind::Role ? QStringLiteral("the role")
                                                 : db::kindName(user.type),
                     user.name.text(),
                     login().isFirebird3 ? QString() : QStringLiteral(" and roles")));
    const db::Change grant = db::grantWordChange(relation, privilege, user);
    checkServerCanStore({grant});
    return grant;
}

void TKelvaneForm::sendGrant(const db::Change &grant, const db::Grantee &user)
{
    m_undo.beforeChanges({grant});
    keepInChangeQuery(grant.sql);
    try {
        runGrant(user.name.storedText());
    } catch (const kelvane::Exception &failure) {
        tellGrantRefused(failure.message());
    }
}

void TKelvaneForm::keepInChangeQuery(const QString &statement)
{
    ChangeQuery.sqlClear();
    ChangeQuery.sqlAdd(statement);
}

void TKelvaneForm::tellGrantRefused(const QString &message)
{
    // A refused grant does not end the command: the administrator is told
    // why, and the command goes on with its next step.
    ui::showErrorMessage(RelationList->fields(0)->text() + QStringLiteral(" is read-only.\n") +
                         message);
}

void TKelvaneForm::runGrant(const QString &grantee)
{
    if (!m_commands.running()) {
        ChangeQuery.execSQL();
        return;
    }
    // In a command the grantee's rows come back in the grant's round trip:
    // the cells and the way back take them instead of reading them again.
    GranteeQuery.close();
    GranteeQuery.setParamText(0, grantee);
    const db::TCommandTransaction::Step step =
        m_commands.runThenRead(ChangeQuery.sqlText(), GranteeQuery, grantRowTexts());
    // Taken even after a refusal: the next read of another grantee must not.
    m_undo.noteRowsOf(grantee, readGranteeRows(grantee));
    if (step.refused)
        throw kelvane::EngineError(step.message);
}

db::Grantee TKelvaneForm::currentGrantee()
{
    return granteeOf(keyOf(*UserList));
}

db::ObjectRef TKelvaneForm::currentObject() const
{
    const ListKey key = keyOf(*RelationList);
    return {key.kind, key.name};
}

bool TKelvaneForm::hasCurrentPair() const
{
    // Without a user and a relation a statement could name nobody.
    return Database.connected() && UserList && RelationList && UserList->recNo() >= 0 &&
           RelationList->recNo() >= 0;
}

bool TKelvaneForm::isEditableColumn(int column) const
{
    // An object with a single privilege has the last column alone; a table
    // or view every other one.
    const bool single = db::hasSinglePrivilege(currentObject().type);
    return (column != ExecuteColumn) != single;
}

void TKelvaneForm::checkLetterOfKind(int column) const
{
    // The kinds with one privilege other than a procedure (whose letters
    // all stand for EXECUTE) refuse a letter they do not have rather than
    // give that privilege unasked.
    const db::ObjectRef object = currentObject();
    if (!db::hasSinglePrivilege(object.type) || column == ExecuteColumn)
        return;
    throw kelvane::Exception(QStringLiteral("%1 is a %2: it has no %3 privilege. Its one "
                                            "privilege, %4, is in the X column.")
                                 .arg(object.name, objectLook(object.type, false).name,
                                      DetailQuery.fields(column)->displayLabel(),
                                      privilegeWordOf(ExecuteColumn)));
}

int TKelvaneForm::checkedCellColumn(int column) const
{
    checkGranteeKind(keyOf(*UserList));
    // A procedure's one privilege answers to every letter.
    if (currentObject().type == db::kind::Procedure)
        column = ExecuteColumn;
    checkLetterOfKind(column);
    return column;
}

QString TKelvaneForm::lettersOfCell(int column) const
{
    // A kind with one privilege takes it whatever its letter.
    return db::hasSinglePrivilege(currentObject().type)
               ? QString()
               : QString(PrivilegeColumns.at(column - 1).letter);
}

QList<db::GrantRow> TKelvaneForm::grantsOnCurrentPair()
{
    return db::rowsWhere(grantsOf(keyOf(*UserList)),
                         [this](const db::GrantRow &row) { return isCurrentObject(row); });
}

TKelvaneForm::CellRows TKelvaneForm::readCell(int column)
{
    CellRows cell;
    cell.held = grantsOnCurrentPair();
    const QString letters = lettersOfCell(column);
    cell.ofCell = letters.isEmpty() ? cell.held
                                    : db::rowsWhere(cell.held, [&letters](const db::GrantRow &row) {
                                          return letters.contains(row.privilege);
                                      });
    return cell;
}

void TKelvaneForm::reportCellChanged(int column, const QString &found, const QString &outcome)
{
    const QString message = QStringLiteral("%1 %2 %3 on %4%5")
                                .arg(distinctName(*UserList), found, privilegeWordOf(column),
                                     distinctName(*RelationList), outcome);
    RefreshPrivileges();
    throw kelvane::Exception(message);
}

QStringList TKelvaneForm::togglePrivilege(int column, bool &granted)
{
    column = checkedCellColumn(column);
    granted = !isCellSet(column);
    if (granted) {
        grantEmptyCell(column);
        return {};
    }
    if (revokeCellAsShown(column))
        return {};
    // The cell as the catalogue has it now: another session may have
    // changed it since the grid was read, and the administrator acted on
    // what the grid showed.
    const CellRows cell = readCell(column);
    if (cell.ofCell.isEmpty())
        reportCellChanged(column, QStringLiteral("no longer holds"),
                          QStringLiteral(": nothing to revoke"));
    return runPlan(db::planRevoke(cell.held, lettersOfCell(column), currentGrantee(), login()));
}

void TKelvaneForm::grantEmptyCell(int column)
{
    const QString word = DetailQuery.fields(column)->displayLabel();
    const db::Grantee user = currentGrantee();
    const db::Change grant = checkedGrant(user, currentObject(), word);
    // The cell is read as the catalogue has it, and the grant sent only if
    // the cell is still empty, in one round trip, the grantee's rows read
    // again after it: another session may have granted the privilege since
    // the grid was read, and the administrator acted on what the grid
    // showed.
    const QString grantee = user.name.storedText();
    GranteeQuery.close();
    GranteeQuery.setParamText(0, grantee);
    db::TCommandTransaction::RowsAround rows;
    const db::TCommandTransaction::Step step = m_commands.runBetweenReads(
        grant.sql, grantStillFits(column, user), GranteeQuery, grantRowTexts(), rows);
    if (!step.heldBack)
        keepInChangeQuery(grant.sql);
    GranteeQuery.openNextWith(std::move(rows.before));
    const CellRows cell = readCell(column);
    if (!cell.ofCell.isEmpty()) {
        // Should the server's test have missed what the cell's rows show,
        // the grant it let through is undone before anyone sees it.
        if (!step.heldBack)
            m_commands.undoSent();
        reportCellChanged(column, QStringLiteral("already holds"),
                          QStringLiteral(": it was granted by %1 since the grid was read; nothing "
                                         "to grant")
                              .arg(db::grantorsOf(cell.ofCell).join(QStringLiteral(", "))));
    }
    if (step.heldBack) {
        // Held back with the cell empty: the roles read just now name the
        // grantee otherwise, it is listed as of any kind, or the grant was
        // too long to go with its test. It is made again and goes the
        // ordinary way.
        const db::Grantee named = currentGrantee();
        sendGrant(checkedGrant(named, currentObject(), word), named);
        return;
    }
    // The rows before it were read before it ran: the way back takes them.
    m_undo.beforeChanges({grant});
    if (rows.after)
        GranteeQuery.openNextWith(std::move(*rows.after));
    m_undo.noteRowsOf(grantee, readGranteeRows(grantee));
    if (step.refused)
        tellGrantRefused(step.message);
}

bool TKelvaneForm::revokeCellAsShown(int column)
{
    // One row in the cell, held without an option or columns, is revoked as
    // the grid shows it, in the round trip that tests that it still stands
    // so: that revoke reaches nobody else and needs no question. Anything
    // else goes the ordinary way, from the cell as read.
    const QList<db::GrantRow> shown = rowsShownIn(DetailQuery.recNo(), column);
    if (shown.size() != 1 || shown.constFirst().option != 0 ||
        !shown.constFirst().column.isEmpty() || currentObject().type == db::kind::DdlPrivilege)
        return false;
    const db::Grantee user = currentGrantee();
    const db::Plan plan = db::planRevoke(shown, lettersOfCell(column), user, login());
    if (plan.changes.size() != 1 || !plan.notDone.isEmpty() || !plan.optionsTaken.isEmpty() ||
        !db::columnRisks(plan.changes).isEmpty() ||
        !db::scopeOf(plan.changes, shown).objects.isEmpty())
        return false;
    checkServerCanStore(plan.changes);
    const QString revoke = plan.changes.constFirst().sql;
    const QString grantee = user.name.storedText();
    GranteeQuery.close();
    GranteeQuery.setParamText(0, grantee);
    const std::optional<db::ListedName> object = objectRevoked(plan.changes);
    const QList<db::TCommandTransaction::Read> alsoAfter =
        object ? QList<db::TCommandTransaction::Read>{askIfListed(*object)}
               : QList<db::TCommandTransaction::Read>{};
    const auto unread = qScopeGuard([this] { ObjectListedQuery.forgetKeptRows(); });
    db::TCommandTransaction::RowsAround rows;
    const db::TCommandTransaction::Step step =
        m_commands.runBetweenReads(revoke, cellStillShows(column, user, shown.constFirst()),
                                   GranteeQuery, grantRowTexts(), rows, alsoAfter);
    // Held back, the rows read before it are the cell as the catalogue has
    // it, for the ordinary way to take.
    GranteeQuery.openNextWith(std::move(rows.before));
    if (step.heldBack)
        return false;
    m_undo.noteRowsOf(grantee, readGranteeRows(grantee));
    m_undo.beforeChanges(plan.changes);
    // A refused revoke ends the command, as it does in any other.
    if (step.refused)
        throw kelvane::EngineError(step.message);
    if (rows.after) {
        GranteeQuery.openNextWith(std::move(*rows.after));
        noteWhatCameAfter(grantee, object);
    }
    return true;
}

QString TKelvaneForm::cellRowsSql()
{
    // What readCell finds, in SQL: a row of the grantee's on the object, in
    // the lists' names and kinds, of one of the cell's letters. A grantee
    // listed as of any kind is tested by name alone.
    return QStringLiteral("FROM RDB$USER_PRIVILEGES WHERE RDB$USER = :Grantee AND (:ListedType = "
                          "-1 OR RDB$USER_TYPE = :ListedType) AND %1 = :Object AND %2 = "
                          ":ObjectKind AND (CHAR_LENGTH(:Letters) = 0 OR "
                          "POSITION(SUBSTRING(RDB$PRIVILEGE FROM 1 FOR 1) IN :Letters) > 0)")
        .arg(db::listNameSql(), db::listKindSql());
}

db::TCommandTransaction::Guard TKelvaneForm::grantStillFits(int column, const db::Grantee &user)
{
    // By name alone, a grantee listed as of any kind holds the grant back
    // more often, never less.
    return cellGuard(column, user, QStringLiteral("NOT EXISTS (SELECT 1 %1)").arg(cellRowsSql()),
                     {});
}

db::TCommandTransaction::Guard TKelvaneForm::cellStillShows(int column, const db::Grantee &user,
                                                            const db::GrantRow &shown)
{
    // The cell holds the one row from its grantor, and none of the
    // grantee's rows on the object holds an option or columns, which a
    // revoke could reach beyond. By name alone, a grantee listed as of any
    // kind holds the revoke back more often, never less.
    const QString cellRows = cellRowsSql();
    return cellGuard(column, user,
                     QStringLiteral("(SELECT COUNT(*) %1) = 1 AND EXISTS (SELECT 1 %1 AND "
                                    "RDB$GRANTOR = :Grantor) AND NOT EXISTS (SELECT 1 FROM "
                                    "RDB$USER_PRIVILEGES WHERE RDB$USER = :Grantee AND "
                                    "RDB$RELATION_NAME = :StoredObject AND (RDB$GRANT_OPTION > 0 "
                                    "OR RDB$FIELD_NAME IS NOT NULL))")
                         .arg(cellRows),
                     {{QStringLiteral("Grantor"), shown.grantor}});
}

db::TCommandTransaction::Guard TKelvaneForm::cellGuard(int column, const db::Grantee &user,
                                                       const QString &cellTest,
                                                       const QHash<QString, QString> &values)
{
    // The statement names its grantee with USER or ROLE where a user and a
    // role share the name, as the roles were last read: a namesake made or
    // dropped since would change whom it reaches.
    const QString sameNamesakes =
        QStringLiteral("IIF(EXISTS (SELECT 1 FROM RDB$ROLES WHERE RDB$ROLE_NAME = :Grantee) AND "
                       "(:GranteeType = %1 OR (:GranteeType = %2 AND EXISTS (SELECT 1 FROM "
                       "RDB$USER_PRIVILEGES WHERE RDB$USER = :Grantee AND RDB$USER_TYPE = %1))), "
                       "1, 0) = :Namesake")
            .arg(db::kind::User)
            .arg(db::kind::Role);
    const ListKey listed = keyOf(*UserList);
    const db::ObjectRef object = currentObject();
    // The statement changes the grantee's rows on the object it names, as
    // the catalogue keeps it, and no others.
    const bool ddl = object.type == db::kind::DdlPrivilege;
    db::TCommandTransaction::Guard guard{
        cellTest + QStringLiteral(" AND ") + sameNamesakes,
        QStringLiteral("RDB$RELATION_NAME = :StoredObject"),
        {{QStringLiteral("Grantee"), user.name.storedText()},
         {QStringLiteral("StoredObject"), ddl ? db::ddlObjectOf(object.name) : object.name},
         {QStringLiteral("ListedType"), QString::number(listed.kind)},
         {QStringLiteral("GranteeType"), QString::number(user.type)},
         {QStringLiteral("Namesake"), QString::number(int(user.namesake))},
         {QStringLiteral("Object"), object.name},
         {QStringLiteral("ObjectKind"), QString::number(object.type)},
         {QStringLiteral("Letters"), lettersOfCell(column)}}};
    guard.values.insert(values);
    return guard;
}

void TKelvaneForm::toggleOptionInCommand(int column)
{
    column = checkedCellColumn(column);
    // A table or view has no EXECUTE: there is no privilege to give an
    // option to, now or after a grant.
    if (currentObject().type == db::kind::Relation && column == ExecuteColumn)
        throw kelvane::Exception(
            QStringLiteral("%1 %2 has no EXECUTE privilege, and so no grant option for it")
                .arg(objectLook(db::kind::Relation, isView(currentObject().name)).name,
                     currentObject().name));
    // The server refuses an option to a procedure, function, trigger, view
    // or package.
    if (const db::Grantee grantee = currentGrantee();
        grantee.type != db::kind::User && grantee.type != db::kind::Role)
        throw kelvane::Exception(
            QStringLiteral("The %1 %2 cannot hold a grant option: only users, roles and PUBLIC do")
                .arg(db::kindName(grantee.type), grantee.name.text()));
    // An option goes with a privilege held: an empty cell is granted first,
    // on its own, rather than with an option nobody asked for.
    if (!isCellSet(column))
        throw kelvane::Exception(
            QStringLiteral("%1 holds no %2 on %3: grant it first, then its option.")
                .arg(distinctName(*UserList), privilegeWordOf(column),
                     distinctName(*RelationList)));
    const auto bit = PrivilegeMarks::Marks(1u << (column - 1));
    const bool give = !(cellsAt(DetailQuery.recNo()).withOption & bit);
    const QString kindOfOption = currentObject().type == db::kind::Role
                                     ? QStringLiteral("admin option")
                                     : QStringLiteral("grant option");
    inCommand([&] {
        nameCommand((give ? QStringLiteral("%1 for %2 on %3 to %4")
                          : QStringLiteral("revoke of the %1 for %2 on %3 from %4"))
                        .arg(kindOfOption, privilegeWordOf(column), distinctName(*RelationList),
                             distinctName(*UserList)));
        const CellRows cell = readCell(column);
        const bool anyOption = std::any_of(cell.ofCell.begin(), cell.ofCell.end(),
                                           [](const db::GrantRow &row) { return row.option > 0; });
        const bool allOption = std::all_of(cell.ofCell.begin(), cell.ofCell.end(),
                                           [](const db::GrantRow &row) { return row.option > 0; });
        const QString option = currentObject().type == db::kind::Role
                                   ? QStringLiteral(" with the admin option")
                                   : QStringLiteral(" with the grant option");
        if (cell.ofCell.isEmpty())
            reportCellChanged(column, QStringLiteral("no longer holds"),
                              QStringLiteral(": nothing to change"));
        if (give && allOption)
            reportCellChanged(column, QStringLiteral("already holds"),
                              option + QStringLiteral(": nothing to give"));
        if (!give && !anyOption)
            reportCellChanged(column, QStringLiteral("no longer holds"),
                              option + QStringLiteral(": nothing to take"));
        const QStringList notDone = runPlan(db::planGrantOption(
            cell.held, currentObject(), lettersOfCell(column), give, currentGrantee(), login()));
        RefreshPrivileges();
        reportNotDone(notDone);
    });
}

PrivilegeMarks::Cells TKelvaneForm::cellsAt(int row) const
{
    if (row < 0 || !DetailQuery.active() || row >= DetailQuery.recordCount() ||
        m_privilegeMarks.isStale(PrivQuery))
        return {};
    return m_privilegeMarks.cellsOf(DetailQuery.fields(0)->textAt(row), kindOf(DetailQuery, row));
}

ui::DataSetModel::CellLook TKelvaneForm::cellLook(int row, int column) const
{
    if (column < 1 || column > ExecuteColumn)
        return {};
    const PrivilegeMarks::Cells cells = cellsAt(row);
    const auto bit = PrivilegeMarks::Marks(1u << (column - 1));
    if (!(cells.held & bit))
        return {};
    // Told apart at a glance, not only by the tooltip: the option
    // underlined, in bold, on amber; a part of the columns in italics, on
    // blue.
    const QFont columnFont =
        DetailGrid->dataModel().effectiveColumn(column).font.value_or(DetailGrid->font());
    QFont font = columnFont;
    ui::DataSetModel::CellLook look;
    if (cells.withOption & bit) {
        font.setBold(true);
        font.setUnderline(true);
        look.background = QColor(0xff, 0xe0, 0x8a);
    } else if (cells.byColumn & bit) {
        look.background = QColor(0xcf, 0xe3, 0xfc);
    }
    if (cells.byColumn & bit)
        font.setItalic(true);
    if (font != columnFont)
        look.font = font;
    return look;
}

bool TKelvaneForm::moveAmongListsAndFilters(int key, Qt::KeyboardModifiers shift)
{
    QWidget *focused = focusWidget();
    // Down or Enter in a filter goes to the list it narrows...
    if (shift == Qt::NoModifier &&
        (key == Qt::Key_Down || key == Qt::Key_Return || key == Qt::Key_Enter) &&
        (focused == MasterFilter || focused == DetailFilter)) {
        (focused == MasterFilter ? MasterGrid : DetailGrid)->setFocus();
        return true;
    }
    // ...and Ctrl+F from a list, or anywhere, to the filter above it.
    if (shift == Qt::ControlModifier && key == Qt::Key_F) {
        const bool detail = focused == DetailGrid || focused == DetailFilter;
        QLineEdit *filter = detail ? DetailFilter : MasterFilter;
        filter->setFocus();
        filter->selectAll();
        return true;
    }
    return false;
}

void TKelvaneForm::toggleInCommand(int column)
{
    const QString word = privilegeWordOf(column);
    const QString user = distinctName(*UserList);
    const QString relation = distinctName(*RelationList);
    inCommand([&] {
        bool granted = false;
        const QStringList notDone = togglePrivilege(column, granted);
        nameCommand(granted
                        ? QStringLiteral("grant of %1 on %2 to %3").arg(word, relation, user)
                        : QStringLiteral("revoke of %1 on %2 from %3").arg(word, relation, user));
        if (granted)
            refreshCells();
        else
            refreshAfterRevoke();
        reportNotDone(notDone);
    });
}

void TKelvaneForm::DetailGridDblClick(QObject *)
{
    const int column = DetailGrid->selectedIndex();
    if (column <= 0 || !hasCurrentPair() || !isEditableColumn(column))
        return;
    toggleInCommand(column);
}

void TKelvaneForm::PrivilegeItemClick(QObject *)
{
    DetailGridDblClick(DetailGrid);
}

void TKelvaneForm::PrivilegeMenuPopup(QObject *)
{
    if (!Database.connected())
        ui::abortSilently();
    const int column = DetailGrid->selectedIndex();
    PrivilegeItem->setText(column > 0 && RelationList->recNo() >= 0
                               ? privilegeWordOf(column)
                               : DetailQuery.fields(column)->displayLabel());
    PrivilegeItem->setChecked(isCellSet(column));
    PrivilegeItem->setEnabled(isEditableColumn(column));
    const bool role = RelationList->recNo() >= 0 && currentObject().type == db::kind::Role;
    GrantOptionItem->setText(role ? QStringLiteral("With Admin Option")
                                  : QStringLiteral("With Grant Option"));
    const int row = DetailQuery.recNo();
    GrantOptionItem->setChecked(column > 0 && (cellsAt(row).withOption & (1u << (column - 1))));
    GrantOptionItem->setEnabled(isEditableColumn(column) && isCellSet(column));
    captionEachLetterItems();
}

void TKelvaneForm::GrantOptionItemClick(QObject *)
{
    const int column = DetailGrid->selectedIndex();
    if (column <= 0 || !hasCurrentPair() || !isEditableColumn(column) || !isCellSet(column))
        return;
    toggleOptionInCommand(column);
}

void TKelvaneForm::DetailGridColEnter(QObject *)
{
    DetailGrid->setPopupMenu(DetailGrid->selectedIndex() == 0 ? EditMenu : PrivilegeMenu);
}

void TKelvaneForm::GrantAllItemClick(QObject *)
{
    if (!hasCurrentPair())
        return;
    checkGranteeKind(keyOf(*UserList));
    inCommand([&] {
        nameCommand(QStringLiteral("grant of all privileges on %1 to %2")
                        .arg(distinctName(*RelationList), distinctName(*UserList)));
        // Read first: a role of the user's name, which ALL must not reach.
        (void)grantsOnCurrentPair();
        GrantPrivilege(currentGrantee(), currentObject(), QStringLiteral("ALL"));
        refreshCells();
    });
}

void TKelvaneForm::RevokeAllItemClick(QObject *)
{
    if (!hasCurrentPair())
        return;
    checkGranteeKind(keyOf(*UserList));
    inCommand([&] {
        nameCommand(QStringLiteral("revoke of all privileges on %1 from %2")
                        .arg(distinctName(*RelationList), distinctName(*UserList)));
        const QList<db::GrantRow> held = grantsOnCurrentPair();
        const QStringList notDone =
            runPlan(db::planRevoke(held, QString(), currentGrantee(), login()));
        RefreshPrivileges();
        reportNotDone(notDone);
    });
}

void TKelvaneForm::FormKeyDown(QObject *, int &key, Qt::KeyboardModifiers shift)
{
    if (moveAmongListsAndFilters(key, shift)) {
        key = 0;
        return;
    }
    if (!Database.connected())
        return;
    if (key == Qt::Key_F5 && shift == Qt::NoModifier) {
        RefreshItemClick(RefreshItem);
        key = 0;
        return;
    }
    // In a filter, Ctrl+Z takes back the typing, as in any text field.
    if (key == Qt::Key_Z && !qobject_cast<QLineEdit *>(focusWidget()) &&
        (shift == Qt::ControlModifier || shift == (Qt::ControlModifier | Qt::ShiftModifier))) {
        replayStep(shift != Qt::ControlModifier);
        key = 0;
        return;
    }
    const auto column =
        std::find_if(PrivilegeColumns.begin(), PrivilegeColumns.end(),
                     [key](const PrivilegeColumn &c) { return key == c.letter.unicode(); });
    const bool isPrivilegeKey = column != PrivilegeColumns.end();
    if (shift == (Qt::ControlModifier | Qt::ShiftModifier) && isPrivilegeKey) {
        // Ctrl+Shift and a privilege's letter gives or takes its grant option.
        if (hasCurrentPair())
            toggleOptionInCommand(column->index);
    } else if (shift != Qt::ControlModifier) {
        return;
    } else if (key == Qt::Key_G) {
        GrantAllItemClick(GrantAllItem);
    } else if (key == Qt::Key_R) {
        RevokeAllItemClick(RevokeAllItem);
    } else if (key == Qt::Key_W) {
        WhoCanItemClick(WhoCanItem);
    } else if (isPrivilegeKey) {
        if (hasCurrentPair())
            toggleInCommand(column->index);
    } else {
        return;
    }
    key = 0;
}
