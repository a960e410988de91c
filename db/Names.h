#pragma once

#include <QString>

namespace db {

// Names are ordered as their UTF-8 bytes, unsigned, with no case folding and no
// trimming; a text that is the beginning of another sorts below it.
[[nodiscard]] bool isNameBelow(const QString &name, const QString &other);

} // namespace db
