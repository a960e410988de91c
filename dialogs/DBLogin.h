#pragma once

#include <QDialog>

class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;

// Asks for the user name and password of a connection. One instance lives for
// the whole run, so the user name typed last is offered again.
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
    QPushButton *OKButton;
    QPushButton *CancelButton;

    void EditChange(QObject *sender);
    void FormShow(QObject *sender);

protected:
    void showEvent(QShowEvent *event) override;

private:
    QLineEdit *addEdit(const QString &objectName, int top, int height);
};
