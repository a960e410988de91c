#include "ServerGuards.h"

#include "Exception.h"

#include <algorithm>

namespace db {

namespace {

bool onRelation(const Change &change)
{
    return change.objectType == kind::Relation;
}

bool isPackageGrant(const Change &change)
{
    return change.verb == Change::Verb::Grant && onRelation(change) &&
           change.granteeType == kind::Package;
}

bool isColumnGrant(const Change &change)
{
    return change.verb == Change::Verb::Grant && onRelation(change) && !change.columns.isEmpty();
}

// Whether the server can build the access list of a relation with these
// rows: a package's privileges and a column-level privilege (PUBLIC's
// aside) cannot stand together, but for a package's own on one column.
bool canStore(const QList<GrantRow> &rows)
{
    QList<GrantRow> packageRows;
    QList<GrantRow> columnRows;
    for (const GrantRow &row : rows) {
        if (row.granteeType == kind::Package)
            packageRows.append(row);
        if (!row.column.isEmpty() && row.grantee != QLatin1String("PUBLIC"))
            columnRows.append(row);
    }
    if (packageRows.isEmpty() || columnRows.isEmpty())
        return true;
    const GrantRow &first = columnRows.first();
    const auto packageOnFirstColumn = [&first](const GrantRow &row) {
        return row.granteeType == kind::Package && row.grantee == first.grantee &&
               row.column == first.column;
    };
    return std::all_of(columnRows.begin(), columnRows.end(), packageOnFirstColumn) &&
           std::all_of(packageRows.begin(), packageRows.end(), packageOnFirstColumn);
}

// The rows a grant adds, near enough for canStore: one per column.
QList<GrantRow> rowsOfGrant(const Change &change)
{
    QList<GrantRow> rows;
    for (const QString &column : change.columns.isEmpty() ? QStringList{QString()} : change.columns)
        rows.append({change.grantee, change.granteeType, change.object, change.objectType,
                     change.letters.isEmpty() ? QChar() : change.letters.front(), column, 0,
                     QString()});
    return rows;
}

} // namespace

QStringList columnsTakenBy(const QList<GrantRow> &rows)
{
    QStringList columns;
    for (const GrantRow &row : rows) {
        if (row.privilege != u'U' && row.privilege != u'R')
            continue;
        if (!row.column.isEmpty() && !columns.contains(row.column))
            columns.append(row.column);
        if (row.option > 0 && !columns.contains(QString()))
            columns.append(QString());
    }
    return columns;
}

bool needsStoreCheck(const QList<Change> &changes)
{
    return std::any_of(changes.begin(), changes.end(), [](const Change &change) {
        return isPackageGrant(change) || isColumnGrant(change);
    });
}

bool locksOutTheRole(const Change &change, const Login &login)
{
    return !login.isFirebird3 && change.verb == Change::Verb::Grant &&
           change.objectType == kind::Role && change.granteeType == kind::User &&
           change.grantee == change.object;
}

void checkRolesStayUsable(const QList<Change> &changes, const Login &login)
{
    for (const Change &change : changes) {
        if (locksOutTheRole(change, login))
            throw kelvane::Exception(
                QStringLiteral("The role %1 cannot be given to the user %1: Firebird 4 takes it "
                               "for the role granted to itself and then refuses every connection "
                               "in the role %1. Nothing was changed")
                    .arg(change.object));
    }
}

void checkServerCanStore(const QList<Change> &changes, const QList<GrantRow> &rows)
{
    QStringList checked;
    for (const Change &change : changes) {
        if (!(isPackageGrant(change) || isColumnGrant(change)) || checked.contains(change.object))
            continue;
        checked.append(change.object);
        QList<GrantRow> after = rowsWhere(rows, [&change](const GrantRow &row) {
            return row.objectType == kind::Relation && row.object == change.object;
        });
        for (const Change &grant : changes) {
            if (grant.verb == Change::Verb::Grant && onRelation(grant) &&
                grant.object == change.object)
                after += rowsOfGrant(grant);
        }
        if (canStore(after))
            continue;
        throw kelvane::Exception(
            QStringLiteral("Nothing was changed: the command would leave %1 with a package's "
                           "privileges beside column-level privileges, which the server cannot "
                           "keep. It stops at the commit (\"bad ACL\") and then admits nobody "
                           "to the database until every attachment has closed. Grant whole-"
                           "relation privileges instead of the columns, or give the package's "
                           "work to a procedure.")
                .arg(change.object));
    }
}

QList<ColumnRisk> columnRisks(const QList<Change> &ran)
{
    QList<ColumnRisk> risks;
    for (const Change &change : ran) {
        if (change.verb != Change::Verb::Revoke || !onRelation(change))
            continue;
        for (const QString &column : change.columnsTaken) {
            if (!risks.contains({change.object, column}))
                risks.append({change.object, column});
        }
    }
    return risks;
}

QList<ColumnRisk> columnRisks(const QList<GrantRow> &revoked)
{
    QList<ColumnRisk> risks;
    for (const GrantRow &row : revoked) {
        if (row.objectType != kind::Relation)
            continue;
        for (const QString &column : columnsTakenBy({row})) {
            if (!risks.contains({row.object, column}))
                risks.append({row.object, column});
        }
    }
    return risks;
}

namespace {

// The rows of a column in the order they can be granted again: a grantor
// that holds a row itself gets it back before it gives its own.
QList<GrantRow> grantableOrder(QList<GrantRow> rows)
{
    QList<GrantRow> ordered;
    while (!rows.isEmpty()) {
        const auto waits = [&rows](const GrantRow &row) {
            return std::any_of(rows.begin(), rows.end(), [&row](const GrantRow &other) {
                return other.grantee == row.grantor && other.privilege == row.privilege &&
                       isNamedWithoutKeyword(other.granteeType) && !(other == row);
            });
        };
        const auto ready = std::stable_partition(rows.begin(), rows.end(),
                                                 [&](const GrantRow &row) { return !waits(row); });
        // A circle of grants cannot happen; should the catalogue hold one,
        // it is given back in the order read.
        const auto end = ready == rows.begin() ? rows.end() : ready;
        ordered.append(QList<GrantRow>(rows.begin(), end));
        rows.erase(rows.begin(), end);
    }
    return ordered;
}

} // namespace

Plan planColumnMends(const QList<GrantRow> &rows, const QList<ColumnRisk> &risks,
                     const Login &login)
{
    QStringList relations;
    for (const ColumnRisk &risk : risks) {
        if (!relations.contains(risk.relation))
            relations.append(risk.relation);
    }
    Plan plan;
    QList<Change> grants;
    for (const QString &relation : relations) {
        const QList<GrantRow> onRelation = rowsWhere(rows, [&relation](const GrantRow &row) {
            return row.objectType == kind::Relation && row.object == relation &&
                   !row.column.isEmpty() && (row.privilege == u'U' || row.privilege == u'R') &&
                   row.grantee != row.grantor;
        });
        const auto atRisk = [&](const QString &column) {
            return risks.contains({relation, column}) || risks.contains({relation, QString()});
        };
        QStringList columns;
        for (const GrantRow &row : onRelation) {
            if (row.privilege == u'U' && atRisk(row.column) && !columns.contains(row.column))
                columns.append(row.column);
        }
        for (const QString &column : columns) {
            const QList<GrantRow> onColumn = rowsWhere(
                onRelation, [&column](const GrantRow &row) { return row.column == column; });
            if (!std::all_of(onColumn.begin(), onColumn.end(), [&login](const GrantRow &row) {
                    return mayNameGrantor(login, row.grantor);
                })) {
                for (const GrantRow &row : onColumn) {
                    if (row.privilege == u'U')
                        plan.notDone.append(
                            QStringLiteral("%1 can no longer use UPDATE (%2) on %3, although the "
                                           "catalogue still shows it: the server dropped it with "
                                           "the revoke. A login that may name every grantor "
                                           "(SYSDBA or the owner) gives it back by revoking and "
                                           "granting again each column-level privilege on %2.")
                                .arg(row.grantee, column, relation));
                }
                continue;
            }
            for (const GrantRow &row : onColumn) {
                const SqlName by = SqlName::stored(row.grantor);
                const SqlName *grantedBy = row.grantor == login.name ? nullptr : &by;
                const Grantee grantee = namedGrantee(row.grantee, row.granteeType, login);
                // By column: the holder's other columns stay as they are.
                Change revoke = revokeChange(kind::Relation, relation, wordOf(row.privilege),
                                             grantee, grantedBy);
                revoke.sql = revokeSql(kind::Relation, relation, wordOf(row.privilege), grantee,
                                       grantedBy, {column});
                revoke.columns = {column};
                plan.changes.append(revoke);
            }
            for (const GrantRow &row : grantableOrder(onColumn)) {
                const SqlName by = SqlName::stored(row.grantor);
                grants.append(grantChange(
                    {kind::Relation, relation, row.privilege, {column}, row.option, row.grantor},
                    namedGrantee(row.grantee, row.granteeType, login),
                    row.grantor == login.name ? nullptr : &by));
            }
        }
    }
    plan.changes += grants;
    return plan;
}

} // namespace db
