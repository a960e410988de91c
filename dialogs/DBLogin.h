#pragma once

#include <QDialog>

class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;

// Asks for the user name, password and role of a connection. One instance
// lives for the whole run, so the user name typed last is offered again.
class TLoginForm : public QDialog
{
    Q_OBJECT
public:
    explicit TLoginForm(QWidget *parent = nullptr);

    QFrame *Bevel1;
    QLabel *Label1;
    QLineEdit *DatabaseEdit;
    QLabel *Label3;
    QLineEdit *UserNameEdit;
    QLabel *Label2;
    QLineEdit *PasswordEdit;
    // The SQL role to connect with; empty for none. A login granted
    // RDB$ADMIN in a Firebird 3 database has those rights only with it.
    QLabel *Label4;
    QLineEdit *RoleEdit;
    QPushButton *OKButton;
    QPushButton *CancelButton;

    void EditChange(QObject *sender);
    void FormShow(QObject *sender);

protected:
    void showEvent(QShowEvent *event) override;

private:
    QLineEdit *addEdit(const QString &objectName, int top, int height);
};
