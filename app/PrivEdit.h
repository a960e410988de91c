#pragma once

#include "PrivilegeMarks.h"
#include "db/DataSet.h"
#include "db/Database.h"
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
    // Every catalogue row of one grantee: what kind of grantee it is and who
    // granted what, for the checks around the commands.
    db::TQuery GranteeQuery;
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
    db::TField *ProceduresName;
    db::TField *ViewsQueryViewName;
    db::TField *GranteeQueryType;
    db::TField *GranteeQueryGrantor;
    db::TField *GranteeQueryRelation;
    db::TField *GranteeQueryPrivilege;

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

private:
    // Construction, kept apart from the handlers (PrivEditDesign.cpp).
    void createHeaderBar();
    void createLists();
    void createComponents();
    void createMenus();
    void wireEvents();

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
    [[nodiscard]] bool isTagSet(int column) const;
    // Records in each privilege column's tag whether the current cell is set.
    void captureSourceCells();
    // The first names of the list's rows that are wanted, collected from its
    // first row to its end; the list ends on the row it stood on.
    [[nodiscard]] QStringList collectNames(db::TDataSet &list,
                                           const std::function<bool(const QString &)> &wanted);
    [[nodiscard]] QStringList otherUsers(const QString &source);
    // The users picked in the copy dialog, each one a grantee that the
    // statements can reach.
    [[nodiscard]] QList<db::SqlName> pickedUsers();
    // Grants each privilege covered for the relation's kind that isSet says
    // the source holds, and revokes the others.
    void makeEqual(const db::SqlName &user, const db::SqlName &relation,
                   const std::function<bool(int column)> &isSet);
    void grantSetCellsTo(const db::SqlName &user, const db::SqlName &relation);
    // Visits every row of RelationList with its grids suspended; back on the
    // row it stood on afterwards when asked, unless a visit failed.
    void walkRelationList(bool returnToStart, const std::function<void()> &visit);
    // Re-reads UserList and stands on the row before the first name not below
    // the new one.
    void locateNewUser(const QString &name);
    [[nodiscard]] bool standsOnUser(const QString &name) const;
    // GranteeQuery open on the grantee's rows until the guard goes.
    [[nodiscard]] QScopeGuard<std::function<void()>> openGranteeRows(const QString &name);
    // Fails unless the grantee of that name is a user or a role, the only
    // grantees that "TO name" and "FROM name" reach.
    void checkReachableGrantee(const QString &name);
    // Fails, naming them, when the user still holds privileges that the grid
    // shows: those granted by someone else survive a REVOKE ALL.
    void checkNothingLeftFor(const QString &name);

    // Stands the master on the first name not below the given one and reloads
    // the detail once, for that row alone.
    void locateMasterOnce(const QString &name);

    // Adds the lines to an emptied statement and names the first field for
    // the column it now yields.
    void addStatement(db::TQuery &query, std::initializer_list<const char *> lines,
                      const QString &firstFieldName);

    PrivilegeMarks m_privilegeMarks;
    bool m_centred = false;
};
