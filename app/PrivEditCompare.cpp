// Comparing this database's privileges with another's or with a saved
// file's, and bringing the differences the administrator ticks here.
#include "PrivEdit.h"

#include "CommandConnection.h"
#include "Forms.h"
#include "db/Compare.h"
#include "db/Exception.h"
#include "db/SavedExport.h"
#include "db/Session.h"
#include "dialogs/Compare.h"
#include "ui/BusyCursor.h"
#include "ui/Dialogs.h"
#include "ui/Lines.h"

#include <QFileInfo>

namespace {

db::Catalogue readOther(const QString &name, const QStringList &login)
{
    db::TDatabase other(QStringLiteral("COMPARE"));
    setDatabaseTarget(other, name);
    for (const QString &line : login)
        other.paramsAdd(line);
    other.open();
    return db::readCatalogue(other);
}

QString objectsNote(const db::CatalogueDifference &difference, const QString &other)
{
    QStringList lines;
    if (!difference.objectsOnlyHere.isEmpty())
        lines.append(QStringLiteral("Only here, left as they are: %1.")
                         .arg(ui::firstNames(difference.objectsOnlyHere)));
    if (!difference.objectsOnlyThere.isEmpty())
        lines.append(QStringLiteral("Only in %1, not brought: %2.")
                         .arg(other, ui::firstNames(difference.objectsOnlyThere)));
    return lines.join(u'\n');
}

} // namespace

void TKelvaneForm::CompareItemClick(QObject *)
{
    if (!Database.connected())
        return;
    QString other;
    if (!ui::inputQuery(QStringLiteral("Compare"),
                        QStringLiteral("Compare with the database (an alias, or "
                                       "host/port:path), read with the same login:"),
                        other, db::TSession::aliasNames()) ||
        other.trimmed().isEmpty())
        return;
    other = other.trimmed();
    db::Catalogue mine;
    db::Catalogue theirs;
    {
        const ui::BusyCursor busy;
        theirs = readOther(other, Database.params());
        mine = db::readCatalogue(Database);
    }
    showComparison(mine, theirs, other);
}

void TKelvaneForm::CompareFileItemClick(QObject *)
{
    if (!Database.connected())
        return;
    const QString path = ui::askOpenFileName(QStringLiteral("Compare with a saved file"),
                                             QStringLiteral("SQL files (*.sql);;All files (*)"));
    if (path.isEmpty())
        return;
    db::Catalogue mine;
    db::Catalogue theirs;
    {
        const ui::BusyCursor busy;
        mine = db::readCatalogue(Database);
        theirs = db::readSavedExport(path, &mine);
    }
    showComparison(mine, theirs, QFileInfo(path).fileName());
}

void TKelvaneForm::showComparison(const db::Catalogue &mine, const db::Catalogue &theirs,
                                  const QString &other)
{
    const db::CatalogueDifference difference = db::compareCatalogues(mine, theirs);
    const QList<db::PairDifference> pairs = db::pairsOf(difference);
    const QString note = objectsNote(difference, other);
    if (pairs.isEmpty()) {
        ui::showInformationMessage(
            (QStringLiteral("This database and %1 grant the same on the objects both have.")
                 .arg(other) +
             (note.isEmpty() ? QString() : QStringLiteral("\n") + note)));
        return;
    }
    QStringList lines;
    for (const db::PairDifference &pair : pairs)
        lines.append(db::describePair(pair));
    CompareForm->setDifferences(other, lines, note);
    if (ui::showModal(*CompareForm) != ui::ModalResult::Ok)
        return;
    QList<db::PairDifference> chosen;
    for (const int row : CompareForm->ticked())
        chosen.append(pairs.at(row));
    bringHere(chosen, theirs, other);
}

void TKelvaneForm::bringHere(const QList<db::PairDifference> &chosen, const db::Catalogue &theirs,
                             const QString &other)
{
    // Every statement names its grantor, as the other database has it.
    if (!login().mayNameGrantors)
        throw kelvane::Exception(
            QStringLiteral("Bringing privileges from another database names each grant's "
                           "grantor (GRANTED BY), which %1 may not do: connect as SYSDBA, the "
                           "database's owner or with the role RDB$ADMIN. Nothing was changed.")
                .arg(login().name));
    const ui::BusyCursor busy;
    const ListKey user = keyOf(*UserList);
    const ListKey relation = keyOf(*RelationList);
    inCommand([&] {
        nameCommand(QStringLiteral("bringing of %1 from %2")
                        .arg(chosen.size() == 1
                                 ? QStringLiteral("1 difference")
                                 : QStringLiteral("%1 differences").arg(chosen.size()),
                             other));
        // Read again in the command: the pairs end as they stand there,
        // whatever changed here since the comparison was shown.
        const db::CatalogueDifference now =
            db::compareCatalogues(db::readCatalogue(Database), theirs, db::inPairs(chosen));
        reportNotDone(runChanges(now.changes));
        rereadLists(user, relation);
    });
}
