#pragma once

#include <QDialog>
#include <QStringList>

class QCheckBox;
class QLabel;
class QListWidget;
class QPushButton;

// Who can use an object and through what, one line per grantee and path:
// those of the grantee the main window stands on, or everyone's. The caller
// gives the lines before each showing; the dialog changes nothing.
class TWhoCanForm : public QDialog
{
    Q_OBJECT
public:
    explicit TWhoCanForm(QWidget *parent = nullptr);

    QLabel *WhoCanLabel;
    QCheckBox *OnlyGranteeCheck;
    QListWidget *PathList;
    QLabel *NoteLabel;
    QPushButton *CloseButton;

    // The object's name as the list shows it, the grantee's, the grantee's
    // own lines and everyone's; the note says what the lines cannot.
    void setPaths(const QString &object, const QString &grantee, const QStringList &ofGrantee,
                  const QStringList &everyone, const QString &note);
    void OnlyGranteeCheckClick(QObject *sender);

private:
    QString m_object;
    QString m_grantee;
    QStringList m_ofGrantee;
    QStringList m_everyone;
};
