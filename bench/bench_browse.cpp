// Browsing benchmark: the real main window against a large privilege
// catalogue, each operation timed beside a bare fetch of the same rows
// through the same driver, plus the peak memory of a browsing session.
//
//   kelvane_bench [--runs N] [--statements]
//
// Needs the private server's environment (KELVANE_FB_DIR, KELVANE_FB_PORT,
// KELVANE_FB_PASSWORD); scripts/run-bench.sh sets it up.

#include "TestServer.h"
#include "app/Forms.h"
#include "app/PrivEdit.h"
#include "db/Query.h"
#include "dialogs/DBLogin.h"
#include "ui/Application.h"
#include "ui/DBGrid.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QScopeGuard>
#include <QSet>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <malloc.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <ctime>
#include <functional>
#include <map>
#include <memory>
#include <stdexcept>
#include <vector>

namespace {

// ---------------------------------------------------------------------------
// The catalogue

constexpr int TableCount = 1900;
constexpr int ViewCount = 100;
constexpr int ProcedureCount = 200;
constexpr int UserCount = 300;
constexpr int TablesPerUser = 120;
constexpr int ViewsPerUser = 10;
constexpr int ProceduresPerUser = 40;

const QString Alias = QStringLiteral("BENCH");

// Two families of user names put PUBLIC and SYSDBA in the middle of the
// master list, so that a type-ahead letter jumps over half of it and lands on
// an ordinary user rather than on a neighbour.
QString userNameSql(const char *variable)
{
    return QStringLiteral(
               "IIF(%1 <= %2, 'CLERK' || LPAD(%1, 3, '0'), 'WORKER' || LPAD(%1 - %2, 3, '0'))")
        .arg(QLatin1String(variable))
        .arg(UserCount / 2);
}

// DDL inside EXECUTE STATEMENT takes effect only at commit, so tables,
// views over them and grants on both need separate transactions.
QStringList catalogueScripts()
{
    const QString objects = QStringLiteral(R"(SET TERM ^ ;
EXECUTE BLOCK AS
DECLARE i INT = 1;
BEGIN
  WHILE (i <= %1) DO BEGIN
    EXECUTE STATEMENT 'CREATE TABLE T' || LPAD(i, 4, '0') || ' (ID INTEGER NOT NULL, NAME VARCHAR(40))';
    i = i + 1;
  END
  i = 1;
  WHILE (i <= %2) DO BEGIN
    EXECUTE STATEMENT 'CREATE PROCEDURE P' || LPAD(i, 3, '0') || ' RETURNS (N INTEGER) AS BEGIN N = ' || i || '; SUSPEND; END';
    i = i + 1;
  END
END^
SET TERM ; ^)")
                                .arg(TableCount)
                                .arg(ProcedureCount);
    const QString views = QStringLiteral(R"(SET TERM ^ ;
EXECUTE BLOCK AS
DECLARE i INT = 1;
BEGIN
  WHILE (i <= %1) DO BEGIN
    EXECUTE STATEMENT 'CREATE VIEW V' || LPAD(i, 3, '0') || ' AS SELECT ID, NAME FROM T' || LPAD(i * %2, 4, '0');
    i = i + 1;
  END
END^
SET TERM ; ^)")
                              .arg(ViewCount)
                              .arg(TableCount / ViewCount);
    // Steps coprime with the object counts make every user's objects
    // distinct; the privilege mix varies with the position so that the
    // cells are not uniform, and REFERENCES rows count without marking.
    const QString grants = QStringLiteral(R"(SET TERM ^ ;
EXECUTE BLOCK AS
DECLARE u INT = 1;
DECLARE m INT;
DECLARE un VARCHAR(20);
DECLARE privs VARCHAR(80);
BEGIN
  WHILE (u <= %1) DO BEGIN
    un = %2;
    m = 0;
    WHILE (m < %3) DO BEGIN
      privs = 'SELECT';
      IF (MOD(m, 2) = 0) THEN privs = privs || ', UPDATE';
      IF (MOD(m, 3) = 0) THEN privs = privs || ', INSERT';
      IF (MOD(m, 4) = 0) THEN privs = privs || ', DELETE';
      IF (MOD(m, 5) = 0) THEN privs = privs || ', REFERENCES';
      EXECUTE STATEMENT 'GRANT ' || privs || ' ON T' || LPAD(MOD(u * 37 + m * 13, %4) + 1, 4, '0')
        || ' TO ' || un || IIF(MOD(m, 10) = 0, ' WITH GRANT OPTION', '');
      m = m + 1;
    END
    m = 0;
    WHILE (m < %5) DO BEGIN
      EXECUTE STATEMENT 'GRANT SELECT ON V' || LPAD(MOD(u * 7 + m * 11, %6) + 1, 3, '0') || ' TO ' || un;
      m = m + 1;
    END
    m = 0;
    WHILE (m < %7) DO BEGIN
      EXECUTE STATEMENT 'GRANT EXECUTE ON PROCEDURE P' || LPAD(MOD(u * 3 + m * 7, %8) + 1, 3, '0') || ' TO ' || un;
      m = m + 1;
    END
    u = u + 1;
  END
END^
SET TERM ; ^)")
                               .arg(UserCount)
                               .arg(userNameSql("u"))
                               .arg(TablesPerUser)
                               .arg(TableCount)
                               .arg(ViewsPerUser)
                               .arg(ViewCount)
                               .arg(ProceduresPerUser)
                               .arg(ProcedureCount);
    return {objects, views, grants};
}

// ---------------------------------------------------------------------------
// Small helpers

class BenchError : public std::runtime_error
{
public:
    explicit BenchError(const QString &message) : std::runtime_error(message.toStdString()) {}
};

[[noreturn]] void fail(const QString &message)
{
    throw BenchError(message);
}

// A connection of the bench's own through the same driver and options as
// the program's, for the bare loop and the catalogue's figures.
QSqlDatabase addBareConnection(const QString &target, const QString &name)
{
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QIBASE"), name);
    db.setDatabaseName(target);
    db.setUserName(QStringLiteral("SYSDBA"));
    db.setPassword(testserver::password());
    db.setConnectOptions(QStringLiteral("ISC_DPB_LC_CTYPE=UTF8"));
    return db;
}

void out(const QString &line = {})
{
    std::fputs(qPrintable(line), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

double msSince(const QElapsedTimer &clock)
{
    return double(clock.nsecsElapsed()) / 1e6;
}

double processCpuMs()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

// Wall time and this process's CPU time side by side: the server works in
// another process, so the CPU time is what the client side alone costs.
struct Timing
{
    double wall = 0;
    double cpu = 0;
};

class Stopwatch
{
public:
    void start()
    {
        m_cpu = processCpuMs();
        m_wall.start();
    }
    [[nodiscard]] Timing elapsed() const { return {msSince(m_wall), processCpuMs() - m_cpu}; }

private:
    QElapsedTimer m_wall;
    double m_cpu = 0;
};

double median(QList<double> values)
{
    if (values.isEmpty())
        return 0;
    std::sort(values.begin(), values.end());
    const qsizetype n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

QString kib(double bytes)
{
    return QStringLiteral("%1 KiB").arg(bytes / 1024.0, 0, 'f', 0);
}

qint64 procStatusKb(const char *key)
{
    QFile file(QStringLiteral("/proc/self/status"));
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray prefix = QByteArray(key) + ':';
    for (const QByteArray &line : file.readAll().split('\n')) {
        if (line.startsWith(prefix))
            return line.mid(prefix.size()).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

// Bytes the allocator has handed out and not got back: unlike RSS it is
// blind to mapped library pages and to freed memory not yet returned.
qint64 heapInUse()
{
    const struct mallinfo2 info = mallinfo2();
    return qint64(info.uordblks + info.hblkhd);
}

qsizetype trimmedLength(const QString &value)
{
    qsizetype end = value.size();
    while (end > 0 && value.at(end - 1) == QLatin1Char(' '))
        --end;
    return end;
}

// Posted events (repaints, deferred layout) run only when the loop turns;
// events posted while these run wait for the next turn, hence a few turns.
void settle()
{
    for (int i = 0; i < 3; ++i)
        QCoreApplication::processEvents(QEventLoop::AllEvents);
}

// Other work on the machine shows in every figure: the load average is
// printed at both ends of the run so that a reader can tell.
QString loadAverage()
{
    QFile file(QStringLiteral("/proc/loadavg"));
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("unknown");
    return QString::fromLatin1(file.readAll().split(' ').mid(0, 3).join(' '));
}

QString cpuModel()
{
    QFile file(QStringLiteral("/proc/cpuinfo"));
    if (file.open(QIODevice::ReadOnly)) {
        for (const QByteArray &line : file.readAll().split('\n')) {
            if (line.startsWith("model name"))
                return QString::fromUtf8(line.mid(line.indexOf(':') + 1).trimmed());
        }
    }
    return QStringLiteral("unknown CPU");
}

// ---------------------------------------------------------------------------
// What the program sent, read back from its kelvane.sql log

struct Step
{
    enum Kind
    {
        Connect,
        Prepare,
        Open,
        Execute // a statement that returns no rows
    };
    Kind kind = Open;
    QString sql;
    QStringList params;
};

QList<Step> parseLog(const QStringList &lines)
{
    QList<Step> steps;
    for (const QString &line : lines) {
        const qsizetype space = line.indexOf(QLatin1Char(' '));
        const QString verb = line.left(space);
        const QString rest = space < 0 ? QString() : line.mid(space + 1);
        Step step;
        if (verb == QLatin1String("connect")) {
            step.kind = Step::Connect;
        } else if (verb == QLatin1String("prepare")) {
            step.kind = Step::Prepare;
            step.sql = rest;
        } else if (verb == QLatin1String("open")) {
            step.kind = Step::Open;
            step.sql = rest;
            // The values follow the text as "with a, b"; the text's own
            // placeholders say how many there must be.
            const qsizetype count = db::parameterNames(rest).size();
            if (count > 0) {
                const qsizetype with = rest.lastIndexOf(QLatin1String(" with "));
                if (with < 0)
                    fail(QStringLiteral("cannot read the parameters of the logged line: %1")
                             .arg(line));
                step.sql = rest.left(with);
                step.params = rest.mid(with + 6).split(QStringLiteral(", "));
                if (step.params.size() != db::parameterNames(step.sql).size())
                    fail(QStringLiteral("parameter count mismatch in the logged line: %1")
                             .arg(line));
            }
        } else if (verb == QLatin1String("execute")) {
            step.kind = Step::Execute;
            step.sql = rest;
        } else {
            continue; // disconnect
        }
        steps.append(step);
    }
    return steps;
}

QString describe(const Step &step)
{
    switch (step.kind) {
    case Step::Connect:
        return QStringLiteral("connect");
    case Step::Prepare:
        return QStringLiteral("prepare ") +
               QString(step.sql).replace(QLatin1Char('\n'), QLatin1Char(' '));
    case Step::Execute:
        return QStringLiteral("execute ") + step.sql;
    case Step::Open:
        break;
    }
    QString text =
        QStringLiteral("open ") + QString(step.sql).replace(QLatin1Char('\n'), QLatin1Char(' '));
    if (!step.params.isEmpty())
        text += QStringLiteral(" [") + step.params.join(QStringLiteral(", ")) + QLatin1Char(']');
    return text;
}

QJsonArray toJson(const QList<Step> &steps)
{
    QJsonArray array;
    for (const Step &step : steps) {
        array.append(
            QJsonObject{{QStringLiteral("kind"), int(step.kind)},
                        {QStringLiteral("sql"), step.sql},
                        {QStringLiteral("params"), QJsonArray::fromStringList(step.params)}});
    }
    return array;
}

QList<Step> stepsFromJson(const QJsonArray &array)
{
    QList<Step> steps;
    for (const QJsonValue &value : array) {
        const QJsonObject object = value.toObject();
        Step step;
        step.kind = Step::Kind(object.value(QStringLiteral("kind")).toInt());
        step.sql = object.value(QStringLiteral("sql")).toString();
        for (const QJsonValue &param : object.value(QStringLiteral("params")).toArray())
            step.params.append(param.toString());
        steps.append(step);
    }
    return steps;
}

// ---------------------------------------------------------------------------
// The bare loop: the same statements through the same driver, nothing else

struct FetchStats
{
    qint64 rows = 0;
    qint64 values = 0;
    qint64 paddedBytes = 0;  // UTF-16 bytes of the values as the driver delivers them
    qint64 trimmedBytes = 0; // the same without the CHAR padding
    QList<qint64> rowsPerStep;
    // Time spent on GRANT and REVOKE statements, prepares included, and on
    // everything else: the reads.
    double statementMs = 0;
    double readMs = 0;
};

bool isChange(const QString &sql)
{
    return sql.startsWith(QLatin1String("GRANT ")) || sql.startsWith(QLatin1String("REVOKE "));
}

using Held = std::map<QString, std::vector<QString>>;

class BareReplay
{
public:
    BareReplay(const QString &target, const QString &connectionName)
        : m_connectionName(connectionName)
    {
        (void)addBareConnection(target, m_connectionName);
    }
    ~BareReplay()
    {
        disconnect();
        QSqlDatabase::removeDatabase(m_connectionName);
    }
    BareReplay(const BareReplay &) = delete;
    BareReplay &operator=(const BareReplay &) = delete;

    // The program prepares some statements once and re-runs them on every
    // move, and runs others afresh each time; which is which is learnt from
    // every log seen so far.
    void learn(const QList<Step> &steps)
    {
        for (const Step &step : steps) {
            if (step.kind == Step::Prepare)
                m_preparedTexts.insert(step.sql);
        }
    }

    void disconnect()
    {
        m_prepared.clear();
        QSqlDatabase db = database();
        if (db.isOpen())
            db.close();
    }

    // Before the clock: what the program had already done before the
    // operation (connected, prepared) is done here too.
    void arrange(const QList<Step> &steps)
    {
        if (!steps.isEmpty() && steps.front().kind == Step::Connect) {
            disconnect();
            return;
        }
        if (!database().isOpen())
            open();
        QSet<QString> preparedHere;
        for (const Step &step : steps) {
            if (step.kind == Step::Prepare)
                preparedHere.insert(step.sql);
            else if (step.kind == Step::Open && m_preparedTexts.contains(step.sql) &&
                     !preparedHere.contains(step.sql) && !m_prepared.count(step.sql))
                prepare(step.sql);
        }
    }

    // With sizes, every value is also measured, which the timed runs must
    // not pay for; with held, values are kept as the program keeps its rows.
    FetchStats run(const QList<Step> &steps, bool sizes = false, Held *held = nullptr)
    {
        FetchStats stats;
        QSet<QString> preparedHere;
        for (const Step &step : steps) {
            QElapsedTimer stepClock;
            stepClock.start();
            const auto account = qScopeGuard([&] {
                (isChange(step.sql) ? stats.statementMs : stats.readMs) += msSince(stepClock);
            });
            switch (step.kind) {
            case Step::Execute: {
                const auto found = m_prepared.find(step.sql);
                if (found == m_prepared.end()) {
                    QSqlQuery query(database());
                    if (!query.exec(step.sql))
                        fail(QStringLiteral("bare loop: %1").arg(query.lastError().text()));
                } else {
                    if (!found->second->exec())
                        fail(
                            QStringLiteral("bare loop: %1").arg(found->second->lastError().text()));
                    m_prepared.erase(found);
                }
                break;
            }
            case Step::Connect:
                open();
                break;
            case Step::Prepare:
                prepare(step.sql);
                preparedHere.insert(step.sql);
                break;
            case Step::Open: {
                std::vector<QString> *keep = held ? &(*held)[step.sql] : nullptr;
                if (keep)
                    std::vector<QString>().swap(*keep); // the program closes before it reopens
                const qint64 before = stats.rows;
                if (m_preparedTexts.contains(step.sql)) {
                    const auto found = m_prepared.find(step.sql);
                    if (found == m_prepared.end())
                        fail(QStringLiteral("bare loop: not prepared: %1").arg(step.sql));
                    QSqlQuery &query = *found->second;
                    for (int i = 0; i < step.params.size(); ++i)
                        query.bindValue(i, step.params[i]);
                    if (!query.exec())
                        fail(QStringLiteral("bare loop: %1").arg(query.lastError().text()));
                    fetch(query, stats, sizes, keep);
                    query.finish();
                    // Prepared for this one execution, as the program does:
                    // a kept statement would also keep its transaction.
                    if (preparedHere.contains(step.sql))
                        m_prepared.erase(found);
                } else {
                    QSqlQuery query(database());
                    query.setForwardOnly(true);
                    if (!query.exec(step.sql))
                        fail(QStringLiteral("bare loop: %1").arg(query.lastError().text()));
                    fetch(query, stats, sizes, keep);
                }
                stats.rowsPerStep.append(stats.rows - before);
                break;
            }
            }
        }
        return stats;
    }

    [[nodiscard]] qint64 sink() const { return m_sink; }

private:
    QSqlDatabase database() const { return QSqlDatabase::database(m_connectionName, false); }

    void open()
    {
        QSqlDatabase db = database();
        if (!db.open())
            fail(QStringLiteral("bare loop: cannot connect: %1").arg(db.lastError().text()));
    }

    void prepare(const QString &sql)
    {
        auto query = std::make_unique<QSqlQuery>(database());
        query->setForwardOnly(true);
        if (!query->prepare(sql))
            fail(QStringLiteral("bare loop: %1").arg(query->lastError().text()));
        m_prepared[sql] = std::move(query);
    }

    void fetch(QSqlQuery &query, FetchStats &stats, bool sizes, std::vector<QString> *keep)
    {
        const int columns = query.record().count();
        while (query.next()) {
            ++stats.rows;
            for (int i = 0; i < columns; ++i) {
                const QString value = query.value(i).toString();
                // Something must depend on the value, or the loop measures nothing.
                m_sink += value.size();
                if (sizes) {
                    ++stats.values;
                    stats.paddedBytes += value.size() * qint64(sizeof(QChar));
                    stats.trimmedBytes += trimmedLength(value) * qint64(sizeof(QChar));
                }
                if (keep)
                    keep->push_back(value);
            }
        }
        if (query.lastError().isValid())
            fail(QStringLiteral("bare loop: %1").arg(query.lastError().text()));
    }

    QString m_connectionName;
    QSet<QString> m_preparedTexts;
    std::map<QString, std::unique_ptr<QSqlQuery>> m_prepared;
    qint64 m_sink = 0;
};

// ---------------------------------------------------------------------------
// Driving the main window

// A failure inside a handler surfaces as a modal message box, which would
// wait forever offscreen: note it, close it, and let the operation fail.
QStringList g_unexpected;
bool g_expectLogin = false;
bool g_expectDialog = false; // a command's dialog, answered by the operation

void startWatchdog()
{
    auto *timer = new QTimer(qApp);
    QObject::connect(timer, &QTimer::timeout, qApp, [] {
        QWidget *modal = QApplication::activeModalWidget();
        if (!modal || !modal->isVisible() || (modal == LoginForm && g_expectLogin) ||
            g_expectDialog)
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

class PaintCounter : public QObject
{
public:
    using QObject::QObject;
    int count = 0;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            ++count;
        return false;
    }
};

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

int rowOfMaster(const QString &name)
{
    db::TQuery &master = KelvaneForm->MasterQuery;
    for (int row = 0; row < master.recordCount(); ++row) {
        if (master.fields(0)->textAt(row) == name)
            return row;
    }
    fail(QStringLiteral("%1 is not in the master list").arg(name));
}

void positionMaster(const QString &name)
{
    db::TQuery &master = KelvaneForm->MasterQuery;
    master.moveBy(rowOfMaster(name) - master.recNo());
    settle();
    if (master.fields(0)->text() != name)
        fail(QStringLiteral("could not stand on %1").arg(name));
}

void expectMaster(const QString &name)
{
    const QString current = KelvaneForm->MasterQuery.fields(0)->text();
    if (current != name)
        fail(QStringLiteral("the master stands on %1, expected %2").arg(current, name));
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

// ---------------------------------------------------------------------------
// Measuring

struct Operation
{
    QString label;
    std::function<void()> arrange; // before the clock
    std::function<Timing()> act;   // the program's time
    std::function<void()> check;   // after the clock
    // Puts the catalogue back before the bare loop sends the same changes.
    std::function<void()> resetData = [] {};
    // Fewer timed runs for operations that send thousands of statements.
    int runs = 0;
};

QList<double> wallOf(const QList<Timing> &timings)
{
    QList<double> values;
    for (const Timing &timing : timings)
        values.append(timing.wall);
    return values;
}

QList<double> cpuOf(const QList<Timing> &timings)
{
    QList<double> values;
    for (const Timing &timing : timings)
        values.append(timing.cpu);
    return values;
}

struct Outcome
{
    QString label;
    QList<Timing> program;
    QList<Timing> bare;
    FetchStats rows;
    QList<Step> steps;
    int fewestDetailPaints = 0;
};

class Bench
{
public:
    Bench(BareReplay &bare, int runs, bool listStatements)
        : m_bare(bare), m_runs(runs), m_listStatements(listStatements)
    {
        m_detailPaints = new PaintCounter(qApp);
        KelvaneForm->DetailGrid->viewport()->installEventFilter(m_detailPaints);
    }

    const Outcome &measure(const Operation &op)
    {
        Outcome outcome;
        outcome.label = op.label;
        // The warm-up run records what the program sends; logging is off
        // for the timed runs.
        op.arrange();
        {
            SqlLog log;
            (void)op.act();
            outcome.steps = parseLog(log.lines());
        }
        op.check();
        checkNothingUnexpected(op.label);
        m_bare.learn(outcome.steps);
        op.resetData();
        m_bare.arrange(outcome.steps);
        outcome.rows = m_bare.run(outcome.steps, true);

        outcome.fewestDetailPaints = INT_MAX;
        const int runs = op.runs > 0 ? std::min(op.runs, m_runs) : m_runs;
        for (int run = 0; run < runs; ++run) {
            op.arrange();
            m_detailPaints->count = 0;
            outcome.program.append(op.act());
            outcome.fewestDetailPaints =
                std::min(outcome.fewestDetailPaints, m_detailPaints->count);
            op.check();
            checkNothingUnexpected(op.label);

            op.resetData();
            m_bare.arrange(outcome.steps);
            Stopwatch clock;
            clock.start();
            (void)m_bare.run(outcome.steps);
            outcome.bare.append(clock.elapsed());
        }
        if (outcome.fewestDetailPaints == 0)
            fail(QStringLiteral("%1: the detail grid was not repainted").arg(op.label));

        const double program = median(wallOf(outcome.program));
        const double bare = median(wallOf(outcome.bare));
        out(QStringLiteral("  %1: program %2 ms, bare %3 ms, ratio %4 (%5 rows)")
                .arg(op.label)
                .arg(program, 0, 'f', 1)
                .arg(bare, 0, 'f', 1)
                .arg(program / bare, 0, 'f', 2)
                .arg(outcome.rows.rows));
        if (m_listStatements) {
            for (int i = 0, open = 0; i < outcome.steps.size(); ++i) {
                const Step &step = outcome.steps[i];
                QString line = QStringLiteral("      ") + describe(step);
                if (step.kind == Step::Open)
                    line +=
                        QStringLiteral(" -> %1 rows").arg(outcome.rows.rowsPerStep.value(open++));
                out(line);
            }
        }
        m_outcomes.push_back(outcome);
        return m_outcomes.back();
    }

    [[nodiscard]] const std::vector<Outcome> &outcomes() const { return m_outcomes; }

private:
    BareReplay &m_bare;
    const int m_runs;
    const bool m_listStatements;
    PaintCounter *m_detailPaints;
    std::vector<Outcome> m_outcomes;
};

Operation moveDown(const QString &label, const QString &from, const QString &to)
{
    return {label, [from] { positionMaster(from); }, [] { return timeKey(Qt::Key_Down); },
            [to] {
                expectMaster(to);
                expectGridsFilled();
            }};
}

Operation jump(const QString &label, int key, const QString &to)
{
    // From the top each time, so that the search walks the whole way.
    return {label,
            [] {
                db::TQuery &master = KelvaneForm->MasterQuery;
                positionMaster(master.fields(0)->textAt(0));
            },
            [key] { return timeKey(key); },
            [to] {
                expectMaster(to);
                expectGridsFilled();
            }};
}

Operation refresh(const QString &label, const QString &at)
{
    return {label, [at] { positionMaster(at); }, [] { return timeRefresh(); },
            [at] {
                expectMaster(at);
                expectGridsFilled();
            }};
}

Operation connectOp(const QString &label)
{
    return {label, [] {}, [] { return connectThroughDialog(); }, [] { expectGridsFilled(); }};
}

void selectView(QRadioButton *radio)
{
    radio->click();
    settle();
    if (!radio->isChecked())
        fail(QStringLiteral("%1 did not switch the view").arg(radio->objectName()));
    checkNothingUnexpected(radio->objectName());
}

// With the detail on its last row, the switch has to find that name far down
// the new master list: the search that restores the selection is the cost.
Operation switchView(const QString &label, QRadioButton *from, QRadioButton *to,
                     const QString &master)
{
    struct Selection
    {
        QString master;
        QString detail;
    };
    auto expected = std::make_shared<Selection>();
    return {label,
            [=] {
                selectView(from);
                positionMaster(master);
                db::TQuery &detail = KelvaneForm->DetailQuery;
                detail.last();
                settle();
                *expected = {detail.fields(0)->text(), master};
            },
            [to] {
                Stopwatch clock;
                clock.start();
                to->click();
                settle();
                return clock.elapsed();
            },
            [expected] {
                expectMaster(expected->master);
                const QString detail = KelvaneForm->DetailQuery.fields(0)->text();
                if (detail != expected->detail)
                    fail(QStringLiteral("the detail stands on %1, expected %2")
                             .arg(detail, expected->detail));
                expectGridsFilled();
            }};
}

// The privileges a user holds on tables, views and procedures, as statements
// that grant them to another name.
QStringList grantsOf(const QString &user, const QString &to)
{
    QSqlQuery query(QSqlDatabase::database(QStringLiteral("bench-bare")));
    query.prepare(QStringLiteral("SELECT RDB$RELATION_NAME, RDB$PRIVILEGE, RDB$OBJECT_TYPE FROM "
                                 "RDB$USER_PRIVILEGES WHERE RDB$USER = ? AND RDB$OBJECT_TYPE IN "
                                 "(0, 5) AND RDB$PRIVILEGE IN ('S', 'U', 'I', 'D', 'X')"));
    query.addBindValue(user);
    if (!query.exec())
        fail(QStringLiteral("reading the grants of %1: %2").arg(user, query.lastError().text()));
    const QMap<QString, QString> words{
        {"S", "SELECT"}, {"U", "UPDATE"}, {"I", "INSERT"}, {"D", "DELETE"}, {"X", "EXECUTE"}};
    QStringList grants;
    while (query.next()) {
        const QString relation = query.value(0).toString().trimmed();
        const QString letter = query.value(1).toString().trimmed();
        grants << (query.value(2).toInt() == 5
                       ? QStringLiteral("GRANT EXECUTE ON PROCEDURE %1 TO %2").arg(relation, to)
                       : QStringLiteral("GRANT %1 ON %2 TO %3").arg(words[letter], relation, to));
    }
    grants.removeDuplicates();
    return grants;
}

void runStatements(const QStringList &statements)
{
    QSqlQuery query(QSqlDatabase::database(QStringLiteral("bench-bare")));
    for (const QString &statement : statements) {
        if (!query.exec(statement))
            fail(QStringLiteral("%1: %2").arg(statement, query.lastError().text()));
    }
}

// Gives the user back what the catalogue held for it before an operation
// took it away or moved it to another name.
std::function<void()> restoreUser(const QString &user, const QString &movedTo = {})
{
    auto grants = std::make_shared<QStringList>();
    return [=] {
        if (grants->isEmpty())
            *grants = grantsOf(user, user);
        if (!movedTo.isEmpty()) {
            QStringList revokes;
            for (const QString &grant : grantsOf(movedTo, movedTo))
                revokes << QString(grant)
                               .replace(QLatin1String("GRANT "), QLatin1String("REVOKE "))
                               .replace(QLatin1String(" TO "), QLatin1String(" FROM "));
            runStatements(revokes);
        }
        runStatements(*grants);
    };
}

// Runs the command, answering its dialog through the dialog itself; the clock
// starts when the dialog is answered.
Timing timeCommand(void (TKelvaneForm::*command)(QObject *),
                   const std::function<void(QWidget *)> &answer)
{
    auto clock = std::make_shared<Stopwatch>();
    g_expectDialog = true;
    testui::whenModal([clock, answer](QWidget *modal) {
        clock->start();
        answer(modal);
    });
    (KelvaneForm->*command)(nullptr);
    settle();
    g_expectDialog = false;
    if (!testui::allAnswered(1000))
        fail(QStringLiteral("the command's dialog was not answered"));
    checkNothingUnexpected(QStringLiteral("command"));
    return clock->elapsed();
}

void typeIntoInput(QWidget *modal, const QString &text)
{
    auto *edit = modal->findChild<QLineEdit *>();
    if (!edit)
        fail(QStringLiteral("no text-input dialog"));
    edit->setText(text);
    QTest::keyClick(edit, Qt::Key_Return);
}

// The operation takes a user away: before each run the user is given back and
// the lists are read again so that they show the user.
Operation withUserRestored(Operation op, const std::function<void()> &restore)
{
    const auto arrange = op.arrange;
    op.arrange = [restore, arrange] {
        restore();
        KelvaneForm->MasterQuery.close();
        KelvaneForm->MasterQuery.open();
        arrange();
    };
    op.resetData = restore;
    op.runs = 3;
    return op;
}

Operation copyAllOp(const QString &label, const QString &source, const QStringList &targets)
{
    return {label,
            [source] {
                selectView(KelvaneForm->ByUserRadio);
                positionMaster(source);
            },
            [targets] {
                return timeCommand(&TKelvaneForm::AllCopyItemClick, [targets](QWidget *modal) {
                    auto *list = modal->findChild<QListWidget *>();
                    for (const QString &target : targets)
                        list->findItems(target, Qt::MatchExactly).value(0)->setSelected(true);
                    modal->findChild<QPushButton *>(QStringLiteral("OKButton"))->click();
                });
            },
            [source] { expectMaster(source); },
            [] {},
            3};
}

Operation renameOp(const QString &label, QRadioButton *view, const QString &user,
                   const QString &relation, const QString &newName)
{
    Operation op{label,
                 [=] {
                     selectView(view);
                     const bool byUser = view == KelvaneForm->ByUserRadio;
                     positionMaster(byUser ? user : relation);
                     db::TQuery &detail = KelvaneForm->DetailQuery;
                     KelvaneForm->LocateRecord(detail, 0, byUser ? relation : user, false);
                     settle();
                 },
                 [newName] {
                     return timeCommand(&TKelvaneForm::RenameItemClick, [newName](QWidget *modal) {
                         typeIntoInput(modal, newName);
                     });
                 },
                 [] { expectGridsFilled(); }};
    return withUserRestored(op, restoreUser(user, newName));
}

Operation removeOp(const QString &label, const QString &user)
{
    Operation op{label,
                 [user] {
                     selectView(KelvaneForm->ByUserRadio);
                     positionMaster(user);
                 },
                 [] {
                     return timeCommand(&TKelvaneForm::RemoveItemClick, [](QWidget *modal) {
                         for (QAbstractButton *button : modal->findChildren<QAbstractButton *>()) {
                             if (button->text() == QLatin1String("&Yes"))
                                 button->click();
                         }
                     });
                 },
                 [] { expectGridsFilled(); }};
    return withUserRestored(op, restoreUser(user));
}

// ---------------------------------------------------------------------------
// Memory, each measurement in a process of its own, since a peak once
// reached never comes down

struct MemoryFigures
{
    QMap<QString, qint64> values;
    [[nodiscard]] qint64 operator[](const char *key) const
    {
        return values.value(QString::fromLatin1(key), -1);
    }
};

// Loads the client library and its plugins and opens one attachment, so
// that a baseline taken after it leaves only what the rows cost.
void warmClientLibrary(const QString &target)
{
    const QString name = QStringLiteral("bench-warm");
    {
        QSqlDatabase db = addBareConnection(target, name);
        if (!db.open())
            fail(QStringLiteral("warm-up connection: %1").arg(db.lastError().text()));
        QSqlQuery query(db);
        query.setForwardOnly(true);
        if (!query.exec(QStringLiteral("SELECT RDB$RELATION_NAME FROM RDB$RELATIONS")))
            fail(QStringLiteral("warm-up query: %1").arg(query.lastError().text()));
        while (query.next())
            (void)query.value(0).toString();
        query.finish();
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
}

void report(const char *key, qint64 value)
{
    std::printf("%s=%lld\n", key, static_cast<long long>(value));
}

int runMemoryChild(const QStringList &args)
{
    // args: mode (program|bare), baseline (cold|warm), steps file, target
    if (args.size() != 4)
        fail(QStringLiteral("memory child: bad arguments"));
    const bool program = args[0] == QLatin1String("program");
    const bool warm = args[1] == QLatin1String("warm");
    QFile file(args[2]);
    if (!file.open(QIODevice::ReadOnly))
        fail(QStringLiteral("memory child: cannot read %1").arg(args[2]));
    const QJsonObject steps = QJsonDocument::fromJson(file.readAll()).object();
    const QString target = args[3];

    if (program) {
        Forms forms;
        KelvaneForm->show();
        settle();
        startWatchdog();
        if (warm)
            warmClientLibrary(target);
        settle();
        const qint64 baseline = procStatusKb("VmHWM");
        const qint64 heapBefore = heapInUse();
        (void)connectThroughDialog();
        positionMaster(QStringLiteral("SYSDBA"));
        expectGridsFilled();
        checkNothingUnexpected(QStringLiteral("memory"));
        report("baseline_kb", baseline);
        report("peak_kb", procStatusKb("VmHWM"));
        report("rss_kb", procStatusKb("VmRSS"));
        report("heap_growth", heapInUse() - heapBefore);
        report("master_rows", KelvaneForm->MasterQuery.recordCount());
        report("detail_rows", KelvaneForm->DetailQuery.recordCount());
        report("priv_rows", KelvaneForm->PrivQuery.recordCount());
        report("procedure_rows", KelvaneForm->Procedures.recordCount());
        report("view_rows", KelvaneForm->ViewsQuery.recordCount());
        return 0;
    }

    BareReplay bare(target, QStringLiteral("bench-memory"));
    const QList<Step> connect = stepsFromJson(steps.value(QStringLiteral("connect")).toArray());
    const QList<Step> move = stepsFromJson(steps.value(QStringLiteral("move")).toArray());
    bare.learn(connect);
    bare.learn(move);
    if (warm)
        warmClientLibrary(target);
    const qint64 baseline = procStatusKb("VmHWM");
    const qint64 heapBefore = heapInUse();
    Held held;
    (void)bare.run(connect, false, &held);
    (void)bare.run(move, false, &held);
    report("baseline_kb", baseline);
    report("peak_kb", procStatusKb("VmHWM"));
    report("rss_kb", procStatusKb("VmRSS"));
    report("heap_growth", heapInUse() - heapBefore);
    qint64 values = 0, padded = 0, trimmed = 0;
    for (const auto &[sql, list] : held) {
        values += qint64(list.size());
        for (const QString &value : list) {
            padded += value.size() * qint64(sizeof(QChar));
            trimmed += trimmedLength(value) * qint64(sizeof(QChar));
        }
    }
    report("held_values", values);
    report("held_padded_bytes", padded);
    report("held_trimmed_bytes", trimmed);
    return 0;
}

MemoryFigures runChild(const QStringList &args)
{
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QCoreApplication::applicationFilePath(),
                QStringList{QStringLiteral("--memory-child")} + args);
    if (!child.waitForFinished(120000) || child.exitStatus() != QProcess::NormalExit ||
        child.exitCode() != 0)
        fail(QStringLiteral("memory child %1 failed").arg(args.join(QLatin1Char(' '))));
    MemoryFigures figures;
    for (const QByteArray &line : child.readAllStandardOutput().split('\n')) {
        const qsizetype equals = line.indexOf('=');
        if (equals > 0)
            figures.values.insert(QString::fromUtf8(line.left(equals)),
                                  line.mid(equals + 1).toLongLong());
    }
    return figures;
}

// ---------------------------------------------------------------------------
// The run

QStringList catalogueFigures(const QString &target)
{
    const QString name = QStringLiteral("bench-catalogue");
    QStringList lines;
    {
        QSqlDatabase db = addBareConnection(target, name);
        if (!db.open())
            fail(QStringLiteral("cannot connect: %1").arg(db.lastError().text()));
        const auto one = [&db](const QString &sql) {
            QSqlQuery query(db);
            query.setForwardOnly(true);
            if (!query.exec(sql) || !query.next())
                fail(QStringLiteral("%1: %2").arg(sql, query.lastError().text()));
            QStringList values;
            for (int i = 0; i < query.record().count(); ++i)
                values.append(query.value(i).toString().trimmed());
            return values;
        };
        const QStringList counts =
            one(QStringLiteral("SELECT COUNT(*), COUNT(DISTINCT RDB$USER), COUNT(DISTINCT "
                               "RDB$RELATION_NAME) FROM RDB$USER_PRIVILEGES"));
        const QStringList objects = one(QStringLiteral(
            "SELECT (SELECT COUNT(*) FROM RDB$RELATIONS WHERE RDB$SYSTEM_FLAG = 0 AND RDB$VIEW_BLR "
            "IS NULL), "
            "(SELECT COUNT(*) FROM RDB$RELATIONS WHERE RDB$SYSTEM_FLAG = 0 AND RDB$VIEW_BLR IS NOT "
            "NULL), "
            "(SELECT COUNT(*) FROM RDB$PROCEDURES WHERE RDB$SYSTEM_FLAG = 0) FROM RDB$DATABASE"));
        const QStringList heavy = one(QStringLiteral(
            "SELECT (SELECT COUNT(*) FROM RDB$USER_PRIVILEGES WHERE RDB$USER = 'SYSDBA'), "
            "(SELECT COUNT(*) FROM RDB$USER_PRIVILEGES WHERE RDB$USER = 'CLERK076'), "
            "(SELECT COUNT(*) FROM RDB$USER_PRIVILEGES WHERE RDB$PRIVILEGE = 'X') FROM "
            "RDB$DATABASE"));
        const QStringList version = one(
            QStringLiteral("SELECT RDB$GET_CONTEXT('SYSTEM', 'ENGINE_VERSION') FROM RDB$DATABASE"));
        lines << QStringLiteral("  objects: %1 tables, %2 views, %3 procedures (Firebird %4)")
                     .arg(objects[0], objects[1], objects[2], version[0]);
        lines
            << QStringLiteral(
                   "  RDB$USER_PRIVILEGES: %1 rows, %2 distinct users, %3 distinct relation names")
                   .arg(counts[0], counts[1], counts[2]);
        lines << QStringLiteral("  rows of SYSDBA (heavy user): %1; of CLERK076 (typical user): "
                                "%2; EXECUTE rows: %3")
                     .arg(heavy[0], heavy[1], heavy[2]);
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    return lines;
}

void printTimingTable(const std::vector<Outcome> &outcomes, int runs)
{
    out();
    out(QStringLiteral(
            "Timings, ms, median of %1 runs after one warm-up, program and bare loop taking turns.")
            .arg(runs));
    out(QStringLiteral(
        "  program: the real window, from the action to both grids repainted; bare: the same "
        "statements through QIBASE,"));
    out(QStringLiteral(
        "  forward-only, every value read as text. cpu: this process's CPU time in the same "
        "span (the server's is not in it)."));
    out(QStringLiteral("%1 %2 %3 %4 %5 %6 %7 %8 %9")
            .arg(QStringLiteral("operation"), -46)
            .arg(QStringLiteral("rows"), 6)
            .arg(QStringLiteral("program"), 8)
            .arg(QStringLiteral("bare"), 7)
            .arg(QStringLiteral("ratio"), 6)
            .arg(QStringLiteral("min p/b"), 12)
            .arg(QStringLiteral("cpu prog"), 9)
            .arg(QStringLiteral("cpu bare"), 9)
            .arg(QStringLiteral("extra cpu"), 10));
    int over = 0;
    for (const Outcome &outcome : outcomes) {
        const double program = median(wallOf(outcome.program));
        const double bare = median(wallOf(outcome.bare));
        const double ratio = program / bare;
        if (ratio > 1.3)
            ++over;
        const QList<double> programWall = wallOf(outcome.program);
        const QList<double> bareWall = wallOf(outcome.bare);
        const double programMin = *std::min_element(programWall.begin(), programWall.end());
        const double bareMin = *std::min_element(bareWall.begin(), bareWall.end());
        const double programCpu = median(cpuOf(outcome.program));
        const double bareCpu = median(cpuOf(outcome.bare));
        out(QStringLiteral("%1 %2 %3 %4 %5 %6 %7 %8 %9%10")
                .arg(outcome.label, -46)
                .arg(outcome.rows.rows, 6)
                .arg(program, 8, 'f', 1)
                .arg(bare, 7, 'f', 1)
                .arg(ratio, 6, 'f', 2)
                .arg(QStringLiteral("%1/%2").arg(programMin, 0, 'f', 1).arg(bareMin, 0, 'f', 1), 12)
                .arg(programCpu, 9, 'f', 1)
                .arg(bareCpu, 9, 'f', 1)
                .arg(programCpu - bareCpu, 10, 'f', 1)
                .arg(ratio > 1.3 ? QStringLiteral("  > 1.3") : QString()));
    }
    out(over == 0 ? QStringLiteral("Every ratio is at most 1.3.")
                  : QStringLiteral("%1 ratio(s) above 1.3.").arg(over));
}

void printMemory(const MemoryFigures &programCold, const MemoryFigures &programWarm,
                 const MemoryFigures &bareCold, const MemoryFigures &bareWarm)
{
    const double padded = double(bareCold["held_padded_bytes"]);
    const double trimmed = double(bareCold["held_trimmed_bytes"]);
    const auto growth = [](const MemoryFigures &f) {
        return double(f["peak_kb"] - f["baseline_kb"]) * 1024.0;
    };
    out();
    out(QStringLiteral(
        "Memory: connect By User, then move onto SYSDBA; each line a fresh process."));
    out(QStringLiteral(
        "  peak growth = VmHWM (peak resident set, /proc/self/status) at the end minus VmHWM "
        "just before connecting;"));
    out(QStringLiteral(
        "  'warm' baselines are taken after one throwaway connection has loaded the client "
        "library and its plugins;"));
    out(QStringLiteral(
        "  heap = malloc's bytes in use (mallinfo2 uordblks + hblkhd), end minus baseline."));
    out(QStringLiteral(
            "  rows held at once: master %1 + detail %2 + privileges %3 + procedures %4 + views %5 "
            "rows = %6 values")
            .arg(programCold["master_rows"])
            .arg(programCold["detail_rows"])
            .arg(programCold["priv_rows"])
            .arg(programCold["procedure_rows"])
            .arg(programCold["view_rows"])
            .arg(bareCold["held_values"]));
    out(QStringLiteral("  their text as delivered (UTF-16, CHAR padding included): %1; trimmed: %2")
            .arg(kib(padded), kib(trimmed)));
    out(QStringLiteral("  %1 %2 %3 %4 %5")
            .arg(QString(), -34)
            .arg(QStringLiteral("peak growth"), 14)
            .arg(QStringLiteral("x padded"), 9)
            .arg(QStringLiteral("x trimmed"), 10)
            .arg(QStringLiteral("heap"), 12));
    const struct
    {
        const char *label;
        const MemoryFigures &figures;
    } lines[] = {{"program, cold baseline", programCold},
                 {"program, warm baseline", programWarm},
                 {"bare loop holding rows, cold", bareCold},
                 {"bare loop holding rows, warm", bareWarm}};
    for (const auto &line : lines) {
        out(QStringLiteral("  %1 %2 %3 %4 %5")
                .arg(QString::fromLatin1(line.label), -34)
                .arg(kib(growth(line.figures)), 14)
                .arg(growth(line.figures) / padded, 9, 'f', 2)
                .arg(growth(line.figures) / trimmed, 10, 'f', 1)
                .arg(kib(double(line.figures["heap_growth"])), 12));
    }
    const auto verdict = [](bool met) {
        return met ? QStringLiteral("met") : QStringLiteral("NOT met");
    };
    out(QStringLiteral(
            "  target, program peak growth (cold) within 3 x the rows as delivered (%1): %2")
            .arg(kib(3 * padded), verdict(growth(programCold) <= 3 * padded)));
    out(QStringLiteral("  target, program peak growth (cold) within 3 x the rows trimmed (%1): %2")
            .arg(kib(3 * trimmed), verdict(growth(programCold) <= 3 * trimmed)));
}

int runBench(int runs, bool listStatements)
{
    out(QStringLiteral("kelvane_bench: %1")
            .arg(QCoreApplication::arguments().join(QLatin1Char(' '))));
    out(QStringLiteral("machine: nproc %1, %2; Qt %3; QT_QPA_PLATFORM=%4; %5 build")
            .arg(sysconf(_SC_NPROCESSORS_ONLN))
            .arg(cpuModel(), QString::fromLatin1(qVersion()),
                 qEnvironmentVariable("QT_QPA_PLATFORM"),
#ifdef NDEBUG
                 QStringLiteral("optimised")
#else
                 QStringLiteral("debug")
#endif
                     ));
    out(QStringLiteral("load average at start: %1").arg(loadAverage()));
    out(QStringLiteral("server: port %1, folder %2")
            .arg(testserver::port(), qEnvironmentVariable("KELVANE_FB_DIR")));

    QElapsedTimer total;
    total.start();
    testserver::TestDatabase database(QStringLiteral("bench"));
    {
        QElapsedTimer clock;
        clock.start();
        for (const QString &script : catalogueScripts())
            database.run(script);
        out();
        out(QStringLiteral("Catalogue (filled in %1 s):").arg(msSince(clock) / 1000, 0, 'f', 1));
    }
    for (const QString &line : catalogueFigures(database.connectionString()))
        out(line);

    testserver::AliasFile aliases(
        {{Alias, QStringLiteral("INTRBASE"), database.connectionString()}});
    BareReplay bare(database.connectionString(), QStringLiteral("bench-bare"));
    QList<Step> connectSteps;
    QList<Step> heavyMoveSteps;
    {
        Forms forms;
        KelvaneForm->show();
        settle();
        startWatchdog();
        Bench bench(bare, runs, listStatements);

        out();
        out(QStringLiteral("By User (master: users; detail: every relation name):"));
        connectSteps = bench.measure(connectOp(QStringLiteral("(a) connect, By User"))).steps;
        heavyMoveSteps = bench
                             .measure(moveDown(QStringLiteral("(b) move onto SYSDBA (heavy user)"),
                                               QStringLiteral("PUBLIC"), QStringLiteral("SYSDBA")))
                             .steps;
        bench.measure(moveDown(QStringLiteral("(b) move onto CLERK076 (typical user)"),
                               QStringLiteral("CLERK075"), QStringLiteral("CLERK076")));
        bench.measure(jump(QStringLiteral("(c) type-ahead W from the top -> WORKER001"), Qt::Key_W,
                           QStringLiteral("WORKER001")));
        bench.measure(refresh(QStringLiteral("(d) refresh on SYSDBA (heavy user)"),
                              QStringLiteral("SYSDBA")));
        bench.measure(refresh(QStringLiteral("(d) refresh on CLERK076 (typical user)"),
                              QStringLiteral("CLERK076")));
        bench.measure(switchView(QStringLiteral("(e) switch to By Relation, last relation"),
                                 KelvaneForm->ByUserRadio, KelvaneForm->ByTableRadio,
                                 QStringLiteral("CLERK076")));
        bench.measure(copyAllOp(QStringLiteral("(f) copy ALL of CLERK076 to 2 users"),
                                QStringLiteral("CLERK076"),
                                {QStringLiteral("CLERK077"), QStringLiteral("CLERK078")}));
        bench.measure(renameOp(QStringLiteral("(g) rename CLERK080"), KelvaneForm->ByUserRadio,
                               QStringLiteral("CLERK080"), QStringLiteral("T0001"),
                               QStringLiteral("RENAMED1")));
        bench.measure(removeOp(QStringLiteral("(h) remove CLERK081"), QStringLiteral("CLERK081")));

        out();
        out(QStringLiteral("By Relation (master: relation names; detail: every user):"));
        selectView(KelvaneForm->ByTableRadio);
        bench.measure(connectOp(QStringLiteral("(a) connect, By Relation")));
        bench.measure(moveDown(QStringLiteral("(b) move onto T1000 (typical table)"),
                               QStringLiteral("T0999"), QStringLiteral("T1000")));
        bench.measure(moveDown(QStringLiteral("(b) move onto P002 (procedure)"),
                               QStringLiteral("P001"), QStringLiteral("P002")));
        bench.measure(jump(QStringLiteral("(c) type-ahead V from the top -> V001"), Qt::Key_V,
                           QStringLiteral("V001")));
        bench.measure(refresh(QStringLiteral("(d) refresh on T1000"), QStringLiteral("T1000")));
        bench.measure(switchView(QStringLiteral("(e) switch to By User, last user"),
                                 KelvaneForm->ByTableRadio, KelvaneForm->ByUserRadio,
                                 QStringLiteral("T1000")));
        {
            const Outcome &rename = bench.measure(renameOp(
                QStringLiteral("(g) rename CLERK082, By Relation"), KelvaneForm->ByTableRadio,
                QStringLiteral("CLERK082"), QStringLiteral("T1000"), QStringLiteral("RENAMED2")));
            const double reads = rename.rows.readMs;
            out(QStringLiteral("      share of the bare rename spent in the per-relation re-reads: "
                               "%1 of %2 ms (%3%)")
                    .arg(reads, 0, 'f', 0)
                    .arg(reads + rename.rows.statementMs, 0, 'f', 0)
                    .arg(100 * reads / (reads + rename.rows.statementMs), 0, 'f', 0));
        }

        printTimingTable(bench.outcomes(), runs);
    }
    const qint64 bareCharacters = bare.sink();
    bare.disconnect();

    QTemporaryDir scratch;
    const QString stepsPath = scratch.filePath(QStringLiteral("steps.json"));
    {
        QFile file(stepsPath);
        if (!file.open(QIODevice::WriteOnly))
            fail(QStringLiteral("cannot write %1").arg(stepsPath));
        file.write(QJsonDocument(QJsonObject{{QStringLiteral("connect"), toJson(connectSteps)},
                                             {QStringLiteral("move"), toJson(heavyMoveSteps)}})
                       .toJson());
    }
    const QString target = database.connectionString();
    const auto child = [&](const char *mode, const char *baseline) {
        return runChild(
            {QString::fromLatin1(mode), QString::fromLatin1(baseline), stepsPath, target});
    };
    const MemoryFigures programCold = child("program", "cold");
    const MemoryFigures programWarm = child("program", "warm");
    const MemoryFigures bareCold = child("bare", "cold");
    const MemoryFigures bareWarm = child("bare", "warm");
    printMemory(programCold, programWarm, bareCold, bareWarm);

    out();
    // Printed so that the bare loop's reads cannot be optimised away.
    out(QStringLiteral("load average at end: %1").arg(loadAverage()));
    out(QStringLiteral("Total %1 s (bare loop read %2 characters)")
            .arg(msSince(total) / 1000, 0, 'f', 1)
            .arg(bareCharacters));
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    // The window is driven, never looked at; offscreen keeps the figures
    // free of any display server's costs.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    ui::Application::setTitle(QStringLiteral("Kelvane"));

    const QStringList args = QCoreApplication::arguments().mid(1);
    try {
        if (args.value(0) == QLatin1String("--memory-child"))
            return runMemoryChild(args.mid(1));
        int runs = 9;
        bool listStatements = false;
        for (int i = 0; i < args.size(); ++i) {
            if (args[i] == QLatin1String("--runs") && i + 1 < args.size()) {
                runs = std::max(1, args[++i].toInt());
            } else if (args[i] == QLatin1String("--statements")) {
                listStatements = true;
            } else {
                std::fprintf(stderr, "usage: kelvane_bench [--runs N] [--statements]\n");
                return 2;
            }
        }
        return runBench(runs, listStatements);
    } catch (const std::exception &e) {
        std::fprintf(stderr, "kelvane_bench: %s\n", e.what());
        return 1;
    }
}
