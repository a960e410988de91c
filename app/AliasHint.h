#pragma once

class QComboBox;

// An alias box that offers no alias shows, greyed, the alias file to edit,
// and names it whole in its tooltip; one that offers aliases shows neither.
// The selection is left as it is.
void showAliasFileHint(QComboBox &combo);
