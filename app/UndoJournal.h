#pragma once

#include "Kinds.h"
#include "db/ListedNames.h"
#include "db/Undo.h"

#include <QHash>
#include <functional>
#include <optional>

// One command the way back can take: the rows its statements could change,
// as they stood before it and as it left them, and the pair the window
// stood on when it started.
struct UndoStep
{
    QString name; // "rename of HELEN to HELEN2"
    db::UndoScope scope;
    QList<db::GrantRow> before;
    QList<db::GrantRow> after;
    ListKey user;
    ListKey relation;
};

// The commands of one connection that can be undone, and those undone that
// can be done again, ten deep; and, while a command runs, the rows its
// statements can change, read before the first statement that reaches them
// and again at its end, in the command's transaction.
class TUndoJournal
{
public:
    // Reads every catalogue row the scope holds, as it stands now.
    using Reader = std::function<QList<db::GrantRow>(const db::UndoScope &)>;
    static constexpr qsizetype Depth = 10;

    explicit TUndoJournal(Reader read) : m_read(std::move(read)) {}

    // A command starts on the pair; it names itself while it runs.
    void begin(const ListKey &user, const ListKey &relation);
    void name(const QString &name);
    // Every row of the grantee's name as the running command has just read
    // them: the capture, and its end, take them instead of reading them
    // again, until the next statements are sent.
    void noteRowsOf(const QString &grantee, const QList<db::GrantRow> &rows);
    // The rows noted of the grantee's name, while they stand.
    [[nodiscard]] std::optional<QList<db::GrantRow>> notedRowsOf(const QString &grantee) const;
    // Whether an object is still listed, as the running command has just
    // asked, until the next statements are sent.
    void noteObjectListed(const db::ListedName &object, bool listed);
    [[nodiscard]] std::optional<bool> notedListed(const db::ListedName &object) const;
    // Before changes run: the rows they can reach that no earlier change of
    // the command reached are read as they stand.
    void beforeChanges(const QList<db::Change> &changes);
    // What the running command has read so far, for the checks of an undo.
    [[nodiscard]] const db::UndoScope &capturedScope() const { return m_capture->scope; }
    [[nodiscard]] const QList<db::GrantRow> &capturedBefore() const { return m_capture->before; }
    // The command kept what ran: its rows are read again, and the step
    // returned where they differ from before.
    [[nodiscard]] std::optional<UndoStep> end();
    // The rows of the grantee's name as the last command to end left them,
    // read at its end in its own transaction; nothing while a command runs,
    // or where the last did not reach the name.
    [[nodiscard]] std::optional<QList<db::GrantRow>> leftOf(const QString &grantee) const;
    // The command left nothing: what it read is dropped.
    void abandon()
    {
        m_capture.reset();
        m_left.reset();
    }
    [[nodiscard]] bool running() const { return m_capture.has_value(); }

    // A new command's step: what was undone cannot be done again after it.
    void recordDone(UndoStep step);
    // An undo's step goes to those to redo; a redo's back to those to undo.
    void recordUndone(UndoStep step);
    void recordRedone(UndoStep step);
    [[nodiscard]] const UndoStep *nextUndo() const;
    [[nodiscard]] const UndoStep *nextRedo() const;
    void dropNextUndo() { m_undo.removeLast(); }
    void dropNextRedo() { m_redo.removeLast(); }
    // Another connection: nothing of this one's can be undone there.
    void clear();

private:
    struct Capture
    {
        QString name;
        db::UndoScope scope;
        QList<db::GrantRow> before;
        ListKey user;
        ListKey relation;
        QHash<QString, QList<db::GrantRow>> noted;
        QHash<db::ListedName, bool> listed;
    };
    // The rows of the capture's scope as the command leaves them.
    [[nodiscard]] QList<db::GrantRow> rowsLeft(const Capture &capture) const;
    static void push(QList<UndoStep> &steps, UndoStep step);

    Reader m_read;
    std::optional<Capture> m_capture;
    struct Left
    {
        db::UndoScope scope;
        QList<db::GrantRow> rows;
    };
    std::optional<Left> m_left;
    QList<UndoStep> m_undo;
    QList<UndoStep> m_redo;
};
