#pragma once

// What messages and tooltips say of privileges, in the administrator's words.

#include "Vocabulary.h"

namespace db {

// "the system" for the server's own rows, which have no grantor.
[[nodiscard]] QString grantorText(const QString &grantor);
// "UPDATE (NAME) on CUSTOMER", "membership of ROLE R1": for messages.
[[nodiscard]] QString describe(const PrivilegeForm &form);
// The cell's tooltip line: "UPDATE (NAME) — granted by BOSS, with grant option".
[[nodiscard]] QString describeHeld(const PrivilegeForm &form);
// "SELECT on ZETA granted by BOSS is still held by CAROL": what a command
// could not take.
[[nodiscard]] QString describeStillHeld(const PrivilegeForm &form, const QString &grantee);

// Privileges, one line each: "SELECT on ZETA granted by BOSS".
[[nodiscard]] QStringList describeRows(const QList<GrantRow> &rows);
// What a copy takes from its targets, other grantors' rows first, one line
// each: "CAROL: UPDATE (NAME) on CUSTOMER granted by BOSS".
[[nodiscard]] QStringList describeTaken(const QList<GrantRow> &rows, const QString &login);
// Privileges given to others, one line each: "SELECT on ZETA to CAROL".
[[nodiscard]] QStringList describeGiven(const QList<GrantRow> &rows);

} // namespace db
