// Start-up, the main window's design and its alias list.
#include "TestServer.h"
#include "app/Forms.h"
#include "app/PrivEdit.h"
#include "ui/Application.h"
#include "ui/DBGrid.h"
#include "ui/Navigator.h"
#include "ui/PopupMenu.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

using testserver::AliasFile;

namespace {

// Sets an environment variable for the life of the object, or unsets it for
// an empty value, and puts back what was there before.
class EnvironmentVariable
{
public:
    EnvironmentVariable(const char *name, const QString &value)
        : m_name(name), m_had(qEnvironmentVariableIsSet(name)), m_previous(qgetenv(name))
    {
        set(value);
    }
    ~EnvironmentVariable()
    {
        if (m_had)
            qputenv(m_name, m_previous);
        else
            qunsetenv(m_name);
    }
    EnvironmentVariable(const EnvironmentVariable &) = delete;
    EnvironmentVariable &operator=(const EnvironmentVariable &) = delete;

    void set(const QString &value)
    {
        if (value.isEmpty())
            qunsetenv(m_name);
        else
            qputenv(m_name, value.toUtf8());
    }

private:
    const char *m_name;
    bool m_had;
    QByteArray m_previous;
};

} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void cleanup();

    void startupShowsTheWindowAndEndsWithZero_data();
    void startupShowsTheWindowAndEndsWithZero();
    void startupFailureIsShownAndEndsWithOne();
    void aliasListHoldsExactlyTheInterBaseAliases_data();
    void aliasListHoldsExactlyTheInterBaseAliases();
    void emptyAliasBoxNamesTheAliasFile_data();
    void emptyAliasBoxNamesTheAliasFile();
    void nothingIsConnectedAfterShowing();
    void design();
    void widerFontsCutNoCaption();
    void resizedWindowGivesTheListsRoomAndIsRemembered();
    void menus();
    void detailGridColumns();
};

void TestMainWindow::initTestCase()
{
    ui::Application::setTitle(QStringLiteral("Kelvane"));
}

void TestMainWindow::cleanup()
{
    QVERIFY(testui::allAnswered());
    QCOMPARE(KelvaneForm, nullptr);
    for (QWidget *widget : QApplication::topLevelWidgets())
        QVERIFY2(!widget->isVisible(), qPrintable(widget->objectName()));
}

void TestMainWindow::startupShowsTheWindowAndEndsWithZero_data()
{
    QTest::addColumn<bool>("byExitButton");
    QTest::newRow("exit button") << true;
    QTest::newRow("close box") << false;
}

void TestMainWindow::startupShowsTheWindowAndEndsWithZero()
{
    QFETCH(bool, byExitButton);
    AliasFile aliases({{QStringLiteral("DEMO"), QStringLiteral("INTRBASE"), QStringLiteral("x")}});
    QString caption;
    QStringList items;
    bool dialogsHidden = false;
    QTimer::singleShot(0, [&] {
        caption = KelvaneForm->windowTitle();
        for (int i = 0; i < KelvaneForm->DBCombo->count(); ++i)
            items << KelvaneForm->DBCombo->itemText(i);
        dialogsHidden = QApplication::topLevelWidgets().size() > 1;
        for (QWidget *widget : QApplication::topLevelWidgets())
            dialogsHidden = dialogsHidden && (widget == KelvaneForm || !widget->isVisible());
        if (byExitButton)
            KelvaneForm->ExitButton->click();
        else
            KelvaneForm->close();
    });
    QCOMPARE(runKelvane(), 0);
    QCOMPARE(caption, QStringLiteral("IB Kelvane Administrator"));
    QCOMPARE(items, QStringList{QStringLiteral("DEMO")});
    QVERIFY(dialogsHidden);
    QCOMPARE(QApplication::applicationName(), QStringLiteral("Kelvane"));
}

void TestMainWindow::startupFailureIsShownAndEndsWithOne()
{
    AliasFile aliases({});
    aliases.writeRaw("[DEMO\nDriver=INTRBASE\n");
    QString title;
    QString text;
    testui::whenModal([&](QWidget *modal) {
        auto *box = qobject_cast<QMessageBox *>(modal);
        QVERIFY(box);
        title = box->windowTitle();
        text = box->text();
        box->accept();
    });
    QCOMPARE(runKelvane(), 1);
    QCOMPARE(title, QStringLiteral("Kelvane"));
    QCOMPARE(text,
             QStringLiteral("The alias file %1 is not a valid INI file.").arg(aliases.path()));
}

void TestMainWindow::aliasListHoldsExactlyTheInterBaseAliases_data()
{
    QTest::addColumn<QStringList>("drivers"); // of aliases A0, A1, ... in that order
    QTest::addColumn<QStringList>("offered");
    QTest::newRow("none at all") << QStringList{} << QStringList{};
    QTest::newRow("no InterBase alias") << QStringList{"STANDARD", "MSACCESS"} << QStringList{};
    QTest::newRow("case and spelling count")
        << QStringList{"intrbase", "INTRBASE", "Intrbase", "INTERBASE", "INTRBASE2", ""}
        << QStringList{"A1"};
    QTest::newRow("consecutive removals skip none")
        << QStringList{"STANDARD", "PARADOX", "DBASE", "INTRBASE", "FOXPRO", "ODBC", "INTRBASE"}
        << QStringList{"A3", "A6"};
    QTest::newRow("order kept") << QStringList{"INTRBASE", "X", "INTRBASE", "INTRBASE"}
                                << QStringList{"A0", "A2", "A3"};
}

void TestMainWindow::aliasListHoldsExactlyTheInterBaseAliases()
{
    QFETCH(QStringList, drivers);
    QFETCH(QStringList, offered);
    QList<AliasFile::Alias> list;
    for (int i = 0; i < drivers.size(); ++i)
        list.append({QStringLiteral("A%1").arg(i), drivers[i], QStringLiteral("nowhere")});
    AliasFile aliases(list);
    Forms forms;
    KelvaneForm->show();
    QStringList items;
    for (int i = 0; i < KelvaneForm->DBCombo->count(); ++i)
        items << KelvaneForm->DBCombo->itemText(i);
    QCOMPARE(items, offered);
    QCOMPARE(KelvaneForm->DBCombo->currentIndex(), -1);

    // Showing the window again reads the list again.
    aliases.writeRaw("[NEW]\nDriver=INTRBASE\n");
    KelvaneForm->hide();
    KelvaneForm->show();
    QCOMPARE(KelvaneForm->DBCombo->count(), 1);
    KelvaneForm->close();
}

void TestMainWindow::emptyAliasBoxNamesTheAliasFile_data()
{
    QTest::addColumn<QString>("foundBy"); // which setting names the alias file
    QTest::addColumn<QString>("driver");  // of the one alias written; none: no file
    QTest::addColumn<bool>("hinted");
    QTest::newRow("KELVANE_ALIASES, no file") << "KELVANE_ALIASES" << QString() << true;
    QTest::newRow("KELVANE_ALIASES, no InterBase alias") << "KELVANE_ALIASES"
                                                         << "STANDARD" << true;
    QTest::newRow("XDG_CONFIG_HOME, no file") << "XDG_CONFIG_HOME" << QString() << true;
    QTest::newRow("home folder, no file") << "HOME" << QString() << true;
    QTest::newRow("home folder, no InterBase alias") << "HOME"
                                                     << "intrbase" << true;
    QTest::newRow("an InterBase alias") << "HOME"
                                        << "INTRBASE" << false;
}

void TestMainWindow::emptyAliasBoxNamesTheAliasFile()
{
    QFETCH(QString, foundBy);
    QFETCH(QString, driver);
    QFETCH(bool, hinted);
    QTemporaryDir dir;
    const QString base = QFileInfo(dir.path()).canonicalFilePath();
    QString path = base + QStringLiteral("/kelvane/aliases.ini");
    QString shownPath = path;
    EnvironmentVariable aliasesVariable("KELVANE_ALIASES", {});
    EnvironmentVariable configVariable("XDG_CONFIG_HOME", {});
    EnvironmentVariable homeVariable("HOME", {});
    if (foundBy == QLatin1String("KELVANE_ALIASES")) {
        path = base + QStringLiteral("/my aliases.ini");
        shownPath = path;
        aliasesVariable.set(path);
    } else if (foundBy == QLatin1String("XDG_CONFIG_HOME")) {
        configVariable.set(base);
    } else {
        homeVariable.set(base);
        path = base + QStringLiteral("/.config/kelvane/aliases.ini");
        shownPath = QStringLiteral("~/.config/kelvane/aliases.ini");
    }
    if (!driver.isEmpty()) {
        QVERIFY(QDir().mkpath(QFileInfo(path).path()));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("[DEMO]\nDriver=" + driver.toUtf8() + "\nDatabase=x\n");
    }
    Forms forms;
    KelvaneForm->show();
    QComboBox *combo = KelvaneForm->DBCombo;
    QCOMPARE(combo->currentIndex(), -1);
    if (!hinted) {
        QCOMPARE(combo->count(), 1);
        QCOMPARE(combo->placeholderText(), QString());
        QCOMPARE(combo->toolTip(), QString());
        KelvaneForm->close();
        return;
    }
    QCOMPARE(combo->count(), 0);
    // The box is narrow: the path may lose its middle, never its ends.
    const QString shown = combo->placeholderText();
    const QStringList ends = shown.split(QChar(0x2026));
    QVERIFY2(ends.size() <= 2 && shownPath.startsWith(ends.first()) &&
                 shownPath.endsWith(ends.last()) && ends.first().size() >= 2 &&
                 ends.last().size() >= 5,
             qPrintable(shown));
    QVERIFY2(combo->toolTip().endsWith(QLatin1Char(' ') + path), qPrintable(combo->toolTip()));

    // Once an alias is there, showing the window again offers it, unhinted.
    QVERIFY(QDir().mkpath(QFileInfo(path).path()));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write("[DEMO]\nDriver=INTRBASE\nDatabase=x\n");
    file.close();
    KelvaneForm->hide();
    KelvaneForm->show();
    QCOMPARE(combo->count(), 1);
    QCOMPARE(combo->currentIndex(), -1);
    QCOMPARE(combo->placeholderText(), QString());
    QCOMPARE(combo->toolTip(), QString());
    KelvaneForm->close();
}

void TestMainWindow::nothingIsConnectedAfterShowing()
{
    AliasFile aliases({{QStringLiteral("DEMO"), QStringLiteral("INTRBASE"), QStringLiteral("x")}});
    Forms forms;
    KelvaneForm->show();
    QVERIFY(!KelvaneForm->Database.connected());
    QVERIFY(!KelvaneForm->Database.loginPrompt());
    QVERIFY(!KelvaneForm->MasterQuery.active());
    QCOMPARE(KelvaneForm->MasterGrid->dataModel().rowCount(), 0);
    QCOMPARE(KelvaneForm->DetailGrid->dataModel().rowCount(), 0);
    QCOMPARE(KelvaneForm->UserList, nullptr);
    QVERIFY(KelvaneForm->ByUserRadio->isChecked());

    // A radio click while disconnected changes only the radio buttons.
    KelvaneForm->ByTableRadio->click();
    QVERIFY(KelvaneForm->ByTableRadio->isChecked());
    QCOMPARE(KelvaneForm->MasterLabel->text(), QStringLiteral("Users"));
    QCOMPARE(KelvaneForm->UserList, nullptr);

    // Letters typed into a grid go to the grid: nothing is searched.
    KelvaneForm->MasterGrid->setFocus();
    QTest::keyClick(KelvaneForm->MasterGrid, Qt::Key_B);
    QVERIFY(!KelvaneForm->Scanning);
    KelvaneForm->close();
}

void TestMainWindow::resizedWindowGivesTheListsRoomAndIsRemembered()
{
    AliasFile aliases({});
    {
        Forms forms;
        TKelvaneForm *form = KelvaneForm;
        form->show();
        form->resize(861, 640);
        // 400 pixels more than the lists were laid out for: two fifths to the
        // users' list, the rest to the grid; each filter over its list, the
        // detail's beside the held-only switch.
        QCOMPARE(form->MasterGrid->geometry(), QRect(4, 72, 335, 564));
        QCOMPARE(form->DetailGrid->geometry(), QRect(345, 72, 512, 564));
        QCOMPARE(form->MasterFilter->geometry(), QRect(4, 49, 335, 21));
        QCOMPARE(form->DetailFilter->geometry().topLeft(), QPoint(345, 49));
        QCOMPARE(form->DetailFilter->geometry().right() + 7, form->HeldCheck->x());
        QCOMPARE(form->ExitButton->geometry(), QRect(816, 0, 45, 24));
        // The privilege columns stay under their label; the names take the room.
        const ui::DBGrid *grid = form->DetailGrid;
        const int firstCell =
            grid->viewport()->mapTo(form, QPoint(grid->columnViewportPosition(1), 0)).x();
        QVERIFY2(std::abs(firstCell - form->Label3->x()) < 20,
                 qPrintable(QString::number(firstCell)));
        form->resize(300, 200); // below the design size: held at it
        QCOMPARE(form->size(), form->minimumSize());
        form->resize(700, 500);
        form->close();
    }
    Forms forms;
    QCOMPARE(KelvaneForm->size(), QSize(700, 500));
    KelvaneForm->resize(565, 440);
    KelvaneForm->close();
}

void TestMainWindow::design()
{
    AliasFile aliases({});
    Forms forms;
    TKelvaneForm *form = KelvaneForm;
    QCOMPARE(form->windowTitle(), QStringLiteral("Set at RunTime"));
    form->show();
    QCOMPARE(form->windowTitle(), QStringLiteral("IB Kelvane Administrator"));
    QCOMPARE(form->size(), QSize(565, 440));
    QCOMPARE(form->minimumSize(), QSize(565, 440));
    QVERIFY(form->windowFlags() & Qt::WindowMaximizeButtonHint);
    QVERIFY(form->windowFlags() & Qt::WindowMinimizeButtonHint);
    QCOMPARE(form->font().pixelSize(), 11);

    const auto geometryOf = [form](const char *name) {
        return form->findChild<QWidget *>(QLatin1String(name))->geometry();
    };
    QCOMPARE(geometryOf("Panel1"), QRect(0, 0, 565, 26));
    QCOMPARE(geometryOf("DBCombo"), QRect(59, 1, 138, 21));
    QCOMPARE(geometryOf("ByUserRadio"), QRect(214, 4, 65, 17));
    QCOMPARE(geometryOf("ByTableRadio"), QRect(280, 4, 81, 17));
    QCOMPARE(geometryOf("SystemCheck"), QRect(372, 4, 100, 17));
    QCOMPARE(geometryOf("AboutButton"), QRect(472, 0, 48, 24));
    QCOMPARE(geometryOf("ExitButton"), QRect(520, 0, 45, 24));
    QCOMPARE(geometryOf("MasterNavigator"), QRect(56, 27, 104, 21));
    QCOMPARE(geometryOf("DetailNavigator"), QRect(289, 27, 104, 21));
    QCOMPARE(geometryOf("MasterGrid"), QRect(4, 72, 216, 364));
    QCOMPARE(geometryOf("DetailGrid"), QRect(226, 72, 335, 364));
    QCOMPARE(form->MasterLabel->text(), QStringLiteral("Users"));
    QCOMPARE(form->DetailLabel->text(), QStringLiteral("Relations"));
    QCOMPARE(form->Label3->text(), QStringLiteral("Privileges"));
    QCOMPARE(form->Label2->text(), QStringLiteral("&Database:"));
    QCOMPARE(form->Label2->buddy(), form->DBCombo);
    QVERIFY(!form->DBCombo->isEditable());
    QCOMPARE(form->ByUserRadio->text(), QStringLiteral("By User"));
    QCOMPARE(form->ByTableRadio->text(), QStringLiteral("By Relation"));
    QCOMPARE(form->AboutButton->toolTip(), QStringLiteral("Information"));
    QCOMPARE(form->ExitButton->toolTip(), QStringLiteral("Exit"));
    QVERIFY(!form->AboutButton->icon().isNull());
    QVERIFY(!form->ExitButton->icon().isNull());
    QCOMPARE(form->MasterNavigator->dataSource(), &form->MasterSource);
    QCOMPARE(form->DetailNavigator->dataSource(), &form->DetailSource);
    QCOMPARE(form->MasterSource.dataSet(), &form->MasterQuery);
    QCOMPARE(form->DetailSource.dataSet(), &form->DetailQuery);
    QCOMPARE(form->Database.databaseName(), QStringLiteral("KELVANE"));

    // Tab order: the grids, then the header bar's controls.
    const auto nextTabStop = [form](QWidget *widget) {
        do
            widget = widget->nextInFocusChain();
        while (!(widget->focusPolicy() & Qt::TabFocus) || !widget->isVisibleTo(form));
        return widget;
    };
    QCOMPARE(nextTabStop(form->MasterGrid), form->DetailGrid);
    QCOMPARE(nextTabStop(form->DetailGrid), form->DBCombo);
    QCOMPARE(nextTabStop(form->DBCombo), form->ByUserRadio);
    QCOMPARE(nextTabStop(form->ByUserRadio), form->ByTableRadio);
    QCOMPARE(nextTabStop(form->ByTableRadio), form->SystemCheck);
    QCOMPARE(nextTabStop(form->SystemCheck), form->MasterFilter);
    QCOMPARE(nextTabStop(form->MasterFilter), form->DetailFilter);
    QCOMPARE(nextTabStop(form->DetailFilter), form->HeldCheck);
    QCOMPARE(nextTabStop(form->HeldCheck), form->MasterGrid);
    // The held-only switch ends the detail filter's row, clear of the field.
    QCOMPARE(form->HeldCheck->geometry().right(), form->DetailGrid->geometry().right());
    QVERIFY(form->DetailFilter->geometry().right() < form->HeldCheck->x());
    form->close();
}

void TestMainWindow::widerFontsCutNoCaption()
{
    // DejaVu Sans, where the design's face is missing, is wider: the header
    // bar's captions each get the room they need, the tool buttons stay to
    // their right, and the window's least width grows to hold them.
    AliasFile aliases({});
    Forms forms;
    TKelvaneForm *form = KelvaneForm;
    QFont wide(QStringLiteral("DejaVu Sans"));
    wide.setPixelSize(14);
    form->setFont(wide);
    form->resize(form->minimumSize());
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form));
    QVERIFY(form->minimumWidth() > 565);
    QWidget *previous = nullptr;
    for (QWidget *control : std::initializer_list<QWidget *>{
             form->Label2, form->DBCombo, form->ByUserRadio, form->ByTableRadio, form->SystemCheck,
             form->AboutButton}) {
        if (auto *button = qobject_cast<QAbstractButton *>(control);
            button && !button->text().isEmpty())
            QVERIFY2(control->width() >= control->fontMetrics().horizontalAdvance(
                                             button->text().remove(QLatin1Char('&'))),
                     qPrintable(control->objectName()));
        if (previous)
            QVERIFY2(control->x() >= previous->x() + previous->width(),
                     qPrintable(control->objectName()));
        previous = control;
    }
    QVERIFY(form->Label2->width() >=
            form->Label2->fontMetrics().horizontalAdvance(QStringLiteral("Database:")));
    form->close();
}

void TestMainWindow::menus()
{
    AliasFile aliases({});
    Forms forms;
    QStringList items;
    for (QAction *action : KelvaneForm->EditMenu->actions())
        items << (action->isSeparator() ? QStringLiteral("-")
                                        : action->objectName() + ": " + action->text());
    QCOMPARE(
        items,
        (QStringList{"UndoItem: Undo\tCtrl+Z",
                     "RedoItem: Redo\tCtrl+Shift+Z",
                     "-",
                     "GrantAllItem: Grant this user all privileges to this relation",
                     "RevokeAllItem: Revoke all this user's privileges on this relation",
                     "GrantEachItem: Grant SELECT on every relation shown",
                     "GrantEachOptionItem: Grant SELECT with grant option on every relation shown",
                     "RevokeEachItem: Revoke SELECT on every relation shown",
                     "RevokeEachOptionItem: Revoke grant option for SELECT on every relation shown",
                     "-",
                     "UserCopyItem: Copy this user's privileges on this relation to other users...",
                     "TableCopyItem: Copy the privileges on this relation to other relations for "
                     "this user...",
                     "AllCopyItem: Copy ALL this user's privileges to other users...",
                     "-",
                     "RemoveItem: Remove user completely",
                     "RenameItem: Rename user...",
                     "-",
                     "AddNewItem: Add new user for this relation...",
                     "CopyNewItem: Copy this user's privileges on this relation to a new user...",
                     "CopyNewAllItem: Copy ALL this user's privileges to a new user...",
                     "-",
                     "SaveUserSqlItem: Save this user's privileges as SQL...",
                     "SaveRelationSqlItem: Save the privileges on this relation as SQL...",
                     "SaveAllSqlItem: Save ALL privileges as SQL...",
                     "-",
                     "CompareItem: Compare with another database...",
                     "CompareFileItem: Compare with a saved file...",
                     "WhoCanItem: Who can use this relation, and why...\tCtrl+W",
                     "RefreshItem: Read the catalogue again\tF5"}));
    // The cell's menu shares the commands on every row shown with the edit menu.
    QList<QAction *> cellItems = KelvaneForm->PrivilegeMenu->actions();
    QVERIFY(cellItems.takeAt(2)->isSeparator());
    QCOMPARE(cellItems,
             (QList<QAction *>{KelvaneForm->PrivilegeItem, KelvaneForm->GrantOptionItem,
                               KelvaneForm->GrantEachItem, KelvaneForm->GrantEachOptionItem,
                               KelvaneForm->RevokeEachItem, KelvaneForm->RevokeEachOptionItem}));
    QCOMPARE(KelvaneForm->GrantOptionItem->text(), QStringLiteral("With Grant Option"));
    QCOMPARE(KelvaneForm->PrivilegeItem->text(), QStringLiteral("Select"));
    QCOMPARE(KelvaneForm->MasterGrid->popupMenu(), KelvaneForm->EditMenu);
    QCOMPARE(KelvaneForm->DetailGrid->popupMenu(), KelvaneForm->EditMenu);
}

void TestMainWindow::detailGridColumns()
{
    AliasFile aliases({});
    Forms forms;
    const QList<ui::GridColumn> &columns = KelvaneForm->DetailGrid->columns();
    QStringList fields;
    for (const ui::GridColumn &column : columns)
        fields << column.fieldName;
    QCOMPARE(fields, (QStringList{"RDB$RELATION_NAME", "PRIVSELECT", "PRIVUPDATE", "PRIVINSERT",
                                  "PRIVDELETE", "PRIVEXECUTE"}));
    const QList<QColor> colors{QColor(128, 0, 128), QColor(0, 0, 128), QColor(0, 128, 0),
                               QColor(128, 0, 0), QColor(0, 128, 128)};
    for (int i = 1; i <= 5; ++i) {
        QCOMPARE(columns[i].width, 16);
        QCOMPARE(KelvaneForm->DetailGrid->columnWidth(i), 16);
        QCOMPARE(columns[i].alignment, Qt::AlignCenter);
        QCOMPARE(columns[i].font->family(), QStringLiteral("Courier New"));
        QVERIFY(columns[i].font->bold());
        QCOMPARE(columns[i].color, colors[i - 1]);
        QCOMPARE(KelvaneForm->DetailQuery.fields(i)->fieldName(), columns[i].fieldName);
        QVERIFY(KelvaneForm->DetailQuery.fields(i)->isCalculated());
    }
    QStringList labels;
    for (int i = 1; i <= 5; ++i)
        labels << KelvaneForm->DetailQuery.fields(i)->displayLabel();
    QCOMPARE(labels, (QStringList{"SELECT", "UPDATE", "INSERT", "DELETE", "EXECUTE"}));
    QVERIFY(KelvaneForm->DetailGrid->selectionBehavior() == QAbstractItemView::SelectItems);
    QVERIFY(KelvaneForm->MasterGrid->selectionBehavior() == QAbstractItemView::SelectRows);
    QVERIFY(KelvaneForm->DetailGrid->editTriggers() == QAbstractItemView::NoEditTriggers);

    // Every column stays in sight: the name column gives way, not EXECUTE.
    int total = 0;
    for (int i = 0; i < columns.size(); ++i)
        total += KelvaneForm->DetailGrid->columnWidth(i);
    QVERIFY2(total <= KelvaneForm->DetailGrid->maximumViewportSize().width(),
             qPrintable(QString::number(total)));
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
