#include "MainWindowDriver.h"

#include "TestServer.h"
#include "app/Forms.h"
#include "app/PrivEdit.h"
#include "dialogs/CopyPriv.h"
#include "dialogs/DBLogin.h"
#include "ui/DBGrid.h"

#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>
#include <QToolTip>
#include <deque>

namespace driver {

void WindowFixture::start(const QString &alias, const char *schema)
{
    db = std::make_unique<testserver::TestDatabase>(alias.toLower());
    db->run(QString::fromLatin1(schema));
    aliases = std::make_unique<testserver::AliasFile>(QList<testserver::AliasFile::Alias>{
        {alias, QStringLiteral("INTRBASE"), db->connectionString()}});
    restartForms();
}

void WindowFixture::restartForms()
{
    forms.reset();
    forms = std::make_unique<Forms>();
    KelvaneForm->show();
    QVERIFY(QTest::qWaitForWindowExposed(KelvaneForm));
}

void WindowFixture::stop()
{
    forms.reset();
    expectNothingLeftOpen();
    aliases.reset();
    db.reset();
}

void chooseAlias(const QString &alias, const QString &password, std::function<void(QWidget *)> then,
                 const QString &user, const QString &role)
{
    testui::watchForUnansweredDialogs();
    testui::whenModal([password, user, role](QWidget *modal) {
        auto *login = qobject_cast<TLoginForm *>(modal);
        QVERIFY(login);
        if (password.isEmpty()) {
            login->CancelButton->click();
            return;
        }
        if (login->UserNameEdit->text() != user) {
            login->UserNameEdit->clear();
            QTest::keyClicks(login->UserNameEdit, user);
        }
        QTest::keyClicks(login->PasswordEdit, password);
        login->RoleEdit->clear();
        QTest::keyClicks(login->RoleEdit, role);
        login->OKButton->click();
    });
    if (then)
        testui::whenModal(std::move(then));
    QComboBox *combo = KelvaneForm->DBCombo;
    const int index = combo->findText(alias);
    QVERIFY(index >= 0);
    combo->showPopup();
    QAbstractItemView *view = combo->view();
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {},
                      view->visualRect(view->model()->index(index, 0)).center());
    QVERIFY(testui::allAnswered());
    // Without a window manager nothing hands the activation back once the
    // dialogs have closed; keys go to the focused control of the active window.
    KelvaneForm->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(KelvaneForm));
}

void expectNothingLeftOpen()
{
    QVERIFY(testui::allAnswered());
    QVERIFY(allPopupsAnswered());
    for (QWidget *widget : QApplication::topLevelWidgets())
        QVERIFY2(!widget->isVisible(), qPrintable(widget->objectName()));
}

namespace {

// "SQ (sequence)": a name and the kind its row's tooltip names, for a name
// that stands for several rows; a name alone is its first row.
std::pair<QString, QString> splitLabel(const QString &label)
{
    static const QRegularExpression withKind(QStringLiteral("^(.*) \\(([a-z ]+)\\)$"));
    const QRegularExpressionMatch match = withKind.match(label);
    return match.hasMatch() ? std::pair(match.captured(1), match.captured(2))
                            : std::pair(label, QString());
}

int rowOf(const db::TDataSet &list, const QString &label)
{
    const auto [name, kind] = splitLabel(label);
    for (int row = 0; list.active() && row < list.recordCount(); ++row) {
        if (list.fields(0)->textAt(row) == name &&
            (kind.isEmpty() || KelvaneForm->nameHint(list, row) == kind + QLatin1Char(' ') + name))
            return row;
    }
    return -1;
}

void moveTo(db::TDataSet &list, const QString &label)
{
    const int row = rowOf(list, label);
    QVERIFY2(row >= 0, qPrintable(label));
    list.moveBy(row - list.recNo());
}

} // namespace

void select(const QString &user, const QString &relation)
{
    TKelvaneForm *form = KelvaneForm;
    const bool byUser = form->UserList == &form->MasterQuery;
    moveTo(form->MasterQuery, byUser ? user : relation);
    moveTo(form->DetailQuery, byUser ? relation : user);
    QCOMPARE(form->UserList->recNo(), rowOf(*form->UserList, user));
    QCOMPARE(form->RelationList->recNo(), rowOf(*form->RelationList, relation));
}

QStringList namesOf(const ui::DBGrid *grid)
{
    QStringList names;
    const ui::DataSetModel &model = const_cast<ui::DBGrid *>(grid)->dataModel();
    for (int row = 0; row < model.rowCount(); ++row)
        names << model.index(row, 0).data().toString();
    return names;
}

namespace {

int detailRowOf(const QString &detailName)
{
    return rowOf(KelvaneForm->DetailQuery, detailName);
}

QPoint detailCellCentre(const QString &detailName, int column)
{
    ui::DBGrid *grid = KelvaneForm->DetailGrid;
    const int row = detailRowOf(detailName);
    if (row < 0)
        QTest::qFail(qPrintable(QStringLiteral("no detail row %1").arg(detailName)), __FILE__,
                     __LINE__);
    const QModelIndex index = grid->dataModel().index(row, column);
    grid->scrollTo(index);
    return grid->visualRect(index).center();
}

} // namespace

QString cellsOf(const QString &detailName)
{
    const ui::DataSetModel &model = KelvaneForm->DetailGrid->dataModel();
    const int row = detailRowOf(detailName);
    if (row < 0)
        return QStringLiteral("<no row %1>").arg(detailName);
    QString cells;
    for (int column = 1; column <= 5; ++column) {
        const QString cell = model.index(row, column).data().toString();
        cells += cell.isEmpty() ? QStringLiteral(".") : cell;
    }
    return cells;
}

QString hintOf(const QString &detailName, int column)
{
    // A tip goes only after a short delay; the next must not be taken for it.
    QToolTip::hideText();
    if (!QTest::qWaitFor([] { return !QToolTip::isVisible(); }, 2000))
        return QStringLiteral("<a tooltip stays>");
    const QPoint centre = detailCellCentre(detailName, column);
    QWidget *viewport = KelvaneForm->DetailGrid->viewport();
    QHelpEvent help(QEvent::ToolTip, centre, viewport->mapToGlobal(centre));
    QApplication::sendEvent(viewport, &help);
    return QToolTip::isVisible() ? QToolTip::text() : QString();
}

QString currentMaster()
{
    return KelvaneForm->MasterQuery.fields(0)->text();
}

QString currentDetail()
{
    return KelvaneForm->DetailQuery.fields(0)->text();
}

void typeInto(ui::DBGrid *grid, Qt::Key key, Qt::KeyboardModifiers modifiers)
{
    grid->setFocus();
    QTest::keyClick(grid, key, modifiers);
}

void clickDetailCell(const QString &detailName, int column)
{
    const QPoint centre = detailCellCentre(detailName, column);
    QTest::mouseClick(KelvaneForm->DetailGrid->viewport(), Qt::LeftButton, {}, centre);
}

void doubleClickDetailCell(const QString &detailName, int column)
{
    const QPoint centre = detailCellCentre(detailName, column);
    QWidget *viewport = KelvaneForm->DetailGrid->viewport();
    // A person's double-click starts with a click, which makes the cell current.
    QTest::mouseClick(viewport, Qt::LeftButton, {}, centre);
    QTest::mouseDClick(viewport, Qt::LeftButton, {}, centre);
}

namespace {

std::deque<std::function<void(QMenu *)>> g_popupAnswers;
QTimer *g_popupTimer = nullptr;

void answerPopup()
{
    auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
    if (!menu || !menu->isVisible() || g_popupAnswers.empty())
        return;
    auto action = std::move(g_popupAnswers.front());
    g_popupAnswers.pop_front();
    if (g_popupAnswers.empty())
        g_popupTimer->stop();
    action(menu);
}

} // namespace

void whenPopup(std::function<void(QMenu *)> action)
{
    if (!g_popupTimer) {
        g_popupTimer = new QTimer(qApp);
        QObject::connect(g_popupTimer, &QTimer::timeout, qApp, answerPopup);
    }
    g_popupAnswers.push_back(std::move(action));
    g_popupTimer->start(10);
}

void chooseItem(QMenu *menu, const char *objectName)
{
    // What the menu shows: an item two menus share belongs to one of them.
    const QList<QAction *> items = menu->actions();
    const auto found = std::find_if(items.begin(), items.end(), [objectName](QAction *action) {
        return action->objectName() == QLatin1String(objectName);
    });
    QAction *item = found == items.end() ? nullptr : *found;
    QVERIFY2(item && item->isEnabled(), objectName);
    menu->setActiveAction(item);
    QTest::keyClick(menu, Qt::Key_Return);
}

bool allPopupsAnswered(int timeoutMs)
{
    const bool answered = QTest::qWaitFor([] { return g_popupAnswers.empty(); }, timeoutMs);
    g_popupAnswers.clear();
    return answered;
}

QString openContextMenu(ui::DBGrid *grid, std::function<void(QMenu *)> action, QPoint position)
{
    if (position == QPoint(-1, -1))
        position = grid->visualRect(grid->currentIndex()).center();
    QString opened;
    whenPopup([&](QMenu *menu) {
        opened = menu->objectName();
        action(menu);
        if (menu->isVisible()) {
            QTest::qFail("the menu was left open", __FILE__, __LINE__);
            menu->close();
        }
    });
    QContextMenuEvent event(QContextMenuEvent::Mouse, position,
                            grid->viewport()->mapToGlobal(position));
    QApplication::sendEvent(grid->viewport(), &event);
    (void)allPopupsAnswered(100);
    return opened;
}

void chooseFromMenu(ui::DBGrid *grid, const char *itemName)
{
    QVERIFY(
        !openContextMenu(grid, [itemName](QMenu *menu) { chooseItem(menu, itemName); }).isEmpty());
}

void chooseFromEditMenu(const char *itemName, bool onUsersGrid)
{
    TKelvaneForm *form = KelvaneForm;
    const bool usersAreMaster = form->UserList == &form->MasterQuery;
    ui::DBGrid *grid = usersAreMaster == onUsersGrid ? form->MasterGrid : form->DetailGrid;
    if (grid == form->DetailGrid) {
        // The current row itself: its name may stand on other rows too.
        const QModelIndex name = grid->dataModel().index(form->DetailQuery.recNo(), 0);
        grid->scrollTo(name);
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, grid->visualRect(name).center());
    }
    chooseFromMenu(grid, itemName);
}

QStringList statements(const SqlLog &log)
{
    // One statement alone is executed (prepared once, at its first
    // execution); those of a command travel in batches.
    QStringList sent;
    for (const QString &line : log.lines()) {
        for (const QLatin1String verb : {QLatin1String("execute "), QLatin1String("send ")}) {
            if (!line.startsWith(verb))
                continue;
            const QString text = line.mid(verb.size());
            if (text.startsWith(QLatin1String("GRANT ")) ||
                text.startsWith(QLatin1String("REVOKE ")))
                sent.append(text);
        }
    }
    return sent;
}

bool refreshedAfterStatements(const SqlLog &log)
{
    const QStringList lines = log.lines();
    // A statement the server refuses when it is prepared is logged only so.
    const auto isStatement = [](const QString &line) {
        return line.startsWith(QLatin1String("execute ")) ||
               line.startsWith(QLatin1String("send ")) ||
               line.startsWith(QLatin1String("prepare GRANT ")) ||
               line.startsWith(QLatin1String("prepare REVOKE "));
    };
    const auto isPrivilegeRead = [](const QString &line) {
        return line.startsWith(QLatin1String("open ")) &&
               line.contains(QLatin1String("RDB$PRIVILEGE"));
    };
    // One transaction holds the statements and the reads after them.
    const QString start = QStringLiteral("start transaction");
    const QString commit = QStringLiteral("commit");
    if (lines.count(start) != 1 || lines.count(commit) != 1)
        return false;
    const qsizetype started = lines.indexOf(start);
    const qsizetype committed = lines.indexOf(commit);
    qsizetype lastStatement = started;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (isStatement(lines[i])) {
            if (i < started || i > committed)
                return false;
            lastStatement = i;
        }
    }
    for (qsizetype i = lastStatement + 1; i < committed; ++i) {
        if (isPrivilegeRead(lines[i]))
            return true;
    }
    return false;
}

void answerMessage(QString *text, QString *title)
{
    testui::whenModal([text, title](QWidget *modal) {
        auto *box = qobject_cast<QMessageBox *>(modal);
        QVERIFY(box);
        // Names in messages are text, never markup.
        QCOMPARE(box->textFormat(), Qt::PlainText);
        *text = box->text();
        if (title)
            *title = box->windowTitle();
        QTest::keyClick(box, Qt::Key_Return);
    });
}

void answerCopyDialog(CopyAnswer *answer)
{
    testui::whenModal([answer](QWidget *modal) {
        auto *copy = qobject_cast<TCopyForm *>(modal);
        QVERIFY(copy);
        QCOMPARE(copy->CopyLabel->textFormat(), Qt::PlainText);
        answer->label = copy->CopyLabel->text();
        answer->okEnabledAtFirst = copy->OKButton->isEnabled();
        answer->offered.clear();
        for (int row = 0; row < copy->CopyList->count(); ++row)
            answer->offered << copy->CopyList->item(row)->text();
        for (const QString &name : answer->pick) {
            const QList<QListWidgetItem *> items =
                copy->CopyList->findItems(name, Qt::MatchExactly);
            QVERIFY2(items.size() == 1, qPrintable(name));
            QListWidget *list = copy->CopyList;
            QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                              list->visualItemRect(items.first()).center());
        }
        (answer->ok ? copy->OKButton : copy->CancelButton)->click();
    });
}

void answerInput(InputAnswer *answer)
{
    testui::whenModal([answer](QWidget *modal) {
        auto *dialog = qobject_cast<QInputDialog *>(modal);
        QVERIFY(dialog);
        const auto *label = dialog->findChild<QLabel *>();
        QVERIFY(label && label->textFormat() == Qt::PlainText);
        answer->caption = dialog->windowTitle();
        answer->prompt = dialog->labelText();
        auto *edit = dialog->findChild<QLineEdit *>();
        QVERIFY(edit && edit->text().isEmpty());
        QTest::keyClicks(edit, answer->text);
        if (answer->ok)
            QTest::keyClick(edit, Qt::Key_Return);
        else
            dialog->reject();
    });
}

namespace {

void answerFileDialog(const QString &path, QDialogButtonBox::StandardButton accept,
                      QString *suggested)
{
    testui::whenModal([path, accept, suggested](QWidget *modal) {
        auto *dialog = qobject_cast<QFileDialog *>(modal);
        QVERIFY(dialog);
        auto *edit = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
        QVERIFY(edit);
        if (suggested)
            *suggested = edit->text();
        // Typed, the path would open the name completer's popup, which takes
        // the Return: the name goes in whole and the button is clicked.
        edit->setText(path);
        auto *buttons = dialog->findChild<QDialogButtonBox *>();
        QVERIFY(buttons && buttons->button(accept));
        buttons->button(accept)->click();
    });
}

} // namespace

void answerSaveDialog(const QString &path, QString *suggested)
{
    answerFileDialog(path, QDialogButtonBox::Save, suggested);
}

void answerOpenDialog(const QString &path)
{
    answerFileDialog(path, QDialogButtonBox::Open, nullptr);
}

void answerConfirm(bool yes, QString *text)
{
    testui::whenModal([yes, text](QWidget *modal) {
        auto *box = qobject_cast<QMessageBox *>(modal);
        QVERIFY(box);
        QCOMPARE(box->textFormat(), Qt::PlainText);
        *text = box->windowTitle() + QLatin1Char(':') + box->text();
        for (QAbstractButton *button : box->buttons()) {
            if (button->text() == (yes ? QLatin1String("&Yes") : QLatin1String("&No")))
                button->click();
        }
    });
}

} // namespace driver
