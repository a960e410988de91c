#pragma once

#include "CommandRunner.h"
#include "Kinds.h"
#include "PrivilegeMarks.h"
#include "UndoJournal.h"
#include "db/Compare.h"
#include "db/DataSet.h"
#include "db/Database.h"
#include "db/DdlPrivileges.h"
#include "db/Descriptions.h"
#include "db/LetterOnEach.h"
#include "db/ListedNames.h"
#include "db/Names.h"
#include "db/PackedRead.h"
#include "db/Query.h"
#include "db/ServerGuards.h"
#include "db/Table.h"
#include "ui/DataSetModel.h"

#include <QScopeGuard>
#include <QSet>
#include <QWidget>
#include <functional>
#include <optional>

class QAction;
class QCheckBox;
class QComboBox;
class QLineEdit;
class QFrame;
class QLabel;
class QRadioButton;
class QToolButton;

class SuspendedUpdates;

namespace ui {
class DBGrid;
class Navigator;
class PopupMenu;
} // namespace ui

// The main window: the alias list and view mode in the header bar, the master
// list beside the privilege grid, the connection and every dataset. Its
// handlers hold the program's logic.
class TKelvaneForm : public QWidget
{
    Q_OBJECT
public:
    explicit TKelvaneForm(QWidget *parent = nullptr);
    ~TKelvaneForm() override;

    // Header bar
    QWidget *Panel1;
    QFrame *Bevel1;
    QLabel *Label2;
    QComboBox *DBCombo;
    QRadioButton *ByUserRadio;
    QRadioButton *ByTableRadio;
    QToolButton *AboutButton;
    QToolButton *ExitButton;
    // Shows or hides the system's own objects in the relations' list.
    QCheckBox *SystemCheck;
    // Lists
    // Narrows the detail list to the names the master's row holds something on.
    QCheckBox *HeldCheck;
    QLabel *MasterLabel;
    ui::Navigator *MasterNavigator;
    QLabel *DetailLabel;
    ui::Navigator *DetailNavigator;
    QLabel *Label3;
    // Each narrows the list below it to the names that contain its text.
    QLineEdit *MasterFilter;
    QLineEdit *DetailFilter;
    ui::DBGrid *MasterGrid;
    ui::DBGrid *DetailGrid;

    // The connection and its datasets; the datasets must go before it.
    db::TDatabase Database;
    db::TQuery MasterQuery;
    db::TQuery DetailQuery;
    db::TQuery PrivQuery;
    db::TTable Procedures;
    db::TQuery ChangeQuery;
    db::TQuery ViewsQuery;
    // The exact catalogue rows the whole-user and copy commands work from:
    // every row of one grantee, and every row one grantor gave to others.
    db::TQuery GranteeQuery;
    db::TQuery GrantorQuery;
    // Who the login is and whether it may write GRANTED BY.
    db::TQuery LoginQuery;
    // Whether Firebird 4 lets the attachment write GRANTED BY: a default
    // RDB$ADMIN or a role with that system privilege has no name to compare.
    db::TQuery GrantedByQuery;
    // Every column-level row and every package's row on relations: what the
    // server cannot keep together, and the column-level rights a revoke
    // drops.
    db::TQuery ColumnRowsQuery;
    // The columns of a relation, for a column-level copy to it.
    db::TQuery ColumnsQuery;
    // The server's logins, privileges or not.
    db::TQuery LoginsQuery;
    // The rows a command can change, by grantee and by object, for undo:
    // a few names through the statement prepared once; more packed into the
    // one parameter of a block, also prepared once, a few hundred a read,
    // whose rows come packed (ScopeQuery) and open ScopeRowsQuery.
    db::TQuery ScopeQuery;
    db::TQuery ScopeRowsQuery;
    db::TQuery FewNamesQuery;
    static constexpr int FewNames = 4;
    // Which of some names the lists still hold, after a command that can
    // have taken them away.
    db::TQuery StillListedQuery;
    // Whether one object is still listed, asked in the round trip of the
    // statement that can have taken it away.
    db::TQuery ObjectListedQuery;
    // What a connection shows first, but for the master's privileges, in
    // one statement: the login, the procedures, the views and both lists.
    // F5 reads them again through it.
    db::TQuery ConnectQuery;
    db::TDataSource MasterSource;
    db::TDataSource DetailSource;

    db::TField *MasterQueryName;
    // The kind of each list's rows: an object's in the relations' list, a
    // grantee's in the users' list.
    db::TField *MasterQueryKind;
    db::TField *DetailQueryName;
    db::TField *DetailQuerySelect;
    db::TField *DetailQueryUpdate;
    db::TField *DetailQueryInsert;
    db::TField *DetailQueryDelete;
    db::TField *DetailQueryExecute;
    db::TField *DetailQueryKind;
    db::TField *PrivQueryName;
    db::TField *PrivQueryPrivilege;
    db::TField *PrivQueryObjectType;
    db::TField *PrivQueryUserType;
    db::TField *PrivQueryColumn;
    db::TField *PrivQueryOption;
    db::TField *PrivQueryGrantor;
    db::TField *ProceduresName;
    db::TField *ViewsQueryViewName;

    ui::PopupMenu *EditMenu;
    // Name the command they take back or do again: "Undo rename of HELEN
    // to HELEN2".
    QAction *UndoItem;
    QAction *RedoItem;
    QAction *N0;
    QAction *GrantAllItem;
    QAction *RevokeAllItem;
    // One letter, that of the cell's column, on every relation shown (By
    // User) or to and from every grantee shown (By Relation); in both menus.
    QAction *GrantEachItem;
    QAction *GrantEachOptionItem;
    QAction *RevokeEachItem;
    QAction *RevokeEachOptionItem;
    QAction *N1;
    QAction *UserCopyItem;
    QAction *TableCopyItem;
    QAction *AllCopyItem;
    QAction *N2;
    QAction *RemoveItem;
    QAction *RenameItem;
    QAction *N3;
    QAction *AddNewItem;
    QAction *CopyNewItem;
    QAction *CopyNewAllItem;
    QAction *N4;
    QAction *SaveUserSqlItem;
    QAction *SaveRelationSqlItem;
    QAction *SaveAllSqlItem;
    QAction *N5;
    QAction *WhoCanItem;
    QAction *CompareItem;
    QAction *CompareFileItem;
    QAction *RefreshItem;
    ui::PopupMenu *PrivilegeMenu;
    QAction *PrivilegeItem;
    QAction *GrantOptionItem;

    // The dataset of user names and the dataset of relation names: one is the
    // master, the other the detail, as the view mode says.
    db::TQuery *UserList = nullptr;
    db::TQuery *RelationList = nullptr;

    // The columns of a catalogue row that the commands carry exactly, the
    // names trimmed as they travel.
    static constexpr const char *SelectGrantRows =
        "SELECT TRIM(TRAILING FROM RDB$USER) AS RDB$USER, RDB$USER_TYPE, "
        "TRIM(TRAILING FROM RDB$RELATION_NAME) AS RDB$RELATION_NAME, RDB$OBJECT_TYPE, "
        "RDB$PRIVILEGE, TRIM(TRAILING FROM RDB$FIELD_NAME) AS RDB$FIELD_NAME, RDB$GRANT_OPTION, "
        "TRIM(TRAILING FROM RDB$GRANTOR) AS RDB$GRANTOR";
    // Those columns, in the order SelectGrantRows has them.
    static const QStringList GrantRowColumns;
    // The same, each as wide as its texts can be on this server.
    [[nodiscard]] QList<db::TextColumn> grantRowTexts();

    // How long a command walks before its progress shows, in milliseconds.
    int ProgressDelay = 500;
    // While the program walks a dataset itself, the calculation and the
    // master's reload stay silent.
    bool Scanning = false;
    bool CurrentIsProcedure = false;

    // Event handlers
    void FormShow(QObject *sender);
    void FormClose(QObject *sender);
    void ExitButtonClick(QObject *sender);
    void AboutButtonClick(QObject *sender);
    void DBComboChange(QObject *sender);
    void ByRadioClick(QObject *sender);
    void FilterChange(QObject *sender);
    void SystemCheckClick(QObject *sender);
    void HeldCheckClick(QObject *sender);
    void DBGridKeyDown(QObject *sender, int &key, Qt::KeyboardModifiers shift);
    void MasterQueryAfterScroll(db::TDataSet *dataSet);
    void DetailQueryAfterScroll(db::TDataSet *dataSet);
    void DetailQueryCalcFields(db::TDataSet *dataSet);
    void FormKeyDown(QObject *sender, int &key, Qt::KeyboardModifiers shift);
    void DetailGridDblClick(QObject *sender);
    void PrivilegeItemClick(QObject *sender);
    void PrivilegeMenuPopup(QObject *sender);
    void GrantOptionItemClick(QObject *sender);
    void DetailGridColEnter(QObject *sender);
    void GrantAllItemClick(QObject *sender);
    void RevokeAllItemClick(QObject *sender);
    void EachLetterItemClick(QObject *sender);
    // Ctrl+Z and Ctrl+Shift+Z.
    void UndoItemClick(QObject *sender);
    void RedoItemClick(QObject *sender);
    void EditMenuPopup(QObject *sender);
    void UserCopyItemClick(QObject *sender);
    void TableCopyItemClick(QObject *sender);
    void AllCopyItemClick(QObject *sender);
    void AddNewItemClick(QObject *sender);
    void CopyNewItemClick(QObject *sender);
    void CopyNewAllItemClick(QObject *sender);
    void RenameItemClick(QObject *sender);
    void RemoveItemClick(QObject *sender);
    // Saves the privileges as GRANT statements: the current user's, those
    // on the current relation, or all of them, as the item says.
    void SaveSqlItemClick(QObject *sender);
    // Reads both lists and the privileges again (F5), standing on the same
    // pair: what other sessions changed shows.
    void RefreshItemClick(QObject *sender);
    // Who can use the current relation and through what: the current
    // grantee's paths, or everyone's.
    void WhoCanItemClick(QObject *sender);
    // What differs from another database, and the differences ticked
    // brought here as one command.
    void CompareItemClick(QObject *sender);
    void CompareFileItemClick(QObject *sender);

    // Operations that several handlers share
    void CheckProcedure();
    void RefreshPrivileges();
    // After a grant, which adds no row to either list: the privileges of the
    // master's row are read again and the cells calculated from them, the
    // lists kept as they are.
    void refreshCells();
    void LocateRecord(db::TDataSet &dataSet, int column, const QString &text, bool reopen);
    // As LocateRecord on the name column, then on the kind among the rows of
    // that name: the list stands on the first row not below the key.
    void LocateKey(db::TDataSet &list, const ListKey &key, bool reopen);
    // The badge of a list row's kind, and the kind and name its tooltip
    // tells: "sequence SQ_ORDERS".
    [[nodiscard]] KindLook lookAt(const db::TDataSet &list, int row) const;
    [[nodiscard]] QString nameHint(const db::TDataSet &list, int row) const;
    // The current row's name, with its kind where the list holds that name
    // for another kind too.
    [[nodiscard]] QString distinctName(const db::TDataSet &list) const;
    // Gives one privilege, or ALL, in one statement run at once; a refused
    // grant is reported here and returns. The statement takes the form the
    // object's and the grantee's kinds need. Revokes go through runChanges,
    // one per grantor.
    void GrantPrivilege(const db::Grantee &user, const db::ObjectRef &relation,
                        const QString &privilege);
    // The grant, once the server is known to take it: a role goes only to
    // the grantees it can reach.
    [[nodiscard]] db::Change checkedGrant(const db::Grantee &user, const db::ObjectRef &relation,
                                          const QString &privilege);
    // Sends a checked grant, reporting a refusal, as GrantPrivilege does.
    void sendGrant(const db::Change &grant, const db::Grantee &user);
    void tellGrantRefused(const QString &message);
    // ChangeQuery holds the last statement sent, alone.
    void keepInChangeQuery(const QString &statement);
    // Runs ChangeQuery's grant; in a command, with the grantee's rows read
    // after it in the same round trip and noted for the cells and undo.
    void runGrant(const QString &grantee);

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    // A font the captions need more room in widens the window's least size.
    void changeEvent(QEvent *event) override;

private:
    // Construction, kept apart from the handlers (PrivEditDesign.cpp).
    void createHeaderBar();
    void createLists();
    void createComponents();
    void createMenus();
    void wireEvents();
    // The caption names the login and role connected, as the server has them.
    void showConnection();
    // Places the controls for the window's size: the design's places at the
    // design size, the lists and grids taking whatever room is added.
    void layOut();
    // Places the header bar's controls from the left; returns where the last
    // ends.
    int layOutHeaderBar();
    // The least size: the design's, or wider where the header bar's captions
    // need it.
    void fitLeastSize();

    // The name and kind of UserList's and RelationList's current rows.
    [[nodiscard]] ListKey keyOf(const db::TDataSet &list) const;
    [[nodiscard]] int kindOf(const db::TDataSet &list, int row) const;
    [[nodiscard]] db::TField *kindField(const db::TDataSet &list) const;
    [[nodiscard]] db::Grantee currentGrantee();
    [[nodiscard]] db::ObjectRef currentObject() const;
    // A table or view of the relations' list that is a view.
    [[nodiscard]] bool isView(const QString &relation) const
    {
        return m_viewNames.contains(relation);
    }

    // Connected, with a current user and a current relation to act on.
    [[nodiscard]] bool hasCurrentPair() const;
    [[nodiscard]] bool isEditableColumn(int column) const;
    // Fails, before any statement, when the letter is not one the current
    // object's kind has and no statement could give it.
    void checkLetterOfKind(int column) const;
    // The column a toggle of the cell acts on, once checked: the grantee is
    // one a statement can name, and the letter one the object's kind has;
    // a procedure's every letter is its EXECUTE.
    [[nodiscard]] int checkedCellColumn(int column) const;
    // The letters a cell's column stands for on the current object: its own,
    // or all (empty) where the kind has one privilege.
    [[nodiscard]] QString lettersOfCell(int column) const;
    // The current grantee's rows on the current object.
    [[nodiscard]] QList<db::GrantRow> grantsOnCurrentPair();
    // Those rows as the catalogue has them now, and those of a cell's letters.
    struct CellRows
    {
        QList<db::GrantRow> held;
        QList<db::GrantRow> ofCell;
    };
    [[nodiscard]] CellRows readCell(int column);
    // Where the catalogue no longer holds what the cell showed: the grid is
    // read again and the command ends saying what was found, "CLERK no
    // longer holds SELECT on BED: nothing to revoke".
    [[noreturn]] void reportCellChanged(int column, const QString &found, const QString &outcome);
    // Grants the privilege of the detail column when its cell is empty,
    // revokes it otherwise; refreshes nothing. Returns what it left undone;
    // granted tells which of the two it did.
    QStringList togglePrivilege(int column, bool &granted);
    // The toggle's grant of an empty cell: read, test and grant in one round
    // trip.
    void grantEmptyCell(int column);
    // The condition on which an empty cell's grant to the user goes: the
    // catalogue holds nothing the cell would show, and the grant still names
    // the user as it must.
    [[nodiscard]] db::TCommandTransaction::Guard grantStillFits(int column,
                                                                const db::Grantee &user);
    // The toggle's revoke of a cell the grid shows holding one plain row:
    // tested, revoked and read again in one round trip. false, having sent
    // nothing, where it must go the ordinary way.
    [[nodiscard]] bool revokeCellAsShown(int column);
    // The condition on which that revoke goes: the cell holds the row shown
    // and nothing the revoke could reach beyond the grantee, and the revoke
    // still names the user as it must.
    [[nodiscard]] db::TCommandTransaction::Guard cellStillShows(int column, const db::Grantee &user,
                                                                const db::GrantRow &shown);
    // The rows of the current cell in SQL, after SELECT: "FROM ... WHERE".
    [[nodiscard]] static QString cellRowsSql();
    // A toggle's guard: the test of the cell's rows, and that the statement
    // names the user as the roles now do; with the values of its parameters.
    [[nodiscard]] db::TCommandTransaction::Guard cellGuard(int column, const db::Grantee &user,
                                                           const QString &cellTest,
                                                           const QHash<QString, QString> &values);
    // The keys that go between a list and its filter: true when the key was
    // one of them.
    bool moveAmongListsAndFilters(int key, Qt::KeyboardModifiers shift);
    // The toggle with its refresh, in one command.
    void toggleInCommand(int column);
    // Gives the current cell's privilege its grant option (admin option for
    // a role), or takes the option away where every row of it holds one,
    // with its refresh, in one command.
    void toggleOptionInCommand(int column);
    // Every catalogue row the scope holds, as the lists show rows.
    [[nodiscard]] QList<db::GrantRow> readScopeRows(const db::UndoScope &scope);
    // The name the next command's step takes in the undo items.
    void nameCommand(const QString &name) { m_undo.name(name); }
    void captionUndoItems();
    // Takes back the next step to undo, or does again the next to redo, as
    // one command, once the rows it left are found as it left them.
    void replayStep(bool redo);
    // Brings the scope's rows to those wanted, inside the running command;
    // anything else undoes the command and says why.
    void restoreRows(const UndoStep &step, bool redo);
    // Shows what differs between the two, and brings the pairs ticked here.
    void showComparison(const db::Catalogue &mine, const db::Catalogue &theirs,
                        const QString &other);
    // Makes the pairs chosen hold exactly what they hold in the other
    // database's catalogue, in one command.
    void bringHere(const QList<db::PairDifference> &chosen, const db::Catalogue &theirs,
                   const QString &other);
    // The column whose letter the commands on every row shown take: the
    // current cell's, SELECT's from the names' column.
    [[nodiscard]] int eachLetterColumn() const;
    // Names the commands on every row shown for the view and the letter.
    void captionEachLetterItems();
    // Each relation the detail list shows, with the user's rows on it.
    [[nodiscard]] QList<db::LetterTarget> relationsShownFor(const ListKey &user);
    // Each grantee the detail list shows, with its rows on the object.
    [[nodiscard]] QList<db::LetterTarget> granteesShownOn(const db::ObjectRef &object);
    // "Grant SELECT to FRED on 318 relations", which the question goes on
    // naming: ": ARC_T001, ARC_T002, … and 308 more?"
    [[nodiscard]] QString eachLetterSummary(db::LetterAction action, const QString &word,
                                            qsizetype count) const;
    // Gives or takes the letter on each row the detail list shows where it
    // applies and changes anything, once the administrator agrees, as one
    // command.
    void letterOnEachShown(db::LetterAction action, int column);
    // The cells of a detail row: which are set, with the option, by column.
    [[nodiscard]] PrivilegeMarks::Cells cellsAt(int row) const;
    // A cell with the grant option, or limited to some columns, looks so.
    [[nodiscard]] ui::DataSetModel::CellLook cellLook(int row, int column) const;

    // Shows the copy dialog filled for the command and, on OK, runs the copy
    // that returns what it left undone; either way the grid is read again
    // with the list's updates resumed.
    void runCopy(SuspendedUpdates &updates, const std::function<QStringList()> &copy);

    [[nodiscard]] bool isCellSet(int column) const;
    // The exact form of a set privilege cell: columns, grantor, option.
    [[nodiscard]] QString privilegeHint(int row, int column) const;
    // Whether the grid shows privilege cells, and this is one of them.
    [[nodiscard]] bool showsCell(int row, int column) const;
    // The relation of a cell in the detail row: the row's own By User, the
    // master's By Relation.
    [[nodiscard]] db::ObjectRef relationOfRow(int row) const;
    // The rows the grid shows in a cell of the detail row, as the grid last
    // read them, of the pair's grantee and object.
    [[nodiscard]] QList<db::GrantRow> rowsShownIn(int row, int column) const;
    // The keys of the list's rows that are wanted, collected from its first
    // row to its end; the list ends on the row it stood on.
    [[nodiscard]] QList<ListKey> collectKeys(db::TDataSet &list,
                                             const std::function<bool(const ListKey &)> &wanted);
    // Every grantee but the source, of every kind, then the logins that hold
    // nothing yet.
    [[nodiscard]] QList<ListKey> otherUsers(const ListKey &source);
    // The server's logins that are not among the grantees: they hold no
    // privilege at all.
    [[nodiscard]] QStringList idleLogins(const QList<ListKey> &grantees, const QStringList &logins);
    // Every row of the users' list.
    [[nodiscard]] QList<ListKey> allGrantees();
    // Asks for a new user's name, offering the logins that hold nothing yet;
    // false when the administrator cancels. logins: the server's logins as
    // read for the question, for what the command asks next.
    [[nodiscard]] bool askNewUserName(const QString &caption, const QString &prompt, QString &name,
                                      QStringList *logins = nullptr);
    // Fails, before any statement, for a name longer than the catalogue holds.
    void checkNameLength(const db::SqlName &name);
    // Whether a rename may go onto the name: never onto PUBLIC; onto a
    // grantee that holds privileges, or an existing login, only once the
    // administrator agrees to merge. logins: the server's logins.
    [[nodiscard]] bool mayMergeInto(const QString &name, const QStringList &logins);
    // The server's logins as far as this login may read them: all of them
    // for an administrator, its own for anyone else.
    [[nodiscard]] QStringList loginNames();
    // The users picked in the copy dialog, each one a grantee that the
    // statements can reach, with what each holds now.
    [[nodiscard]] QList<db::CopyTarget>
    pickedUsers(const std::function<bool(const db::GrantRow &)> &copied);
    // Makes the user's privileges on each relation equal to those on the
    // current one; returns what was left undone.
    QStringList copyToRelations(const db::Grantee &user, const QList<db::GrantRow> &held,
                                const QStringList &relations);
    // The catalogue object of the current relation: a table or view, or a
    // stored procedure.
    [[nodiscard]] bool isCurrentObject(const db::GrantRow &row) const;

    // The exact rows of a grantee, and the rows one grantor gave to others.
    // A grantee of any kind is one that "TO name" reaches: a user or a role.
    [[nodiscard]] QList<db::GrantRow> grantsOf(const ListKey &grantee);
    [[nodiscard]] static QList<db::GrantRow> rowsOfKind(const QList<db::GrantRow> &rows,
                                                        const ListKey &grantee);
    // Every row of the name, whatever the grantee's kind.
    [[nodiscard]] QList<db::GrantRow> readGranteeRows(const QString &name);
    [[nodiscard]] QList<db::GrantRow> grantsGivenBy(const QString &grantor);
    // What the grantee gave others: only users grant, and a procedure or a
    // role of a user's name gave nothing.
    [[nodiscard]] QList<db::GrantRow> grantsGivenByGrantee(const ListKey &grantee);
    // Every membership held by those the rows give a role to.
    [[nodiscard]] QList<db::GrantRow> membershipsOfReceivers(const QList<db::GrantRow> &given);
    [[nodiscard]] QList<db::GrantRow> readGrantRows(db::TQuery &query);
    // Takes the roles the grantee's read brings along out of its rows, into
    // what the login knows of them.
    void noteRoles(QList<db::GrantRow> &rows);
    // The grantee as statements must name it: with USER or ROLE where a user
    // and a role share its name, as the last read of a grantee found them.
    [[nodiscard]] db::Grantee granteeOf(const ListKey &key);
    // The kind the grantee's read gives the roles it brings along.
    static constexpr int RoleRow = -1;
    [[nodiscard]] const db::Login &login();
    // Firebird 4's own answer to whether the attachment may write GRANTED BY.
    [[nodiscard]] bool hasGrantedByPrivilege();
    [[nodiscard]] QStringList columnsOf(const QString &relation);
    // Checks that the server can keep what the changes grant, then has the
    // command runner send them (TCommandRunner::runChanges), the column-level
    // rights they drop given back. Returns the refused grants and what could
    // not be given back.
    QStringList runChanges(const QList<db::Change> &changes,
                           const QList<db::ColumnRisk> &risksBeyond = {});
    // Fails, before any statement, where the server could not keep what the
    // changes grant, or would then refuse the connections of a role.
    void checkServerCanStore(const QList<db::Change> &changes);
    // The statements that give back the column-level rights at risk, where
    // the server drops them in effect: on Firebird 3.
    [[nodiscard]] db::Plan columnMends(const QList<db::ColumnRisk> &risks);
    // What the grantees of the plan granted to others with the grant options
    // it takes away, where the plan takes every option of the privilege they
    // hold: the server, or the command, revokes it along with them.
    [[nodiscard]] QList<db::GrantRow> grantOptionLosses(const db::Plan &plan);
    // Where the plan takes privileges from a copy's targets (when asked to
    // say so) or grant options away, asks whether to go on, naming what goes;
    // true when nothing of the kind is lost or the administrator says Yes.
    [[nodiscard]] bool mayTakeAway(const db::Plan &plan, bool asksWhatIsTaken,
                                   const QList<db::GrantRow> &lost);
    // Runs the plan's statements once the administrator agrees to what they
    // take along; returns what was left undone.
    QStringList runPlan(const db::Plan &plan, bool asksWhatIsTaken = false);
    // Revokes, granted by their holders, the grants a question said go (with
    // the options taken, or with a removed user) that the server left;
    // returns those still held.
    QStringList revokeWhatOptionsGave(const QList<db::GrantRow> &lost);
    // Runs the command; if it fails, the lists and cells are read again for
    // the user and relation it started on before the failure is reported, so
    // that the screen shows the catalogue as it now is.
    void runCommand(const std::function<void()> &command);
    void rereadListsQuietly(const ListKey &user, const ListKey &relation);
    // Runs a command in one transaction (TCommandRunner::run); where what it
    // read no longer stands, the lists are read again for the user and
    // relation it started on. A command that stays on its pair says so
    // when the pair's row has gone from a list, rather than leave the
    // highlight on another row without a word.
    void inCommand(const std::function<void()> &command, bool staysOnPair = true);
    // "FRED holds no privilege any more: ..." for each list whose current
    // row is no longer the one given; empty where both stand.
    [[nodiscard]] QString whereThePairWent(const ListKey &user, const ListKey &relation) const;
    // Reads both lists again and stands on the pair, as near as they allow.
    void rereadLists(const ListKey &user, const ListKey &relation);
    // In a command that can only take names away: the lists' next opens
    // keep their rows but for the names the command's rows held that no
    // row lists any more. Too many names to ask about, and the lists are
    // read whole.
    void keepListsButNamesGone();
    // The names of both lists, or of the detail alone, that the running
    // command's rows held and no row lists any more: nothing where it read
    // no rows before its statements or there are too many names to ask
    // about.
    [[nodiscard]] std::optional<QSet<db::ListedName>> namesGone(bool usersToo);
    // The names of both lists that the running command's rows held.
    [[nodiscard]] QSet<db::ListedName> namesReached() const;
    // Takes from the names those that what the command read since its last
    // statements settles, and returns those of them gone.
    [[nodiscard]] QSet<db::ListedName> settleWithoutAsking(QSet<db::ListedName> &names) const;
    // The object of a command's one revoke, which it can have taken from the
    // lists; nothing for anything else.
    [[nodiscard]] static std::optional<db::ListedName>
    objectRevoked(const QList<db::Change> &changes);
    // Sets ObjectListedQuery to ask about the object, to read after a
    // statement.
    [[nodiscard]] db::TCommandTransaction::Read askIfListed(const db::ListedName &object);
    // ObjectListedQuery's answer.
    [[nodiscard]] bool isObjectListed();
    // What a statement's round trip read after it, the grantee's rows and
    // whether its object is still listed, noted for the rest of the command.
    void noteWhatCameAfter(const QString &grantee, const std::optional<db::ListedName> &object);
    // The list's next open keeps its rows but for those gone.
    void keepRowsListed(db::TQuery &list, const QSet<db::ListedName> &gone);
    // After a revoke on the current pair: the cells as the command left
    // them, and the detail list without the names gone from it.
    void refreshAfterRevoke();
    // Opens the detail list again, on the row it stood on or, where that
    // row has gone, on the one now in its place.
    void reopenDetailOnItsRow();
    // Reads the users' list and the cells again and stands on the user, on
    // the same relation: after a command that added a user. relationsKept:
    // the command only moved or added privileges on objects the relations'
    // list holds, so that list stays as it was read.
    void standOnUser(const ListKey &user, bool relationsKept);
    // Fails with the lines, one message, when a command left anything undone.
    static void reportNotDone(const QStringList &notDone);
    // Grants the new name what the current user holds of the rows copied,
    // and stands on the new name.
    void copyToNewUser(const QString &name, const QString &commandName,
                       const std::function<bool(const db::GrantRow &)> &copied);
    // Tells which of the grants the removed user had made went with the
    // user's own privileges.
    void reportGivenGone(const QString &name, const QList<db::GrantRow> &given);
    // Fails, before any statement, unless a GRANT can name a grantee of
    // that kind.
    static void checkGranteeKind(const ListKey &grantee);
    // The grantee's rows, once checked to be those of a grantee that the
    // statements can reach.
    [[nodiscard]] QList<db::GrantRow> reachableGrantsOf(const ListKey &grantee);
    // Fails with what the command left undone and, in the words of
    // leftMessage given their list, the privileges the user still holds:
    // those that the login may not revoke survive.
    void checkNothingLeftFor(const ListKey &grantee,
                             const std::function<QString(const QString &)> &leftMessage,
                             const QStringList &notDone = {});

    // Stands both lists on the pair, the master first, as near as they allow:
    // each on the first name not below the one sought.
    void standOnPair(const ListKey &user, const ListKey &relation, bool reloaded = true);
    // Opens the master list and stands on the pair, reading the privileges
    // and the detail once, for the row the search stops on, not first for
    // the master's first row.
    void openMasterOnPair(const ListKey &user, const ListKey &relation);
    // Stands the master on the first row not below the given key and reloads
    // the detail once, for that row alone; reloaded: the detail already
    // belongs to the row the master stands on before the search.
    void locateMasterOnce(const ListKey &key, bool reloaded = true);
    // Walks the list to the first row that the key is not above.
    void walkTo(db::TDataSet &list, int column, const ListKey &key);

    // Adds the lines to an emptied statement and names the first field for
    // the column it now yields.
    void addStatement(db::TQuery &query, const QStringList &lines, const QString &firstFieldName);
    // Each filter field tells which list it narrows.
    void nameFilters();
    // Gives each list the filter of the field above it and, for the
    // relations, of the system-objects switch; the detail list also that of
    // the held-only switch.
    void applyListFilters();
    // Builds the marks again where the privilege rows were read since.
    void freshenMarks();
    // Clears the filter of the list where it hides the name, so that the
    // list can stand on it.
    void revealInList(db::TDataSet &list, const QString &name);
    // The privileges' parameters for the master's current row.
    void setPrivilegeParams();
    // The names the kinds of rows of UserList and RelationList are read by.
    void nameKindFields();
    // The names of the database's views, from the views' query as it was
    // read, or read again.
    void readViewNames(bool reread);
    // The selects ConnectQuery packs, each as its dataset runs it.
    [[nodiscard]] QList<db::PackedSource> readAtConnectSources() const;
    // Reads them in one statement and leaves the rows for the datasets'
    // next opens: the procedures and the views, the login when connecting,
    // and the lists (m_listsReadAhead) for whoever opens them next.
    void readEverything(bool connecting);
    // Rows read ahead for opens that a failure kept from coming are not
    // left for a later one.
    void forgetRowsReadAhead();
    [[nodiscard]] QString privilegeWordOf(int column) const;

    // Where a filter found each list, and where the list stood before it,
    // to go back to when the filter is cleared without another row chosen.
    struct FilterPlaces
    {
        ListKey before;
        ListKey placed;
    };
    FilterPlaces m_masterFilterPlaces;
    FilterPlaces m_detailFilterPlaces;
    PrivilegeMarks m_privilegeMarks;
    // The commands' transactions and the walks of their statements, with
    // the window's progress and messages.
    TCommandRunner m_commands;
    // The commands that can be undone or done again, and what the running
    // one changes.
    TUndoJournal m_undo;
    enum class Replay
    {
        None,
        Undo,
        Redo
    };
    Replay m_replay = Replay::None;
    // The read of the master list that the detail list was read with.
    quint64 m_detailReadWithMaster = 0;
    db::Login m_login;
    // Both lists as the connection or F5 read them, until they are opened.
    std::optional<std::pair<db::ReadRows, db::ReadRows>> m_listsReadAhead;
    QSet<QString> m_viewNames;
    bool m_loginKnown = false;
    bool m_centred = false;
    // Every control is made: a font change may lay them out again.
    bool m_designed = false;
};
