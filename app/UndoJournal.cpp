#include "UndoJournal.h"

void TUndoJournal::begin(const ListKey &user, const ListKey &relation)
{
    m_capture = Capture{QStringLiteral("the last command"), {}, {}, user, relation, {}, {}};
    m_left.reset();
}

void TUndoJournal::name(const QString &name)
{
    if (m_capture)
        m_capture->name = name;
}

void TUndoJournal::noteRowsOf(const QString &grantee, const QList<db::GrantRow> &rows)
{
    if (m_capture)
        m_capture->noted.insert(grantee, rows);
}

namespace {

template <typename Key, typename Value>
std::optional<Value> noteOf(const QHash<Key, Value> &notes, const Key &key)
{
    const auto noted = notes.constFind(key);
    if (noted == notes.cend())
        return std::nullopt;
    return *noted;
}

} // namespace

std::optional<QList<db::GrantRow>> TUndoJournal::notedRowsOf(const QString &grantee) const
{
    return m_capture ? noteOf(m_capture->noted, grantee) : std::nullopt;
}

void TUndoJournal::noteObjectListed(const db::ListedName &object, bool listed)
{
    if (m_capture)
        m_capture->listed.insert(object, listed);
}

std::optional<bool> TUndoJournal::notedListed(const db::ListedName &object) const
{
    return m_capture ? noteOf(m_capture->listed, object) : std::nullopt;
}

void TUndoJournal::beforeChanges(const QList<db::Change> &changes)
{
    if (!m_capture || changes.isEmpty())
        return;
    // The grantees' rows tell which revokes reach beyond them: those of a
    // privilege held with an option, or with column rights.
    const db::UndoScope grantees = db::granteesOf(changes);
    QList<db::GrantRow> granteesRows;
    db::UndoScope unread;
    for (const QString &grantee : grantees.grantees) {
        if (const auto noted = m_capture->noted.constFind(grantee);
            noted != m_capture->noted.cend())
            granteesRows += *noted;
        else
            unread.grantees.insert(grantee);
    }
    if (!unread.isEmpty())
        granteesRows += m_read(unread);
    // Statements follow: what was read before them no longer stands.
    m_capture->noted.clear();
    m_capture->listed.clear();
    const db::UndoScope reach = db::scopeOf(changes, granteesRows).beyond(m_capture->scope);
    // Rows an earlier change of the command reached were read before it.
    const auto isNew = [this, &reach](const db::GrantRow &row) {
        return !m_capture->scope.holds(row) && reach.holds(row);
    };
    m_capture->before += db::rowsWhere(granteesRows, isNew);
    if (!reach.objects.isEmpty()) {
        const db::UndoScope objects{{}, reach.objects};
        m_capture->before += db::rowsWhere(m_read(objects), [&](const db::GrantRow &row) {
            return isNew(row) && !grantees.holds(row);
        });
    }
    m_capture->scope.unite(reach);
}

std::optional<UndoStep> TUndoJournal::end()
{
    std::optional<Capture> capture = std::move(m_capture);
    m_capture.reset();
    if (!capture || capture->scope.isEmpty())
        return std::nullopt;
    QList<db::GrantRow> after = db::rowsIn(rowsLeft(*capture), capture->scope);
    m_left = Left{capture->scope, after};
    if (db::sameRows(capture->before, after))
        return std::nullopt;
    return UndoStep{capture->name,    capture->scope, std::move(capture->before),
                    std::move(after), capture->user,  capture->relation};
}

std::optional<QList<db::GrantRow>> TUndoJournal::leftOf(const QString &grantee) const
{
    if (m_capture || !m_left || !m_left->scope.grantees.contains(grantee))
        return std::nullopt;
    return db::rowsWhere(m_left->rows,
                         [&grantee](const db::GrantRow &row) { return row.grantee == grantee; });
}

QList<db::GrantRow> TUndoJournal::rowsLeft(const Capture &capture) const
{
    // Rows noted since the last statements are what the command left; a
    // scope with objects, or a grantee not noted, is read.
    if (!capture.scope.objects.isEmpty())
        return m_read(capture.scope);
    QList<db::GrantRow> rows;
    for (const QString &grantee : capture.scope.grantees) {
        const auto noted = capture.noted.constFind(grantee);
        if (noted == capture.noted.cend())
            return m_read(capture.scope);
        rows += *noted;
    }
    return rows;
}

void TUndoJournal::push(QList<UndoStep> &steps, UndoStep step)
{
    steps.append(std::move(step));
    while (steps.size() > Depth)
        steps.removeFirst();
}

void TUndoJournal::recordDone(UndoStep step)
{
    push(m_undo, std::move(step));
    m_redo.clear();
}

void TUndoJournal::recordUndone(UndoStep step)
{
    push(m_redo, std::move(step));
}

void TUndoJournal::recordRedone(UndoStep step)
{
    push(m_undo, std::move(step));
}

const UndoStep *TUndoJournal::nextUndo() const
{
    return m_undo.isEmpty() ? nullptr : &m_undo.constLast();
}

const UndoStep *TUndoJournal::nextRedo() const
{
    return m_redo.isEmpty() ? nullptr : &m_redo.constLast();
}

void TUndoJournal::clear()
{
    m_capture.reset();
    m_left.reset();
    m_undo.clear();
    m_redo.clear();
}
