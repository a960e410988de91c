// The toolkit layer: grids and navigators bound to real datasets, popup
// menus, key preview, the guard around handlers and the message dialogs.
#include "TestServer.h"
#include "db/Database.h"
#include "db/Exception.h"
#include "db/Query.h"
#include "ui/Application.h"
#include "ui/DBGrid.h"
#include "ui/Dialogs.h"
#include "ui/KeyPreview.h"
#include "ui/Navigator.h"
#include "ui/PopupMenu.h"

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QHeaderView>
#include <QHelpEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QStyledItemDelegate>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QToolTip>
#include <memory>

namespace {

QString clickButton(QWidget *dialog, const QString &text)
{
    const QString title = dialog->windowTitle();
    for (QPushButton *button : dialog->findChildren<QPushButton *>()) {
        if (button->text() == text) {
            button->click();
            return title;
        }
    }
    QTest::qFail(qPrintable(QStringLiteral("no button %1").arg(text)), __FILE__, __LINE__);
    return title;
}

// The region a widget paints from now until the check: what a step made it
// repaint.
class PaintWatch : public QObject
{
public:
    explicit PaintWatch(QWidget *widget) : m_widget(widget) { widget->installEventFilter(this); }
    ~PaintWatch() override { m_widget->removeEventFilter(this); }
    [[nodiscard]] QRegion painted()
    {
        QApplication::processEvents();
        return std::exchange(m_painted, QRegion());
    }

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            m_painted += static_cast<QPaintEvent *>(event)->region();
        return false;
    }

private:
    QWidget *m_widget;
    QRegion m_painted;
};

} // namespace

class TestToolkit : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void modelShowsTheRowsAndPassesTheModelTester();
    void cutTextShowsWholeAsTooltip_data();
    void cutTextShowsWholeAsTooltip();
    void gridFollowsTheDatasetAndMovesIt();
    void gridStaysPutWhileControlsAreDisabled();
    void moveRepaintsOnlyTheRowsItLeavesAndEnters();
    void recalculationRepaintsOnlyWhatChanged();
    void gridPaintsCellsAsTheStyleDoes();
    void selectedColumnAndColumnEnter();
    void keyHandlerMaySwallowTheKey();
    void failingHandlerIsShownAndEndsTheKey();
    void navigatorEnablesByPosition();
    void popupMenuKnowsItsControlAndCanBeStopped();
    void keyPreviewSeesKeysFirst();
    void keyPreviewLooksOnceAndPassesFailedKeysOn();
    void messageDialogs();

private:
    std::unique_ptr<testserver::TestDatabase> m_db;
    std::unique_ptr<testserver::AliasFile> m_aliases;
    std::unique_ptr<db::TDatabase> m_connection;
    std::unique_ptr<db::TQuery> m_query;
    std::unique_ptr<db::TDataSource> m_source;
    std::unique_ptr<QWidget> m_window;
    ui::DBGrid *m_grid = nullptr;
};

void TestToolkit::initTestCase()
{
    ui::Application::setTitle(QStringLiteral("Kelvane"));
    m_db = std::make_unique<testserver::TestDatabase>(QStringLiteral("toolkit"));
    QString script =
        QStringLiteral("CREATE TABLE ITEMS (ID INTEGER, NAME CHAR(20), FLAG CHAR(1));\n");
    for (int i = 0; i < 40; ++i)
        script += QStringLiteral("INSERT INTO ITEMS VALUES (%1, 'ITEM%2', '%3');\n")
                      .arg(i)
                      .arg(i, 2, 10, QLatin1Char('0'))
                      .arg(i % 2 ? QStringLiteral("Y") : QString());
    m_db->run(script);
    m_aliases = std::make_unique<testserver::AliasFile>(QList<testserver::AliasFile::Alias>{
        {QStringLiteral("TEST"), QStringLiteral("INTRBASE"), m_db->connectionString()}});
}

void TestToolkit::init()
{
    m_connection = testserver::connectAsSysdba(QStringLiteral("TEST"));
    m_query = std::make_unique<db::TQuery>(*m_connection);
    m_query->setName(QStringLiteral("Items"));
    m_query->sqlAdd(QStringLiteral("SELECT NAME, FLAG FROM ITEMS ORDER BY ID"));
    m_query->addField(QStringLiteral("NAME"), db::FieldKind::Data, 20);
    m_query->addField(QStringLiteral("FLAG"), db::FieldKind::Data, 1);
    m_source = std::make_unique<db::TDataSource>();
    m_source->setDataSet(m_query.get());

    m_window = std::make_unique<QWidget>();
    m_window->resize(300, 300);
    m_grid = new ui::DBGrid(m_window.get());
    m_grid->setGeometry(0, 0, 300, 300);
    m_grid->setIndicator(true);
    m_grid->setDataSource(m_source.get());
    m_grid->setColumns({ui::GridColumn(QStringLiteral("NAME")),
                        ui::GridColumn(QStringLiteral("FLAG"), 16, Qt::AlignCenter)});
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
}

void TestToolkit::cleanup()
{
    m_window.reset();
    m_source.reset();
    m_query.reset();
    m_connection.reset();
    QVERIFY(testui::allAnswered());
    for (QWidget *widget : QApplication::topLevelWidgets())
        QVERIFY2(!widget->isVisible(), qPrintable(widget->objectName()));
}

void TestToolkit::modelShowsTheRowsAndPassesTheModelTester()
{
    ui::DataSetModel &model = m_grid->dataModel();
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QCOMPARE(model.rowCount(), 0);
    m_query->open();
    QCOMPARE(model.rowCount(), 40);
    QCOMPARE(model.columnCount(), 2);
    QCOMPARE(model.index(3, 0).data().toString(), QStringLiteral("ITEM03"));
    QCOMPARE(model.index(3, 1).data().toString(), QStringLiteral("Y"));
    QCOMPARE(model.index(2, 1).data().toString(), QString());
    QCOMPARE(model.index(0, 1).data(Qt::TextAlignmentRole).value<Qt::Alignment>(), Qt::AlignCenter);
    QCOMPARE(model.headerData(0, Qt::Vertical).toString(), QStringLiteral("\u25B8"));
    QCOMPARE(model.headerData(1, Qt::Vertical).toString(), QString());

    // A column follows its field by name, also when renamed at run time.
    m_grid->setColumnFieldName(1, QStringLiteral("NAME"));
    QCOMPARE(model.index(3, 1).data().toString(), QStringLiteral("ITEM03"));
    m_grid->setColumnFieldName(1, QStringLiteral("NOSUCH"));
    QCOMPARE(model.index(3, 1).data().toString(), QString());
    m_query->close();
    QCOMPARE(model.rowCount(), 0);
}

void TestToolkit::cutTextShowsWholeAsTooltip_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("column");
    QTest::addColumn<QString>("tooltip"); // none: no tooltip shows
    QTest::newRow("name that fits") << 0 << 0 << QString();
    QTest::newRow("name cut short") << 1 << 0 << "WWWWWWWWWWWWWWWWWWWW";
    QTest::newRow("one-letter cell") << 1 << 1 << QString();
}

void TestToolkit::cutTextShowsWholeAsTooltip()
{
    QFETCH(int, row);
    QFETCH(int, column);
    QFETCH(QString, tooltip);
    m_query->sqlClear();
    m_query->sqlAdd(QStringLiteral("SELECT IIF(ID = 1, 'WWWWWWWWWWWWWWWWWWWW', NAME) AS NAME, "
                                   "FLAG FROM ITEMS ORDER BY ID"));
    m_query->open();
    const QModelIndex index = m_grid->dataModel().index(row, column);
    QCOMPARE(index.data(Qt::ToolTipRole), index.data(Qt::DisplayRole));
    const QPoint at = m_grid->visualRect(index).center();
    QHelpEvent help(QEvent::ToolTip, at, m_grid->viewport()->mapToGlobal(at));
    QApplication::sendEvent(m_grid->viewport(), &help);
    QCOMPARE(QToolTip::isVisible() ? QToolTip::text() : QString(), tooltip);
    QToolTip::hideText();
    QVERIFY(QTest::qWaitFor([] { return !QToolTip::isVisible(); }));
}

void TestToolkit::gridFollowsTheDatasetAndMovesIt()
{
    QStringList scrolledTo;
    m_query->setAfterScroll([&](db::TDataSet &ds) { scrolledTo << ds.fields(0)->text(); });
    m_query->open();
    QCOMPARE(m_grid->currentIndex().row(), 0);
    m_query->moveBy(5);
    QCOMPARE(m_grid->currentIndex().row(), 5);
    QCOMPARE(m_grid->dataModel().headerData(5, Qt::Vertical).toString(), QStringLiteral("\u25B8"));
    QCOMPARE(m_grid->dataModel().headerData(0, Qt::Vertical).toString(), QString());

    m_grid->setFocus();
    scrolledTo.clear();
    QTest::keyClick(m_grid, Qt::Key_Down);
    QCOMPARE(m_query->recNo(), 6);
    QCOMPARE(scrolledTo, QStringList{QStringLiteral("ITEM06")});
    QTest::mouseClick(m_grid->viewport(), Qt::LeftButton, {},
                      m_grid->visualRect(m_grid->dataModel().index(2, 0)).center());
    QCOMPARE(m_query->recNo(), 2);
    QTest::keyClick(m_grid, Qt::Key_End, Qt::ControlModifier);
    QCOMPARE(m_query->recNo(), 39);
    QCOMPARE(m_grid->dataSet(), m_query.get());
}

void TestToolkit::gridStaysPutWhileControlsAreDisabled()
{
    m_query->open();
    m_query->disableControls();
    m_query->moveBy(7);
    m_query->close();
    m_query->open();
    m_query->moveBy(9);
    QCOMPARE(m_grid->currentIndex().row(), 0);
    m_query->enableControls();
    QCOMPARE(m_grid->dataModel().rowCount(), 40);
    QCOMPARE(m_grid->currentIndex().row(), 9);
}

void TestToolkit::moveRepaintsOnlyTheRowsItLeavesAndEnters()
{
    m_query->open();
    m_query->moveBy(3);
    PaintWatch cells(m_grid->viewport());
    PaintWatch marks(m_grid->verticalHeader()->viewport());
    (void)cells.painted();
    (void)marks.painted();
    const auto rowsOf = [&](const QRegion &region) {
        QList<int> rows;
        for (int row = 0; row < m_query->recordCount(); ++row) {
            const QRect cell = m_grid->visualRect(m_grid->dataModel().index(row, 0));
            if (region.intersects(QRect(0, cell.top() + 1, 1, cell.height() - 2)))
                rows << row;
        }
        return rows;
    };
    for (const int step : {1, -2}) {
        const int from = m_query->recNo();
        m_query->moveBy(step);
        const QList<int> both = step > 0 ? QList{from, from + step} : QList{from + step, from};
        QCOMPARE(rowsOf(cells.painted()), both);
        QCOMPARE(rowsOf(marks.painted()), both);
    }
    QCOMPARE(m_grid->dataModel().headerData(2, Qt::Vertical).toString(), QStringLiteral("\u25B8"));
}

// A recalculation repaints the calculated cells in sight that now look
// otherwise, and nothing else: not the names beside them, not the cells that
// look as they did, not a cell out of sight. The screen then shows what a
// fresh paint of the grid shows. A cell's own look reaches the grid the same
// whether its roles are asked for one by one or all at once.
void TestToolkit::recalculationRepaintsOnlyWhatChanged()
{
    db::TField *round = m_query->addField(QStringLiteral("ROUND"), db::FieldKind::Calculated, 4);
    const db::TField *name = m_query->findField(QStringLiteral("NAME"));
    QHash<QString, int> values;
    m_query->setOnCalcFields([&](db::TDataSet &) {
        round->setText(QString::number(values.value(name->text().trimmed())));
    });
    m_grid->setColumns({ui::GridColumn(QStringLiteral("NAME")),
                        ui::GridColumn(QStringLiteral("ROUND"), 40, Qt::AlignCenter)});
    int yellowRow = 1;
    m_grid->setOnCellStyle([&](int row, int column) {
        ui::DataSetModel::CellLook look;
        if (column == 1 && row == yellowRow) {
            look.background = QColor(Qt::yellow);
            look.font = QFont(m_grid->font().family(), 11, QFont::Bold);
        }
        return look;
    });
    m_query->open();
    const ui::DataSetModel &model = m_grid->dataModel();
    PaintWatch cells(m_grid->viewport());
    QTest::qWait(20); // the first paint, whole, goes before
    (void)cells.painted();
    const auto rowsRepainted = [&] {
        const QRegion painted = cells.painted();
        QList<int> rows;
        for (int row = 0; row < model.rowCount(); ++row) {
            const auto inside = [&](int column) {
                return painted.intersects(
                    m_grid->visualRect(model.index(row, column)).adjusted(2, 2, -2, -2));
            };
            // The view repaints the current cell as it keeps it in sight.
            if (inside(0) && row != m_query->recNo())
                rows << -1 - row; // a name repainted: a fault
            else if (inside(1))
                rows << row;
        }
        return rows;
    };
    const auto item = [](int row) {
        return QStringLiteral("ITEM%1").arg(row, 2, 10, QLatin1Char('0'));
    };
    QList<int> inSight;
    for (int row = 0; row < model.rowCount(); ++row) {
        if (m_grid->viewport()->rect().intersects(m_grid->visualRect(model.index(row, 1))))
            inSight << row;
    }
    QVERIFY(inSight.size() > 5 && inSight.size() < 30);

    const struct
    {
        const char *what;
        std::function<void()> change;
        QList<int> repainted;
    } steps[] = {
        {"every value",
         [&] {
             for (int row = 0; row < 40; ++row)
                 values[item(row)] = 1;
         },
         inSight},
        {"nothing", [] {}, {}},
        {"one value", [&] { values[item(2)] = 2; }, {2}},
        {"a look", [&] { yellowRow = 3; }, {1, 3}},
        {"out of sight", [&] { values[item(39)] = 5; }, {}},
        {"in sight after a scroll",
         [&] {
             m_query->moveBy(39);
             (void)cells.painted();
             values[item(39)] = 6;
         },
         {39}},
    };
    for (const auto &step : steps) {
        step.change();
        m_query->recalculate();
        QCOMPARE(rowsRepainted(), step.repainted);
        const QImage onScreen = m_window->screen()
                                    ->grabWindow(m_window->winId())
                                    .toImage()
                                    .convertToFormat(QImage::Format_RGB32);
        const QImage fresh = m_window->grab().toImage().convertToFormat(QImage::Format_RGB32);
        QVERIFY2(onScreen == fresh, step.what);
        (void)cells.painted(); // the grab's own
    }
    QCOMPARE(model.data(model.index(39, 1)).toString(), QStringLiteral("6"));
    QModelRoleData roles[] = {QModelRoleData(Qt::FontRole), QModelRoleData(Qt::BackgroundRole)};
    model.multiData(model.index(3, 1), roles);
    for (const QModelRoleData &role : roles)
        QCOMPARE(role.data(), model.data(model.index(3, 1), role.role()));
    QCOMPARE(model.data(model.index(3, 1), Qt::BackgroundRole).value<QColor>(), QColor(Qt::yellow));
}

// Laid-out texts kept from paint to paint must look exactly like the style's
// own: every kind of cell the program shows, painted both ways, pixel for
// pixel.
void TestToolkit::gridPaintsCellsAsTheStyleDoes()
{
    m_query->sqlClear();
    m_query->sqlAdd(QStringLiteral("SELECT IIF(ID = 1, 'WWWWWWWWWWWWWWWWWWWW', NAME) AS NAME, "
                                   "FLAG FROM ITEMS ORDER BY ID"));
    QFont letters(QStringLiteral("Courier New"));
    letters.setPixelSize(12);
    letters.setBold(true);
    m_grid->setColumns(
        {ui::GridColumn(QStringLiteral("NAME")),
         ui::GridColumn(QStringLiteral("FLAG"), 16, Qt::AlignCenter, letters, QColor(128, 0, 128)),
         ui::GridColumn(QStringLiteral("FLAG"), 30, Qt::AlignRight)});
    QPixmap badge(12, 12);
    badge.fill(Qt::darkCyan);
    m_grid->setOnCellDecoration(
        [&](int row, int column) { return column == 0 && row % 3 ? QIcon(badge) : QIcon(); },
        badge.size());
    m_grid->setOnCellStyle([&](int row, int column) {
        ui::DataSetModel::CellLook look;
        if (column == 1 && row % 4 == 1) {
            QFont font = letters;
            font.setUnderline(row % 8 == 1);
            font.setItalic(row % 8 == 5);
            look.font = font;
            look.background = QColor(255, 224, 160);
        }
        return look;
    });
    m_query->open();
    m_grid->setSelectedIndex(1);
    m_query->moveBy(5);
    m_window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_window.get()));

    const auto paintedBothWays = [&] {
        const QImage kept = m_grid->grab().toImage();
        QAbstractItemDelegate *own = m_grid->itemDelegate();
        QStyledItemDelegate styles;
        m_grid->setItemDelegate(&styles);
        const QImage style = m_grid->grab().toImage();
        m_grid->setItemDelegate(own);
        return std::pair{kept, style};
    };
    for (const bool focused : {false, true}) {
        if (focused)
            m_grid->setFocus();
        else
            m_grid->clearFocus();
        QCOMPARE(m_grid->hasFocus(), focused);
        const auto [kept, style] = paintedBothWays();
        QCOMPARE(kept.size(), style.size());
        QVERIFY2(kept == style, focused ? "focused" : "without the focus");
    }
}

void TestToolkit::selectedColumnAndColumnEnter()
{
    int entered = 0;
    m_grid->setOnColEnter([&](ui::DBGrid &) { ++entered; });
    m_query->open();
    QCOMPARE(m_grid->selectedIndex(), 0);
    m_grid->setFocus();
    QTest::keyClick(m_grid, Qt::Key_Right);
    QCOMPARE(m_grid->selectedIndex(), 1);
    QCOMPARE(entered, 1);
    // The column survives a re-read of the rows.
    m_query->close();
    m_query->open();
    m_query->moveBy(3);
    QCOMPARE(m_grid->currentIndex(), m_grid->dataModel().index(3, 1));
    QCOMPARE(entered, 1);
    QTest::keyClick(m_grid, Qt::Key_Down);
    QCOMPARE(entered, 1);
}

void TestToolkit::keyHandlerMaySwallowTheKey()
{
    QList<int> keys;
    QList<Qt::KeyboardModifiers> shifts;
    m_grid->setOnKeyDown([&](ui::DBGrid &grid, int &key, Qt::KeyboardModifiers shift) {
        QCOMPARE(&grid, m_grid);
        keys << key;
        shifts << shift;
        if (key == Qt::Key_Down && shift == Qt::NoModifier)
            key = 0;
        if (key == Qt::Key_PageDown)
            ui::abortSilently();
    });
    m_query->open();
    m_grid->setFocus();
    QTest::keyClick(m_grid, Qt::Key_Down);
    QCOMPARE(m_query->recNo(), 0);
    QTest::keyClick(m_grid, Qt::Key_PageDown);
    QCOMPARE(m_query->recNo(), 0);
    QTest::keyClick(m_grid, Qt::Key_Down, Qt::ShiftModifier | Qt::KeypadModifier);
    QCOMPARE(m_query->recNo(), 1);
    // Modifier keys are keys too, as the handler sees them.
    QCOMPARE(keys, (QList<int>{Qt::Key_Down, Qt::Key_PageDown, Qt::Key_Shift, Qt::Key_Down}));
    QCOMPARE(shifts.last(), Qt::KeyboardModifiers(Qt::ShiftModifier));
}

void TestToolkit::failingHandlerIsShownAndEndsTheKey()
{
    m_grid->setOnKeyDown([](ui::DBGrid &, int &, Qt::KeyboardModifiers) {
        throw kelvane::EngineError(QStringLiteral("Table NOSUCH does not exist"));
    });
    m_query->open();
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    testui::whenModal([&](QWidget *modal) {
        auto *box = qobject_cast<QMessageBox *>(modal);
        QVERIFY(box);
        title = box->windowTitle();
        text = box->text();
        icon = box->icon();
        box->accept();
    });
    m_grid->setFocus();
    QTest::keyClick(m_grid, Qt::Key_Down);
    QVERIFY(testui::allAnswered());
    QCOMPARE(title, QStringLiteral("Kelvane"));
    QCOMPARE(text, QStringLiteral("Table NOSUCH does not exist."));
    QCOMPARE(icon, QMessageBox::Critical);
    QCOMPARE(m_query->recNo(), 0);
}

void TestToolkit::navigatorEnablesByPosition()
{
    ui::Navigator navigator(m_window.get());
    navigator.setGeometry(0, 0, 104, 21);
    navigator.setDataSource(m_source.get());
    const auto enabled = [&] {
        return QList<bool>{
            navigator.firstButton()->isEnabled(), navigator.priorButton()->isEnabled(),
            navigator.nextButton()->isEnabled(), navigator.lastButton()->isEnabled()};
    };
    QCOMPARE(enabled(), (QList<bool>{false, false, false, false}));
    m_query->open();
    QCOMPARE(enabled(), (QList<bool>{false, false, true, true}));
    navigator.nextButton()->click();
    QCOMPARE(m_query->recNo(), 1);
    QCOMPARE(enabled(), (QList<bool>{true, true, true, true}));
    navigator.lastButton()->click();
    QCOMPARE(m_query->recNo(), 39);
    QCOMPARE(enabled(), (QList<bool>{true, true, false, false}));
    navigator.priorButton()->click();
    QCOMPARE(m_query->recNo(), 38);
    navigator.firstButton()->click();
    QCOMPARE(m_query->recNo(), 0);
    m_query->close();
    QCOMPARE(enabled(), (QList<bool>{false, false, false, false}));
}

void TestToolkit::popupMenuKnowsItsControlAndCanBeStopped()
{
    ui::PopupMenu menu;
    QAction *item = menu.addItem(QStringLiteral("AnItem"), QStringLiteral("An item"));
    QCOMPARE(item->objectName(), QStringLiteral("AnItem"));
    m_grid->setPopupMenu(&menu);
    QWidget *openedOn = nullptr;
    bool stop = true;
    int popups = 0;
    menu.setOnPopup([&](ui::PopupMenu &popup) {
        ++popups;
        openedOn = popup.popupComponent();
        if (stop)
            ui::abortSilently();
    });
    m_query->open();
    QContextMenuEvent event(QContextMenuEvent::Keyboard, QPoint(5, 5),
                            m_grid->mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(m_grid, &event);
    QCOMPARE(popups, 1);
    QCOMPARE(openedOn, m_grid);
    QVERIFY(!menu.isVisible());

    stop = false;
    bool shown = false;
    QTimer::singleShot(50, &menu, [&] {
        shown = menu.isVisible();
        menu.close();
    });
    QApplication::sendEvent(m_grid, &event);
    QCOMPARE(popups, 2);
    QVERIFY(shown);
}

void TestToolkit::keyPreviewSeesKeysFirst()
{
    auto *edit = new QLineEdit(m_window.get());
    edit->setGeometry(0, 0, 100, 20);
    edit->show();
    QList<int> seen;
    ui::KeyPreview preview(m_window.get(), [&](int &key, Qt::KeyboardModifiers shift) {
        seen << key;
        if (shift == Qt::ControlModifier && key == Qt::Key_S)
            key = 0;
    });
    edit->setFocus();
    QTest::keyClick(edit, Qt::Key_A);
    QTest::keyClick(edit, Qt::Key_S, Qt::ControlModifier);
    QTest::keyClick(edit, Qt::Key_B);
    QCOMPARE(edit->text(), QStringLiteral("ab"));
    QCOMPARE(seen, (QList<int>{Qt::Key_A, Qt::Key_Control, Qt::Key_S, Qt::Key_B}));

    // Keys of other windows are theirs alone.
    QLineEdit elsewhere;
    elsewhere.show();
    QTest::keyClick(&elsewhere, Qt::Key_C);
    QCOMPARE(seen.size(), 4);
}

void TestToolkit::keyPreviewLooksOnceAndPassesFailedKeysOn()
{
    auto *edit = new QLineEdit(m_window.get());
    edit->show();
    QList<int> seen;
    ui::KeyPreview preview(m_window.get(), [&](int &key, Qt::KeyboardModifiers) {
        seen << key;
        if (key == Qt::Key_X)
            throw kelvane::Exception(QStringLiteral("refused"));
    });
    QString shown;
    testui::whenModal([&](QWidget *modal) {
        shown = qobject_cast<QMessageBox *>(modal)->text();
        qobject_cast<QMessageBox *>(modal)->accept();
    });
    edit->setFocus();
    // The message takes the focus away while the key is still on its way.
    QTest::keyClick(edit, Qt::Key_X);
    QVERIFY(testui::allAnswered());
    QCOMPARE(shown, QStringLiteral("refused."));
    QCOMPARE(edit->text(), QStringLiteral("x"));
    // A key the edit leaves alone travels on to the window: still seen once.
    edit->setFocus();
    QTest::keyClick(edit, Qt::Key_F5);
    QTest::keyClick(edit, Qt::Key_F5);
    QCOMPARE(seen, (QList<int>{Qt::Key_X, Qt::Key_F5, Qt::Key_F5}));
}

void TestToolkit::messageDialogs()
{
    QStringList titles;
    testui::whenModal([&](QWidget *modal) {
        QCOMPARE(qobject_cast<QMessageBox *>(modal)->icon(), QMessageBox::Critical);
        QCOMPARE(qobject_cast<QMessageBox *>(modal)->text(),
                 QStringLiteral("CUSTOMER is read-only."));
        titles << clickButton(modal, QStringLiteral("OK"));
    });
    ui::showErrorMessage(QStringLiteral("CUSTOMER is read-only."));

    testui::whenModal([&](QWidget *modal) {
        QCOMPARE(qobject_cast<QMessageBox *>(modal)->icon(), QMessageBox::Question);
        titles << clickButton(modal, QStringLiteral("&Yes"));
    });
    QVERIFY(ui::confirm(QStringLiteral("Remove?")));
    testui::whenModal([&](QWidget *modal) { titles << clickButton(modal, QStringLiteral("&No")); });
    QVERIFY(!ui::confirm(QStringLiteral("Remove?")));
    QCOMPARE(titles, (QStringList{"Error", "Confirm", "Confirm"}));

    testui::whenModal([](QWidget *modal) {
        QCOMPARE(modal->windowTitle(), QStringLiteral("Add New User"));
        modal->findChild<QLineEdit *>()->setText(QStringLiteral("fred"));
        clickButton(modal, QStringLiteral("OK"));
    });
    QString name;
    QVERIFY(ui::inputQuery(QStringLiteral("Add New User"), QStringLiteral("User Name"), name));
    QCOMPARE(name, QStringLiteral("fred"));
    testui::whenModal([](QWidget *modal) { clickButton(modal, QStringLiteral("Cancel")); });
    QVERIFY(
        !ui::inputQuery(QStringLiteral("Rename User"), QStringLiteral("New Name For FRED"), name));
    QCOMPARE(name, QStringLiteral("fred"));
}

QTEST_MAIN(TestToolkit)
#include "tst_toolkit.moc"
