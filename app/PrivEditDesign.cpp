// The main window's controls, components and wiring: its design, kept apart
// from the handlers in PrivEdit.cpp.
#include "PrivEdit.h"

#include "Privileges.h"
#include "db/ScopeRead.h"
#include "dialogs/Pictures.h"
#include "ui/Application.h"
#include "ui/DBGrid.h"
#include "ui/Dialogs.h"
#include "ui/FormStyle.h"
#include "ui/KeyPreview.h"
#include "ui/Navigator.h"
#include "ui/PopupMenu.h"
#include "ui/Progress.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QStyle>
#include <QToolButton>
#include <memory>

const QStringList TKelvaneForm::GrantRowColumns{
    QStringLiteral("RDB$USER"),          QStringLiteral("RDB$USER_TYPE"),
    QStringLiteral("RDB$RELATION_NAME"), QStringLiteral("RDB$OBJECT_TYPE"),
    QStringLiteral("RDB$PRIVILEGE"),     QStringLiteral("RDB$FIELD_NAME"),
    QStringLiteral("RDB$GRANT_OPTION"),  QStringLiteral("RDB$GRANTOR")};

namespace {

const QString KelvaneDatabase = QStringLiteral("KELVANE");
constexpr QSize DesignSize(565, 440);
// The lists' places below are those of a window this wide; what the design
// adds to it, they share as they share any added width.
constexpr int ListsDesignWidth = 461;
// The top of the lists, under their filter fields.
constexpr int ListsTop = 72;
constexpr int NameSize = 31;
constexpr int NameDisplayWidth = 25;
constexpr int KindSize = 6;

template <typename Sender, typename Signal, typename Handler>
void onEvent(Sender *sender, Signal signal, QObject *context, Handler handler)
{
    QObject::connect(sender, signal, context, [handler] { ui::guarded(handler); });
}

QToolButton *addToolButton(QWidget *parent, const QString &objectName, const QIcon &picture,
                           const QString &tip, const QRect &geometry)
{
    auto *button = new QToolButton(parent);
    button->setObjectName(objectName);
    button->setAutoRaise(true);
    button->setIcon(picture);
    button->setIconSize(QSize(16, 16));
    button->setToolTip(tip);
    button->setGeometry(geometry);
    button->setFocusPolicy(Qt::NoFocus);
    return button;
}

ui::Navigator *addNavigator(QWidget *parent, const QString &objectName, db::TDataSource &source,
                            const QRect &geometry)
{
    auto *navigator = new ui::Navigator(parent);
    navigator->setObjectName(objectName);
    navigator->setGeometry(geometry);
    navigator->setDataSource(&source);
    return navigator;
}

QLineEdit *addFilter(QWidget *parent, const QString &objectName)
{
    auto *field = new QLineEdit(parent);
    field->setObjectName(objectName);
    field->setClearButtonEnabled(true);
    return field;
}

ui::DBGrid *addGrid(QWidget *parent, const QString &objectName, db::TDataSource &source,
                    const QRect &geometry)
{
    auto *grid = new ui::DBGrid(parent);
    grid->setObjectName(objectName);
    grid->setGeometry(geometry);
    grid->setDataSource(&source);
    return grid;
}

// The kinds, the letter and the option are short codes; the rest names.
constexpr int CodeSize = 6;
bool isGrantCode(const QString &column)
{
    return column.endsWith(QLatin1String("_TYPE")) || column == QLatin1String("RDB$PRIVILEGE") ||
           column == QLatin1String("RDB$GRANT_OPTION");
}

void addGrantFields(db::TQuery &query)
{
    for (const QString &column : TKelvaneForm::GrantRowColumns)
        query.addField(column, db::FieldKind::Data, isGrantCode(column) ? CodeSize : NameSize);
}

QList<ui::GridColumn> detailColumns()
{
    const QFont cellFont = ui::pixelFont(QStringLiteral("Courier New"), 12, true);
    const QColor colors[] = {QColor(128, 0, 128), QColor(0, 0, 128), QColor(0, 128, 0),
                             QColor(128, 0, 0), QColor(0, 128, 128)};
    QList<ui::GridColumn> columns{ui::GridColumn{QStringLiteral("RDB$RELATION_NAME")}};
    // The names have no heading: the label over the list says what they are.
    columns.front().title = QLatin1String("");
    const QString legend =
        QStringLiteral("\nUnderlined, on amber: held with the grant option (Ctrl+Shift+%1)"
                       "\nItalic, on blue: on some columns only");
    for (const PrivilegeColumn &privilege : PrivilegeColumns) {
        ui::GridColumn column{QString(privilege.fieldName), 16, Qt::AlignCenter, cellFont,
                              colors[privilege.index - 1]};
        column.title = QString(privilege.letter);
        const QString what = privilege.index == ExecuteColumn
                                 ? QStringLiteral("EXECUTE, or the one privilege of the row: "
                                                  "USAGE, membership, a DDL privilege")
                                 : QString(privilege.label);
        column.titleHint = what + legend.arg(privilege.letter);
        columns.append(column);
    }
    return columns;
}

// A command's walk shows the progress dialog once it has lasted the delay
// the window has at that walk's start; a refused grant shows an error box.
TCommandRunner::Hooks commandHooks(const int &progressDelay)
{
    const auto progress = [&progressDelay](int total) -> TCommandRunner::ProgressStep {
        // A step must be copyable and the dialog is not: the step shares it,
        // and the dialog goes with the walk's step.
        auto shown = std::make_shared<ui::Progress>(total, progressDelay);
        return [shown](int done, const QString &text) { return shown->step(done, text); };
    };
    return {progress, ui::showErrorMessage};
}

} // namespace

TKelvaneForm::TKelvaneForm(QWidget *parent)
    : QWidget(parent), Database(KelvaneDatabase), MasterQuery(Database), DetailQuery(Database),
      PrivQuery(Database), Procedures(Database), ChangeQuery(Database), ViewsQuery(Database),
      GranteeQuery(Database), GrantorQuery(Database), LoginQuery(Database),
      GrantedByQuery(Database), ColumnRowsQuery(Database), ColumnsQuery(Database),
      LoginsQuery(Database), ScopeQuery(Database), ScopeRowsQuery(Database),
      FewNamesQuery(Database), StillListedQuery(Database), ObjectListedQuery(Database),
      ConnectQuery(Database), m_commands(Database, commandHooks(ProgressDelay)),
      m_undo([this](const db::UndoScope &scope) { return readScopeRows(scope); })
{
    setObjectName(QStringLiteral("KelvaneForm"));
    setWindowTitle(QStringLiteral("Set at RunTime"));
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint);
    // The design's size is the least the window takes and where it starts;
    // long names want more room, so it may grow and remembers its last size.
    setMinimumSize(DesignSize);
    resize(ui::savedWindowSize(objectName()).expandedTo(DesignSize));
    setFont(ui::formFont());
    setWindowIcon(pictures::programIcon());

    createComponents();
    createHeaderBar();
    createLists();
    createMenus();
    wireEvents();
    fitLeastSize();
    m_designed = true;

    setTabOrder(MasterGrid, DetailGrid);
    setTabOrder(DetailGrid, DBCombo);
    setTabOrder(DBCombo, ByUserRadio);
    setTabOrder(ByUserRadio, ByTableRadio);
    setTabOrder(ByTableRadio, SystemCheck);
    setTabOrder(SystemCheck, MasterFilter);
    setTabOrder(MasterFilter, DetailFilter);
    setTabOrder(DetailFilter, HeldCheck);
    setTabOrder(HeldCheck, MasterGrid);
}

void TKelvaneForm::createComponents()
{
    MasterQuery.setName(QStringLiteral("MasterQuery"));
    DetailQuery.setName(QStringLiteral("DetailQuery"));
    PrivQuery.setName(QStringLiteral("PrivQuery"));
    Procedures.setName(QStringLiteral("Procedures"));
    ChangeQuery.setName(QStringLiteral("ChangeQuery"));
    ViewsQuery.setName(QStringLiteral("ViewsQuery"));
    GranteeQuery.setName(QStringLiteral("GranteeQuery"));
    GrantorQuery.setName(QStringLiteral("GrantorQuery"));
    LoginQuery.setName(QStringLiteral("LoginQuery"));
    GrantedByQuery.setName(QStringLiteral("GrantedByQuery"));
    ColumnRowsQuery.setName(QStringLiteral("ColumnRowsQuery"));
    ScopeQuery.setName(QStringLiteral("ScopeQuery"));
    ScopeRowsQuery.setName(QStringLiteral("ScopeRowsQuery"));
    FewNamesQuery.setName(QStringLiteral("FewNamesQuery"));
    StillListedQuery.setName(QStringLiteral("StillListedQuery"));
    ObjectListedQuery.setName(QStringLiteral("ObjectListedQuery"));
    ConnectQuery.setName(QStringLiteral("ConnectQuery"));
    ColumnsQuery.setName(QStringLiteral("ColumnsQuery"));
    LoginsQuery.setName(QStringLiteral("LoginsQuery"));
    Database.setLoginPrompt(false);

    // The design's statements; every one is replaced before it first runs.
    addStatement(MasterQuery, {"SELECT DISTINCT RDB$USER", "FROM RDB$USER_PRIVILEGES"}, {});
    addStatement(DetailQuery, {"SELECT DISTINCT RDB$RELATION_NAME", "FROM RDB$USER_PRIVILEGES"},
                 {});
    addStatement(PrivQuery,
                 {"SELECT RDB$RELATION_NAME, RDB$PRIVILEGE", "FROM RDB$USER_PRIVILEGES",
                  "WHERE RDB$USER = :UserName"},
                 {});

    MasterQueryName = MasterQuery.addField(QStringLiteral("RDB$USER"), db::FieldKind::Data,
                                           NameSize, NameDisplayWidth);
    MasterQueryKind =
        MasterQuery.addField(QStringLiteral("RDB$USER_TYPE"), db::FieldKind::Data, KindSize);
    DetailQueryName = DetailQuery.addField(QStringLiteral("RDB$RELATION_NAME"), db::FieldKind::Data,
                                           NameSize, NameDisplayWidth);
    db::TField **privilegeFields[] = {&DetailQuerySelect, &DetailQueryUpdate, &DetailQueryInsert,
                                      &DetailQueryDelete, &DetailQueryExecute};
    for (const PrivilegeColumn &privilege : PrivilegeColumns) {
        db::TField *field =
            DetailQuery.addField(QString(privilege.fieldName), db::FieldKind::Calculated, 1, 1);
        field->setDisplayLabel(QString(privilege.label));
        *privilegeFields[privilege.index - 1] = field;
    }
    // After the privilege columns, so that a grid column's index stays that
    // of its field.
    DetailQueryKind =
        DetailQuery.addField(QStringLiteral("RDB$OBJECT_TYPE"), db::FieldKind::Data, KindSize);
    PrivQueryName =
        PrivQuery.addField(QStringLiteral("RDB$RELATION_NAME"), db::FieldKind::Data, NameSize);
    PrivQueryPrivilege =
        PrivQuery.addField(QStringLiteral("RDB$PRIVILEGE"), db::FieldKind::Data, 6);
    PrivQueryObjectType =
        PrivQuery.addField(QStringLiteral("RDB$OBJECT_TYPE"), db::FieldKind::Data, KindSize);
    PrivQueryUserType =
        PrivQuery.addField(QStringLiteral("RDB$USER_TYPE"), db::FieldKind::Data, KindSize);
    PrivQueryColumn =
        PrivQuery.addField(QStringLiteral("RDB$FIELD_NAME"), db::FieldKind::Data, NameSize);
    PrivQueryOption =
        PrivQuery.addField(QStringLiteral("RDB$GRANT_OPTION"), db::FieldKind::Data, 6);
    PrivQueryGrantor =
        PrivQuery.addField(QStringLiteral("RDB$GRANTOR"), db::FieldKind::Data, NameSize);

    Procedures.setTableName(QStringLiteral("RDB$PROCEDURES"));
    Procedures.setIndexFieldName(QStringLiteral("RDB$PROCEDURE_NAME"));
    ProceduresName =
        Procedures.addField(QStringLiteral("RDB$PROCEDURE_NAME"), db::FieldKind::Data, NameSize);

    ViewsQuery.sqlAdd(QStringLiteral("select distinct rdb$view_name"));
    ViewsQuery.sqlAdd(QStringLiteral("from rdb$view_relations"));
    ViewsQueryViewName =
        ViewsQuery.addField(QStringLiteral("RDB$VIEW_NAME"), db::FieldKind::Data, NameSize);

    // Every role comes along, of kind RoleRow, its option telling whether a
    // user grantee shares its name: each command reads a grantee first, so
    // that its statements name a user or a role exactly as they now stand.
    addStatement(
        GranteeQuery,
        {SelectGrantRows, "FROM RDB$USER_PRIVILEGES", "WHERE RDB$USER = :Grantee",
         "UNION ALL SELECT TRIM(TRAILING FROM R.RDB$ROLE_NAME), -1, NULL, NULL, NULL, NULL,",
         "IIF(EXISTS(SELECT 1 FROM RDB$USER_PRIVILEGES U",
         "WHERE U.RDB$USER = R.RDB$ROLE_NAME AND U.RDB$USER_TYPE = 8), 1, 0), NULL",
         "FROM RDB$ROLES R"},
        {});
    addGrantFields(GranteeQuery);
    addStatement(GrantorQuery,
                 {SelectGrantRows, "FROM RDB$USER_PRIVILEGES",
                  "WHERE RDB$GRANTOR = :Grantor AND (RDB$USER <> :Grantee OR RDB$USER_TYPE <> 8)"},
                 {});
    addGrantFields(GrantorQuery);
    addStatement(ColumnRowsQuery,
                 {SelectGrantRows, "FROM RDB$USER_PRIVILEGES", "WHERE RDB$OBJECT_TYPE = 0",
                  "AND (RDB$FIELD_NAME IS NOT NULL OR RDB$USER_TYPE = 18)"},
                 {});
    addGrantFields(ColumnRowsQuery);
    ScopeQuery.sqlAdd(db::scopeRowsSql(QLatin1String(SelectGrantRows), GrantRowColumns));
    ScopeQuery.addField(QStringLiteral("CHUNK"), db::FieldKind::Data, db::PackedChunkBytes);
    addGrantFields(ScopeRowsQuery);
    // Names not asked for are left empty, which no grantee or object has.
    addStatement(FewNamesQuery,
                 {SelectGrantRows, "FROM RDB$USER_PRIVILEGES",
                  "WHERE RDB$USER IN (:G1, :G2, :G3, :G4)",
                  "OR RDB$RELATION_NAME IN (:O1, :O2, :O3, :O4)"},
                 {});
    addGrantFields(FewNamesQuery);
    StillListedQuery.sqlAdd(db::stillListedSql());
    for (const char *column : {"SIDE", "KIND"})
        StillListedQuery.addField(QLatin1String(column), db::FieldKind::Data, KindSize);
    StillListedQuery.addField(QStringLiteral("NAME"), db::FieldKind::Data, NameSize);
    ObjectListedQuery.sqlAdd(db::objectListedSql());
    ObjectListedQuery.addField(QStringLiteral("LISTED"), db::FieldKind::Data, 1);
    // The longest name is the catalogue's: 31 characters on Firebird 3, 63
    // on Firebird 4.
    addStatement(
        LoginQuery,
        {"SELECT CURRENT_USER AS LOGIN_NAME, CURRENT_ROLE AS ROLE_NAME,",
         "MON$OWNER AS OWNER_NAME, (SELECT F.RDB$CHARACTER_LENGTH",
         "FROM RDB$RELATION_FIELDS R JOIN RDB$FIELDS F", "ON F.RDB$FIELD_NAME = R.RDB$FIELD_SOURCE",
         "WHERE R.RDB$RELATION_NAME = 'RDB$USER_PRIVILEGES'",
         "AND R.RDB$FIELD_NAME = 'RDB$USER') AS NAME_LENGTH,",
         "RDB$GET_CONTEXT('SYSTEM', 'ENGINE_VERSION') AS ENGINE_VERSION", "FROM MON$DATABASE"},
        {});
    for (const char *column : {"LOGIN_NAME", "ROLE_NAME", "OWNER_NAME"})
        LoginQuery.addField(QLatin1String(column), db::FieldKind::Data, NameSize);
    LoginQuery.addField(QStringLiteral("NAME_LENGTH"), db::FieldKind::Data, 6);
    LoginQuery.addField(QStringLiteral("ENGINE_VERSION"), db::FieldKind::Data, 20);
    addStatement(
        GrantedByQuery,
        {"SELECT RDB$SYSTEM_PRIVILEGE(USE_GRANTED_BY_CLAUSE) AS MAY_NAME", "FROM RDB$DATABASE"},
        {});
    GrantedByQuery.addField(QStringLiteral("MAY_NAME"), db::FieldKind::Data, 5);
    ConnectQuery.sqlAdd(db::packedReadSql(readAtConnectSources()));
    ConnectQuery.addField(QStringLiteral("CHUNK"), db::FieldKind::Data, db::PackedChunkBytes);
    addStatement(
        ColumnsQuery,
        {"SELECT RDB$FIELD_NAME FROM RDB$RELATION_FIELDS", "WHERE RDB$RELATION_NAME = :Relation"},
        {});
    ColumnsQuery.addField(QStringLiteral("RDB$FIELD_NAME"), db::FieldKind::Data, NameSize);
    addStatement(LoginsQuery, {"SELECT SEC$USER_NAME FROM SEC$USERS"}, {});
    LoginsQuery.addField(QStringLiteral("SEC$USER_NAME"), db::FieldKind::Data, NameSize);

    MasterSource.setObjectName(QStringLiteral("MasterSource"));
    MasterSource.setDataSet(&MasterQuery);
    DetailSource.setObjectName(QStringLiteral("DetailSource"));
    DetailSource.setDataSet(&DetailQuery);
}

void TKelvaneForm::createHeaderBar()
{
    Panel1 = new QWidget(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setGeometry(0, 0, width(), 26);
    Bevel1 = ui::addBottomLine(Panel1, QStringLiteral("Bevel1"), 0, 23, width(), 3);

    Label2 = new QLabel(QStringLiteral("&Database:"), Panel1);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->setGeometry(0, 5, 55, 13);
    Label2->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    DBCombo = new QComboBox(Panel1);
    DBCombo->setObjectName(QStringLiteral("DBCombo"));
    DBCombo->setGeometry(59, 1, 138, 21);
    DBCombo->setEditable(false);
    Label2->setBuddy(DBCombo);

    ByUserRadio = new QRadioButton(QStringLiteral("By User"), Panel1);
    ByUserRadio->setObjectName(QStringLiteral("ByUserRadio"));
    ByUserRadio->setGeometry(214, 4, 65, 17);
    ByUserRadio->setChecked(true);
    ByTableRadio = new QRadioButton(QStringLiteral("By Relation"), Panel1);
    ByTableRadio->setObjectName(QStringLiteral("ByTableRadio"));
    ByTableRadio->setGeometry(280, 4, 81, 17);
    SystemCheck = new QCheckBox(QStringLiteral("S&ystem objects"), Panel1);
    SystemCheck->setObjectName(QStringLiteral("SystemCheck"));
    SystemCheck->setGeometry(372, 4, 100, 17);
    SystemCheck->setToolTip(QStringLiteral(
        "Shows the system's own objects (RDB$, MON$, SEC$, SQL$) in the relations' list"));
    // Shown unless the administrator hid them last time.
    SystemCheck->setChecked(
        ui::savedChoice(QStringLiteral("Lists"), QStringLiteral("SystemObjects")) !=
        QLatin1String("hidden"));

    AboutButton = addToolButton(Panel1, QStringLiteral("AboutButton"), pictures::aboutGlyph(),
                                QStringLiteral("Information"), QRect(472, 0, 48, 24));
    ExitButton = addToolButton(Panel1, QStringLiteral("ExitButton"), pictures::exitGlyph(),
                               QStringLiteral("Exit"), QRect(520, 0, 45, 24));
}

void TKelvaneForm::createLists()
{
    MasterLabel = ui::addLabel(this, QStringLiteral("MasterLabel"), QStringLiteral("Users"), 4, 32);
    MasterNavigator =
        addNavigator(this, QStringLiteral("MasterNavigator"), MasterSource, QRect(56, 27, 104, 21));
    DetailLabel =
        ui::addLabel(this, QStringLiteral("DetailLabel"), QStringLiteral("Relations"), 198, 32);
    DetailNavigator = addNavigator(this, QStringLiteral("DetailNavigator"), DetailSource,
                                   QRect(248, 27, 104, 21));
    Label3 = ui::addLabel(this, QStringLiteral("Label3"), QStringLiteral("Privileges"), 364, 32);

    MasterFilter = addFilter(this, QStringLiteral("MasterFilter"));
    DetailFilter = addFilter(this, QStringLiteral("DetailFilter"));
    nameFilters();
    HeldCheck = new QCheckBox(QStringLiteral("&Held only"), this);
    HeldCheck->setObjectName(QStringLiteral("HeldCheck"));
    HeldCheck->setToolTip(
        QStringLiteral("Shows only the names the current row of the left list holds something on"));
    HeldCheck->setChecked(ui::savedChoice(QStringLiteral("Lists"), QStringLiteral("HeldOnly")) ==
                          QLatin1String("on"));

    MasterGrid =
        addGrid(this, QStringLiteral("MasterGrid"), MasterSource, QRect(4, ListsTop, 175, 364));
    MasterGrid->setRowSelect(true);
    // The name alone: the row's kind shows as its badge.
    MasterGrid->setColumns({ui::GridColumn{QStringLiteral("RDB$USER")}});
    MasterGrid->setIndicator(false);
    DetailGrid =
        addGrid(this, QStringLiteral("DetailGrid"), DetailSource, QRect(185, ListsTop, 272, 364));
    DetailGrid->setRowSelect(false);
    DetailGrid->setIndicator(true);
    DetailGrid->setColumns(detailColumns());
    DetailGrid->setShowTitles(true);
}

void TKelvaneForm::createMenus()
{
    EditMenu = new ui::PopupMenu(this);
    EditMenu->setObjectName(QStringLiteral("EditMenu"));
    // Ctrl+Z and Ctrl+Shift+Z go through the window's key handler.
    UndoItem = EditMenu->addItem(QStringLiteral("UndoItem"), QStringLiteral("Undo\tCtrl+Z"));
    RedoItem = EditMenu->addItem(QStringLiteral("RedoItem"), QStringLiteral("Redo\tCtrl+Shift+Z"));
    N0 = EditMenu->addSeparator();
    N0->setObjectName(QStringLiteral("N0"));
    GrantAllItem =
        EditMenu->addItem(QStringLiteral("GrantAllItem"),
                          QStringLiteral("Grant this user all privileges to this relation"));
    RevokeAllItem =
        EditMenu->addItem(QStringLiteral("RevokeAllItem"),
                          QStringLiteral("Revoke all this user's privileges on this relation"));
    // Captioned again for the view and the letter as the menus open.
    GrantEachItem = EditMenu->addItem(QStringLiteral("GrantEachItem"),
                                      QStringLiteral("Grant SELECT on every relation shown"));
    GrantEachOptionItem =
        EditMenu->addItem(QStringLiteral("GrantEachOptionItem"),
                          QStringLiteral("Grant SELECT with grant option on every relation shown"));
    RevokeEachItem = EditMenu->addItem(QStringLiteral("RevokeEachItem"),
                                       QStringLiteral("Revoke SELECT on every relation shown"));
    RevokeEachOptionItem =
        EditMenu->addItem(QStringLiteral("RevokeEachOptionItem"),
                          QStringLiteral("Revoke grant option for SELECT on every relation shown"));
    N1 = EditMenu->addSeparator();
    N1->setObjectName(QStringLiteral("N1"));
    UserCopyItem = EditMenu->addItem(
        QStringLiteral("UserCopyItem"),
        QStringLiteral("Copy this user's privileges on this relation to other users..."));
    TableCopyItem = EditMenu->addItem(
        QStringLiteral("TableCopyItem"),
        QStringLiteral("Copy the privileges on this relation to other relations for this user..."));
    AllCopyItem =
        EditMenu->addItem(QStringLiteral("AllCopyItem"),
                          QStringLiteral("Copy ALL this user's privileges to other users..."));
    N2 = EditMenu->addSeparator();
    N2->setObjectName(QStringLiteral("N2"));
    RemoveItem =
        EditMenu->addItem(QStringLiteral("RemoveItem"), QStringLiteral("Remove user completely"));
    RenameItem = EditMenu->addItem(QStringLiteral("RenameItem"), QStringLiteral("Rename user..."));
    N3 = EditMenu->addSeparator();
    N3->setObjectName(QStringLiteral("N3"));
    AddNewItem = EditMenu->addItem(QStringLiteral("AddNewItem"),
                                   QStringLiteral("Add new user for this relation..."));
    CopyNewItem = EditMenu->addItem(
        QStringLiteral("CopyNewItem"),
        QStringLiteral("Copy this user's privileges on this relation to a new user..."));
    CopyNewAllItem =
        EditMenu->addItem(QStringLiteral("CopyNewAllItem"),
                          QStringLiteral("Copy ALL this user's privileges to a new user..."));
    N4 = EditMenu->addSeparator();
    N4->setObjectName(QStringLiteral("N4"));
    SaveUserSqlItem = EditMenu->addItem(QStringLiteral("SaveUserSqlItem"),
                                        QStringLiteral("Save this user's privileges as SQL..."));
    SaveRelationSqlItem =
        EditMenu->addItem(QStringLiteral("SaveRelationSqlItem"),
                          QStringLiteral("Save the privileges on this relation as SQL..."));
    SaveAllSqlItem = EditMenu->addItem(QStringLiteral("SaveAllSqlItem"),
                                       QStringLiteral("Save ALL privileges as SQL..."));
    N5 = EditMenu->addSeparator();
    N5->setObjectName(QStringLiteral("N5"));
    // Ctrl+W goes through the window's key handler.
    CompareItem = EditMenu->addItem(QStringLiteral("CompareItem"),
                                    QStringLiteral("Compare with another database..."));
    CompareFileItem = EditMenu->addItem(QStringLiteral("CompareFileItem"),
                                        QStringLiteral("Compare with a saved file..."));
    WhoCanItem = EditMenu->addItem(QStringLiteral("WhoCanItem"),
                                   QStringLiteral("Who can use this relation, and why...\tCtrl+W"));
    // F5 itself goes through the window's key handler, as its other keys do.
    RefreshItem = EditMenu->addItem(QStringLiteral("RefreshItem"),
                                    QStringLiteral("Read the catalogue again\tF5"));

    PrivilegeMenu = new ui::PopupMenu(this);
    PrivilegeMenu->setObjectName(QStringLiteral("PrivilegeMenu"));
    PrivilegeItem =
        PrivilegeMenu->addItem(QStringLiteral("PrivilegeItem"), QStringLiteral("Select"));
    PrivilegeItem->setCheckable(true);
    GrantOptionItem = PrivilegeMenu->addItem(QStringLiteral("GrantOptionItem"),
                                             QStringLiteral("With Grant Option"));
    GrantOptionItem->setCheckable(true);
    PrivilegeMenu->addSeparator();
    PrivilegeMenu->addActions(
        {GrantEachItem, GrantEachOptionItem, RevokeEachItem, RevokeEachOptionItem});

    MasterGrid->setPopupMenu(EditMenu);
    DetailGrid->setPopupMenu(EditMenu);
}

void TKelvaneForm::wireEvents()
{
    onEvent(DBCombo, &QComboBox::activated, this, [this] { DBComboChange(DBCombo); });
    // Toggled rather than clicked: a click on the button already checked
    // changes nothing and runs nothing.
    for (QRadioButton *radio : {ByUserRadio, ByTableRadio}) {
        connect(radio, &QRadioButton::toggled, this, [this, radio](bool checked) {
            if (checked)
                ui::guarded([&] { ByRadioClick(radio); });
        });
    }
    onEvent(AboutButton, &QToolButton::clicked, this, [this] { AboutButtonClick(AboutButton); });
    onEvent(SystemCheck, &QCheckBox::clicked, this, [this] { SystemCheckClick(SystemCheck); });
    onEvent(HeldCheck, &QCheckBox::clicked, this, [this] { HeldCheckClick(HeldCheck); });
    for (QLineEdit *field : {MasterFilter, DetailFilter})
        onEvent(field, &QLineEdit::textChanged, this, [this, field] { FilterChange(field); });
    onEvent(ExitButton, &QToolButton::clicked, this, [this] { ExitButtonClick(ExitButton); });

    const auto gridKeyDown = [this](ui::DBGrid &grid, int &key, Qt::KeyboardModifiers shift) {
        DBGridKeyDown(&grid, key, shift);
    };
    MasterGrid->setOnKeyDown(gridKeyDown);
    DetailGrid->setOnKeyDown(gridKeyDown);

    DetailGrid->setOnDblClick([this](ui::DBGrid &grid) { DetailGridDblClick(&grid); });
    DetailGrid->setOnColEnter([this](ui::DBGrid &grid) { DetailGridColEnter(&grid); });
    DetailGrid->setOnCellStyle([this](int row, int column) { return cellLook(row, column); });
    DetailGrid->setOnCellHint([this](int row, int column) {
        return column == 0 ? nameHint(DetailQuery, row) : privilegeHint(row, column);
    });
    MasterGrid->setOnCellHint([this](int row, int) { return nameHint(MasterQuery, row); });
    for (ui::DBGrid *grid : {MasterGrid, DetailGrid}) {
        grid->setOnCellDecoration(
            [this, grid](int row, int column) {
                return column == 0 && grid->dataSet() ? kindBadge(lookAt(*grid->dataSet(), row))
                                                      : QIcon();
            },
            QSize(pictures::BadgeSize, pictures::BadgeSize));
    }
    PrivilegeMenu->setOnPopup([this](ui::PopupMenu &menu) { PrivilegeMenuPopup(&menu); });
    EditMenu->setOnPopup([this](ui::PopupMenu &menu) { EditMenuPopup(&menu); });
    onEvent(PrivilegeItem, &QAction::triggered, this,
            [this] { PrivilegeItemClick(PrivilegeItem); });
    onEvent(GrantOptionItem, &QAction::triggered, this,
            [this] { GrantOptionItemClick(GrantOptionItem); });
    onEvent(GrantAllItem, &QAction::triggered, this, [this] { GrantAllItemClick(GrantAllItem); });
    onEvent(RevokeAllItem, &QAction::triggered, this,
            [this] { RevokeAllItemClick(RevokeAllItem); });
    const std::pair<QAction *, void (TKelvaneForm::*)(QObject *)> commands[] = {
        {UserCopyItem, &TKelvaneForm::UserCopyItemClick},
        {TableCopyItem, &TKelvaneForm::TableCopyItemClick},
        {AllCopyItem, &TKelvaneForm::AllCopyItemClick},
        {AddNewItem, &TKelvaneForm::AddNewItemClick},
        {CopyNewItem, &TKelvaneForm::CopyNewItemClick},
        {CopyNewAllItem, &TKelvaneForm::CopyNewAllItemClick},
        {RenameItem, &TKelvaneForm::RenameItemClick},
        {RemoveItem, &TKelvaneForm::RemoveItemClick},
        {SaveUserSqlItem, &TKelvaneForm::SaveSqlItemClick},
        {SaveRelationSqlItem, &TKelvaneForm::SaveSqlItemClick},
        {SaveAllSqlItem, &TKelvaneForm::SaveSqlItemClick},
        {RefreshItem, &TKelvaneForm::RefreshItemClick},
        {WhoCanItem, &TKelvaneForm::WhoCanItemClick},
        {CompareItem, &TKelvaneForm::CompareItemClick},
        {CompareFileItem, &TKelvaneForm::CompareFileItemClick},
        {UndoItem, &TKelvaneForm::UndoItemClick},
        {RedoItem, &TKelvaneForm::RedoItemClick},
        {GrantEachItem, &TKelvaneForm::EachLetterItemClick},
        {GrantEachOptionItem, &TKelvaneForm::EachLetterItemClick},
        {RevokeEachItem, &TKelvaneForm::EachLetterItemClick},
        {RevokeEachOptionItem, &TKelvaneForm::EachLetterItemClick},
    };
    for (const auto &[item, handler] : commands)
        onEvent(item, &QAction::triggered, this, [this, item, handler] { (this->*handler)(item); });
    // The window sees every key first, so that its shortcuts work whichever
    // control has the focus.
    new ui::KeyPreview(
        this, [this](int &key, Qt::KeyboardModifiers shift) { FormKeyDown(this, key, shift); });

    MasterQuery.setAfterScroll([this](db::TDataSet &ds) { MasterQueryAfterScroll(&ds); });
    DetailQuery.setAfterScroll([this](db::TDataSet &ds) { DetailQueryAfterScroll(&ds); });
    DetailQuery.setOnCalcFields([this](db::TDataSet &ds) { DetailQueryCalcFields(&ds); });
}

namespace {

// How wide a caption is drawn, with a radio button's or check box's mark
// before it: what must fit for none of it to be cut.
int captionWidth(const QWidget &control, const QString &caption)
{
    QString shown = caption;
    shown.remove(QLatin1Char('&'));
    int width = control.fontMetrics().horizontalAdvance(shown);
    const QStyle &style = *control.style();
    if (qobject_cast<const QRadioButton *>(&control))
        width += style.pixelMetric(QStyle::PM_ExclusiveIndicatorWidth, nullptr, &control) +
                 style.pixelMetric(QStyle::PM_RadioButtonLabelSpacing, nullptr, &control);
    else if (qobject_cast<const QCheckBox *>(&control))
        width += style.pixelMetric(QStyle::PM_IndicatorWidth, nullptr, &control) +
                 style.pixelMetric(QStyle::PM_CheckBoxLabelSpacing, nullptr, &control);
    return width;
}

} // namespace

void TKelvaneForm::fitLeastSize()
{
    // The tool buttons keep to the right of the header bar's captions.
    const QSize least(std::max(DesignSize.width(), layOutHeaderBar() + 93), DesignSize.height());
    setMinimumSize(least);
    resize(size().expandedTo(least));
}

void TKelvaneForm::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::FontChange && m_designed)
        fitLeastSize();
}

int TKelvaneForm::layOutHeaderBar()
{
    // Each at its design place and width, or as wide as its caption needs in
    // the fonts at hand (DejaVu Sans, where the design's face is missing, is
    // wider), and clear of the one before it: those after it move along.
    int end = 0;
    const auto place = [&end](QWidget *control, const QString &caption, QRect design, int gap) {
        const int x = std::max(design.x(), end + gap);
        // A caption wider than its design room gets a little more after
        // it, so that it does not run into the next.
        const int needed = caption.isEmpty() ? 0 : captionWidth(*control, caption);
        const int width = needed > design.width() ? needed + 6 : design.width();
        control->setGeometry(x, design.y(), width, design.height());
        end = x + width;
    };
    place(Label2, Label2->text(), QRect(0, 5, 55, 13), 0);
    place(DBCombo, {}, QRect(59, 1, 138, 21), 4);
    place(ByUserRadio, ByUserRadio->text(), QRect(214, 4, 65, 17), 6);
    place(ByTableRadio, ByTableRadio->text(), QRect(280, 4, 81, 17), 1);
    place(SystemCheck, SystemCheck->text(), QRect(372, 4, 100, 17), 6);
    return end;
}

void TKelvaneForm::layOut()
{
    const int wider = width() - ListsDesignWidth;
    const int taller = height() - DesignSize.height();
    // The users' list takes two fifths of the added width, the grid the rest.
    const int masterWider = wider * 2 / 5;
    layOutHeaderBar();
    Panel1->setGeometry(0, 0, width(), 26);
    Bevel1->setGeometry(0, 23, width(), 3);
    for (QFrame *line : Bevel1->findChildren<QFrame *>())
        line->setGeometry(0, 1, width(), 2);
    AboutButton->move(width() - 93, 0);
    ExitButton->move(width() - 45, 0);
    MasterFilter->setGeometry(4, 49, 175 + masterWider, 21);
    MasterGrid->setGeometry(4, ListsTop, 175 + masterWider, 364 + taller);
    // A navigator stands clear of its list's label, however wide the font.
    MasterNavigator->move(std::max(56, MasterLabel->x() + MasterLabel->width() + 2), 27);
    DetailLabel->move(198 + masterWider, 32);
    DetailNavigator->move(std::max(248 + masterWider, DetailLabel->x() + DetailLabel->width() + 2),
                          27);
    Label3->move(364 + wider, 32);
    // The held-only switch at the end of the detail filter's row, as wide as
    // its caption.
    const int heldWidth = captionWidth(*HeldCheck, HeldCheck->text()) + 6;
    const int detailWidth = 272 + wider - masterWider;
    DetailFilter->setGeometry(185 + masterWider, 49, detailWidth - heldWidth - 6, 21);
    HeldCheck->setGeometry(185 + masterWider + detailWidth - heldWidth, 51, heldWidth, 17);
    DetailGrid->setGeometry(185 + masterWider, ListsTop, 272 + wider - masterWider, 364 + taller);
    // The name column grows; the privilege columns stay under their label.
    DetailGrid->setFirstColumnGrowth(wider - masterWider);
    MasterGrid->setFirstColumnGrowth(masterWider);
}

QList<db::TextColumn> TKelvaneForm::grantRowTexts()
{
    const int nameLength = login().nameLength;
    QList<db::TextColumn> texts;
    for (const QString &column : GrantRowColumns)
        texts.append({column, isGrantCode(column) ? CodeSize : nameLength});
    return texts;
}

void TKelvaneForm::addStatement(db::TQuery &query, const QStringList &lines,
                                const QString &firstFieldName)
{
    for (const QString &line : lines)
        query.sqlAdd(line);
    if (!firstFieldName.isEmpty())
        query.fields(0)->setFieldName(firstFieldName);
}
