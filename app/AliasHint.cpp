#include "AliasHint.h"

#include "db/Session.h"

#include <QComboBox>
#include <QDir>
#include <QStyle>
#include <QStyleOptionComboBox>

void showAliasFileHint(QComboBox &combo)
{
    if (combo.count() > 0) {
        if (!combo.placeholderText().isEmpty()) {
            // Emptying the placeholder selects the first item: undo that.
            const int index = combo.currentIndex();
            combo.setPlaceholderText({});
            combo.setCurrentIndex(index);
        }
        combo.setToolTip({});
        return;
    }
    const QString path = QDir::toNativeSeparators(db::TSession::aliasFilePath());
    QString shown = path;
    const QString home = QDir::toNativeSeparators(QDir::homePath());
    if (shown.startsWith(home + QDir::separator()))
        shown = QLatin1Char('~') + shown.mid(home.size());
    // The box is narrower than most paths: the middle goes, so that both the
    // folder it starts in and the file's name stay in sight.
    QStyleOptionComboBox option;
    option.initFrom(&combo);
    const int room =
        combo.style()
            ->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, &combo)
            .width() -
        2;
    combo.setPlaceholderText(combo.fontMetrics().elidedText(shown, Qt::ElideMiddle, room));
    combo.setToolTip(QStringLiteral("No alias of the driver INTRBASE: add one to %1").arg(path));
}
