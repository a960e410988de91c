// The main window's browsing: the two view modes, the privilege grid that
// follows the master list, the search of a list and the type-ahead.
#include "PrivEdit.h"

#include "DataSetGuards.h"
#include "Privileges.h"
#include "ui/Application.h"
#include "ui/DBGrid.h"
#include "ui/Dialogs.h"
#include "ui/FormStyle.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QScopeGuard>
#include <QSignalBlocker>

#include <optional>

namespace {

// "Filter users", "Filter relations": what the field above a list narrows.
QString filterPlaceholder(const QLabel &listLabel)
{
    return QStringLiteral("Filter ") + listLabel.text().toLower();
}

bool isLetterKey(int key)
{
    return key >= Qt::Key_A && key <= Qt::Key_Z;
}

} // namespace

void TKelvaneForm::ByRadioClick(QObject *sender)
{
    if (!Database.connected())
        return;

    ListKey user;
    ListKey relation;
    if (UserList && UserList->active()) {
        user = keyOf(*UserList);
        relation = keyOf(*RelationList);
    }
    // The two lists are the same rows seen the other way round: a switch
    // shows the rows read and reads only the privileges of the new master's
    // row. Commands keep the lists current; F5 reads everything again.
    std::optional<std::pair<db::ReadRows, db::ReadRows>> kept;
    if (sender && UserList && UserList->active() && RelationList->active())
        kept.emplace(UserList->readRows(), RelationList->readRows());
    else if (!sender)
        kept = std::exchange(m_listsReadAhead, std::nullopt);

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
    layOut();
    // Each filter stays with its list: the users' filter goes where the
    // users go.
    const bool switched = MasterFilter->placeholderText() != filterPlaceholder(*MasterLabel);
    if (switched) {
        const QSignalBlocker masterBlocked(MasterFilter);
        const QSignalBlocker detailBlocked(DetailFilter);
        const QString masterText = MasterFilter->text();
        MasterFilter->setText(DetailFilter->text());
        DetailFilter->setText(masterText);
        std::swap(m_masterFilterPlaces, m_detailFilterPlaces);
    }
    nameFilters();

    // Field names can change only while their datasets are closed.
    DetailQuery.close();
    MasterQuery.close();
    PrivQuery.close();
    db::TQuery &userList = *UserList;
    db::TQuery &relationList = *RelationList;
    userList.sqlClear();
    relationList.sqlClear();
    PrivQuery.sqlClear();
    const QString listName = db::listNameSql();
    const QString listKind = db::listKindSql();
    addStatement(userList, db::usersListSql(), QStringLiteral("RDB$USER"));
    addStatement(relationList, db::relationsListSql(), QStringLiteral("RDB$RELATION_NAME"));
    nameKindFields();
    // The master's rows by name and kind; beside the letters, the kinds on
    // both sides and what the cells' tooltips tell. A DDL privilege's rows
    // are found by its catalogue object and letter (setPrivilegeParams).
    const QString columnAndGrantor = QStringLiteral("%1, RDB$GRANT_OPTION, %2")
                                         .arg(db::trimmedNameSql(QStringLiteral("RDB$FIELD_NAME")),
                                              db::trimmedNameSql(QStringLiteral("RDB$GRANTOR")));
    if (UserList == &MasterQuery) {
        addStatement(PrivQuery,
                     {QStringLiteral("SELECT %1, RDB$PRIVILEGE, %2 AS RDB$OBJECT_TYPE, "
                                     "RDB$USER_TYPE, %3")
                          .arg(db::trimmedNameSql(listName, QStringLiteral("RDB$RELATION_NAME")),
                               listKind, columnAndGrantor),
                      QStringLiteral("FROM RDB$USER_PRIVILEGES"),
                      QStringLiteral("WHERE RDB$USER = :User AND RDB$USER_TYPE = :UserType")},
                     QStringLiteral("RDB$RELATION_NAME"));
    } else {
        addStatement(
            PrivQuery,
            {QStringLiteral("SELECT %1, RDB$PRIVILEGE, %2 AS RDB$OBJECT_TYPE, "
                            "RDB$USER_TYPE, %3")
                 .arg(db::trimmedNameSql(QStringLiteral("RDB$USER")), listKind, columnAndGrantor),
             QStringLiteral("FROM RDB$USER_PRIVILEGES"),
             QStringLiteral("WHERE RDB$RELATION_NAME = :Table AND (RDB$OBJECT_TYPE = "
                            ":ObjectType OR RDB$PRIVILEGE = :Letter)")},
            QStringLiteral("RDB$USER"));
    }
    if (!kept) {
        userList.prepare();
        relationList.prepare();
    }
    PrivQuery.prepare();
    applyListFilters();
    MasterGrid->setColumnFieldName(0, MasterQuery.fields(0)->fieldName());
    DetailGrid->setColumnFieldName(0, DetailQuery.fields(0)->fieldName());
    // A connection has just read the views; a switch that read no lists
    // reads them again.
    readViewNames(sender != nullptr && !kept);

    const auto dropUnused = keptRowsDroppedAtEnd(MasterQuery, DetailQuery);
    if (kept) {
        userList.openNextWith(std::move(kept->first));
        relationList.openNextWith(std::move(kept->second));
    }
    if (user.name.isEmpty())
        MasterQuery.open();
    else
        openMasterOnPair(user, relation);
}

void TKelvaneForm::nameFilters()
{
    MasterFilter->setPlaceholderText(filterPlaceholder(*MasterLabel));
    DetailFilter->setPlaceholderText(filterPlaceholder(*DetailLabel));
}

void TKelvaneForm::applyListFilters()
{
    // The system's own objects: tables, sequences (SQL$DEFAULT among them),
    // packages and the like, whose names the server reserves. A DDL
    // privilege is named for its statement here, never SQL$.
    static const QStringList systemPrefixes{QStringLiteral("RDB$"), QStringLiteral("MON$"),
                                            QStringLiteral("SEC$"), QStringLiteral("SQL$")};
    const auto filterOf = [&](const db::TQuery &list, const QLineEdit &field) {
        db::RowFilter filter{0, field.text(), {}, {}, -1};
        if (&list == RelationList && !SystemCheck->isChecked())
            filter.hiddenPrefixes = systemPrefixes;
        return filter;
    };
    MasterQuery.setRowFilter(filterOf(MasterQuery, *MasterFilter));
    db::RowFilter detailFilter = filterOf(DetailQuery, *DetailFilter);
    if (HeldCheck->isChecked() && PrivQuery.active()) {
        freshenMarks();
        detailFilter.onlyPairs = m_privilegeMarks.heldPairs();
        detailFilter.kindField = DetailQueryKind->index();
    }
    DetailQuery.setRowFilter(detailFilter);
    // A master with no row shown has no cells to show either.
    if (MasterQuery.active() && MasterQuery.recordCount() == 0)
        MasterQueryAfterScroll(nullptr);
}

void TKelvaneForm::FilterChange(QObject *sender)
{
    const bool master = sender == MasterFilter;
    const QLineEdit &field = master ? *MasterFilter : *DetailFilter;
    db::TQuery &list = master ? MasterQuery : DetailQuery;
    FilterPlaces &places = master ? m_masterFilterPlaces : m_detailFilterPlaces;
    if (!Database.connected() || !list.active()) {
        applyListFilters();
        return;
    }
    if (list.rowFilter().text.isEmpty())
        places.before = keyOf(list);
    const ListKey chosen = keyOf(list);
    applyListFilters();
    // Cleared with the row the filter found still current: back to where
    // the list stood before it; a row chosen meanwhile stays.
    if (field.text().isEmpty() && chosen.name == places.placed.name &&
        chosen.kind == places.placed.kind && !places.before.name.isEmpty()) {
        if (master)
            locateMasterOnce(places.before, false);
        else
            LocateKey(DetailQuery, places.before, false);
    }
    places.placed = keyOf(list);
}

void TKelvaneForm::SystemCheckClick(QObject *)
{
    ui::saveChoice(QStringLiteral("Lists"), QStringLiteral("SystemObjects"),
                   SystemCheck->isChecked() ? QStringLiteral("shown") : QStringLiteral("hidden"));
    applyListFilters();
}

void TKelvaneForm::HeldCheckClick(QObject *)
{
    ui::saveChoice(QStringLiteral("Lists"), QStringLiteral("HeldOnly"),
                   HeldCheck->isChecked() ? QStringLiteral("on") : QStringLiteral("off"));
    applyListFilters();
}

void TKelvaneForm::revealInList(db::TDataSet &list, const QString &name)
{
    QLineEdit &field = &list == &MasterQuery ? *MasterFilter : *DetailFilter;
    if (field.text().isEmpty() || name.contains(field.text(), Qt::CaseInsensitive))
        return;
    const QSignalBlocker blocked(&field);
    field.clear();
    applyListFilters();
}

void TKelvaneForm::nameKindFields()
{
    kindField(*UserList)->setFieldName(QStringLiteral("RDB$USER_TYPE"));
    kindField(*RelationList)->setFieldName(QStringLiteral("RDB$OBJECT_TYPE"));
}

void TKelvaneForm::readViewNames(bool reread)
{
    // Tables and views share the catalogue's kind; the badge tells them
    // apart by the views the database has.
    if (reread) {
        ViewsQuery.close();
        ViewsQuery.open();
    }
    m_viewNames.clear();
    for (ViewsQuery.first(); !ViewsQuery.eof(); ViewsQuery.next())
        m_viewNames.insert(ViewsQueryViewName->text());
}

void TKelvaneForm::openMasterOnPair(const ListKey &user, const ListKey &relation)
{
    {
        const auto scanning = flagSetFor(Scanning);
        MasterQuery.open();
    }
    standOnPair(user, relation, false);
}

void TKelvaneForm::standOnPair(const ListKey &user, const ListKey &relation, bool reloaded)
{
    const bool byUser = UserList == &MasterQuery;
    locateMasterOnce(byUser ? user : relation, reloaded);
    // The detail search runs in the detail list of the master row found, its
    // rows calculated as they are read.
    if (DetailQuery.active())
        LocateKey(DetailQuery, byUser ? relation : user, false);
}

void TKelvaneForm::locateMasterOnce(const ListKey &key, bool reloaded)
{
    // Reloading the detail at every master row passed would cost a privilege
    // read and a full detail read per row; the reload of the row the search
    // stops on is all that shows.
    {
        const auto scanning = flagSetFor(Scanning);
        LocateKey(MasterQuery, key, false);
    }
    // A master opened and scrolled as usual reloaded the detail for its
    // first row already.
    if (!reloaded || MasterQuery.recNo() > 0)
        MasterQueryAfterScroll(nullptr);
}

void TKelvaneForm::DBGridKeyDown(QObject *sender, int &key, Qt::KeyboardModifiers shift)
{
    if (!Database.connected())
        return;
    // A capital letter jumps as its small one does: names are found
    // whatever the case typed.
    if ((shift != Qt::NoModifier && shift != Qt::ShiftModifier) || !isLetterKey(key))
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
    // The detail list does not depend on the master's row: it is read with
    // each read of the master, and a move only calculates its cells again,
    // from the privileges of the new row.
    const bool detailRead =
        DetailQuery.active() && m_detailReadWithMaster == MasterQuery.openGeneration();
    db::TBookmark bookmark = DetailQuery.bookmark();
    {
        const auto enable = controlsDisabledFor(DetailQuery);
        if (!detailRead)
            DetailQuery.close();
        PrivQuery.close();
        if (MasterQuery.recordCount() > 0) {
            setPrivilegeParams();
            PrivQuery.open();
            if (detailRead) {
                DetailQuery.recalculate();
            } else {
                DetailQuery.open();
                m_detailReadWithMaster = MasterQuery.openGeneration();
                DetailQuery.gotoBookmark(bookmark);
            }
            if (HeldCheck->isChecked())
                applyListFilters();
        } else {
            DetailQuery.close();
        }
    }
    db::TDataSet::freeBookmark(bookmark);
    if (&MasterQuery == RelationList)
        CheckProcedure();
}

void TKelvaneForm::setPrivilegeParams()
{
    const QString name = MasterQuery.fields(0)->text();
    if (&MasterQuery == UserList) {
        PrivQuery.setParamText(0, name);
        PrivQuery.setParamText(1, MasterQueryKind->text());
        return;
    }
    // An object's rows are those of its name and kind; a DDL privilege's
    // those of its letter on the object it is kept on, whose kind number
    // depends on the server's version.
    const bool ddl = MasterQueryKind->text().toInt() == db::kind::DdlPrivilege;
    PrivQuery.setParamText(0, ddl ? db::ddlObjectOf(name) : name);
    PrivQuery.setParamText(1, ddl ? QStringLiteral("-1") : MasterQueryKind->text());
    PrivQuery.setParamText(2, ddl ? QString(db::ddlLetterOf(name)) : QString());
}

void TKelvaneForm::DetailQueryAfterScroll(db::TDataSet *)
{
    if (&DetailQuery == RelationList)
        CheckProcedure();
}

void TKelvaneForm::DetailQueryCalcFields(db::TDataSet *)
{
    // Closed privileges, after a failure that was reported as it happened,
    // mark nothing: blank cells, never those of the rows read before. A
    // row is calculated when it is painted, where nothing may throw.
    if (Scanning || !PrivQuery.active())
        return;
    freshenMarks();
    // One shared string per letter rather than an allocation per mark.
    static const std::array<QString, PrivilegeColumns.size()> letters = [] {
        std::array<QString, PrivilegeColumns.size()> all;
        for (const PrivilegeColumn &column : PrivilegeColumns)
            all[column.index - 1] = QString(column.letter);
        return all;
    }();
    const PrivilegeMarks::Marks marks =
        m_privilegeMarks.marksOf(DetailQuery.fields(0)->text(), DetailQueryKind->text().toInt());
    for (const PrivilegeColumn &column : PrivilegeColumns) {
        if (marks & (1u << (column.index - 1)))
            DetailQuery.fields(column.index)->setText(letters[column.index - 1]);
    }
}

void TKelvaneForm::freshenMarks()
{
    if (m_privilegeMarks.isStale(PrivQuery))
        m_privilegeMarks.rebuild(
            PrivQuery,
            {*PrivQueryName, UserList == &MasterQuery ? *PrivQueryObjectType : *PrivQueryUserType,
             *PrivQueryPrivilege, *PrivQueryObjectType, *PrivQueryColumn, *PrivQueryOption});
    else if (!PrivQuery.eof())
        PrivQuery.last(); // as a walk over the rows would leave them
}

void TKelvaneForm::CheckProcedure()
{
    CurrentIsProcedure = RelationList->recNo() >= 0 &&
                         kindOf(*RelationList, RelationList->recNo()) == db::kind::Procedure;
}

void TKelvaneForm::RefreshPrivileges()
{
    PrivQuery.close();
    PrivQuery.open();
    reopenDetailOnItsRow();
    MasterQuery.enableControls();
}

void TKelvaneForm::reopenDetailOnItsRow()
{
    db::TBookmark bookmark = DetailQuery.bookmark();
    {
        const auto enable = controlsDisabledFor(DetailQuery);
        DetailQuery.close();
        DetailQuery.open();
        DetailQuery.gotoBookmark(bookmark);
    }
    db::TDataSet::freeBookmark(bookmark);
}

void TKelvaneForm::RefreshItemClick(QObject *)
{
    if (!Database.connected() || !UserList)
        return;
    const ListKey user = keyOf(*UserList);
    const ListKey relation = keyOf(*RelationList);
    Procedures.close();
    const auto dropUnused = qScopeGuard([this] { forgetRowsReadAhead(); });
    readEverything(false);
    Procedures.open();
    readViewNames(true);
    UserList->openNextWith(std::move(m_listsReadAhead->first));
    RelationList->openNextWith(std::move(m_listsReadAhead->second));
    rereadLists(user, relation);
    const QString went = whereThePairWent(user, relation);
    if (!went.isEmpty())
        ui::showInformationMessage(went);
}

namespace {

// The user's rows as the By User cells read them: the lists' names and kinds,
// which the grantee's rows already carry, of the user's own kind alone.
db::ReadRows cellRowsOf(const QList<db::GrantRow> &rows, int userKind)
{
    db::ReadRows cells;
    cells.fieldNames = {QStringLiteral("RDB$RELATION_NAME"), QStringLiteral("RDB$PRIVILEGE"),
                        QStringLiteral("RDB$OBJECT_TYPE"),   QStringLiteral("RDB$USER_TYPE"),
                        QStringLiteral("RDB$FIELD_NAME"),    QStringLiteral("RDB$GRANT_OPTION"),
                        QStringLiteral("RDB$GRANTOR")};
    for (const db::GrantRow &row : rows) {
        if (row.granteeType != userKind)
            continue;
        for (QString value : {row.object, QString(row.privilege), QString::number(row.objectType),
                              QString::number(row.granteeType), row.column,
                              QString::number(row.option), row.grantor})
            cells.values.push_back(std::move(value));
    }
    return cells;
}

} // namespace

void TKelvaneForm::refreshCells()
{
    PrivQuery.close();
    if (UserList == &MasterQuery && UserList->recNo() >= 0) {
        // Every row of the user's name, read once: the cells take those of
        // the user's kind, and a running command's way back takes them all
        // as what it left, instead of reading them again.
        const ListKey user = keyOf(*UserList);
        const std::optional<QList<db::GrantRow>> noted = m_undo.notedRowsOf(user.name);
        const QList<db::GrantRow> rows = noted ? *noted : readGranteeRows(user.name);
        m_undo.noteRowsOf(user.name, rows);
        PrivQuery.openNextWith(cellRowsOf(rows, user.kind));
    }
    PrivQuery.open();
    DetailQuery.recalculate();
}

void TKelvaneForm::LocateRecord(db::TDataSet &dataSet, int column, const QString &text, bool reopen)
{
    const auto enable = controlsDisabledFor(dataSet);
    if (reopen) {
        dataSet.close();
        dataSet.open();
    }
    walkTo(dataSet, column, {text, ListKey::AnyKind});
}

void TKelvaneForm::LocateKey(db::TDataSet &list, const ListKey &key, bool reopen)
{
    const auto enable = controlsDisabledFor(list);
    if (reopen) {
        list.close();
        list.open();
    }
    walkTo(list, 0, key);
}

void TKelvaneForm::walkTo(db::TDataSet &list, int column, const ListKey &key)
{
    const auto below = [&] {
        const QString name = list.fields(column)->text();
        if (name != key.name)
            return db::isNameBelow(name, key.name);
        return key.kind != ListKey::AnyKind && kindOf(list, list.recNo()) < key.kind;
    };
    list.first();
    while (!list.eof() && below())
        list.next();
}

db::TField *TKelvaneForm::kindField(const db::TDataSet &list) const
{
    return &list == &MasterQuery ? MasterQueryKind : DetailQueryKind;
}

int TKelvaneForm::kindOf(const db::TDataSet &list, int row) const
{
    return kindField(list)->textAt(row).toInt();
}

ListKey TKelvaneForm::keyOf(const db::TDataSet &list) const
{
    if (list.recNo() < 0)
        return {};
    return {list.fields(0)->text(), kindOf(list, list.recNo())};
}

KindLook TKelvaneForm::lookAt(const db::TDataSet &list, int row) const
{
    const int kind = kindOf(list, row);
    if (&list == UserList)
        return granteeLook(kind);
    return objectLook(kind, isView(list.fields(0)->textAt(row)));
}

QString TKelvaneForm::nameHint(const db::TDataSet &list, int row) const
{
    if (!list.active() || row < 0 || row >= list.recordCount())
        return {};
    return lookAt(list, row).name + QLatin1Char(' ') + list.fields(0)->textAt(row);
}

QString TKelvaneForm::privilegeWordOf(int column) const
{
    const int objectType = kindOf(*RelationList, RelationList->recNo());
    // A DDL privilege is the one privilege its row names.
    if (column == ExecuteColumn && objectType == db::kind::DdlPrivilege)
        return RelationList->fields(0)->text();
    if (column == ExecuteColumn && db::hasSinglePrivilege(objectType))
        return db::singlePrivilegeWord(objectType);
    return DetailQuery.fields(column)->displayLabel();
}

bool TKelvaneForm::showsCell(int row, int column) const
{
    return column >= 1 && column <= ExecuteColumn && row >= 0 && PrivQuery.active() &&
           DetailQuery.active() && MasterQuery.active() && MasterQuery.recNo() >= 0;
}

db::ObjectRef TKelvaneForm::relationOfRow(int row) const
{
    if (UserList == &MasterQuery)
        return {kindOf(DetailQuery, row), DetailQuery.fields(0)->textAt(row)};
    return {kindOf(MasterQuery, MasterQuery.recNo()), MasterQuery.fields(0)->text()};
}

QList<db::GrantRow> TKelvaneForm::rowsShownIn(int row, int column) const
{
    if (!showsCell(row, column))
        return {};
    const QString name = DetailQuery.fields(0)->textAt(row);
    const int kind = kindOf(DetailQuery, row);
    const bool byUser = UserList == &MasterQuery;
    const db::ObjectRef object = relationOfRow(row);
    const ListKey user = byUser ? keyOf(MasterQuery) : ListKey{name, kind};
    const db::TField &kindOfName = byUser ? *PrivQueryObjectType : *PrivQueryUserType;
    QList<db::GrantRow> shown;
    for (int i = 0; i < PrivQuery.recordCount(); ++i) {
        const QString privilege = PrivQueryPrivilege->textAt(i);
        const int rowObjectType = PrivQueryObjectType->textAt(i).toInt();
        if (privilege.isEmpty() || PrivQueryName->textAt(i) != name ||
            kindOfName.textAt(i).toInt() != kind ||
            PrivilegeMarks::columnOf(rowObjectType, privilege) != column)
            continue;
        shown.append({user.name, user.kind, object.name, object.type, privilege.front(),
                      PrivQueryColumn->textAt(i), PrivQueryOption->textAt(i).toInt(),
                      PrivQueryGrantor->textAt(i)});
    }
    return shown;
}

QString TKelvaneForm::privilegeHint(int row, int column) const
{
    if (!showsCell(row, column))
        return {};
    const db::ObjectRef object = relationOfRow(row);
    // The kind of the row first: one name may stand for several.
    QStringList lines{nameHint(DetailQuery, row)};
    const bool single = db::hasSinglePrivilege(object.type);
    if ((column == ExecuteColumn) != single) {
        lines.append(QStringLiteral("No %1 on a %2")
                         .arg(DetailQuery.fields(column)->displayLabel(),
                              objectLook(object.type, isView(object.name)).name));
        return lines.join(QLatin1Char('\n'));
    }
    for (const db::PrivilegeForm &form : db::formsOf(rowsShownIn(row, column)))
        lines.append(db::describeHeld(form));
    return lines.join(QLatin1Char('\n'));
}
