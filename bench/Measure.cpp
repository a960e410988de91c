// Measuring an operation: a warm-up run that records what the program sends,
// then the program and the bare loop taking turns; and the table of results.
#include "Bench.h"

#include "Proxy.h"

#include "TestServer.h"
#include "app/Forms.h"
#include "app/PrivEdit.h"
#include "ui/DBGrid.h"

#include <QApplication>

#include <algorithm>
#include <climits>
#include <optional>

namespace kbench {

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

Bench::Bench(BareReplay &bare, int runs, bool listStatements, DelayProxy *proxy, int rttMs)
    : m_bare(bare), m_runs(runs), m_listStatements(listStatements), m_proxy(proxy), m_rttMs(rttMs)
{
    m_detailPaints = new PaintCounter(qApp);
    KelvaneForm->DetailGrid->viewport()->installEventFilter(m_detailPaints);
}

Outcome Bench::run(const Operation &op)
{
    Outcome outcome;
    outcome.label = op.label;
    outcome.changesOnly = op.changesOnly;
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
    outcome.statements = changeCount(outcome.steps);
    if (op.changesOnly && outcome.statements == 0)
        fail(QStringLiteral("%1: the program sent no GRANT or REVOKE").arg(op.label));
    // Once with everything, reads included, for the rows and for the split
    // of the time between reads and changes.
    op.resetData();
    m_bare.arrange(outcome.steps);
    outcome.rows = m_bare.run(outcome.steps, true);
    // An editing command is held against its changes alone: the reads
    // around them are the program's overhead, not part of the yardstick.
    const QList<Step> replay = op.changesOnly ? changesOf(outcome.steps) : outcome.steps;

    outcome.fewestDetailPaints = INT_MAX;
    const int runs = std::max(m_runs, op.atLeastRuns);
    for (int run = 0; run < runs; ++run) {
        op.arrange();
        m_detailPaints->count = 0;
        const qint64 turnsBefore = m_proxy ? m_proxy->turns() : 0;
        outcome.program.append(op.act());
        if (m_proxy)
            outcome.turns.append(m_proxy->turns() - turnsBefore);
        outcome.fewestDetailPaints = std::min(outcome.fewestDetailPaints, m_detailPaints->count);
        op.check();
        checkNothingUnexpected(op.label);

        const auto bareRun = [&] {
            Stopwatch clock;
            clock.start();
            (void)m_bare.run(replay);
            return clock.elapsed();
        };
        op.resetData();
        m_bare.arrange(replay);
        outcome.bare.append(bareRun());
        if (!m_proxy)
            continue;
        // The same again at the delay; arranging and putting the catalogue
        // back go at the loopback's pace.
        op.arrange();
        outcome.programDelayed.append(delayed(op.act));
        op.check();
        checkNothingUnexpected(op.label);
        op.resetData();
        m_bare.arrange(replay);
        outcome.bareDelayed.append(delayed(bareRun));
    }
    if (outcome.fewestDetailPaints == 0)
        fail(QStringLiteral("%1: the detail grid was not repainted").arg(op.label));
    return outcome;
}

Timing Bench::delayed(const std::function<Timing()> &action)
{
    m_proxy->setOneWayDelay(m_rttMs / 2);
    const auto loopback = qScopeGuard([this] { m_proxy->setOneWayDelay(0); });
    return action();
}

const Outcome &Bench::measure(const Operation &op)
{
    Outcome outcome;
    if (op.changesOnly) {
        // A command that fails is reported, and the other operations still
        // run: one defect should not hide the figures of the rest.
        try {
            outcome = run(op);
        } catch (const BenchError &error) {
            outcome = Outcome();
            outcome.label = op.label;
            outcome.changesOnly = true;
            outcome.failure = QString::fromStdString(error.what());
            out(QStringLiteral("  %1: FAILED: %2").arg(op.label, outcome.failure));
            m_outcomes.push_back(outcome);
            return m_outcomes.back();
        }
    } else {
        outcome = run(op);
    }

    const double program = median(wallOf(outcome.program));
    const double bare = median(wallOf(outcome.bare));
    if (op.changesOnly) {
        const int reads = int(outcome.rows.rowsPerStep.size());
        out(QStringLiteral("  %1: program %2 ms, bare %3 ms for its %4 GRANT/REVOKE, ratio %5; "
                           "the program also read %6 times (%7 rows, %8 ms in the bare loop)")
                .arg(op.label)
                .arg(program, 0, 'f', 1)
                .arg(bare, 0, 'f', 1)
                .arg(outcome.statements)
                .arg(program / bare, 0, 'f', 2)
                .arg(reads)
                .arg(outcome.rows.rows)
                .arg(outcome.rows.readMs, 0, 'f', 1));
    } else {
        out(QStringLiteral("  %1: program %2 ms, bare %3 ms, ratio %4 (%5 rows)")
                .arg(op.label)
                .arg(program, 0, 'f', 1)
                .arg(bare, 0, 'f', 1)
                .arg(program / bare, 0, 'f', 2)
                .arg(outcome.rows.rows));
    }
    if (m_listStatements) {
        for (int i = 0, open = 0; i < outcome.steps.size(); ++i) {
            const Step &step = outcome.steps[i];
            QString line = QStringLiteral("      ") + describe(step);
            if (step.kind == Step::Open) {
                line += QStringLiteral(" -> %1 rows, %2 ms")
                            .arg(outcome.rows.rowsPerStep.value(open))
                            .arg(outcome.rows.msPerStep.value(open), 0, 'f', 1);
                ++open;
            }
            out(line);
        }
    }
    m_outcomes.push_back(outcome);
    return m_outcomes.back();
}

void printTimingTable(const std::vector<Outcome> &outcomes, int runs)
{
    out();
    out(QStringLiteral(
            "Timings, ms, median of %1 runs (a move's and a connect's of at least %2) after one "
            "warm-up, program and bare loop taking turns.")
            .arg(runs)
            .arg(std::max(runs, LeastRuns)));
    out(QStringLiteral(
        "  program: the real window, from the action to both grids repainted; bare: the same "
        "statements through Firebird's client"));
    out(QStringLiteral(
        "  interface, each prepared once per connection and kept, the reads in one kept "
        "read-only transaction, every value read"));
    out(QStringLiteral(
        "  as text; for an editing command (stmts > 0) only its GRANT and REVOKE statements, "
        "each in a transaction of its own,"));
    out(QStringLiteral("  reads excluded, and rows are those its reads fetch. cpu: this process's "
                       "CPU time in the same span (the server's is not in it)."));
    out(QStringLiteral("%1 %2 %3 %4 %5 %6 %7 %8 %9 %10")
            .arg(QStringLiteral("operation"), -46)
            .arg(QStringLiteral("rows"), 6)
            .arg(QStringLiteral("stmts"), 5)
            .arg(QStringLiteral("program"), 8)
            .arg(QStringLiteral("bare"), 7)
            .arg(QStringLiteral("ratio"), 6)
            .arg(QStringLiteral("min p/b"), 13)
            .arg(QStringLiteral("cpu prog"), 9)
            .arg(QStringLiteral("cpu bare"), 9)
            .arg(QStringLiteral("extra cpu"), 10));
    int over = 0;
    int failed = 0;
    for (const Outcome &outcome : outcomes) {
        if (!outcome.failure.isEmpty() || outcome.program.isEmpty()) {
            ++failed;
            out(QStringLiteral("%1 FAILED, see above").arg(outcome.label, -46));
            continue;
        }
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
        out(QStringLiteral("%1 %2 %3 %4 %5 %6 %7 %8 %9 %10%11")
                .arg(outcome.label, -46)
                .arg(outcome.rows.rows, 6)
                .arg(outcome.statements, 5)
                .arg(program, 8, 'f', 1)
                .arg(bare, 7, 'f', 1)
                .arg(ratio, 6, 'f', 2)
                .arg(QStringLiteral("%1/%2").arg(programMin, 0, 'f', 1).arg(bareMin, 0, 'f', 1), 13)
                .arg(programCpu, 9, 'f', 1)
                .arg(bareCpu, 9, 'f', 1)
                .arg(programCpu - bareCpu, 10, 'f', 1)
                .arg(ratio > 1.3 ? QStringLiteral("  > 1.3") : QString()));
    }
    out(over == 0 ? QStringLiteral("Every ratio measured is at most 1.3.")
                  : QStringLiteral("%1 ratio(s) above 1.3.").arg(over));
    if (failed > 0)
        out(QStringLiteral("%1 operation(s) failed and have no figures.").arg(failed));
}

namespace {

// Round trips of each run: the time the delay added, in round trips.
QList<double> roundTrips(const QList<Timing> &delayed, const QList<Timing> &loopback, int rttMs)
{
    QList<double> trips;
    for (qsizetype i = 0; i < std::min(delayed.size(), loopback.size()); ++i)
        trips.append((delayed[i].wall - loopback[i].wall) / rttMs);
    return trips;
}

QString spread(const QList<double> &values)
{
    if (values.isEmpty())
        return QStringLiteral("-");
    const auto [low, high] = std::minmax_element(values.begin(), values.end());
    return QStringLiteral("%1 (%2-%3)")
        .arg(median(values), 0, 'f', 1)
        .arg(*low, 0, 'f', 1)
        .arg(*high, 0, 'f', 1);
}

} // namespace

void printRoundTrips(const std::vector<Outcome> &outcomes, int rttMs)
{
    out();
    out(QStringLiteral("Round trips at %1 ms: (time through the delaying proxy - time on the "
                       "loopback) / %1 ms, median (min-max) of the runs;")
            .arg(rttMs));
    out(QStringLiteral("  counted: the times the server answered the program after it had "
                       "spoken, as the proxy saw them (min-max); ms: the program's median time "
                       "at %1 ms.")
            .arg(rttMs));
    out(QStringLiteral("%1 %2 %3 %4 %5 %6")
            .arg(QStringLiteral("operation"), -46)
            .arg(QStringLiteral("stmts"), 5)
            .arg(QStringLiteral("program"), 20)
            .arg(QStringLiteral("counted"), 12)
            .arg(QStringLiteral("bare"), 20)
            .arg(QStringLiteral("ms"), 9));
    for (const Outcome &outcome : outcomes) {
        if (!outcome.failure.isEmpty() || outcome.programDelayed.isEmpty()) {
            out(QStringLiteral("%1 no figures").arg(outcome.label, -46));
            continue;
        }
        QList<double> turns;
        for (qint64 count : outcome.turns)
            turns.append(double(count));
        const auto [fewest, most] = std::minmax_element(turns.begin(), turns.end());
        out(QStringLiteral("%1 %2 %3 %4 %5 %6")
                .arg(outcome.label, -46)
                .arg(outcome.statements, 5)
                .arg(spread(roundTrips(outcome.programDelayed, outcome.program, rttMs)), 20)
                .arg(QStringLiteral("%1-%2").arg(*fewest).arg(*most), 12)
                .arg(spread(roundTrips(outcome.bareDelayed, outcome.bare, rttMs)), 20)
                .arg(median(wallOf(outcome.programDelayed)), 9, 'f', 1));
    }
}

} // namespace kbench

namespace kbench {

namespace {

enum class Figure
{
    Milliseconds,
    Statements,
    RatioToBare,
    RoundTripsTimed,
    RoundTripsCounted
};

struct Goal
{
    const char *operation; // the start of the operation's label
    Figure figure;
    double most;
};

// What the program is held to at 100,000 rows.
constexpr Goal Goals[] = {
    {"(e) switch to By Relation", Figure::Milliseconds, 100},
    {"(e) switch to By Relation", Figure::Statements, 2},
    {"(e) switch to By User", Figure::Milliseconds, 100},
    {"(e) switch to By User", Figure::Statements, 2},
    {"(b) move onto CLERK076", Figure::RatioToBare, 1.5},
    {"(b) move onto SYSDBA", Figure::RatioToBare, 1.5},
    {"(a) connect, By User", Figure::RoundTripsTimed, 12},
    {"(a) connect, By User", Figure::RoundTripsCounted, 12},
    {"(i) remove CLERK081", Figure::RoundTripsTimed, 10},
    {"(i) remove CLERK081", Figure::RoundTripsCounted, 10},
    {"(d) toggle SELECT of CLERK076", Figure::RoundTripsTimed, 4},
    {"(d) toggle SELECT of CLERK076", Figure::RoundTripsCounted, 4},
    {"(d) toggle SELECT off", Figure::RoundTripsTimed, 4},
    {"(d) toggle SELECT off", Figure::RoundTripsCounted, 4},
    {"(j) grant SELECT on every relation", Figure::RoundTripsTimed, 15},
    {"(j) grant SELECT on every relation", Figure::RoundTripsCounted, 15},
};

const char *figureName(Figure figure)
{
    switch (figure) {
    case Figure::Milliseconds:
        return "ms";
    case Figure::Statements:
        return "statements";
    case Figure::RatioToBare:
        return "x bare loop";
    case Figure::RoundTripsTimed:
        return "round trips, timed";
    case Figure::RoundTripsCounted:
        return "round trips, counted";
    }
    return "";
}

int statementsOf(const Outcome &outcome)
{
    // One run's steps: what reached the server as a statement of its own.
    return int(std::count_if(outcome.steps.begin(), outcome.steps.end(), [](const Step &step) {
        return step.kind == Step::Open || step.kind == Step::Execute;
    }));
}

std::optional<double> figureOf(const Outcome &outcome, Figure figure, int rttMs)
{
    if (!outcome.failure.isEmpty() || outcome.program.isEmpty())
        return std::nullopt;
    switch (figure) {
    case Figure::Milliseconds:
        return median(wallOf(outcome.program));
    case Figure::Statements:
        return statementsOf(outcome);
    case Figure::RatioToBare:
        return median(wallOf(outcome.program)) / median(wallOf(outcome.bare));
    case Figure::RoundTripsTimed:
        if (rttMs <= 0 || outcome.programDelayed.isEmpty())
            return std::nullopt;
        return median(roundTrips(outcome.programDelayed, outcome.program, rttMs));
    case Figure::RoundTripsCounted: {
        if (outcome.turns.isEmpty())
            return std::nullopt;
        QList<double> turns;
        for (qint64 count : outcome.turns)
            turns.append(double(count));
        return median(turns);
    }
    }
    return std::nullopt;
}

void printGoal(const QString &what, std::optional<double> figure, double most, int &unmet)
{
    QString verdict = QStringLiteral("no figure (round trips need --rtt)");
    if (figure) {
        const bool met = *figure <= most;
        if (!met)
            ++unmet;
        verdict = met ? QStringLiteral("met") : QStringLiteral("NOT MET");
    }
    out(QStringLiteral("%1 %2 %3  %4")
            .arg(what, -62)
            .arg(figure ? QString::number(*figure, 'f', 1) : QStringLiteral("-"), 8)
            .arg(QStringLiteral("<= %1").arg(most), 9)
            .arg(verdict));
}

} // namespace

void printGoals(const std::vector<Outcome> &outcomes, int rttMs, double exportRatio,
                double compareRatio)
{
    out();
    out(QStringLiteral("Goals (--compare): each figure, median of the runs, beside its goal"));
    int unmet = 0;
    for (const Goal &goal : Goals) {
        const QString operation = QString::fromLatin1(goal.operation);
        const auto found = std::find_if(outcomes.begin(), outcomes.end(), [&](const Outcome &o) {
            return o.label.startsWith(operation);
        });
        const std::optional<double> figure =
            found == outcomes.end() ? std::nullopt : figureOf(*found, goal.figure, rttMs);
        printGoal(operation + QStringLiteral(": ") + QLatin1String(figureName(goal.figure)), figure,
                  goal.most, unmet);
    }
    printGoal(QStringLiteral("Save as SQL: x bare read of every row"), exportRatio, 1.3, unmet);
    printGoal(QStringLiteral("Compare two catalogues: x bare reads of both"), compareRatio, 2.0,
              unmet);
    out(unmet == 0 ? QStringLiteral("Every goal with a figure is met.")
                   : QStringLiteral("%1 goal(s) not met.").arg(unmet));
}

} // namespace kbench
