// The main window's showing and closing, its header bar's tool buttons and
// connecting to the alias chosen in the alias list.
#include "PrivEdit.h"

#include "AliasHint.h"
#include "Forms.h"
#include "db/Session.h"
#include "dialogs/DBLogin.h"
#include "dialogs/MarlAbout.h"
#include "ui/Application.h"
#include "ui/Dialogs.h"
#include "ui/FormStyle.h"
#include "ui/QuitSignals.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QLineEdit>
#include <QShowEvent>

TKelvaneForm::~TKelvaneForm()
{
    // Close while every dataset and grid still exists, so each hears of it.
    Database.close();
}

void TKelvaneForm::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (event->spontaneous())
        return;
    if (!m_centred) {
        ui::centreOnScreen(*this);
        m_centred = true;
    }
    ui::guarded([&] { FormShow(this); });
}

void TKelvaneForm::closeEvent(QCloseEvent *event)
{
    ui::guarded([&] { FormClose(this); });
    ui::saveWindowSize(objectName(), isMaximized() ? normalGeometry().size() : size());
    QWidget::closeEvent(event);
}

void TKelvaneForm::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    layOut();
}

void TKelvaneForm::FormShow(QObject *)
{
    setWindowTitle(QStringLiteral("IB Kelvane Administrator"));
    DBCombo->clear();
    DBCombo->addItems(db::TSession::aliasNames());
    // Only aliases of exactly this driver are offered; the count is read
    // again at every step because removing an item shifts the rest up.
    for (int i = 0; i < DBCombo->count();) {
        if (db::TSession::aliasDriverName(DBCombo->itemText(i)) == QLatin1String("INTRBASE"))
            ++i;
        else
            DBCombo->removeItem(i);
    }
    DBCombo->setCurrentIndex(-1);
    Database.setLoginPrompt(false);
    showAliasFileHint(*DBCombo);
}

void TKelvaneForm::FormClose(QObject *)
{
    // Nothing to confirm or save; the connection goes with the window.
}

void TKelvaneForm::ExitButtonClick(QObject *)
{
    close();
}

void TKelvaneForm::AboutButtonClick(QObject *)
{
    (void)ui::showModal(*MarlAboutForm);
}

namespace {

const QString RolesGroup = QStringLiteral("Roles");

} // namespace

void TKelvaneForm::showConnection()
{
    QString caption = QStringLiteral("IB Kelvane Administrator");
    if (Database.connected()) {
        // As the server knows the attachment, not as typed.
        const db::Login &who = login();
        caption += QStringLiteral(" \u2014 ") + who.name;
        if (!who.role.isEmpty())
            caption += QStringLiteral(", role ") + who.role;
    }
    setWindowTitle(caption);
}

void TKelvaneForm::DBComboChange(QObject *)
{
    if (DBCombo->currentIndex() < 0)
        return;
    Procedures.close();
    DetailQuery.close();
    MasterQuery.close();
    Database.close();
    m_loginKnown = false;
    // What can be undone belongs to the connection it was done on.
    m_undo.clear();

    showConnection();

    const QString alias = DBCombo->currentText();
    LoginForm->DatabaseEdit->setText(alias);
    LoginForm->PasswordEdit->clear();
    // Each database has the role its administrator works in.
    LoginForm->RoleEdit->setText(ui::savedChoice(RolesGroup, alias));
    if (ui::showModal(*LoginForm) != ui::ModalResult::Ok) {
        DBCombo->setCurrentIndex(-1);
        return;
    }
    const QString role = LoginForm->RoleEdit->text().trimmed();
    ui::saveChoice(RolesGroup, alias, role);
    Database.paramsClear();
    Database.paramsAdd(QStringLiteral("USERNAME=") + LoginForm->UserNameEdit->text());
    Database.paramsAdd(QStringLiteral("PASSWORD=") + LoginForm->PasswordEdit->text());
    if (!role.isEmpty())
        Database.paramsAdd(QStringLiteral("ROLE=") + role);
    Database.setAliasName(alias);
    try {
        Database.open();
    } catch (...) {
        DBCombo->setCurrentIndex(-1);
        throw;
    }
    const auto dropUnused = qScopeGuard([this] { forgetRowsReadAhead(); });
    readEverything(true);
    showConnection();
    // The client library, loaded by the first connection, sets handlers of
    // its own for the signals that end the program.
    ui::QuitSignals::reclaim();
    Procedures.open();
    ViewsQuery.open();
    ByRadioClick(nullptr);
}

QList<db::PackedSource> TKelvaneForm::readAtConnectSources() const
{
    return {db::packedSourceOf(LoginQuery),
            db::packedSourceOf(Procedures),
            db::packedSourceOf(ViewsQuery),
            {db::usersListSql().join(QLatin1Char('\n')),
             {QStringLiteral("RDB$USER"), QStringLiteral("RDB$USER_TYPE")}},
            {db::relationsListSql().join(QLatin1Char('\n')),
             {QStringLiteral("RDB$RELATION_NAME"), QStringLiteral("RDB$OBJECT_TYPE")}}};
}

void TKelvaneForm::readEverything(bool connecting)
{
    ConnectQuery.close();
    QList<db::ReadRows> rows = db::readPackedRows(ConnectQuery, readAtConnectSources());
    if (connecting)
        LoginQuery.openNextWith(std::move(rows[0]));
    Procedures.openNextWith(std::move(rows[1]));
    ViewsQuery.openNextWith(std::move(rows[2]));
    m_listsReadAhead.emplace(std::move(rows[3]), std::move(rows[4]));
}

void TKelvaneForm::forgetRowsReadAhead()
{
    for (db::TDataSet *dataSet : std::initializer_list<db::TDataSet *>{
             &LoginQuery, &Procedures, &ViewsQuery, &MasterQuery, &DetailQuery})
        dataSet->forgetKeptRows();
    m_listsReadAhead.reset();
}
