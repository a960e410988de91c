// What each command must leave in the catalogue, in the README's terms, with
// the server's facts it rests on (../FACTS in the project's notes):
// - A GRANT of a row the grantee holds from the same grantor changes no row;
//   WITH GRANT OPTION over a plain row gives that row the option.
// - A REVOKE of a privilege takes every column's row of it.
// - What a holder granted with an option goes once the holder holds no
//   option of that privilege any more: the README's promise, which the
//   command keeps where the server would not.
#include "Model.h"

#include <QMap>
#include <algorithm>

namespace model {

namespace {

const QString Login = QStringLiteral("SYSDBA");

struct DdlKind
{
    const char *words;
    const char *object;
};

constexpr DdlKind DdlKinds[] = {
    {"TABLE", "SQL$TABLES"},         {"VIEW", "SQL$VIEWS"},
    {"PROCEDURE", "SQL$PROCEDURES"}, {"FUNCTION", "SQL$FUNCTIONS"},
    {"PACKAGE", "SQL$PACKAGES"},     {"SEQUENCE", "SQL$GENERATORS"},
    {"DOMAIN", "SQL$DOMAINS"},       {"EXCEPTION", "SQL$EXCEPTIONS"},
    {"ROLE", "SQL$ROLES"},           {"CHARACTER SET", "SQL$CHARSETS"},
    {"COLLATION", "SQL$COLLATIONS"}, {"FILTER", "SQL$FILTERS"},
};

// The kinds the lists show: objects a GRANT names, grantees it reaches.
bool isListedObject(int type)
{
    return QList<int>{kind::Relation, kind::Procedure, kind::Exception, kind::Role,
                      kind::Sequence, kind::Function,  kind::Package}
               .contains(type) ||
           type == kind::DdlObject;
}

bool isListedGrantee(int type)
{
    return QList<int>{kind::View, kind::Trigger,  kind::Procedure, kind::User,
                      kind::Role, kind::Function, kind::Package}
        .contains(type);
}

bool isSingle(int type)
{
    return type != kind::Relation && type != DdlPrivilege;
}

// Column (empty for the whole object) to the strongest option: what a
// grantee may do with one letter, whoever granted it.
using Effective = QMap<QString, int>;

Effective effectiveOf(const QList<Row> &rows, QChar letter)
{
    Effective effective;
    for (const Row &row : rows) {
        if (row.letter == letter)
            effective[row.column] = std::max(effective.value(row.column, 0), row.option);
    }
    return effective;
}

// A GRANT: a row of the same grantee, object, letter, column and grantor
// keeps its place and takes the stronger option.
void grantRow(QList<Row> &rows, const Row &granted)
{
    for (Row &row : rows) {
        if (row.grantee == granted.grantee && row.granteeType == granted.granteeType &&
            row.object == granted.object && row.objectType == granted.objectType &&
            row.letter == granted.letter && row.column == granted.column &&
            row.grantor == granted.grantor) {
            row.option = std::max(row.option, granted.option);
            return;
        }
    }
    rows.append(granted);
}

bool isOf(const Row &row, const Name &grantee)
{
    return row.grantee == grantee.name && row.granteeType == grantee.type;
}

Row rowOn(const Name &grantee, const Name &object, QChar letter)
{
    if (object.type == DdlPrivilege) {
        const DdlPlace place = ddlPlaceOf(object.name);
        return {grantee.name, grantee.type, place.object, kind::DdlObject, place.letter, {}, 0,
                Login};
    }
    return {grantee.name, grantee.type, object.name, object.type, letter, {}, 0, Login};
}

} // namespace

QString Row::text() const
{
    return QStringList{grantee,
                       QString::number(granteeType),
                       object,
                       QString::number(objectType),
                       QString(letter),
                       column,
                       QString::number(option),
                       grantor.isEmpty() ? QStringLiteral("-") : grantor}
        .join(QLatin1Char('|'));
}

DdlPlace ddlPlaceOf(const QString &privilege)
{
    if (privilege == QLatin1String("ALTER DATABASE"))
        return {QStringLiteral("SQL$DATABASE"), u'L'};
    if (privilege == QLatin1String("DROP DATABASE"))
        return {QStringLiteral("SQL$DATABASE"), u'O'};
    for (const DdlKind &each : DdlKinds) {
        const QString words = QLatin1String(each.words);
        if (privilege == QLatin1String("CREATE ") + words)
            return {QLatin1String(each.object), u'C'};
        if (privilege == QLatin1String("ALTER ANY ") + words)
            return {QLatin1String(each.object), u'L'};
        if (privilege == QLatin1String("DROP ANY ") + words)
            return {QLatin1String(each.object), u'O'};
    }
    return {};
}

QStringList ddlPrivileges()
{
    QStringList all{"ALTER DATABASE", "DROP DATABASE"};
    for (const DdlKind &each : DdlKinds) {
        for (const char *verb : {"CREATE ", "ALTER ANY ", "DROP ANY "})
            all.append(QLatin1String(verb) + QLatin1String(each.words));
    }
    return all;
}

QList<Name> userRows(const QList<Row> &rows)
{
    QList<Name> names;
    for (const Row &row : rows) {
        const Name name{row.grantee, row.granteeType};
        if (isListedObject(row.objectType) && isListedGrantee(row.granteeType) &&
            !names.contains(name))
            names.append(name);
    }
    return names;
}

QList<Name> relationRows(const QList<Row> &rows)
{
    QList<Name> names;
    for (const Row &row : rows) {
        const Name name{row.object, row.objectType};
        if (row.objectType != kind::DdlObject && isListedObject(row.objectType) &&
            !names.contains(name))
            names.append(name);
    }
    // Every DDL privilege is a row, held or not.
    for (const QString &privilege : ddlPrivileges())
        names.append({privilege, DdlPrivilege});
    return names;
}

bool Model::isOn(const Row &row, const Name &object)
{
    if (object.type == DdlPrivilege) {
        const DdlPlace place = ddlPlaceOf(object.name);
        return row.objectType == kind::DdlObject && row.object == place.object &&
               row.letter == place.letter;
    }
    return row.object == object.name && row.objectType == object.type;
}

QString cellsOf(const QList<Row> &rows, const Name &grantee, const Name &object)
{
    QString cells(5, u'.');
    for (const Row &row : rows) {
        if (!isOf(row, grantee) || !Model::isOn(row, object))
            continue;
        if (isSingle(object.type) || object.type == DdlPrivilege)
            cells[4] = u'X';
        else if (const qsizetype at = QStringLiteral("SUID").indexOf(row.letter); at >= 0)
            cells[at] = row.letter;
    }
    return cells;
}

QString Model::letters(const Name &object, int column) const
{
    // A procedure takes any letter as its EXECUTE; the other kinds of one
    // privilege take X alone; a table's X goes to the server, which refuses.
    if (object.type == DdlPrivilege)
        return column == 5 ? QString(ddlPlaceOf(object.name).letter) : QString();
    if (object.type == kind::Relation)
        return QString(QStringLiteral("SUIDX").at(column - 1));
    if (object.type != kind::Procedure && column != 5)
        return {};
    switch (object.type) {
    case kind::Sequence:
    case kind::Exception:
        return QStringLiteral("G");
    case kind::Role:
        return QStringLiteral("M");
    default:
        return QStringLiteral("X");
    }
}

Outcome Model::withCascade(QList<Row> after) const
{
    // A user that held an option of a privilege and holds none now: what it
    // granted of that privilege goes, and so on down.
    bool changed = true;
    while (changed) {
        changed = false;
        for (const Row &held : m_rows) {
            if (held.option == 0 || held.granteeType != kind::User)
                continue;
            const auto same = [&held](const Row &row) {
                return row.object == held.object && row.objectType == held.objectType &&
                       row.letter == held.letter;
            };
            const bool stillHeld = std::any_of(after.begin(), after.end(), [&](const Row &row) {
                return row.grantee == held.grantee && row.granteeType == kind::User &&
                       row.option > 0 && same(row);
            });
            if (!stillHeld)
                changed |= after.removeIf([&](const Row &row) {
                    return row.grantor == held.grantee && same(row);
                }) > 0;
        }
    }
    Outcome outcome{after, {}};
    for (const Row &row : m_rows) {
        if (!after.contains(row))
            outcome.takenFromOthers.append(row);
    }
    return outcome;
}

Outcome Model::toggle(const Name &grantee, const Name &object, int column) const
{
    const QString letter = letters(object, column);
    if (letter.isEmpty() || (letter == QLatin1String("X") && object.type == kind::Relation))
        return {m_rows, {}};
    QList<Row> after = m_rows;
    const auto ofCell = [&](const Row &row) {
        return isOf(row, grantee) && isOn(row, object) && letter.contains(row.letter);
    };
    if (std::none_of(m_rows.begin(), m_rows.end(), ofCell)) {
        if (!grantsNothing(m_rows, grantee, object))
            grantRow(after, rowOn(grantee, object, letter.front()));
        return {after, {}};
    }
    after.removeIf([&](const Row &row) { return ofCell(row) && !row.grantor.isEmpty(); });
    Outcome outcome = withCascade(after);
    outcome.takenFromOthers.removeIf([&](const Row &row) { return isOf(row, grantee); });
    return outcome;
}

Outcome Model::toggleOption(const Name &grantee, const Name &object, int column) const
{
    const QString letter = letters(object, column);
    const auto ofCell = [&](const Row &row) {
        return isOf(row, grantee) && isOn(row, object) && letter.contains(row.letter);
    };
    QList<Row> after = m_rows;
    const bool held = std::any_of(m_rows.begin(), m_rows.end(), ofCell);
    // Only users and roles hold options (the server refuses the others).
    if (letter.isEmpty() || (letter == QLatin1String("X") && object.type == kind::Relation) ||
        !held || (grantee.type != kind::User && grantee.type != kind::Role))
        return {m_rows, {}};
    const bool give = std::any_of(m_rows.begin(), m_rows.end(),
                                  [&](const Row &row) { return ofCell(row) && row.option == 0; });
    for (Row &row : after) {
        if (ofCell(row) && !row.grantor.isEmpty())
            row.option = give ? (object.type == kind::Role ? 2 : 1) : 0;
    }
    Outcome outcome = withCascade(after);
    outcome.takenFromOthers.removeIf([&](const Row &row) { return isOf(row, grantee); });
    return outcome;
}

Outcome Model::grantAll(const Name &grantee, const Name &object) const
{
    QList<Row> after = m_rows;
    if (grantsNothing(m_rows, grantee, object))
        return {after, {}};
    const QString all =
        object.type == kind::Relation ? QStringLiteral("SIUDR") : letters(object, 5);
    for (QChar letter : all) {
        const bool held = std::any_of(m_rows.begin(), m_rows.end(), [&](const Row &row) {
            return isOf(row, grantee) && isOn(row, object) && row.letter == letter &&
                   row.column.isEmpty() && row.grantor == Login;
        });
        if (!held)
            grantRow(after, rowOn(grantee, object, letter));
    }
    return {after, {}};
}

Outcome Model::revokeAll(const Name &grantee, const Name &object) const
{
    QList<Row> after = m_rows;
    after.removeIf([&](const Row &row) {
        return isOf(row, grantee) && isOn(row, object) && !row.grantor.isEmpty();
    });
    Outcome outcome = withCascade(after);
    outcome.takenFromOthers.removeIf([&](const Row &row) { return isOf(row, grantee); });
    return outcome;
}

namespace {

// Makes the target's rows of one letter on one object what the source's
// give, column by column and option by option: only what differs changes,
// and where the target holds more, all of its rows of the letter go first.
void matchLetter(QList<Row> &after, const QList<Row> &source, const QList<Row> &target,
                 const Row &shape, bool revoking)
{
    Effective wanted = effectiveOf(source, shape.letter);
    // Only users and roles hold grant options (the server refuses one to a
    // procedure, function, package, trigger or view).
    if (shape.granteeType != kind::User && shape.granteeType != kind::Role) {
        for (int &option : wanted)
            option = 0;
    }
    const Effective has = effectiveOf(target, shape.letter);
    if (wanted == has)
        return;
    const bool extra = std::any_of(has.keyValueBegin(), has.keyValueEnd(), [&](auto held) {
        return !wanted.contains(held.first) || wanted.value(held.first) < held.second;
    });
    if (revoking && extra) {
        after.removeIf([&](const Row &row) {
            return row.grantee == shape.grantee && row.granteeType == shape.granteeType &&
                   row.object == shape.object && row.objectType == shape.objectType &&
                   row.letter == shape.letter && !row.grantor.isEmpty();
        });
        for (auto it = wanted.begin(); it != wanted.end(); ++it) {
            Row row = shape;
            row.column = it.key();
            row.option = it.value();
            grantRow(after, row);
        }
        return;
    }
    for (auto it = wanted.begin(); it != wanted.end(); ++it) {
        if (has.value(it.key(), -1) >= it.value())
            continue;
        Row row = shape;
        row.column = it.key();
        row.option = it.value();
        grantRow(after, row);
    }
}

} // namespace

bool Model::grantsNothing(const QList<Row> &rows, const Name &grantee, const Name &object) const
{
    if (object.type != kind::Role)
        return false;
    // Firebird 4 takes a role given to a user of its name for a circle, so
    // the window gives it nothing: the server would answer every connection
    // in the role "Too many concurrent executions of the same request".
    if (grantee.type == kind::User)
        return m_server >= 4 && grantee.name == object.name;
    if (grantee.type != kind::Role || m_server == 3)
        return true;
    // Does the object role hold the grantee role, itself or through others?
    return rolesReachedFrom(rows, {object.name}).contains(grantee.name);
}

QStringList rolesReachedFrom(const QList<Row> &rows, QStringList roles)
{
    for (qsizetype i = 0; i < roles.size(); ++i) {
        for (const Row &row : rows) {
            if (row.granteeType == kind::Role && row.grantee == roles.at(i) &&
                row.objectType == kind::Role && !roles.contains(row.object))
                roles.append(row.object);
        }
    }
    return roles;
}

Outcome Model::copy(const Name &source, const QList<Name> &targets,
                    const std::function<bool(const Row &)> &onObjects, bool revoking) const
{
    QList<Row> after = m_rows;
    const auto rowsOf = [&](const Name &grantee) {
        QList<Row> rows;
        for (const Row &row : m_rows) {
            if (isOf(row, grantee) && onObjects(row))
                rows.append(row);
        }
        return rows;
    };
    const QList<Row> from = rowsOf(source);
    for (const Name &target : targets) {
        const QList<Row> held = rowsOf(target);
        QList<Row> shapes;
        for (const Row &row : from + held) {
            const Row shape{target.name, target.type, row.object, row.objectType,
                            row.letter,  {},          0,          Login};
            if (!shapes.contains(shape))
                shapes.append(shape);
        }
        for (const Row &shape : shapes) {
            if (grantsNothing(after, target, {shape.object, shape.objectType}))
                continue;
            const auto onShape = [&](const Row &row) {
                return row.object == shape.object && row.objectType == shape.objectType;
            };
            QList<Row> sourceRows, targetRows;
            std::copy_if(from.begin(), from.end(), std::back_inserter(sourceRows), onShape);
            std::copy_if(held.begin(), held.end(), std::back_inserter(targetRows), onShape);
            matchLetter(after, sourceRows, targetRows, shape, revoking);
        }
    }
    Outcome outcome = withCascade(after);
    // A target's row that now carries the option the source's has was widened,
    // not taken: the server stores the wider grant in its place.
    const auto widened = [&](const Row &row) {
        return std::any_of(after.begin(), after.end(), [&](Row wider) {
            const int option = wider.option;
            wider.option = row.option;
            return option > row.option && wider == row;
        });
    };
    outcome.takenFromOthers.removeIf(
        [&](const Row &row) { return isOf(row, source) || widened(row); });
    return outcome;
}

Outcome Model::copyToRelations(const Name &grantee, const Name &object,
                               const QList<Name> &targets) const
{
    QList<Row> after = m_rows;
    QList<Row> from;
    for (const Row &row : m_rows) {
        if (isOf(row, grantee) && isOn(row, object))
            from.append(row);
    }
    for (const Name &target : targets) {
        const QStringList columns = m_schema.columns.value(target.name);
        QList<Row> held;
        for (const Row &row : m_rows) {
            if (isOf(row, grantee) && isOn(row, target))
                held.append(row);
        }
        // A DDL privilege has one letter, which the source's becomes.
        QList<QChar> letters;
        for (const Row &row : target.type == model::DdlPrivilege
                                  ? QList<Row>{rowOn(grantee, target, QChar())}
                                  : from + held) {
            if (!letters.contains(row.letter))
                letters.append(row.letter);
        }
        for (QChar letter : letters) {
            if (grantsNothing(after, grantee, target))
                continue;
            const Row shape = rowOn(grantee, target, letter);
            QList<Row> sourceRows;
            for (const Row &row : from) {
                if (row.letter == letter || target.type == model::DdlPrivilege) {
                    Row there = row;
                    there.object = shape.object;
                    there.letter = shape.letter;
                    sourceRows.append(there);
                }
            }
            // A letter with a column the other relation lacks stays as it is.
            if (std::any_of(sourceRows.begin(), sourceRows.end(), [&](const Row &row) {
                    return !row.column.isEmpty() && !columns.contains(row.column);
                }))
                continue;
            QList<Row> targetRows;
            std::copy_if(held.begin(), held.end(), std::back_inserter(targetRows),
                         [&](const Row &row) { return row.letter == shape.letter; });
            matchLetter(after, sourceRows, targetRows, shape, true);
        }
    }
    Outcome outcome = withCascade(after);
    outcome.takenFromOthers.removeIf([&](const Row &row) { return isOf(row, grantee); });
    return outcome;
}

Outcome Model::rename(const Name &grantee, const QString &newName) const
{
    // The new name would hold a role of its own name, which the window
    // refuses on Firebird 4: nothing changes.
    if (grantsNothing(m_rows, {newName, kind::User}, {newName, kind::Role}) &&
        std::any_of(m_rows.begin(), m_rows.end(), [&](const Row &row) {
            return isOf(row, grantee) && row.objectType == kind::Role && row.object == newName;
        }))
        return {m_rows, {}};
    QList<Row> after;
    for (Row row : m_rows) {
        if (isOf(row, grantee) && !row.grantor.isEmpty()) {
            row.grantee = newName;
            row.granteeType = kind::User;
        }
        if (row.grantor == grantee.name && grantee.type == kind::User)
            row.grantor = newName;
        grantRow(after, row);
    }
    // The old name's rows, and those it granted, moved rather than went.
    Outcome outcome = withCascade(after);
    outcome.takenFromOthers.removeIf([&](const Row &row) {
        return isOf(row, grantee) || (row.grantor == grantee.name && grantee.type == kind::User);
    });
    return outcome;
}

Outcome Model::removal(const Name &grantee) const
{
    QList<Row> after = m_rows;
    after.removeIf([&](const Row &row) { return isOf(row, grantee) && !row.grantor.isEmpty(); });
    // The question names every grant the user made as going with it, and
    // the command sees to it where the server does not (Firebird 4 keeps
    // the memberships, neither keeps a grant made without an option).
    if (grantee.type == kind::User)
        after.removeIf([&](const Row &row) { return row.grantor == grantee.name; });
    Outcome outcome = withCascade(after);
    outcome.takenFromOthers.removeIf([&](const Row &row) { return isOf(row, grantee); });
    return outcome;
}

Outcome Model::addNew(const QString &user, const Name &object) const
{
    QList<Row> after = m_rows;
    const QChar letter = object.type == kind::Relation ? QChar(u'S') : letters(object, 5).front();
    grantRow(after, rowOn({user, kind::User}, object, letter));
    return {after, {}};
}

} // namespace model
