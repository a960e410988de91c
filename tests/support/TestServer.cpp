#include "TestServer.h"

#include "db/Database.h"
#include "db/Exception.h"
#include "db/Query.h"
#include "ui/FormStyle.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLockFile>
#include <QLoggingCategory>
#include <QMessageBox>
#include <QPointer>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>
#include <QTimer>
#include <QUuid>
#include <QWidget>
#include <deque>

namespace testserver {

namespace {

QString requiredEnv(const char *name)
{
    const QString value = qEnvironmentVariable(name);
    if (value.isEmpty())
        qFatal("%s is not set: run the tests through scripts/run-tests.sh", name);
    return value;
}

struct IsqlRun
{
    int exitCode = 0;
    QByteArray output;
    QByteArray errors;
};

IsqlRun startIsql(const QString &database, const QString &script, const QString &user,
                  const QString &password, const QString &role = {})
{
    QProcess isql;
    QStringList args{QStringLiteral("-q"), QStringLiteral("-b")};
    if (!role.isEmpty())
        args << QStringLiteral("-role") << role;
    if (!database.isEmpty())
        args << QStringLiteral("-user") << user << QStringLiteral("-password") << password
             << database;
    isql.start(QStringLiteral("isql-fb"), args);
    isql.write(script.toUtf8());
    isql.closeWriteChannel();
    if (!isql.waitForFinished(60000))
        qFatal("isql-fb did not finish");
    return {isql.exitCode(), isql.readAllStandardOutput(), isql.readAllStandardError()};
}

QByteArray runIsql(const QString &database, const QString &script, const QString &user,
                   const QString &password)
{
    const IsqlRun run = startIsql(database, script, user, password);
    if (run.exitCode != 0)
        qFatal("isql-fb failed: %s\n%s\nscript:\n%s", run.errors.constData(),
               run.output.constData(), qPrintable(script.left(2000)));
    return run.output;
}

} // namespace

QString port()
{
    return requiredEnv("KELVANE_FB_PORT");
}

QString password()
{
    return requiredEnv("KELVANE_FB_PASSWORD");
}

QString connectionString(const QString &path)
{
    return QStringLiteral("localhost/%1:%2").arg(port(), path);
}

std::optional<Server> otherServer()
{
    if (qEnvironmentVariableIsEmpty("KELVANE_FB_OTHER_PORT"))
        return std::nullopt;
    return Server{requiredEnv("KELVANE_FB_OTHER_DIR"), requiredEnv("KELVANE_FB_OTHER_PORT")};
}

TestDatabase::TestDatabase(const QString &name, const std::optional<Server> &server)
    : m_port(server ? server->port : port())
{
    const QString dataDir =
        (server ? server->dir : requiredEnv("KELVANE_FB_DIR")) + QStringLiteral("/data");
    QDir().mkpath(dataDir);
    m_path = QStringLiteral("%1/%2-%3.fdb")
                 .arg(dataDir, name, QUuid::createUuid().toString(QUuid::Id128).left(8));
    runIsql({},
            QStringLiteral("CREATE DATABASE '%1' USER 'SYSDBA' PASSWORD '%2' DEFAULT CHARACTER SET "
                           "UTF8;\nCOMMIT;\n")
                .arg(connectionString(), password()),
            {}, {});
}

QString TestDatabase::connectionString() const
{
    return QStringLiteral("localhost/%1:%2").arg(m_port, m_path);
}

TestDatabase::~TestDatabase()
{
    QProcess isql;
    isql.start(QStringLiteral("isql-fb"),
               {QStringLiteral("-q"), QStringLiteral("-user"), QStringLiteral("SYSDBA"),
                QStringLiteral("-password"), password(), connectionString()});
    isql.write("DROP DATABASE;\n");
    isql.closeWriteChannel();
    isql.waitForFinished(30000);
}

void TestDatabase::run(const QString &script, const QString &user, const QString &password) const
{
    runIsql(connectionString(), script + QStringLiteral("\nCOMMIT;\n"), user, password);
}

int TestDatabase::serverVersion() const
{
    const QStringList version = column(
        QStringLiteral("SELECT RDB$GET_CONTEXT('SYSTEM', 'ENGINE_VERSION') FROM RDB$DATABASE"));
    return version.isEmpty() ? 0 : version.first().section(QLatin1Char('.'), 0, 0).toInt();
}

QString TestDatabase::refusal(const QString &script, const QString &user, const QString &password,
                              const QString &role) const
{
    const IsqlRun run =
        startIsql(connectionString(), script + QStringLiteral("\nCOMMIT;\n"), user, password, role);
    return run.exitCode == 0 ? QString() : QString::fromUtf8(run.errors).trimmed();
}

QStringList TestDatabase::column(const QString &query) const
{
    const QByteArray output =
        runIsql(connectionString(), QStringLiteral("SET HEADING OFF;\n%1;\n").arg(query),
                QStringLiteral("SYSDBA"), password());
    QStringList values;
    for (const QString &line : QString::fromUtf8(output).split(QLatin1Char('\n'))) {
        const QString value = line.trimmed();
        if (!value.isEmpty())
            values.append(value);
    }
    return values;
}

QStringList TestDatabase::holders(const QString &relation, const QString &letter) const
{
    return column(QStringLiteral("SELECT RDB$USER FROM RDB$USER_PRIVILEGES WHERE "
                                 "RDB$RELATION_NAME = '%1' AND RDB$PRIVILEGE = '%2' AND "
                                 "RDB$USER <> 'SYSDBA' ORDER BY 1")
                      .arg(relation, letter));
}

QStringList TestDatabase::rowsOf(const QString &grantee) const
{
    return column(
        QStringLiteral("SELECT IIF(RDB$PRIVILEGE IN ('C', 'L', 'O'), 'ddl', RDB$OBJECT_TYPE) || "
                       "':' || TRIM(RDB$RELATION_NAME) || ':' || "
                       "TRIM(RDB$PRIVILEGE) || ':' || COALESCE(TRIM(RDB$FIELD_NAME), '') || ':' || "
                       "RDB$GRANT_OPTION || ':' || TRIM(RDB$GRANTOR) FROM RDB$USER_PRIVILEGES "
                       "WHERE RDB$USER = '%1' ORDER BY 1")
            .arg(grantee));
}

QStringList TestDatabase::catalogue(const QString &where) const
{
    return column(
        QStringLiteral(
            "SELECT TRIM(RDB$USER) || '|' || RDB$USER_TYPE || '|' || TRIM(RDB$RELATION_NAME) || "
            "'|' || IIF(RDB$PRIVILEGE IN ('C', 'L', 'O'), 'ddl', RDB$OBJECT_TYPE) || '|' || "
            "TRIM(RDB$PRIVILEGE) || '|' || COALESCE(TRIM(RDB$FIELD_NAME), '') || '|' || "
            "RDB$GRANT_OPTION || '|' || COALESCE(TRIM(RDB$GRANTOR), '-') FROM "
            "RDB$USER_PRIVILEGES%1 ORDER BY 1")
            .arg(where.isEmpty() ? QString() : QStringLiteral(" WHERE ") + where));
}

AliasFile::AliasFile(const QList<Alias> &aliases) : m_previous(qgetenv("KELVANE_ALIASES"))
{
    QByteArray text;
    for (const Alias &alias : aliases) {
        text += "[" + alias.name.toUtf8() + "]\nDriver=" + alias.driver.toUtf8() +
                "\nDatabase=" + alias.database.toUtf8() + "\n\n";
    }
    writeRaw(text);
    qputenv("KELVANE_ALIASES", path().toUtf8());
}

AliasFile::~AliasFile()
{
    if (m_previous.isEmpty())
        qunsetenv("KELVANE_ALIASES");
    else
        qputenv("KELVANE_ALIASES", m_previous);
}

void AliasFile::writeRaw(const QByteArray &text) const
{
    QFile file(path());
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        qFatal("cannot write %s", qPrintable(path()));
    file.write(text);
}

QString manyTablesScript(const QString &prefix, int count, const QString &privileges,
                         const QString &grantees)
{
    const QString table =
        QStringLiteral("'%1' || LPAD(I, %2, '0')").arg(prefix).arg(QString::number(count).size());
    const QString loop = QStringLiteral("EXECUTE BLOCK AS\nDECLARE I INTEGER = 1;\nBEGIN\n"
                                        "  WHILE (I <= %1) DO BEGIN\n"
                                        "    EXECUTE STATEMENT %2;\n"
                                        "    I = I + 1;\n  END\nEND^\n")
                             .arg(count);
    return QStringLiteral("SET TERM ^ ;\n") +
           loop.arg(QStringLiteral("'CREATE TABLE ' || %1 || ' (ID INTEGER)'").arg(table)) +
           QStringLiteral("COMMIT^\n") +
           loop.arg(QStringLiteral("'GRANT %1 ON ' || %2 || ' TO %3'")
                        .arg(privileges, table, grantees)) +
           QStringLiteral("SET TERM ; ^\n");
}

void createLogin(const QString &name, const QString &password)
{
    // Tests run side by side and several make the same login: two changes of
    // one security record at once would fail with an update conflict.
    QLockFile lock(requiredEnv("KELVANE_FB_DIR") + QStringLiteral("/logins.lock"));
    lock.setStaleLockTime(0);
    if (!lock.lock())
        qFatal("cannot lock %s", qPrintable(lock.fileName()));
    runIsql(QStringLiteral("localhost/%1:security.db").arg(port()),
            QStringLiteral("CREATE OR ALTER USER %1 PASSWORD '%2' USING PLUGIN Srp;\nCOMMIT;\n")
                .arg(name, password),
            QStringLiteral("SYSDBA"), testserver::password());
}

namespace {

std::unique_ptr<db::TDatabase> sysdbaConnection(const std::function<void(db::TDatabase &)> &target)
{
    auto connection = std::make_unique<db::TDatabase>(QStringLiteral("KELVANE"));
    target(*connection);
    connection->paramsAdd(QStringLiteral("USERNAME=SYSDBA"));
    connection->paramsAdd(QStringLiteral("PASSWORD=") + password());
    connection->open();
    return connection;
}

} // namespace

std::unique_ptr<db::TDatabase> connectAsSysdba(const QString &alias)
{
    return sysdbaConnection(
        [&alias](db::TDatabase &connection) { connection.setAliasName(alias); });
}

std::unique_ptr<db::TDatabase> connectAsSysdba(const TestDatabase &database)
{
    return sysdbaConnection([&database](db::TDatabase &connection) {
        connection.setConnectionString(database.connectionString());
    });
}

} // namespace testserver

namespace {

// The program remembers its window's size in the user's configuration
// folder: tests keep theirs apart, and every test program starts afresh. The
// file is the one the program names, found after the test mode is on, since
// the settings fix their folder when first asked.
void isolateSettings()
{
    QStandardPaths::setTestModeEnabled(true);
    QFile::remove(ui::windowSettingsFile());
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(isolateSettings)

namespace testui {

namespace {

class HideWatcher : public QObject
{
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
};

// Answers go to modal dialogs in the order they were queued, one dialog each:
// a dialog already answered is passed over until it has closed.
std::deque<std::function<void(QWidget *)>> g_answers;
QPointer<QWidget> g_lastAnswered;
QTimer *g_timer = nullptr;

void answerNext()
{
    QWidget *modal = QApplication::activeModalWidget();
    if (!modal || !modal->isVisible() || g_answers.empty())
        return;
    if (modal == g_lastAnswered)
        return;
    g_lastAnswered = modal;
    auto action = std::move(g_answers.front());
    g_answers.pop_front();
    if (g_answers.empty())
        g_timer->stop();
    action(modal);
}

// A modal dialog that nobody answers would wait until CTest's timeout: after
// a few seconds it fails the test and is closed, so that the test goes on.
constexpr int UnansweredDialogMs = 3000;
QPointer<QWidget> g_waiting;
QElapsedTimer g_waitingSince;

void failUnansweredDialog()
{
    QWidget *modal = QApplication::activeModalWidget();
    if (!modal || !modal->isVisible() || !g_answers.empty()) {
        g_waiting = nullptr;
        return;
    }
    if (modal != g_waiting) {
        g_waiting = modal;
        g_waitingSince.start();
        return;
    }
    if (g_waitingSince.elapsed() < UnansweredDialogMs)
        return;
    const auto *box = qobject_cast<QMessageBox *>(modal);
    const QString what = QStringLiteral("an unexpected dialog %1 \"%2\"")
                             .arg(modal->objectName(), box ? box->text() : modal->windowTitle());
    g_waiting = nullptr;
    if (auto *dialog = qobject_cast<QDialog *>(modal))
        dialog->reject();
    else
        modal->close();
    QTest::qFail(qPrintable(what), __FILE__, __LINE__);
}

bool HideWatcher::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::Hide && watched == g_lastAnswered)
        g_lastAnswered = nullptr;
    return false;
}

} // namespace

void watchForUnansweredDialogs()
{
    static QTimer *watchdog = nullptr;
    if (watchdog)
        return;
    watchdog = new QTimer(qApp);
    QObject::connect(watchdog, &QTimer::timeout, qApp, failUnansweredDialog);
    watchdog->start(100);
}

void whenModal(std::function<void(QWidget *)> action)
{
    watchForUnansweredDialogs();
    if (!g_timer) {
        g_timer = new QTimer(qApp);
        QObject::connect(g_timer, &QTimer::timeout, qApp, answerNext);
        // A dialog that closes frees its place for the next answer, even when
        // the same dialog shows again.
        qApp->installEventFilter(new HideWatcher(qApp));
    }
    g_answers.push_back(std::move(action));
    g_timer->start(10);
}

bool allAnswered(int timeoutMs)
{
    const bool answered = QTest::qWaitFor([] { return g_answers.empty(); }, timeoutMs);
    g_answers.clear();
    return answered;
}

MessageCollector::MessageCollector() : m_timer(std::make_unique<QTimer>())
{
    QObject::connect(m_timer.get(), &QTimer::timeout, m_timer.get(), [this] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box || !box->isVisible() || box == m_last)
            return;
        m_last = box;
        texts.append(box->text());
        titles.append(box->windowTitle());
        box->accept();
    });
    m_timer->start(5);
}

MessageCollector::~MessageCollector() = default;

QString failureOf(const std::function<void()> &action)
{
    try {
        action();
    } catch (const kelvane::Exception &e) {
        return e.message();
    }
    return QStringLiteral("<no failure>");
}

} // namespace testui

namespace {

QStringList g_sqlLines;
bool g_sqlLogActive = false;
QtMessageHandler g_previousHandler = nullptr;

void collectSql(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (g_sqlLogActive && context.category && qstrcmp(context.category, "kelvane.sql") == 0) {
        g_sqlLines.append(message);
        return;
    }
    if (g_previousHandler)
        g_previousHandler(type, context, message);
}

} // namespace

SqlLog::SqlLog()
{
    g_sqlLines.clear();
    g_sqlLogActive = true;
    QLoggingCategory::setFilterRules(QStringLiteral("kelvane.sql.debug=true"));
    g_previousHandler = qInstallMessageHandler(collectSql);
}

SqlLog::~SqlLog()
{
    g_sqlLogActive = false;
    qInstallMessageHandler(g_previousHandler);
    QLoggingCategory::setFilterRules(QStringLiteral("kelvane.sql.debug=false"));
}

QStringList SqlLog::lines() const
{
    return g_sqlLines;
}

QStringList SqlLog::linesOf(const QString &verb) const
{
    QStringList result;
    const QString prefix = verb + QLatin1Char(' ');
    for (const QString &line : g_sqlLines) {
        if (line.startsWith(prefix))
            result.append(line.mid(prefix.size()));
    }
    return result;
}

void SqlLog::clear()
{
    g_sqlLines.clear();
}

QStringList testserver::transactionsOf(db::TDatabase &connection)
{
    db::TQuery query(connection);
    query.sqlAdd(QStringLiteral("SELECT MON$READ_ONLY AS V FROM MON$TRANSACTIONS "
                                "WHERE MON$ATTACHMENT_ID = CURRENT_CONNECTION"));
    query.addField(QStringLiteral("V"), db::FieldKind::Data, 1);
    query.open();
    QStringList flags;
    for (query.first(); !query.eof(); query.next())
        flags << query.fields(0)->text();
    return flags;
}

testserver::DelayedAction::DelayedAction(int delayMs, std::function<void()> action)
    : m_thread([delayMs, action = std::move(action)] {
          std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
          action();
      })
{
}

testserver::DelayedAction::~DelayedAction()
{
    m_thread.join();
}
