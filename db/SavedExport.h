#pragma once

// A file of privileges the export saved, read back as the catalogue rows its
// statements give, so that a database can be compared with it. Only the
// statements the export writes are understood; anything else is refused
// rather than guessed at.

#include "Export.h"

namespace db {

// Whether the path names a regular file that begins as the export begins
// its files ("-- Privileges of ").
[[nodiscard]] bool isSavedExport(const QString &path);

// The rows the file's GRANT statements give. The file names no owners and
// no server: those of the database it is compared with stand for them
// (database; null when it is compared with another file). Refused, naming
// the file and line: a file of part of the privileges, one whose statements
// are not those the export writes, and one cut short (its header's count
// of statements or its closing COMMIT missing).
[[nodiscard]] Catalogue readSavedExport(const QString &path, const Catalogue *database);
// The same over the file's text; name stands for the file in messages.
[[nodiscard]] Catalogue catalogueOfExport(const QByteArray &text, const QString &name,
                                          const Catalogue *database);

} // namespace db
