// The browsing operations: connecting, moving, type-ahead, refreshing and
// switching the view.
#include "Bench.h"

#include "app/Forms.h"
#include "app/PrivEdit.h"
#include "db/Query.h"

#include <QRadioButton>

namespace kbench {

Operation moveDown(const QString &label, const QString &from, const QString &to)
{
    Operation move{label, [from] { positionMaster(from); }, [] { return timeKey(Qt::Key_Down); },
                   [to] {
                       expectMaster(to);
                       expectGridsFilled();
                   }};
    move.atLeastRuns = LeastRuns;
    return move;
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
    Operation connect{label, [] {}, [] { return connectThroughDialog(); },
                      [] { expectGridsFilled(); }};
    connect.atLeastRuns = LeastRuns;
    return connect;
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

} // namespace kbench
