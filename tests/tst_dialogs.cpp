// The login dialog's rules, the copy dialog's OK button and the about box.
#include "TestServer.h"
#include "dialogs/CopyPriv.h"
#include "dialogs/DBLogin.h"
#include "dialogs/MarlAbout.h"
#include "ui/Application.h"
#include "ui/Dialogs.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScopeGuard>
#include <QStyle>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

namespace {

void writeFile(const QString &path, const QString &text)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        QFAIL(qPrintable(QStringLiteral("cannot write ") + path));
    file.write(text.toUtf8());
}

} // namespace

class TestDialogs : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { ui::Application::setTitle(QStringLiteral("Kelvane")); }
    void cleanup();

    void loginOkNeedsBothTexts();
    void loginFocusFollowsTheUserName();
    void loginDesign();
    void copyOkNeedsASelection();
    void copyDialogFitsItsLongestItem();
    void aboutLinkStartsTheViewer_data();
    void aboutLinkStartsTheViewer();
    void aboutClosesByOkAndEnter();
};

void TestDialogs::cleanup()
{
    QVERIFY(testui::allAnswered());
    for (QWidget *widget : QApplication::topLevelWidgets())
        QVERIFY2(!widget->isVisible(), qPrintable(widget->objectName()));
}

void TestDialogs::loginOkNeedsBothTexts()
{
    TLoginForm login;
    QCOMPARE(login.UserNameEdit->text(), QStringLiteral("SYSDBA"));
    QVERIFY(!login.OKButton->isEnabled());
    QTest::keyClicks(login.PasswordEdit, QStringLiteral("p"));
    QVERIFY(login.OKButton->isEnabled());
    login.UserNameEdit->clear();
    QVERIFY(!login.OKButton->isEnabled());
    QTest::keyClicks(login.UserNameEdit, QStringLiteral(" "));
    QVERIFY(login.OKButton->isEnabled()); // blanks are a name too
    login.PasswordEdit->clear();
    QVERIFY(!login.OKButton->isEnabled());
}

void TestDialogs::loginFocusFollowsTheUserName()
{
    TLoginForm login;
    QWidget *focused = nullptr;
    testui::whenModal([&](QWidget *modal) {
        focused = QApplication::focusWidget();
        qobject_cast<QDialog *>(modal)->reject();
    });
    QCOMPARE(ui::showModal(login), ui::ModalResult::Cancel);
    QCOMPARE(focused, login.PasswordEdit);

    login.UserNameEdit->clear();
    testui::whenModal([&](QWidget *) {
        focused = QApplication::focusWidget();
        QTest::keyClicks(focused, QStringLiteral("fred"));
        QTest::keyClick(focused, Qt::Key_Tab);
        QTest::keyClicks(QApplication::focusWidget(), QStringLiteral(" secret "));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    });
    QCOMPARE(ui::showModal(login), ui::ModalResult::Ok);
    QCOMPARE(focused, login.UserNameEdit);
    QCOMPARE(login.UserNameEdit->text(), QStringLiteral("fred"));
    QCOMPARE(login.PasswordEdit->text(), QStringLiteral(" secret "));

    testui::whenModal([](QWidget *modal) { QTest::keyClick(modal, Qt::Key_Escape); });
    QCOMPARE(ui::showModal(login), ui::ModalResult::Cancel);
}

void TestDialogs::loginDesign()
{
    TLoginForm login;
    QCOMPARE(login.windowTitle(), QStringLiteral("Database Login"));
    QCOMPARE(login.size(), QSize(249, 198));
    QCOMPARE(login.minimumSize(), login.maximumSize());
    QVERIFY(login.DatabaseEdit->isReadOnly());
    QVERIFY(!(login.DatabaseEdit->focusPolicy() & Qt::TabFocus));
    QCOMPARE(login.PasswordEdit->echoMode(), QLineEdit::Password);
    QCOMPARE(login.Label3->buddy(), login.UserNameEdit);
    QCOMPARE(login.Label2->buddy(), login.PasswordEdit);
    QCOMPARE(login.Label4->buddy(), login.RoleEdit);
    QVERIFY(login.OKButton->isDefault());
    QCOMPARE(login.OKButton->geometry(), QRect(40, 166, 81, 25));
    QCOMPARE(login.CancelButton->geometry(), QRect(128, 166, 81, 25));
}

void TestDialogs::copyOkNeedsASelection()
{
    TCopyForm copy;
    QCOMPARE(copy.windowTitle(), QStringLiteral("Copy Privileges"));
    QCOMPARE(copy.size(), QSize(193, 281));
    copy.CopyList->addItems({QStringLiteral("CLERK"), QStringLiteral("AUDITOR")});
    copy.OKButton->setEnabled(true);
    bool okAtFirst = true;
    bool okAfterPick = false;
    bool okAfterUnpick = true;
    testui::whenModal([&](QWidget *) {
        okAtFirst = copy.OKButton->isEnabled();
        QListWidget *list = copy.CopyList;
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                          list->visualItemRect(list->item(1)).center());
        okAfterPick = copy.OKButton->isEnabled();
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                          list->visualItemRect(list->item(1)).center());
        okAfterUnpick = copy.OKButton->isEnabled();
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                          list->visualItemRect(list->item(0)).center());
        copy.OKButton->click();
    });
    QCOMPARE(ui::showModal(copy), ui::ModalResult::Ok);
    QVERIFY(!okAtFirst);
    QVERIFY(okAfterPick);
    QVERIFY(!okAfterUnpick);
    QVERIFY(copy.CopyList->item(0)->isSelected());
    QVERIFY(!copy.CopyList->item(1)->isSelected());
}

void TestDialogs::copyDialogFitsItsLongestItem()
{
    TCopyForm copy;
    const QString longest = QStringLiteral("CUSTOMER_BALANCE_HISTORY_ALL (procedure)");
    copy.CopyList->addItems({QStringLiteral("CLERK"), longest});
    copy.CopyList->item(1)->setIcon(copy.style()->standardIcon(QStyle::SP_FileIcon));
    int listRight = 0;
    int textRoom = 0;
    testui::whenModal([&](QWidget *) {
        QListWidget *list = copy.CopyList;
        const QRect item = list->visualItemRect(list->item(1));
        listRight = list->viewport()->width() - item.left();
        textRoom = item.width() - list->iconSize().width();
        copy.CancelButton->click();
    });
    (void)ui::showModal(copy);
    QVERIFY(copy.width() > 193);
    const int text = QFontMetrics(copy.CopyList->font()).horizontalAdvance(longest);
    QVERIFY2(textRoom >= text && listRight >= text,
             qPrintable(QStringLiteral("%1 %2 %3").arg(textRoom).arg(listRight).arg(text)));
    // The buttons stay side by side under the list.
    QCOMPARE(copy.CancelButton->x() - copy.OKButton->x(), 89);
    QVERIFY(copy.CancelButton->geometry().right() < copy.width());
}

void TestDialogs::aboutLinkStartsTheViewer_data()
{
    QTest::addColumn<bool>("inCurrentDir");
    QTest::addColumn<bool>("installed");
    QTest::addColumn<bool>("opensInstalled");
    QTest::newRow("in the current directory") << true << false << false;
    QTest::newRow("in both: the current directory wins") << true << true << false;
    QTest::newRow("only installed beside the program") << false << true << true;
    QTest::newRow("neither: the viewer reports it") << false << false << false;
}

void TestDialogs::aboutLinkStartsTheViewer()
{
    QFETCH(bool, inCurrentDir);
    QFETCH(bool, installed);
    QFETCH(bool, opensInstalled);
    QTemporaryDir dir;
    const QString viewer = dir.filePath(QStringLiteral("viewer.sh"));
    const QString record = dir.filePath(QStringLiteral("opened.txt"));
    writeFile(viewer, QStringLiteral("#!/bin/sh\necho \"$PWD $*\" > '%1'\nexit 3\n").arg(record));
    QFile(viewer).setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    if (inCurrentDir)
        writeFile(dir.filePath(QStringLiteral("KELVANE.WRI")), QStringLiteral("{\\rtf1 here}"));

    // Where an installation keeps the guide: share/doc/kelvane beside the
    // folder of the program, here the test's own.
    const QString guideDir =
        QDir::cleanPath(QCoreApplication::applicationDirPath() + "/../share/doc/kelvane");
    const QString installedGuide = guideDir + QStringLiteral("/KELVANE.WRI");
    QVERIFY2(!QFile::exists(installedGuide),
             qPrintable(installedGuide + QStringLiteral(" is left from elsewhere; remove it")));
    const auto removeInstalled = qScopeGuard([&] {
        QFile::remove(installedGuide);
        QDir().rmpath(guideDir);
    });
    if (installed) {
        QVERIFY(QDir().mkpath(guideDir));
        writeFile(installedGuide, QStringLiteral("{\\rtf1 installed}"));
    }

    qputenv("KELVANE_DOCUMENT_VIEWER", viewer.toUtf8());
    const QString previous = QDir::currentPath();
    QDir::setCurrent(dir.path());
    const auto restore = qScopeGuard([&] {
        QDir::setCurrent(previous);
        qunsetenv("KELVANE_DOCUMENT_VIEWER");
    });

    TMarlAboutForm about;
    QCOMPARE(about.windowTitle(), QStringLiteral("About"));
    QCOMPARE(about.size(), QSize(394, 286));
    QCOMPARE(about.Label8->text(), QStringLiteral("Interbase Kelvane Administrator"));
    QCOMPARE(about.Label9->text(), QStringLiteral("Version 1.3.0"));
    QCOMPARE(about.SpeedButton1->geometry(), QRect(121, 220, 61, 17));
    QCOMPARE(about.SpeedButton1->cursor().shape(), Qt::PointingHandCursor);
    bool stillOpen = false;
    testui::whenModal([&](QWidget *) {
        QTest::mouseClick(about.SpeedButton1, Qt::LeftButton);
        QVERIFY(QTest::qWaitFor([&] { return QFile::exists(record); }, 5000));
        stillOpen = about.isVisible();
        about.OKButton->click();
    });
    QCOMPARE(ui::showModal(about), ui::ModalResult::Ok);
    QVERIFY(stillOpen);
    QFile opened(record);
    QVERIFY(QTest::qWaitFor([&] { return opened.size() > 0; }, 5000));
    QVERIFY(opened.open(QIODevice::ReadOnly));
    // Started in the current directory, with the guide's name as it is
    // found there, or the installed copy's full path.
    const QString document = opensInstalled ? installedGuide : QStringLiteral("KELVANE.WRI");
    QCOMPARE(QString::fromUtf8(opened.readAll()).trimmed(),
             QFileInfo(dir.path()).canonicalFilePath() + QLatin1Char(' ') + document);
}

void TestDialogs::aboutClosesByOkAndEnter()
{
    TMarlAboutForm about;
    testui::whenModal([](QWidget *modal) { QTest::keyClick(modal, Qt::Key_Return); });
    QCOMPARE(ui::showModal(about), ui::ModalResult::Ok);
    testui::whenModal([](QWidget *modal) { modal->close(); });
    QCOMPARE(ui::showModal(about), ui::ModalResult::Cancel);
}

QTEST_MAIN(TestDialogs)
#include "tst_dialogs.moc"
