// Failures from outside the program, driven through the real main window:
// logins that cannot succeed, and the server stopping between two commands.
#include "MainWindowDriver.h"
#include "TestServer.h"
#include "app/Forms.h"
#include "app/PrivEdit.h"
#include "db/Batch.h"
#include "dialogs/CopyPriv.h"
#include "ui/Application.h"
#include "ui/DBGrid.h"
#include "ui/Navigator.h"

#include <QApplication>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QProcess>
#include <QProgressDialog>
#include <QPushButton>
#include <QRadioButton>
#include <QScopeGuard>
#include <QTest>
#include <QTimer>
#include <arpa/inet.h>
#include <memory>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using driver::cellsOf;
using driver::chooseAlias;
using driver::currentDetail;
using driver::currentMaster;
using driver::statements;
using testserver::AliasFile;

namespace {

const char *const Schema = R"(
CREATE TABLE CUSTOMER (ID INTEGER);
CREATE TABLE ORDERS (ID INTEGER);
SET TERM ^ ;
CREATE PROCEDURE P_ONE AS BEGIN END^
SET TERM ; ^
GRANT SELECT ON CUSTOMER TO FRED;
GRANT SELECT ON ORDERS TO CAROL;
GRANT EXECUTE ON PROCEDURE P_ONE TO FRED;
)";

// Runs scripts/fbserver.sh, as the test run started the server.
bool fbserver(const char *command)
{
    QProcess script;
    script.setProcessChannelMode(QProcess::ForwardedChannels);
    script.start(QStringLiteral("bash"),
                 {QStringLiteral(KELVANE_FBSERVER), QString::fromLatin1(command)});
    return script.waitForFinished(60000) && script.exitStatus() == QProcess::NormalExit &&
           script.exitCode() == 0;
}

// A port on the loopback address that nothing listens on: one the system
// hands out, given back at once.
quint16 closedPort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    quint16 port = 1;
    if (fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    if (fd >= 0)
        ::close(fd);
    return port;
}

using Command = std::function<void()>;

} // namespace

Q_DECLARE_METATYPE(Command)

class TestFaults : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void failedLoginsLeaveDisconnected_data();
    void failedLoginsLeaveDisconnected();
    void serverStopsBetweenTwoCommands_data();
    void serverStopsBetweenTwoCommands();
    void longRenameStoppedHalfWay_data();
    void longRenameStoppedHalfWay();

private:
    void connect() { chooseAlias(QStringLiteral("FAULTS"), testserver::password()); }
    [[nodiscard]] QStringList holders(const QString &relation, const QString &letter) const
    {
        return m_db->holders(relation, letter);
    }

    std::unique_ptr<testserver::TestDatabase> m_db;
    std::unique_ptr<AliasFile> m_aliases;
    std::unique_ptr<Forms> m_forms;
    QString m_textFile;
};

void TestFaults::initTestCase()
{
    ui::Application::setTitle(QStringLiteral("Kelvane"));
    m_db = std::make_unique<testserver::TestDatabase>(QStringLiteral("faults"));
    m_db->run(QString::fromLatin1(Schema));
    m_db->run(testserver::manyTablesScript(QStringLiteral("T"), 250,
                                           QStringLiteral("SELECT, INSERT, UPDATE, DELETE"),
                                           QStringLiteral("HEAVY, LOADED")));
    // A file the server can open that is no database at all.
    m_textFile = QFileInfo(m_db->path()).dir().filePath(QStringLiteral("not-a-database.fdb"));
    QFile text(m_textFile);
    QVERIFY(text.open(QIODevice::WriteOnly | QIODevice::Truncate));
    text.write(QByteArray("This is a text file, not a Firebird database.\n").repeated(400));
    text.close();
    const QString missing = QFileInfo(m_db->path()).dir().filePath(QStringLiteral("missing.fdb"));
    QFile::remove(missing);
    m_aliases = std::make_unique<AliasFile>(QList<AliasFile::Alias>{
        {QStringLiteral("FAULTS"), QStringLiteral("INTRBASE"), m_db->connectionString()},
        {QStringLiteral("CLOSED PORT"), QStringLiteral("INTRBASE"),
         QStringLiteral("127.0.0.1/%1:%2").arg(closedPort()).arg(m_db->path())},
        {QStringLiteral("NO FILE"), QStringLiteral("INTRBASE"),
         testserver::connectionString(missing)},
        {QStringLiteral("TEXT FILE"), QStringLiteral("INTRBASE"),
         testserver::connectionString(m_textFile)}});
    // An alias with no Database= line at all.
    QFile file(m_aliases->path());
    QVERIFY(file.open(QIODevice::Append));
    file.write("[NO DATABASE]\nDriver=INTRBASE\n");
}

void TestFaults::init()
{
    m_forms = std::make_unique<Forms>();
    KelvaneForm->show();
    QVERIFY(QTest::qWaitForWindowExposed(KelvaneForm));
}

void TestFaults::cleanup()
{
    m_forms.reset();
    driver::expectNothingLeftOpen();
}

void TestFaults::failedLoginsLeaveDisconnected_data()
{
    QTest::addColumn<QString>("alias");
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("message"); // what the message box says, in part

    const QString refused = QStringLiteral("Your user name and password are not defined");
    QTest::newRow("wrong password") << "FAULTS"
                                    << "SYSDBA"
                                    << "wrong" << refused;
    QTest::newRow("unknown user") << "FAULTS"
                                  << "NOBODY"
                                  << "nobody" << refused;
    QTest::newRow("closed port") << "CLOSED PORT"
                                 << "SYSDBA" << testserver::password()
                                 << "Unable to complete network request to host \"127.0.0.1\"";
    QTest::newRow("database file that does not exist")
        << "NO FILE"
        << "SYSDBA" << testserver::password() << "I/O error during \"open\" operation for file";
    QTest::newRow("text file instead of a database")
        << "TEXT FILE"
        << "SYSDBA" << testserver::password() << "is not a valid database";
    QTest::newRow("alias without a database")
        << "NO DATABASE"
        << "SYSDBA" << testserver::password() << "Alias NO DATABASE names no database";
}

void TestFaults::failedLoginsLeaveDisconnected()
{
    QFETCH(QString, alias);
    QFETCH(QString, user);
    QFETCH(QString, password);
    QFETCH(QString, message);
    // From a working connection, which the failed one replaces.
    connect();
    QVERIFY(KelvaneForm->Database.connected());
    QStringList texts;
    QStringList titles;
    {
        testui::MessageCollector messages;
        chooseAlias(alias, password, {}, user);
        QTest::qWait(50);
        texts = messages.texts;
        titles = messages.titles;
    }
    qInfo("%s: %s", qPrintable(titles.join(u'|')), qPrintable(texts.join(u'|')));
    QCOMPARE(texts.size(), 1);
    QVERIFY2(texts.first().contains(message), qPrintable(texts.first()));
    QCOMPARE(titles.first(), QStringLiteral("Kelvane"));
    QVERIFY(!KelvaneForm->Database.connected());
    QCOMPARE(KelvaneForm->DBCombo->currentIndex(), -1);
    QCOMPARE(KelvaneForm->MasterGrid->dataModel().rowCount(), 0);
    QCOMPARE(KelvaneForm->DetailGrid->dataModel().rowCount(), 0);
    // The administrator can pick an alias again and work.
    connect();
    QCOMPARE(KelvaneForm->DBCombo->currentText(), QStringLiteral("FAULTS"));
    QVERIFY(KelvaneForm->MasterGrid->dataModel().rowCount() > 0);
}

void TestFaults::serverStopsBetweenTwoCommands_data()
{
    // What the administrator does with the server gone, standing on FRED and
    // CUSTOMER (FRED holds SELECT there and nothing else).
    // Each meets the stopped server at its first read or at the start of its
    // transaction, before any statement: the engine's message alone.
    QTest::addColumn<Command>("command");

    const auto navigator = [](const char *button) {
        return Command([button] {
            QTest::mouseClick(
                KelvaneForm->MasterNavigator->findChild<QWidget *>(QLatin1String(button)),
                Qt::LeftButton);
        });
    };
    const auto key = [](ui::DBGrid *TKelvaneForm::*grid, Qt::Key key,
                        Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        return Command(
            [grid, key, modifiers] { driver::typeInto(KelvaneForm->*grid, key, modifiers); });
    };
    QTest::newRow("next row in the master list") << navigator("nbNext");
    QTest::newRow("last row by the master navigator") << navigator("nbLast");
    QTest::newRow("arrow key in the master grid") << key(&TKelvaneForm::MasterGrid, Qt::Key_Down);
    QTest::newRow("click on another row of the master grid") << Command([] {
        ui::DBGrid *grid = KelvaneForm->MasterGrid;
        const int row = int(driver::namesOf(grid).indexOf(QStringLiteral("CAROL")));
        QVERIFY(row >= 0);
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {},
                          grid->visualRect(grid->dataModel().index(row, 0)).center());
    });
    QTest::newRow("type-ahead in the master grid") << key(&TKelvaneForm::MasterGrid, Qt::Key_C);
    QTest::newRow("type-ahead in the detail grid") << key(&TKelvaneForm::DetailGrid, Qt::Key_O);
    QTest::newRow("switching to By Relation")
        << Command([] { QTest::mouseClick(KelvaneForm->ByTableRadio, Qt::LeftButton); });
    QTest::newRow("toggle that revokes (Ctrl+S)")
        << key(&TKelvaneForm::DetailGrid, Qt::Key_S, Qt::ControlModifier);
    QTest::newRow("toggle that grants (double-click)")
        << Command([] { driver::doubleClickDetailCell(QStringLiteral("CUSTOMER"), 2); });
    QTest::newRow("toggle that grants (privilege menu)") << Command([] {
        driver::clickDetailCell(QStringLiteral("CUSTOMER"), 3);
        ui::DBGrid *grid = KelvaneForm->DetailGrid;
        const QPoint cell = grid->visualRect(grid->currentIndex()).center();
        driver::whenPopup([](QMenu *menu) { driver::chooseItem(menu, "PrivilegeItem"); });
        QContextMenuEvent event(QContextMenuEvent::Mouse, cell,
                                grid->viewport()->mapToGlobal(cell));
        QApplication::sendEvent(grid->viewport(), &event);
        QVERIFY(driver::allPopupsAnswered());
    });
    QTest::newRow("grant all (Ctrl+G)")
        << key(&TKelvaneForm::MasterGrid, Qt::Key_G, Qt::ControlModifier);
    QTest::newRow("copy to another user") << Command([] {
        testui::whenModal([](QWidget *modal) {
            auto *copy = qobject_cast<TCopyForm *>(modal);
            QVERIFY(copy);
            copy->CopyList->findItems(QStringLiteral("CAROL"), Qt::MatchExactly)
                .value(0)
                ->setSelected(true);
            copy->OKButton->click();
        });
        driver::chooseFromMenu(KelvaneForm->MasterGrid, "UserCopyItem");
    });
    QTest::newRow("removal") << Command(
        [] { driver::chooseFromMenu(KelvaneForm->MasterGrid, "RemoveItem"); });
    QTest::newRow("new user") << Command([] {
        testui::whenModal([](QWidget *modal) {
            auto *edit = modal->findChild<QLineEdit *>();
            QVERIFY(edit);
            QTest::keyClicks(edit, QStringLiteral("DORA"));
            QTest::keyClick(edit, Qt::Key_Return);
        });
        driver::chooseFromMenu(KelvaneForm->MasterGrid, "AddNewItem");
    });
    QTest::newRow("revoke all (Ctrl+R)")
        << key(&TKelvaneForm::MasterGrid, Qt::Key_R, Qt::ControlModifier);
}

void TestFaults::serverStopsBetweenTwoCommands()
{
    QFETCH(Command, command);
    connect();
    TKelvaneForm *form = KelvaneForm;
    form->LocateRecord(form->MasterQuery, 0, QStringLiteral("FRED"), false);
    form->LocateRecord(form->DetailQuery, 0, QStringLiteral("CUSTOMER"), false);
    QCOMPARE(currentMaster(), QStringLiteral("FRED"));
    QCOMPARE(currentDetail(), QStringLiteral("CUSTOMER"));
    QCOMPARE(cellsOf(QStringLiteral("CUSTOMER")), QStringLiteral("S...."));

    // Whatever happens below, the server runs again for the tests after this.
    auto restart = qScopeGuard([] { QVERIFY(fbserver("start")); });
    QVERIFY(fbserver("stop"));

    testui::MessageCollector messages;
    command();
    // Anything queued behind the command, a repaint included, has its turn.
    QTest::qWait(200);

    qInfo("%s", qPrintable(messages.texts.join(u'|')));
    QCOMPARE(messages.texts.size(), 1);
    const QString engine = messages.texts.last();
    QVERIFY2(engine.contains(QLatin1String("Error reading data from the connection")) ||
                 engine.contains(QLatin1String("connection shutdown")) ||
                 engine.contains(QLatin1String("Error writing data to the connection")) ||
                 engine.contains(QLatin1String("Unable to complete network request")),
             qPrintable(engine));
    // The engine's message goes through the application's handler.
    QCOMPARE(messages.titles.last(), QStringLiteral("Kelvane"));
    // Still alive and answering: painting the grids asks nothing of the server.
    form->repaint();
    QTest::qWait(50);
    QCOMPARE(messages.texts.size(), 1);

    restart.dismiss();
    QVERIFY(fbserver("start"));
    // Choosing the alias again reconnects, and everything works.
    connect();
    QCOMPARE(messages.texts.size(), 1);
    QVERIFY(form->Database.connected());
    if (!form->ByUserRadio->isChecked())
        form->ByUserRadio->click();
    form->LocateRecord(form->MasterQuery, 0, QStringLiteral("FRED"), false);
    form->LocateRecord(form->DetailQuery, 0, QStringLiteral("ORDERS"), false);
    QCOMPARE(currentDetail(), QStringLiteral("ORDERS"));
    driver::typeInto(form->DetailGrid, Qt::Key_I, Qt::ControlModifier);
    QCOMPARE(cellsOf(QStringLiteral("ORDERS")), QStringLiteral("..I.."));
    QCOMPARE(holders(QStringLiteral("ORDERS"), QStringLiteral("I")), QStringList{"FRED"});
    driver::typeInto(form->DetailGrid, Qt::Key_I, Qt::ControlModifier);
    QCOMPARE(holders(QStringLiteral("ORDERS"), QStringLiteral("I")), QStringList());
    QCOMPARE(messages.texts.size(), 1);
    // Nothing the administrator did not ask for: FRED's SELECT stands.
    QCOMPARE(holders(QStringLiteral("CUSTOMER"), QStringLiteral("S")), QStringList{"FRED"});
    QCOMPARE(holders(QStringLiteral("CUSTOMER"), QStringLiteral("U")), QStringList());
}

void TestFaults::longRenameStoppedHalfWay_data()
{
    QTest::addColumn<bool>("serverLost");
    QTest::addColumn<QString>("user");
    QTest::newRow("Cancel") << false << QStringLiteral("HEAVY");
    QTest::newRow("server lost") << true << QStringLiteral("LOADED");
}

void TestFaults::longRenameStoppedHalfWay()
{
    // The user holds four privileges on each of 250 tables: renaming it
    // walks 1,250 statements, three batches.
    QFETCH(bool, serverLost);
    QFETCH(QString, user);
    const QString renamed = user + QLatin1Char('2');
    connect();
    TKelvaneForm *form = KelvaneForm;
    form->ProgressDelay = 0;
    form->LocateRecord(form->MasterQuery, 0, user, false);
    const QStringList before = m_db->rowsOf(user);

    // Once the first batch has run, the administrator presses Cancel, or the
    // server goes away under the command.
    auto restart = qScopeGuard([] { QVERIFY(fbserver("start")); });
    int shownAt = -1;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, &watch, [&] {
        auto *progress = qobject_cast<QProgressDialog *>(QApplication::activeModalWidget());
        if (shownAt >= 0 || !progress || progress->value() <= 0)
            return;
        shownAt = progress->value();
        QVERIFY(progress->labelText().startsWith(QLatin1String("Relation ")));
        if (serverLost)
            QVERIFY(fbserver("stop"));
        else
            progress->findChild<QPushButton *>()->click();
    });
    watch.start(5);
    driver::InputAnswer answer(renamed);
    driver::answerInput(&answer);
    testui::MessageCollector messages;
    SqlLog log;
    driver::chooseFromEditMenu("RenameItem");
    QVERIFY(testui::allAnswered());
    QTest::qWait(200);
    QCOMPARE(shownAt, int(db::TCommandTransaction::MaxBatchStatements));
    QCOMPARE(messages.texts.size(), 1);
    const QString message = messages.texts.first();
    qInfo("%s", qPrintable(message));

    if (serverLost) {
        QVERIFY2(message.contains(QLatin1String("None of the command's statements took effect")),
                 qPrintable(message));
        restart.dismiss();
        QVERIFY(fbserver("start"));
        QCOMPARE(m_db->rowsOf(user), before);
        QCOMPARE(m_db->rowsOf(renamed), QStringList());
        return;
    }
    restart.dismiss();
    // Cancel undoes the whole command: a half-renamed user, a table held by
    // both names, is worse than none. The message counts what was undone.
    // Cancel is heard before the next batch goes.
    const QStringList sent = statements(log);
    QCOMPARE(sent.size(), shownAt);
    QCOMPARE(message, QStringLiteral("Cancelled: nothing was changed. The %1 of the command's "
                                     "1250 statements that had run were undone, and the other %2 "
                                     "never ran.")
                          .arg(sent.size())
                          .arg(1250 - sent.size()));
    QCOMPARE(m_db->rowsOf(user), before);
    QCOMPARE(m_db->rowsOf(renamed), QStringList());
    // The lists were read again, standing where the command began.
    const QStringList users = driver::namesOf(form->MasterGrid);
    QVERIFY(users.contains(user) && !users.contains(renamed));
    QCOMPARE(currentMaster(), user);
    QCOMPARE(cellsOf(QStringLiteral("T001")), QStringLiteral("SUID."));
}

QTEST_MAIN(TestFaults)
#include "tst_faults.moc"
