#include "Forms.h"

#include "PrivEdit.h"
#include "dialogs/Compare.h"
#include "dialogs/CopyPriv.h"
#include "dialogs/DBLogin.h"
#include "dialogs/MarlAbout.h"
#include "dialogs/Pictures.h"
#include "dialogs/WhoCan.h"
#include "ui/Application.h"
#include "ui/QuitSignals.h"

#include <QApplication>
#include <QScopeGuard>
#include <memory>

TKelvaneForm *KelvaneForm = nullptr;
TCopyForm *CopyForm = nullptr;
TLoginForm *LoginForm = nullptr;
TMarlAboutForm *MarlAboutForm = nullptr;
TWhoCanForm *WhoCanForm = nullptr;
TCompareForm *CompareForm = nullptr;

Forms::Forms()
{
    // The main window comes first, so it is the application's main window; the
    // dialogs are its children, so they stay above it and go with it.
    KelvaneForm = new TKelvaneForm();
    CopyForm = new TCopyForm(KelvaneForm);
    LoginForm = new TLoginForm(KelvaneForm);
    MarlAboutForm = new TMarlAboutForm(KelvaneForm);
    WhoCanForm = new TWhoCanForm(KelvaneForm);
    CompareForm = new TCompareForm(KelvaneForm);
}

Forms::~Forms()
{
    delete KelvaneForm;
    KelvaneForm = nullptr;
    CopyForm = nullptr;
    LoginForm = nullptr;
    MarlAboutForm = nullptr;
    WhoCanForm = nullptr;
    CompareForm = nullptr;
}

int runKelvane()
{
    ui::Application::setTitle(QStringLiteral("Kelvane"));
    QApplication::setWindowIcon(pictures::programIcon());
    const ui::QuitSignals quitSignals;
    std::unique_ptr<Forms> forms;
    try {
        {
            ui::Application::beginStartup();
            const auto startupDone = qScopeGuard([] { ui::Application::endStartup(); });
            forms = std::make_unique<Forms>();
            KelvaneForm->show();
        }
        // What failed inside a handler while showing was kept for us to report.
        ui::Application::rethrowStartupFailure();
    } catch (...) {
        ui::Application::showStartupFailure(std::current_exception());
        return 1;
    }
    QApplication::exec();
    return 0;
}
