#include "Descriptions.h"

#include "DdlPrivileges.h"

#include <algorithm>

namespace db {

QString grantorText(const QString &grantor)
{
    return grantor.isEmpty() ? QStringLiteral("the system") : grantor;
}

QString describe(const PrivilegeForm &form)
{
    if (form.objectType == kind::DdlPrivilege)
        return form.object;
    if (isDdlObject(form.object))
        return ddlClause(form.object, wordOf(form.letter));
    if (form.objectType == kind::Role)
        return QStringLiteral("membership of role ") + form.object +
               (form.columns.isEmpty() ? QString() : QStringLiteral(", as default role"));
    const QString columns =
        form.columns.isEmpty()
            ? QString()
            : QStringLiteral(" (%1)").arg(form.columns.join(QStringLiteral(", ")));
    const QString kind = kindName(form.objectType);
    return wordOf(form.letter) + columns + QStringLiteral(" on ") +
           (kind.isEmpty() ? QString() : kind + QLatin1Char(' ')) + form.object;
}

QString describeHeld(const PrivilegeForm &form)
{
    QString text = isDdl(form.objectType, form.object) ? describe(form) : wordOf(form.letter);
    if (form.objectType == kind::Role && !form.columns.isEmpty())
        text += QStringLiteral(", default role");
    else if (!form.columns.isEmpty())
        text += QStringLiteral(" (%1)").arg(form.columns.join(QStringLiteral(", ")));
    text += QStringLiteral(" \u2014 granted by ") + grantorText(form.grantor);
    if (form.option == 1)
        text += QStringLiteral(", with grant option");
    else if (form.option == 2)
        text += QStringLiteral(", with admin option");
    return text;
}

QString describeStillHeld(const PrivilegeForm &form, const QString &grantee)
{
    return QStringLiteral("%1 granted by %2 is still held by %3")
        .arg(describe(form), grantorText(form.grantor), grantee);
}

QStringList describeRows(const QList<GrantRow> &rows)
{
    QStringList lines;
    for (const PrivilegeForm &form : formsOf(rows))
        lines.append(
            QStringLiteral("%1 granted by %2").arg(describe(form), grantorText(form.grantor)));
    return lines;
}

QStringList describeTaken(const QList<GrantRow> &rows, const QString &login)
{
    QList<GrantRow> ordered = rows;
    // The login's own grants are those it knows of; another's are news.
    std::stable_partition(ordered.begin(), ordered.end(),
                          [&login](const GrantRow &row) { return row.grantor != login; });
    QStringList lines;
    for (const GrantRow &row : ordered) {
        QString line = QStringLiteral("%1: %2 granted by %3")
                           .arg(row.grantee, describe(formOf(row)), grantorText(row.grantor));
        if (row.option > 0)
            line += row.objectType == kind::Role ? QStringLiteral(", with admin option")
                                                 : QStringLiteral(", with grant option");
        lines.append(line);
    }
    return lines;
}

QStringList describeGiven(const QList<GrantRow> &rows)
{
    QStringList lines;
    for (const GrantRow &row : rows) {
        const QString line = QStringLiteral("%1 to %2").arg(describe(formOf(row)), row.grantee);
        if (!lines.contains(line))
            lines.append(line);
    }
    return lines;
}

} // namespace db
