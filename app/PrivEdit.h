#pragma once

#include "PrivilegeMarks.h"
#include "db/DataSet.h"
#include "db/Database.h"
#include "db/Grants.h"
#include "db/Names.h"
#include "db/Query.h"
#include "db/Table.h"

#include <QScopeGuard>
#include <QWidget>
#include <functional>

class QAction;
class QComboBox;
class QFrame;
class QLabel;
class QRadioButton;
class QToolButton;

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
    // Lists
    QLabel *MasterLabel;
    ui::Navigator *MasterNavigator;
    QLabel *DetailLabel;
    ui::Navigator *DetailNavigator;
    QLabel *Label3;
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
    // The columns of a relation, for a column-level copy to it.
    db::TQuery ColumnsQuery;
    // The server's logins, privileges or not.
    db::TQuery LoginsQuery;
    db::TDataSource MasterSource;
    db::TDataSource DetailSource;

    db::TField *MasterQueryName;
    db::TField *DetailQueryName;
    db::TField *DetailQuerySelect;
    db::TField *DetailQueryUpdate;
    db::TField *DetailQueryInsert;
    db::TField *DetailQueryDelete;
    db::TField *DetailQueryExecute;
    db::TField *PrivQueryName;
    db::TField *PrivQueryPrivilege;
    db::TField *PrivQueryObjectType;
    db::TField *PrivQueryColumn;
    db::TField *PrivQueryOption;
    db::TField *PrivQueryGrantor;
    db::TField *ProceduresName;
    db::TField *ViewsQueryViewName;

    ui::PopupMenu *EditMenu;
    QAction *GrantAllItem;
    QAction *RevokeAllItem;
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
    ui::PopupMenu *PrivilegeMenu;
    QAction *PrivilegeItem;

    // The dataset of user names and the dataset of relation names: one is the
    // master, the other the detail, as the view mode says.
    db::TQuery *UserList = nullptr;
    db::TQuery *RelationList = nullptr;
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
    void DBGridKeyDown(QObject *sender, int &key, Qt::KeyboardModifiers shift);
    void MasterQueryAfterScroll(db::TDataSet *dataSet);
    void DetailQueryAfterScroll(db::TDataSet *dataSet);
    void DetailQueryCalcFields(db::TDataSet *dataSet);
    void FormKeyDown(QObject *sender, int &key, Qt::KeyboardModifiers shift);
    void DetailGridDblClick(QObject *sender);
    void PrivilegeItemClick(QObject *sender);
    void PrivilegeMenuPopup(QObject *sender);
    void DetailGridColEnter(QObject *sender);
    void GrantAllItemClick(QObject *sender);
    void RevokeAllItemClick(QObject *sender);
    void EditMenuPopup(QObject *sender);
    void UserCopyItemClick(QObject *sender);
    void TableCopyItemClick(QObject *sender);
    void AllCopyItemClick(QObject *sender);
    void AddNewItemClick(QObject *sender);
    void CopyNewItemClick(QObject *sender);
    void CopyNewAllItemClick(QObject *sender);
    void RenameItemClick(QObject *sender);
    void RemoveItemClick(QObject *sender);

    // Operations that several handlers share
    void CheckProcedure();
    void RefreshPrivileges();
    void LocateRecord(db::TDataSet &dataSet, int column, const QString &text, bool reopen);
    // The only writers to the database: one statement each, run at once. A
    // refused grant is reported here and returns; a refused revoke throws.
    void GrantPrivilege(const db::SqlName &user, const db::SqlName &relation,
                        const QString &privilege);
    void RevokePrivilege(const db::SqlName &user, const db::SqlName &relation,
                         const QString &privilege);

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    // Construction, kept apart from the handlers (PrivEditDesign.cpp).
    void createHeaderBar();
    void createLists();
    void createComponents();
    void createMenus();
    void wireEvents();
    // Places the controls for the window's size: the design's places at the
    // design size, the lists and grids taking whatever room is added.
    void layOut();

    // The first names of UserList's and RelationList's current rows.
    [[nodiscard]] db::SqlName currentUser() const;
    [[nodiscard]] db::SqlName currentRelation() const;
    // Connected, with a current user and a current relation to act on.
    [[nodiscard]] bool hasCurrentPair() const;
    [[nodiscard]] bool isEditableColumn(int column) const;
    // Grants the privilege of the detail column when its cell is empty,
    // revokes it otherwise; refreshes nothing.
    void togglePrivilege(int column);

    [[nodiscard]] bool isCellSet(int column) const;
    // The exact form of a set privilege cell: columns, grantor, option.
    [[nodiscard]] QString privilegeHint(int row, int column) const;
    // The first names of the list's rows that are wanted, collected from its
    // first row to its end; the list ends on the row it stood on.
    [[nodiscard]] QStringList collectNames(db::TDataSet &list,
                                           const std::function<bool(const QString &)> &wanted);
    [[nodiscard]] QStringList otherUsers(const QString &source);
    // The server's logins as far as this login may read them: all of them
    // for an administrator, its own for anyone else.
    [[nodiscard]] QStringList loginNames();
    // The users picked in the copy dialog, each one a grantee that the
    // statements can reach, with what each holds now.
    [[nodiscard]] QList<db::CopyTarget>
    pickedUsers(const std::function<bool(const db::GrantRow &)> &copied);
    // Makes the user's privileges on each relation equal to those on the
    // current one; returns what was left undone.
    QStringList copyToRelations(const QString &user, const QList<db::GrantRow> &held,
                                const QStringList &relations);
    // The catalogue object of the current relation: a table or view, or a
    // stored procedure.
    [[nodiscard]] bool isCurrentObject(const db::GrantRow &row) const;

    // The exact rows of a grantee, and the rows one grantor gave to others.
    [[nodiscard]] QList<db::GrantRow> grantsOf(const QString &grantee);
    [[nodiscard]] QList<db::GrantRow> grantsGivenBy(const QString &grantor);
    [[nodiscard]] QList<db::GrantRow> readGrantRows(db::TQuery &query);
    [[nodiscard]] const db::Login &login();
    [[nodiscard]] QStringList columnsOf(const QString &relation);
    // Sends the statements in order; a refused grant is reported and the
    // rest go on, a refused revoke ends the command naming what ran and what
    // did not. Returns the refused grants.
    QStringList runChanges(const QList<db::Change> &changes);
    // Where a copy takes grant options away, asks whether to go on, naming
    // what the targets granted to others with them; true when nothing of the
    // kind is lost or the administrator says Yes.
    [[nodiscard]] bool mayTakeGrantOptions(const db::Plan &plan);
    // Runs the plan's statements once the administrator agrees to what they
    // take along; returns what was left undone.
    QStringList runPlan(const db::Plan &plan);
    // Runs the command; if it fails, the lists and cells are read again for
    // the user and relation it started on before the failure is reported, so
    // that the screen shows the catalogue as it now is.
    void runCommand(const std::function<void()> &command);
    // Reads both lists again and stands on the pair, as near as they allow.
    void rereadLists(const QString &user, const QString &relation);
    // Reads the users' list and the cells again and stands on the user, on
    // the same relation: after a command that added a user.
    void standOnUser(const QString &user);
    // Fails with the lines, one message, when a command left anything undone.
    static void reportNotDone(const QStringList &notDone);
    // Grants the new name what the current user holds of the rows copied,
    // and stands on the new name.
    void copyToNewUser(const QString &name,
                       const std::function<bool(const db::GrantRow &)> &copied);
    // Tells which of the grants the removed user had made went with the
    // user's own privileges.
    void reportGivenGone(const QString &name, const QList<db::GrantRow> &given);
    // Fails unless the grantee of that name is a user or a role, the only
    // grantees that "TO name" and "FROM name" reach.
    void checkReachableGrantee(const QString &name);
    // The grantee's rows, once checked to be those of a grantee that the
    // statements can reach.
    [[nodiscard]] QList<db::GrantRow> reachableGrantsOf(const QString &name);
    // Fails with what the command left undone and, in the words of
    // leftMessage given their list, the privileges the user still holds:
    // those that the login may not revoke survive.
    void checkNothingLeftFor(const QString &name,
                             const std::function<QString(const QString &)> &leftMessage,
                             const QStringList &notDone = {});

    // Stands both lists on the pair, the master first, as near as they allow:
    // each on the first name not below the one sought.
    void standOnPair(const QString &user, const QString &relation);
    // Stands the master on the first name not below the given one and reloads
    // the detail once, for that row alone.
    void locateMasterOnce(const QString &name);

    // Adds the lines to an emptied statement and names the first field for
    // the column it now yields.
    void addStatement(db::TQuery &query, std::initializer_list<const char *> lines,
                      const QString &firstFieldName);

    PrivilegeMarks m_privilegeMarks;
    db::Login m_login;
    bool m_loginKnown = false;
    bool m_centred = false;
};
