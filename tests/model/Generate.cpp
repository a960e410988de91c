// The random catalogue: objects of every kind a GRANT can name, grantees of
// every kind, and privileges drawn at random in every form.
#include "Model.h"

namespace model {

namespace {

const QStringList Logins{"MODEL_A", "MODEL_B", "MODEL_C"};
// Grant in others' names (GRANTED BY) and hold nothing themselves.
const QStringList OrphanGrantors{"BOSS", "HOSP_DBO"};

struct Draw
{
    std::mt19937 &random;
    int below(int n) { return int(std::uniform_int_distribution<int>(0, n - 1)(random)); }
    bool chance(int percent) { return below(100) < percent; }
    template <typename T> const T &pick(const QList<T> &from)
    {
        return from.at(below(int(from.size())));
    }
};

// Who a privilege can go to, written as its statement names it.
struct Grantee
{
    QString sql; // "USER CLERK", "ROLE R1", "PROCEDURE P1", "PUBLIC"
    int type;
    QString name;
};

QString quoted(const QString &name)
{
    return name == name.toUpper() ? name : QLatin1Char('"') + name + QLatin1Char('"');
}

QString grantedBy(Draw &draw)
{
    return draw.chance(20) ? QStringLiteral(" GRANTED BY ") + draw.pick(OrphanGrantors) : QString();
}

} // namespace

QStringList loginNames()
{
    return Logins;
}

QString passwordOf(const QString &login)
{
    return login.toLower();
}

Schema generate(std::mt19937 &random, int serverVersion)
{
    Draw draw{random};
    Schema schema;
    QStringList objects;
    // Tables of two to four columns; T2 is a sequence's name too.
    const QStringList columnPool{"ID", "NAME", "CITY", "NOTE"};
    for (const QString &table :
         {QStringLiteral("T1"), QStringLiteral("T2"), QStringLiteral("T3")}) {
        const QStringList columns = columnPool.mid(0, 2 + draw.below(3));
        schema.tables.append(table);
        schema.columns.insert(table, columns);
        QStringList defined;
        for (const QString &column : columns)
            defined.append(column + QStringLiteral(" INTEGER"));
        objects.append(QStringLiteral("CREATE TABLE %1 (%2);").arg(table, defined.join(", ")));
    }
    schema.views = {QStringLiteral("V1")};
    schema.tables.append(QStringLiteral("V1"));
    schema.columns.insert(QStringLiteral("V1"), schema.columns.value(QStringLiteral("T1")));
    objects.append(QStringLiteral("CREATE VIEW V1 AS SELECT * FROM T1;"));
    schema.procedures = {QStringLiteral("P1"), QStringLiteral("P2")};
    schema.functions = {QStringLiteral("F1")};
    schema.packages = {QStringLiteral("PK")};
    schema.sequences = {QStringLiteral("SQ1"), QStringLiteral("T2")};
    schema.exceptions = {QStringLiteral("EX1")};
    schema.roles = {QStringLiteral("R1"), QStringLiteral("R2"), QStringLiteral("RU")};
    objects << "CREATE SEQUENCE SQ1;"
            << "CREATE SEQUENCE T2;"
            << "CREATE EXCEPTION EX1 'no';"
            << "CREATE ROLE R1;"
            << "CREATE ROLE R2;"
            << "CREATE ROLE RU;"
            << "SET TERM ^ ;"
            << "CREATE PROCEDURE P1 AS BEGIN END^"
            << "CREATE PROCEDURE P2 AS BEGIN END^"
            << "CREATE FUNCTION F1 RETURNS INTEGER AS BEGIN RETURN 1; END^"
            << "CREATE PACKAGE PK AS BEGIN PROCEDURE PP; END^"
            << "CREATE PACKAGE BODY PK AS BEGIN PROCEDURE PP AS BEGIN END END^"
            << "CREATE TRIGGER TR1 FOR T3 BEFORE INSERT AS BEGIN END^"
            << "SET TERM ; ^";
    schema.objectsScript = objects.join(QLatin1Char('\n')) + QLatin1Char('\n');

    // Users: logins, a plain one, a lower-case one, one named like a role
    // (RU) and one like a procedure (P2), and PUBLIC.
    schema.logins = Logins;
    schema.users = Logins + QStringList{"CLERK", "mia", "RU", "P2", "PUBLIC"};
    QList<Grantee> grantees;
    for (const QString &user : schema.users)
        grantees.append(
            {user == QLatin1String("PUBLIC") ? user : "USER " + quoted(user), kind::User, user});
    for (const QString &role : schema.roles)
        grantees.append({"ROLE " + role, kind::Role, role});
    grantees << Grantee{"PROCEDURE P1", kind::Procedure, "P1"}
             << Grantee{"TRIGGER TR1", kind::Trigger, "TR1"} << Grantee{"VIEW V1", kind::View, "V1"}
             << Grantee{"FUNCTION F1", kind::Function, "F1"}
             << Grantee{"PACKAGE PK", kind::Package, "PK"};
    const QList<Grantee> users = [&] {
        QList<Grantee> only;
        for (const Grantee &grantee : grantees) {
            if (grantee.type == kind::User && grantee.name != QLatin1String("PUBLIC"))
                only.append(grantee);
        }
        return only;
    }();

    QStringList grants;
    // A holder of an option, and what it may pass on: the clause up to TO.
    QList<std::pair<Grantee, QString>> passable;
    const auto option = [&](const Grantee &to, const QString &words) {
        return to.type == kind::User && to.name != QLatin1String("PUBLIC") && draw.chance(30)
                   ? QStringLiteral(" WITH ") + words + QStringLiteral(" OPTION")
                   : QString();
    };
    const auto grant = [&](const QString &what, const Grantee &to, const QString &with) {
        grants.append(
            QStringLiteral("GRANT %1 TO %2%3%4;").arg(what, to.sql, with, grantedBy(draw)));
        if (!with.isEmpty() && !what.contains(QLatin1String(" ANY ")))
            passable.append({to, what});
    };
    for (int i = 0; i < 34; ++i) {
        const Grantee &to = draw.pick(grantees);
        const int what = draw.below(10);
        if (what < 5 && to.type != kind::Package) {
            // A table or view: whole, or UPDATE and REFERENCES by column.
            const QString &table = draw.pick(schema.tables);
            const QString letter =
                draw.pick(QStringList{"SELECT", "INSERT", "UPDATE", "DELETE", "REFERENCES"});
            QString columns;
            if ((letter == QLatin1String("UPDATE") || letter == QLatin1String("REFERENCES")) &&
                draw.chance(50))
                columns = QStringLiteral(" (%1)").arg(draw.pick(schema.columns.value(table)));
            grant(letter + columns + " ON " + table, to, option(to, "GRANT"));
        } else if (what == 5) {
            grant("EXECUTE ON PROCEDURE " + draw.pick(schema.procedures), to, option(to, "GRANT"));
        } else if (what == 6) {
            grant(draw.chance(50) ? QStringLiteral("EXECUTE ON FUNCTION F1")
                                  : QStringLiteral("EXECUTE ON PACKAGE PK"),
                  to, option(to, "GRANT"));
        } else if (what == 7) {
            grant(draw.chance(50) ? "USAGE ON SEQUENCE " + draw.pick(schema.sequences)
                                  : QStringLiteral("USAGE ON EXCEPTION EX1"),
                  to, option(to, "GRANT"));
        } else if (what == 8) {
            // A role: to users, with or without the admin option; on
            // Firebird 4 to roles too, and as a default role.
            const QString &role = draw.pick(schema.roles);
            // Role to role one way only: the server refuses a circle.
            if (to.type == kind::Role && serverVersion >= 4 &&
                schema.roles.indexOf(role) < schema.roles.indexOf(to.name))
                grant(role, to, option(to, "ADMIN"));
            // Firebird 4 takes a role given to a user of its name for a
            // circle, and then admits nobody in the role.
            else if (to.type == kind::User && to.name != QLatin1String("PUBLIC") &&
                     (serverVersion < 4 || to.name != role))
                grant((serverVersion >= 4 && draw.chance(25) ? "DEFAULT " : "") + role, to,
                      option(to, "ADMIN"));
        } else if (to.type == kind::User) {
            grant(draw.pick(ddlPrivileges()), to, option(to, "GRANT"));
        }
    }
    // Several grantors of one privilege, and grants passed on by a holder of
    // the option to another user.
    grants.append(QStringLiteral("GRANT SELECT ON T1 TO USER CLERK;"));
    grants.append(QStringLiteral("GRANT SELECT ON T1 TO USER CLERK GRANTED BY BOSS;"));
    for (int i = 0; i < 3 && !passable.isEmpty(); ++i) {
        const auto &[holder, what] = draw.pick(passable);
        const Grantee &to = draw.pick(users);
        const bool roleToNamesake =
            serverVersion >= 4 && QString(what).remove(QLatin1String("DEFAULT ")) == to.name;
        if (to.name != holder.name && !roleToNamesake)
            grants.append(QStringLiteral("GRANT %1 TO %2 GRANTED BY %3;")
                              .arg(QString(what).remove(QLatin1String("DEFAULT ")), to.sql,
                                   quoted(holder.name)));
    }
    schema.grantsScript = grants.join(QLatin1Char('\n')) + QLatin1Char('\n');
    return schema;
}

bool Schema::isGenerated(const Name &name) const
{
    switch (name.type) {
    case DdlPrivilege:
        return true;
    case kind::Relation:
        return tables.contains(name.name);
    case kind::Procedure:
        return procedures.contains(name.name);
    case kind::Function:
        return functions.contains(name.name);
    case kind::Package:
        return packages.contains(name.name);
    case kind::Sequence:
        return sequences.contains(name.name);
    case kind::Exception:
        return exceptions.contains(name.name);
    case kind::Role:
        return roles.contains(name.name);
    case kind::User:
        return users.contains(name.name) || name.name.startsWith(QLatin1String("NEW"));
    default:
        return name.name == QLatin1String("TR1") || name.name == QLatin1String("V1");
    }
}

} // namespace model
