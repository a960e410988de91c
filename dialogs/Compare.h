#pragma once

#include <QDialog>
#include <QList>
#include <QStringList>

class QLabel;
class QListWidget;
class QPushButton;

// What differs between this database and another, one line per grantee and
// object; the administrator ticks the lines to bring here. The caller gives
// the lines before each showing and reads the ticks after OK.
class TCompareForm : public QDialog
{
    Q_OBJECT
public:
    explicit TCompareForm(QWidget *parent = nullptr);

    QLabel *CompareLabel;
    QListWidget *DifferenceList;
    QLabel *NoteLabel;
    QPushButton *OKButton;
    QPushButton *CancelButton;

    // The other database's name, a line per difference, and what cannot be
    // brought (objects on one side alone).
    void setDifferences(const QString &other, const QStringList &lines, const QString &note);
    // The lines ticked, by their place in the list given.
    [[nodiscard]] QList<int> ticked() const;
    void DifferenceListChange(QObject *sender);
};
