// What the benchmark's files share: the catalogue's shape, the bare loop that
// replays the program's statements, the driving of the main window and the
// operations that are measured.
#pragma once

#include "db/Client.h"
#include "db/Exception.h"

#include <QElapsedTimer>
#include <QEvent>
#include <QJsonArray>
#include <QList>
#include <QMap>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>

#include <functional>
#include <map>
#include <memory>
#include <stdexcept>
#include <vector>

class QRadioButton;
class QWidget;

namespace kbench {

// Counts a widget's paint events: a grid that was not repainted did not
// show the operation's result.
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

// ---------------------------------------------------------------------------
// The catalogue

constexpr int TableCount = 1900;
constexpr int ViewCount = 100;
constexpr int ProcedureCount = 200;
constexpr int UserCount = 300;
constexpr int TablesPerUser = 120;
constexpr int ViewsPerUser = 10;
constexpr int ProceduresPerUser = 40;
// The other kinds a GRANT names, in about the proportions a business database
// has them: each user uses some sequences and functions, a package or two and
// one role; each procedure reads a few tables through grants of its own.
constexpr int SequenceCount = 100;
constexpr int FunctionCount = 40;
constexpr int PackageCount = 20;
constexpr int RoleCount = 10;
constexpr int SequencesPerUser = 10;
constexpr int FunctionsPerUser = 4;
constexpr int PackagesPerUser = 2;
constexpr int TablesPerProcedure = 3;

inline const QString Alias = QStringLiteral("BENCH");

QStringList catalogueScripts();
QStringList catalogueFigures(const QString &target);

// ---------------------------------------------------------------------------
// Small helpers

class BenchError : public std::runtime_error
{
public:
    explicit BenchError(const QString &message) : std::runtime_error(message.toStdString()) {}
};

[[noreturn]] void fail(const QString &message);

// A connection of the bench's own through the client interface the program
// uses, logged in as the program is, with one read-only READ COMMITTED
// transaction kept for its reads as the program keeps one. Every failure is
// a BenchError whose message starts with where.
class BenchConnection
{
public:
    BenchConnection(const QString &target, const QString &where);
    BenchConnection(const BenchConnection &) = delete;
    BenchConnection &operator=(const BenchConnection &) = delete;

    [[nodiscard]] db::client::Attachment &attachment() { return *m_attachment; }
    [[nodiscard]] db::client::Transaction &reading() { return *m_reading; }

    // Changes to the catalogue, all in one transaction of their own, which
    // commits them at the end.
    void execute(const QStringList &statements);
    // Every row of a query, each value as text; parameters are "?", by
    // position.
    [[nodiscard]] QList<QStringList> rows(const QString &sql, const QStringList &params = {});

private:
    QString m_where;
    // The transaction ends before the attachment is detached.
    std::unique_ptr<db::client::Attachment> m_attachment;
    std::unique_ptr<db::client::Transaction> m_reading;
};

// Runs the action, turning what the client reports into a BenchError that
// says where it happened.
template <typename Action> auto guarded(const QString &where, Action &&action)
{
    try {
        return action();
    } catch (const kelvane::Exception &error) {
        fail(QStringLiteral("%1: %2").arg(where, error.message()));
    }
}

void out(const QString &line = {});
double msSince(const QElapsedTimer &clock);
double processCpuMs();
double median(QList<double> values);
QString kib(double bytes);
qint64 procStatusKb(const char *key);
qint64 heapInUse();
qsizetype trimmedLength(const QString &value);
void settle();
QString loadAverage();
QString cpuModel();

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

QList<Step> parseLog(const QStringList &lines);
QString describe(const Step &step);
QJsonArray toJson(const QList<Step> &steps);
QList<Step> stepsFromJson(const QJsonArray &array);

// GRANT and REVOKE: what an editing command changes, as against what it reads.
bool isChange(const QString &sql);
// The steps that change the catalogue, their prepares included.
QList<Step> changesOf(const QList<Step> &steps);
int changeCount(const QList<Step> &steps);

// ---------------------------------------------------------------------------
// The bare loop: the same statements through the same client interface,
// nothing else

struct FetchStats
{
    qint64 rows = 0;
    qint64 values = 0;
    // UTF-16 bytes of the values as the client interface delivers them: a
    // CHAR comes without its padding already.
    qint64 deliveredBytes = 0;
    qint64 trimmedBytes = 0; // the same without any trailing blanks left
    QList<qint64> rowsPerStep;
    QList<double> msPerStep; // of the reads, beside rowsPerStep
    // Time spent on GRANT and REVOKE statements, prepares included, and on
    // everything else: the reads.
    double statementMs = 0;
    double readMs = 0;
};

using Held = std::map<QString, std::vector<QString>>;

// The program's statements sent again as plainly as the client interface
// allows, on a connection of the bench's own kept as the program keeps its
// own: each read prepared once and kept for as long as the connection
// lasts, every read in the one read-only READ COMMITTED transaction, and
// each GRANT and REVOKE executed on its own in a transaction of its own.
class BareReplay
{
public:
    explicit BareReplay(const QString &target);
    ~BareReplay();
    BareReplay(const BareReplay &) = delete;
    BareReplay &operator=(const BareReplay &) = delete;

    void disconnect();
    // Before the clock: what the program had already done before the
    // operation (connected, prepared) is done here too.
    void arrange(const QList<Step> &steps);
    // With sizes, every value is also measured, which the timed runs must
    // not pay for; with held, values are kept as the program keeps its rows.
    FetchStats run(const QList<Step> &steps, bool sizes = false, Held *held = nullptr);

    // The connection itself, connected first if it is not: the bench also
    // puts the catalogue back and checks it through it.
    [[nodiscard]] BenchConnection &connection();
    [[nodiscard]] qint64 sink() const { return m_sink; }

private:
    void open();
    db::client::Statement &prepare(const QString &sql);
    void execute(const Step &step);
    void fetch(db::client::Cursor &cursor, FetchStats &stats, bool sizes,
               std::vector<QString> *keep);

    const QString m_target;
    // Declared before the statements, which go first: they are freed on its
    // attachment.
    std::unique_ptr<BenchConnection> m_connection;
    std::map<QString, std::unique_ptr<db::client::Statement>> m_prepared;
    qint64 m_sink = 0;
};

// The bench's own connection while the bench runs: the bare loop's, through
// which the editing commands' catalogue is put back between runs and
// checked after them.
void setBenchConnection(BareReplay *bare);
[[nodiscard]] BenchConnection &benchConnection();

// ---------------------------------------------------------------------------
// Driving the main window

void startWatchdog();
void checkNothingUnexpected(const QString &where);
// While set, a modal dialog is the operation's to answer, not the watchdog's.
void expectCommandDialog(bool expected);
Timing connectThroughDialog();
void positionMaster(const QString &name);
void positionDetail(const QString &name);
void expectMaster(const QString &name);
void expectDetail(const QString &name);
void expectGridsFilled();
Timing timeKey(int key);
Timing timeRefresh();
void selectView(QRadioButton *radio);

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
    // An editing command: its bare loop is its GRANT and REVOKE statements
    // alone, without the reads around them.
    bool changesOnly = false;
    // Run at least this often, whatever --runs says: one run of a move's
    // few milliseconds, or one difference of a connect's two runs with and
    // without the delay, tells more of the machine's load than of the
    // program.
    int atLeastRuns = 0;
};

// How often a move or a connect is measured at the least.
constexpr int LeastRuns = 9;
// And Save as SQL: one run of its two-thirds of a second beside a bare read
// swung its ratio from 1.06 to 1.36.
constexpr int LeastExportRuns = 5;

struct Outcome
{
    QString label;
    QList<Timing> program;
    QList<Timing> bare;
    FetchStats rows;
    QList<Step> steps;
    int fewestDetailPaints = 0;
    int statements = 0; // GRANT and REVOKE statements the program sent
    // Through the delaying proxy: each run of the program and of the bare
    // loop again with the delay on, and the round trips the program's run
    // made as the proxy counted them.
    QList<Timing> programDelayed;
    QList<Timing> bareDelayed;
    QList<qint64> turns;
    bool changesOnly = false;
    QString failure; // why the operation could not be measured
};

QList<double> wallOf(const QList<Timing> &timings);
QList<double> cpuOf(const QList<Timing> &timings);

class DelayProxy;

class Bench
{
public:
    // With a proxy, every run is made twice, the second time with the
    // round trip of rttMs.
    Bench(BareReplay &bare, int runs, bool listStatements, DelayProxy *proxy = nullptr,
          int rttMs = 0);

    const Outcome &measure(const Operation &op);
    [[nodiscard]] const std::vector<Outcome> &outcomes() const { return m_outcomes; }

private:
    Outcome run(const Operation &op);
    // Runs the action with the proxy's delay on.
    Timing delayed(const std::function<Timing()> &action);

    BareReplay &m_bare;
    const int m_runs;
    const bool m_listStatements;
    DelayProxy *m_proxy;
    const int m_rttMs;
    PaintCounter *m_detailPaints;
    std::vector<Outcome> m_outcomes;
};

void printTimingTable(const std::vector<Outcome> &outcomes, int runs);
// The round trips each operation cost at rttMs: (time through the delaying
// proxy - time on the loopback) / rttMs, median and spread over the runs,
// beside the round trips the proxy counted.
void printRoundTrips(const std::vector<Outcome> &outcomes, int rttMs);
// Each figure the program is held to beside its goal, and whether it is met;
// round trips need a run through the delaying proxy (rttMs > 0).
void printGoals(const std::vector<Outcome> &outcomes, int rttMs, double exportRatio,
                double compareRatio);

// Browsing
Operation connectOp(const QString &label);
Operation moveDown(const QString &label, const QString &from, const QString &to);
Operation jump(const QString &label, int key, const QString &to);
Operation refresh(const QString &label, const QString &at);
Operation switchView(const QString &label, QRadioButton *from, QRadioButton *to,
                     const QString &master);

// One toggle, Ctrl+S on the SELECT cell of the user on the relation, By User:
// on an empty cell where `on`, on a held one otherwise.
Operation toggleOp(const QString &label, const QString &user, const QString &relation, bool on);
// SELECT granted to the user on every relation the list shows: every table
// and view, and the system's tables unless the list hides them.
Operation eachRelationOp(const QString &label, const QString &user);
// Editing commands, in the view given; the relation is the other half of the
// pair the window stands on.
Operation copyAllOp(const QString &label, const QString &source, const QStringList &targets);
Operation renameOp(const QString &label, QRadioButton *view, const QString &user,
                   const QString &relation, const QString &newName);
Operation removeOp(const QString &label, QRadioButton *view, const QString &user,
                   const QString &relation);
Operation copyNewAllOp(const QString &label, QRadioButton *view, const QString &user,
                       const QString &relation, const QString &newName);

// Saving the whole catalogue as SQL on a connection of the program's engine
// to the alias, timed over the runs beside a bare read of the catalogue
// through the connection string, at least LeastExportRuns times.
// Returns the export's time over that of a bare read of every row.
double measureExport(const QString &target, int runs);
// The catalogue read twice and compared with itself, as `kelvane --diff`
// does, beside two bare reads of it. Returns the ratio of the two.
double measureCompare(const QString &target, int runs);

// ---------------------------------------------------------------------------
// Memory, each measurement in a process of its own

struct MemoryFigures
{
    QMap<QString, qint64> values;
    [[nodiscard]] qint64 operator[](const char *key) const
    {
        return values.value(QString::fromLatin1(key), -1);
    }
};

int runMemoryChild(const QStringList &args);
MemoryFigures runChild(const QStringList &args);
void printMemory(const MemoryFigures &programCold, const MemoryFigures &programWarm,
                 const MemoryFigures &bareCold, const MemoryFigures &bareWarm);

} // namespace kbench
