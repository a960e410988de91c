#include "DBLogin.h"

#include "ui/Application.h"
#include "ui/FormStyle.h"

#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>

TLoginForm::TLoginForm(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("LoginForm"));
    ui::makeFixedDialog(*this, QStringLiteral("Database Login"), 249, 198);

    Bevel1 = new QFrame(this);
    Bevel1->setObjectName(QStringLiteral("Bevel1"));
    Bevel1->setFrameShape(QFrame::Box);
    Bevel1->setFrameShadow(QFrame::Sunken);
    Bevel1->setGeometry(8, 8, 233, 143);

    Label1 = ui::addLabel(this, QStringLiteral("Label1"), QStringLiteral("Database:"), 20, 26);
    DatabaseEdit = addEdit(QStringLiteral("DatabaseEdit"), 23, 21);
    DatabaseEdit->setReadOnly(true);
    DatabaseEdit->setFocusPolicy(Qt::ClickFocus);
    DatabaseEdit->setStyleSheet(QStringLiteral("QLineEdit { background: palette(button); }"));

    Label3 = ui::addLabel(this, QStringLiteral("Label3"), QStringLiteral("&User Name:"), 20, 56);
    UserNameEdit = addEdit(QStringLiteral("UserNameEdit"), 53, 21);
    UserNameEdit->setText(QStringLiteral("SYSDBA"));
    Label3->setBuddy(UserNameEdit);

    Label2 = ui::addLabel(this, QStringLiteral("Label2"), QStringLiteral("&Password:"), 20, 86);
    PasswordEdit = addEdit(QStringLiteral("PasswordEdit"), 83, 22);
    PasswordEdit->setEchoMode(QLineEdit::Password);
    PasswordEdit->setFont(ui::pixelFont(QStringLiteral("Courier New"), 11, true));
    PasswordEdit->setStyleSheet(QStringLiteral("QLineEdit { lineedit-password-character: 42; }"));
    Label2->setBuddy(PasswordEdit);

    Label4 = ui::addLabel(this, QStringLiteral("Label4"), QStringLiteral("&Role:"), 20, 116);
    RoleEdit = addEdit(QStringLiteral("RoleEdit"), 113, 21);
    Label4->setBuddy(RoleEdit);

    OKButton = new QPushButton(QStringLiteral("OK"), this);
    OKButton->setObjectName(QStringLiteral("OKButton"));
    OKButton->setGeometry(40, 166, 81, 25);
    OKButton->setDefault(true);
    OKButton->setEnabled(false);
    CancelButton = new QPushButton(QStringLiteral("Cancel"), this);
    CancelButton->setObjectName(QStringLiteral("CancelButton"));
    CancelButton->setGeometry(128, 166, 81, 25);

    setTabOrder(UserNameEdit, PasswordEdit);
    setTabOrder(PasswordEdit, RoleEdit);
    setTabOrder(RoleEdit, OKButton);
    setTabOrder(OKButton, CancelButton);

    connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);
    connect(CancelButton, &QPushButton::clicked, this, &QDialog::reject);
    for (QLineEdit *edit : {UserNameEdit, PasswordEdit}) {
        connect(edit, &QLineEdit::textChanged, this,
                [this, edit] { ui::guarded([&] { EditChange(edit); }); });
    }
}

QLineEdit *TLoginForm::addEdit(const QString &objectName, int top, int height)
{
    auto *edit = new QLineEdit(this);
    edit->setObjectName(objectName);
    edit->setGeometry(84, top, 145, height);
    return edit;
}

void TLoginForm::EditChange(QObject *)
{
    // Blanks count: a name or password of spaces is still a name or password.
    OKButton->setEnabled(!UserNameEdit->text().isEmpty() && !PasswordEdit->text().isEmpty());
}

void TLoginForm::FormShow(QObject *)
{
    if (UserNameEdit->text().isEmpty())
        UserNameEdit->setFocus();
    else
        PasswordEdit->setFocus();
}

void TLoginForm::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous()) {
        ui::centreOnScreen(*this);
        ui::guarded([&] { FormShow(this); });
    }
}
