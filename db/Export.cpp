#include "Export.h"

#include "Database.h"
#include "DdlPrivileges.h"
#include "Exception.h"
#include "Names.h"
#include "Query.h"
#include "Session.h"

#include <QDateTime>
#include <QFile>
#include <QIODevice>
#include <QSaveFile>
#include <QSet>
#include <algorithm>
#include <future>
#include <limits>
#include <numeric>

#include <sys/stat.h>

namespace db {

void Owners::add(int objectType, const QString &object, const QString &owner)
{
    m_owners.insert({objectType, object}, owner);
}

QString Owners::of(int objectType, const QString &object) const
{
    return m_owners.value({objectType, object});
}

namespace {

// Each kind of object a GRANT names, with the catalogue table and column of
// its name. Packaged procedures and functions are left out: privileges name
// their package.
struct OwnedKind
{
    int type;
    const char *table;
    const char *nameColumn;
    bool mayBePackaged;
};

constexpr OwnedKind OwnedKinds[] = {
    {kind::Relation, "RDB$RELATIONS", "RDB$RELATION_NAME", false},
    {kind::Procedure, "RDB$PROCEDURES", "RDB$PROCEDURE_NAME", true},
    {kind::Exception, "RDB$EXCEPTIONS", "RDB$EXCEPTION_NAME", false},
    {kind::Role, "RDB$ROLES", "RDB$ROLE_NAME", false},
    {kind::Sequence, "RDB$GENERATORS", "RDB$GENERATOR_NAME", false},
    {kind::Function, "RDB$FUNCTIONS", "RDB$FUNCTION_NAME", true},
    {kind::Package, "RDB$PACKAGES", "RDB$PACKAGE_NAME", false},
};

// The catalogue's rows (kind P) and, in the same columns, each object's owner
// (kind O: ownerRowsSql) and the reader (kind L): one statement, so one
// execution and one fetch, however large the catalogue. The reader is the
// login, role and server version as the server has them, for the file's
// header and the server's faults, cast to the columns' types and trimmed as
// every branch's names are: a CHAR left in one branch would come padded.
constexpr const char *ReaderSql[] = {
    "UNION ALL SELECT 'L', TRIM(TRAILING FROM CAST(CURRENT_USER AS TYPE OF COLUMN",
    "RDB$USER_PRIVILEGES.RDB$USER)), NULL, TRIM(TRAILING FROM CAST(CURRENT_ROLE AS TYPE OF",
    "COLUMN RDB$USER_PRIVILEGES.RDB$RELATION_NAME)), 0, NULL, TRIM(TRAILING FROM",
    "CAST(RDB$GET_CONTEXT('SYSTEM', 'ENGINE_VERSION') AS TYPE OF COLUMN",
    "RDB$USER_PRIVILEGES.RDB$FIELD_NAME)), NULL, NULL FROM RDB$DATABASE",
};

// Fewer items than this are worked on one thread: starting a second would
// cost more than it saves.
constexpr qsizetype MinItemsForThread = 4096;

// What `part` makes of items [0, count), made in two halves at once, the
// second on a thread of its own, and joined in order. Each item's result
// depends on that item alone.
template <typename Part> auto inTwoHalves(qsizetype count, qsizetype weight, const Part &part)
{
    const qsizetype half = count / 2;
    auto second =
        std::async(weight >= MinItemsForThread ? std::launch::async : std::launch::deferred, part,
                   half, count);
    auto joined = part(0, half);
    joined += second.get();
    return joined;
}

bool objectBelow(const GrantRow &a, const GrantRow &b)
{
    if (a.object != b.object)
        return isNameBelow(a.object, b.object);
    return a.objectType < b.objectType;
}

using GranteeKey = std::pair<QString, int>;

bool granteeBelow(const GranteeKey &a, const GranteeKey &b)
{
    if (a.first != b.first)
        return isNameBelow(a.first, b.first);
    return a.second < b.second;
}

// One statement to be: a grantee's privilege in one form, and the round it
// goes out in.
struct Planned
{
    GranteeKey grantee;
    PrivilegeForm form;
    int round = -1;
};

// What a holder of the option needs to pass a privilege on: the name, the
// object and the letter (M for a membership, held with admin option).
QString optionKey(const QString &holder, const PrivilegeForm &form)
{
    return holder + QChar(0) + QString::number(form.objectType) + QChar(0) + form.object +
           QChar(0) + form.letter;
}

// The grantee's forms, object by object: formsOf over one object's rows at a
// time stays short however many objects the grantee holds privileges on.
QList<PrivilegeForm> formsByObject(QList<GrantRow> rows)
{
    std::stable_sort(rows.begin(), rows.end(), objectBelow);
    QList<PrivilegeForm> forms;
    for (qsizetype first = 0; first < rows.size();) {
        qsizetype end = first + 1;
        while (end < rows.size() && rows[end].object == rows[first].object &&
               rows[end].objectType == rows[first].objectType)
            ++end;
        forms += formsOf(rows.mid(first, end - first));
        first = end;
    }
    return forms;
}

// Numbers the rounds: a statement whose grantor holds the privilege with an
// option among the statements goes one round after the earliest of those
// holdings; one whose grantor holds none, or owns the object, goes in the
// first. Grants that only give each other the option (which the server does
// not let happen) go last.
void numberRounds(QList<Planned> &planned, const Owners &owners)
{
    QHash<QString, QList<qsizetype>> holders;
    // Most grantors hold no option at all: their grants are told apart by
    // name, without building a key.
    QSet<QString> holderNames;
    for (qsizetype i = 0; i < planned.size(); ++i) {
        const Planned &entry = planned[i];
        if (entry.form.option > 0 && isNamedWithoutKeyword(entry.grantee.second)) {
            holders[optionKey(entry.grantee.first, entry.form)].append(i);
            holderNames.insert(entry.grantee.first);
        }
    }
    QList<qsizetype> waiting;
    for (qsizetype i = 0; i < planned.size(); ++i) {
        const PrivilegeForm &form = planned[i].form;
        if (holderNames.contains(form.grantor) && holders.contains(optionKey(form.grantor, form)) &&
            form.grantor != owners.of(form.objectType, form.object))
            waiting.append(i);
        else
            planned[i].round = 0;
    }
    bool progress = true;
    while (!waiting.isEmpty() && progress) {
        progress = false;
        QList<qsizetype> still;
        for (qsizetype i : waiting) {
            int earliest = std::numeric_limits<int>::max();
            for (qsizetype holder :
                 holders.value(optionKey(planned[i].form.grantor, planned[i].form))) {
                if (holder != i && planned[holder].round >= 0)
                    earliest = std::min(earliest, planned[holder].round);
            }
            if (earliest == std::numeric_limits<int>::max()) {
                still.append(i);
                continue;
            }
            planned[i].round = earliest + 1;
            progress = true;
        }
        waiting = still;
    }
    int last = 0;
    for (const Planned &entry : planned)
        last = std::max(last, entry.round);
    for (qsizetype i : waiting)
        planned[i].round = last + 1;
}

// Where each entry goes: round by round, and within a round a membership
// first, its role may hold what a grantor of the same round passes on. The
// rounds are few, so the order is counted out rather than sorted, each entry
// staying where it was among its equals.
QList<qsizetype> inRoundOrder(const QList<Planned> &planned)
{
    const auto placeOf = [](const Planned &entry) {
        return 2 * entry.round + (entry.form.objectType == kind::Role ? 0 : 1);
    };
    int places = 0;
    for (const Planned &entry : planned)
        places = std::max(places, placeOf(entry) + 1);
    QList<qsizetype> firstAt(places + 1, 0);
    for (const Planned &entry : planned)
        ++firstAt[placeOf(entry) + 1];
    std::partial_sum(firstAt.begin(), firstAt.end(), firstAt.begin());
    QList<qsizetype> order(planned.size());
    for (qsizetype i = 0; i < planned.size(); ++i)
        order[firstAt[placeOf(planned[i])]++] = i;
    return order;
}

using ByGrantee = QHash<GranteeKey, QList<GrantRow>>;

// The forms of grantees [from, to), grantee by grantee.
QList<Planned> plannedFor(const ByGrantee &byGrantee, const QList<GranteeKey> &grantees,
                          qsizetype from, qsizetype to)
{
    QList<Planned> planned;
    for (qsizetype i = from; i < to; ++i) {
        for (const PrivilegeForm &form : formsByObject(byGrantee.value(grantees[i])))
            planned.append({grantees[i], form});
    }
    return planned;
}

// The statements of entries [from, to) in their order; each is text from
// its entry alone.
QList<Change> changesFor(const QList<Planned> &planned, const QList<qsizetype> &order,
                         qsizetype from, qsizetype to)
{
    QList<Change> changes;
    changes.reserve(to - from);
    for (qsizetype i = from; i < to; ++i) {
        const Planned &entry = planned[order[i]];
        const SqlName grantor = SqlName::stored(entry.form.grantor);
        // The file may run where a role and a user share a name that they
        // do not share here: every user and role is named with its kind.
        const Grantee grantee{SqlName::stored(entry.grantee.first), entry.grantee.second, true};
        changes.append(grantChange(entry.form, grantee, &grantor));
    }
    return changes;
}

} // namespace

QList<int> ownedKinds()
{
    QList<int> kinds;
    for (const OwnedKind &owned : OwnedKinds)
        kinds.append(owned.type);
    return kinds;
}

QString ownerRowsSql(bool oneName)
{
    QString sql;
    for (const OwnedKind &owned : OwnedKinds) {
        QStringList conditions;
        if (oneName)
            conditions.append(QStringLiteral("%1 = :Owned%2")
                                  .arg(QLatin1String(owned.nameColumn))
                                  .arg(owned.type));
        if (owned.mayBePackaged)
            conditions.append(QStringLiteral("RDB$PACKAGE_NAME IS NULL"));
        sql += QStringLiteral(" UNION ALL SELECT 'O', TRIM(TRAILING FROM RDB$OWNER_NAME), NULL, "
                              "TRIM(TRAILING FROM %1), %2, NULL, NULL, NULL, NULL FROM %3")
                   .arg(QLatin1String(owned.nameColumn))
                   .arg(owned.type)
                   .arg(QLatin1String(owned.table));
        if (!conditions.isEmpty())
            sql += QStringLiteral(" WHERE ") + conditions.join(QStringLiteral(" AND "));
    }
    return sql;
}

QString privilegeRowsSql()
{
    // Every branch after it trims its names too (ownerRowsSql, ReaderSql).
    return QStringLiteral("SELECT 'P' AS ROW_KIND, %1, RDB$USER_TYPE, %2, RDB$OBJECT_TYPE, "
                          "RDB$PRIVILEGE, %3, RDB$GRANT_OPTION, %4 FROM RDB$USER_PRIVILEGES")
        .arg(trimmedNameSql(QStringLiteral("RDB$USER")),
             trimmedNameSql(QStringLiteral("RDB$RELATION_NAME")),
             trimmedNameSql(QStringLiteral("RDB$FIELD_NAME")),
             trimmedNameSql(QStringLiteral("RDB$GRANTOR")));
}

void addCatalogueFields(TQuery &query)
{
    for (const char *column :
         {"ROW_KIND", "RDB$USER", "RDB$USER_TYPE", "RDB$RELATION_NAME", "RDB$OBJECT_TYPE",
          "RDB$PRIVILEGE", "RDB$FIELD_NAME", "RDB$GRANT_OPTION", "RDB$GRANTOR"})
        query.addField(QLatin1String(column), FieldKind::Data, NameFieldSize);
}

GrantRow privilegeRowAt(const TQuery &query, int row)
{
    const auto at = [&](int column) { return query.fields(column)->textAt(row); };
    const QString letter = at(5);
    return {at(1), at(2).toInt(), at(3), at(4).toInt(), letter.isEmpty() ? QChar() : letter.front(),
            at(6), at(7).toInt(), at(8)};
}

Catalogue readCatalogue(TDatabase &database)
{
    TQuery query(database);
    query.setName(QStringLiteral("CatalogueQuery"));
    query.sqlAdd(privilegeRowsSql());
    query.sqlAdd(ownerRowsSql(false));
    for (const char *line : ReaderSql)
        query.sqlAdd(QLatin1String(line));
    addCatalogueFields(query);
    query.open();
    Catalogue catalogue;
    const int count = query.recordCount();
    catalogue.rows.reserve(count);
    for (int row = 0; row < count; ++row) {
        const auto at = [&](int column) { return query.fields(column)->textAt(row); };
        if (at(0) == QLatin1String("O")) {
            catalogue.owners.add(at(4).toInt(), at(3), at(1));
            continue;
        }
        if (at(0) == QLatin1String("L")) {
            catalogue.login = at(1);
            catalogue.role = at(3) == QLatin1String("NONE") ? QString() : at(3);
            catalogue.isFirebird3 = at(6).startsWith(QLatin1String("3."));
            continue;
        }
        catalogue.rows.append(privilegeRowAt(query, row));
    }
    query.close();
    return catalogue;
}

bool isExported(const GrantRow &row, const Owners &owners)
{
    if (!isGranteeKind(row.granteeType) || !isStatementObject(row.objectType, row.object))
        return false;
    // The server's own rows, on system objects and for the database's
    // creator, have no grantor; no statement can make one without.
    if (row.grantor.isEmpty())
        return false;
    // What the owner holds on its object from creating it: every privilege
    // with the option to pass it on, granted by itself.
    return !(row.granteeType == kind::User && row.grantee == row.grantor &&
             row.grantee == owners.of(row.objectType, row.object));
}

QList<Change> exportChanges(const QList<GrantRow> &rows, const Owners &owners)
{
    ByGrantee byGrantee;
    for (const GrantRow &row : rows) {
        if (isExported(row, owners))
            byGrantee[{row.grantee, row.granteeType}].append(row);
    }
    QList<GranteeKey> grantees = byGrantee.keys();
    std::sort(grantees.begin(), grantees.end(), granteeBelow);

    // The halves run at once, and only read what they share.
    QList<Planned> planned =
        inTwoHalves(grantees.size(), rows.size(), [&](qsizetype from, qsizetype to) {
            return plannedFor(byGrantee, grantees, from, to);
        });
    numberRounds(planned, owners);
    const QList<qsizetype> order = inRoundOrder(planned);

    return inTwoHalves(order.size(), order.size(), [&](qsizetype from, qsizetype to) {
        return changesFor(planned, order, from, to);
    });
}

QStringList exportStatements(const QList<GrantRow> &rows, const Owners &owners)
{
    QStringList statements;
    for (const Change &change : exportChanges(rows, owners))
        statements.append(change.sql + QLatin1Char(';'));
    return statements;
}

ExportText exportText(TDatabase &database, const std::function<bool(const GrantRow &)> &wanted,
                      const QString &what)
{
    const Catalogue catalogue = readCatalogue(database);
    const QList<Change> changes = exportChanges(
        wanted ? rowsWhere(catalogue.rows, wanted) : catalogue.rows, catalogue.owners);

    const QString target =
        database.connectionString().isEmpty()
            ? QStringLiteral("%1 (%2)").arg(database.aliasName(),
                                            TSession::aliasDatabase(database.aliasName()))
            : database.connectionString();
    QStringList lines{
        QStringLiteral("-- Privileges of %1, saved by Kelvane on %2 as %3.")
            .arg(target, QDateTime::currentDateTimeUtc().toString(Qt::ISODate),
                 catalogue.login + (catalogue.role.isEmpty()
                                        ? QString()
                                        : QStringLiteral(" with role ") + catalogue.role)),
        QStringLiteral("-- Exported: %1, %2 GRANT statement(s).")
            .arg(what.isEmpty() ? QStringLiteral("every privilege") : what)
            .arg(changes.size()),
        QStringLiteral("-- Left out: what objects get when they are created and the server's own "
                       "rows; Firebird 4's system privileges;"),
        QStringLiteral("-- CREATE DATABASE, which the security database keeps."),
        QStringLiteral("-- GRANTED BY needs SYSDBA, the database owner or the role RDB$ADMIN: "
                       "isql-fb -ch UTF8 -i FILE DATABASE"),
    };
    // Written into one buffer of its whole size: a hundred thousand
    // statements, each with its ";", would otherwise be strings of their own.
    QString text = lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
    const QLatin1String end(";\n");
    qsizetype size = text.size() + QLatin1String("COMMIT;\n").size();
    for (const Change &change : changes)
        size += change.sql.size() + end.size();
    text.reserve(size);
    for (const Change &change : changes)
        text.append(change.sql).append(end);
    text.append(QLatin1String("COMMIT;\n"));
    return {text.toUtf8(), changes.size()};
}

qsizetype writeExport(TDatabase &database, QIODevice &out,
                      const std::function<bool(const GrantRow &)> &wanted, const QString &what)
{
    const ExportText text = exportText(database, wanted, what);
    if (out.write(text.text) != text.text.size())
        throw kelvane::Exception(
            QStringLiteral("The privileges could not be written: %1").arg(out.errorString()));
    return text.statements;
}

namespace {

[[noreturn]] void cannotWrite(const QString &path, const QString &reason)
{
    throw kelvane::Exception(QStringLiteral("Cannot write %1: %2").arg(path, reason));
}

// Whether the path names something other than a regular file: a device, a
// FIFO, a terminal. Such a thing is written in place, as any Unix tool
// does; replacing it with a file would destroy it (/dev/null, as root).
bool isWrittenInPlace(const QString &path)
{
    struct stat status
    {
    };
    if (::stat(QFile::encodeName(path).constData(), &status) != 0)
        return false;
    if (S_ISDIR(status.st_mode))
        cannotWrite(path, QStringLiteral("it is a folder"));
    return !S_ISREG(status.st_mode);
}

qsizetype writeInPlace(const QString &path, const ExportText &text)
{
    QFile file(path);
    // Unbuffered, so that a full device fails the write itself.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered) ||
        file.write(text.text) != text.text.size())
        cannotWrite(path, file.errorString());
    file.close();
    if (file.error() != QFileDevice::NoError)
        cannotWrite(path, file.errorString());
    return text.statements;
}

} // namespace

qsizetype saveExport(TDatabase &database, const QString &path,
                     const std::function<bool(const GrantRow &)> &wanted, const QString &what)
{
    const bool inPlace = isWrittenInPlace(path);
    const ExportText text = exportText(database, wanted, what);
    if (inPlace)
        return writeInPlace(path, text);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(text.text) != text.text.size() ||
        !file.commit())
        cannotWrite(path, file.errorString());
    return text.statements;
}

} // namespace db
