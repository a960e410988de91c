// Driving the main window offscreen: the login, standing on a row, keys,
// and the watchdog that closes a dialog nobody expected.
#include "Bench.h"

#include "TestServer.h"
#include "app/Forms.h"
#include "app/PrivEdit.h"
#include "db/Query.h"
#include "dialogs/DBLogin.h"
#include "ui/DBGrid.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

namespace kbench {

// A failure inside a handler surfaces as a modal message box, which would
// wait forever offscreen: note it, close it, and let the operation fail.
namespace {

QStringList g_unexpected;
bool g_expectLogin = false;
bool g_expectDialog = false; // a command's dialog, answered by the operation

int rowOf(db::TDataSet &dataSet, const QString &name)
{
    for (int row = 0; row < dataSet.recordCount(); ++row) {
        if (dataSet.fields(0)->textAt(row) == name)
            return row;
    }
    fail(QStringLiteral("%1 is not in the list of %2").arg(name, dataSet.name()));
}

} // namespace

void expectCommandDialog(bool expected)
{
    g_expectDialog = expected;
}

void startWatchdog()
{
    auto *timer = new QTimer(qApp);
    QObject::connect(timer, &QTimer::timeout, qApp, [] {
        QWidget *modal = QApplication::activeModalWidget();
        // A long command's progress closes by itself: rejecting it would
        // press its Cancel.
        if (!modal || !modal->isVisible() || (modal == LoginForm && g_expectLogin) ||
            g_expectDialog || modal->objectName() == QLatin1String("ProgressDialog"))
            return;
        QString text =
            modal->objectName() + QStringLiteral(" \"") + modal->windowTitle() + QLatin1Char('"');
        if (auto *box = qobject_cast<QMessageBox *>(modal))
            text += QStringLiteral(": ") + box->text();
        g_unexpected.append(text);
        if (auto *dialog = qobject_cast<QDialog *>(modal))
            dialog->reject();
        else
            modal->close();
    });
    timer->start(25);
}

void checkNothingUnexpected(const QString &where)
{
    if (!g_unexpected.isEmpty()) {
        const QString text = g_unexpected.join(QStringLiteral("; "));
        g_unexpected.clear();
        fail(QStringLiteral("%1: unexpected dialog: %2").arg(where, text));
    }
}

// From the moment the login is accepted to both grids filled and painted:
// the dialog's own showing and the typing are left out.
Timing connectThroughDialog()
{
    struct Answer
    {
        Stopwatch clock;
        bool answered = false;
    };
    auto answer = std::make_shared<Answer>();
    g_expectLogin = true;
    testui::whenModal([answer](QWidget *modal) {
        if (modal != LoginForm)
            return;
        QTest::keyClicks(LoginForm->PasswordEdit, testserver::password());
        answer->answered = true;
        answer->clock.start();
        QTest::mouseClick(LoginForm->OKButton, Qt::LeftButton);
    });
    const int index = KelvaneForm->DBCombo->findText(Alias);
    if (index < 0)
        fail(QStringLiteral("the alias %1 is not offered").arg(Alias));
    KelvaneForm->DBCombo->setCurrentIndex(index);
    KelvaneForm->DBComboChange(KelvaneForm->DBCombo);
    settle();
    const Timing timing = answer->clock.elapsed();
    g_expectLogin = false;
    if (!answer->answered || !testui::allAnswered(1000))
        fail(QStringLiteral("the login dialog was not answered"));
    if (!KelvaneForm->Database.connected())
        fail(QStringLiteral("not connected after the login"));
    return timing;
}

namespace {

void position(db::TQuery &list, const QString &name, const QString &where)
{
    list.moveBy(rowOf(list, name) - list.recNo());
    settle();
    if (list.fields(0)->text() != name)
        fail(QStringLiteral("could not stand on %1%2").arg(name, where));
}

} // namespace

void positionMaster(const QString &name)
{
    position(KelvaneForm->MasterQuery, name, QString());
}

void positionDetail(const QString &name)
{
    position(KelvaneForm->DetailQuery, name, QStringLiteral(" in the detail list"));
}

void expectMaster(const QString &name)
{
    const QString current = KelvaneForm->MasterQuery.fields(0)->text();
    if (current != name)
        fail(QStringLiteral("the master stands on %1, expected %2").arg(current, name));
}

void expectDetail(const QString &name)
{
    const QString current = KelvaneForm->DetailQuery.fields(0)->text();
    if (current != name)
        fail(QStringLiteral("the detail stands on %1, expected %2").arg(current, name));
}

// Both grids show what their datasets hold: otherwise the clock stopped
// before the window had caught up.
void expectGridsFilled()
{
    const struct
    {
        ui::DBGrid *grid;
        db::TDataSet *dataSet;
    } pairs[] = {{KelvaneForm->MasterGrid, &KelvaneForm->MasterQuery},
                 {KelvaneForm->DetailGrid, &KelvaneForm->DetailQuery}};
    for (const auto &pair : pairs) {
        if (!pair.dataSet->active() || pair.dataSet->recordCount() == 0)
            fail(QStringLiteral("%1 is empty").arg(pair.grid->objectName()));
        if (pair.grid->model()->rowCount() != pair.dataSet->recordCount())
            fail(QStringLiteral("%1 shows %2 rows of %3")
                     .arg(pair.grid->objectName())
                     .arg(pair.grid->model()->rowCount())
                     .arg(pair.dataSet->recordCount()));
    }
}

Timing timeKey(int key)
{
    Stopwatch clock;
    clock.start();
    QTest::keyClick(KelvaneForm->MasterGrid, Qt::Key(key));
    settle();
    return clock.elapsed();
}

Timing timeRefresh()
{
    Stopwatch clock;
    clock.start();
    KelvaneForm->RefreshPrivileges();
    settle();
    return clock.elapsed();
}

void selectView(QRadioButton *radio)
{
    radio->click();
    settle();
    if (!radio->isChecked())
        fail(QStringLiteral("%1 did not switch the view").arg(radio->objectName()));
    checkNothingUnexpected(radio->objectName());
}

} // namespace kbench
