// Every caption of the main window, its two popup menus and the three dialogs
// fits its control with the fonts this machine actually resolves.
#include "TestServer.h"
#include "app/Forms.h"
#include "app/PrivEdit.h"
#include "dialogs/CopyPriv.h"
#include "dialogs/DBLogin.h"
#include "dialogs/MarlAbout.h"
#include "ui/Application.h"
#include "ui/FormStyle.h"
#include "ui/PopupMenu.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFontInfo>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QScreen>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStyleOptionComboBox>
#include <QStyleOptionMenuItem>
#include <QTest>
#include <QToolButton>

using testserver::AliasFile;

namespace {

// The text as drawn: an ampersand before a letter marks the mnemonic and is
// not shown, a doubled one shows as one.
QString withoutMnemonic(const QString &text)
{
    QString shown;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == QLatin1Char('&') && i + 1 < text.size())
            ++i;
        shown += text[i];
    }
    return shown;
}

QString describe(const QWidget *widget, const QString &text, const QString &why)
{
    return QStringLiteral("%1 \"%2\" (%3): %4")
        .arg(widget->objectName(), text, QFontInfo(widget->font()).family(), why);
}

// One line of text, of the width given, must fit the room whole.
void checkLine(const QWidget *widget, const QString &shown, int width, const QRect &room,
               QStringList &faults)
{
    const int height = QFontMetrics(widget->font()).height();
    if (width > room.width())
        faults << describe(widget, shown,
                           QStringLiteral("%1 pixels wide in %2").arg(width).arg(room.width()));
    if (height > room.height())
        faults << describe(widget, shown,
                           QStringLiteral("%1 pixels high in %2").arg(height).arg(room.height()));
}

// A label shows its text in its contents rectangle: one line must fit it
// whole, a wrapped text must fit its height at that width.
void checkLabel(const QLabel *label, QStringList &faults)
{
    if (label->text().isEmpty() || label->textFormat() == Qt::RichText)
        return;
    const QString shown = label->buddy() ? withoutMnemonic(label->text()) : label->text();
    const QRect room = label->contentsRect();
    const QFontMetrics metrics(label->font());
    if (label->wordWrap()) {
        const int needed = label->heightForWidth(label->width());
        if (needed > label->height())
            faults << describe(
                label, shown,
                QStringLiteral("needs %1 of %2 pixels height").arg(needed).arg(label->height()));
        return;
    }
    checkLine(label, shown, metrics.horizontalAdvance(shown), room, faults);
}

// A button draws its caption, and its picture beside it, in the contents
// rectangle its style gives it (what is left beside a radio button's
// indicator, inside a push button's bevel).
void checkButton(const QAbstractButton *button, QStringList &faults)
{
    if (button->text().isEmpty())
        return;
    const QString shown = withoutMnemonic(button->text());
    QStyleOptionButton option;
    option.initFrom(button);
    option.text = button->text();
    option.icon = button->icon();
    option.iconSize = button->iconSize();
    QStyle::SubElement contents = QStyle::SE_PushButtonContents;
    if (qobject_cast<const QRadioButton *>(button))
        contents = QStyle::SE_RadioButtonContents;
    else if (qobject_cast<const QCheckBox *>(button))
        contents = QStyle::SE_CheckBoxContents;
    const QRect room = button->style()->subElementRect(contents, &option, button);
    const QFontMetrics metrics(button->font());
    int needed = metrics.horizontalAdvance(shown);
    if (contents == QStyle::SE_PushButtonContents && !option.icon.isNull())
        needed += option.iconSize.width() + 4;
    checkLine(button, shown, needed, room, faults);
}

// A closed combo box shows its current text, or its placeholder with no
// selection, in the field beside the arrow.
void checkComboBox(const QComboBox *combo, QStringList &faults)
{
    const QString shown =
        combo->currentIndex() < 0 ? combo->placeholderText() : combo->currentText();
    if (shown.isEmpty())
        return;
    QStyleOptionComboBox option;
    option.initFrom(combo);
    const QRect field = combo->style()->subControlRect(QStyle::CC_ComboBox, &option,
                                                       QStyle::SC_ComboBoxEditField, combo);
    // The text is drawn one pixel in from either side of the field.
    checkLine(combo, shown, combo->fontMetrics().horizontalAdvance(shown),
              field.adjusted(1, 0, -1, 0), faults);
}

QStringList windowFaults(QWidget *window)
{
    QStringList faults;
    for (const QWidget *widget : window->findChildren<QWidget *>()) {
        if (widget->isWindow() || !widget->isVisibleTo(window))
            continue;
        if (const auto *label = qobject_cast<const QLabel *>(widget))
            checkLabel(label, faults);
        else if (const auto *button = qobject_cast<const QAbstractButton *>(widget))
            checkButton(button, faults);
        else if (const auto *combo = qobject_cast<const QComboBox *>(widget))
            checkComboBox(combo, faults);
    }
    return faults;
}

// A menu grows to its widest item, so a caption is cut only where the menu
// cannot grow: an item narrower than its caption needs, or a menu wider than
// the screen.
QStringList menuFaults(QMenu *menu)
{
    QStringList faults;
    menu->ensurePolished();
    menu->adjustSize();
    const QFontMetrics metrics(menu->font());
    for (QAction *action : menu->actions()) {
        if (action->isSeparator())
            continue;
        const QString shown = withoutMnemonic(action->text());
        QStyleOptionMenuItem option;
        option.initFrom(menu);
        option.menuItemType = QStyleOptionMenuItem::Normal;
        option.checkType = QStyleOptionMenuItem::NotCheckable;
        option.text = action->text();
        option.font = menu->font();
        const int needed =
            menu->style()
                ->sizeFromContents(QStyle::CT_MenuItem, &option,
                                   QSize(metrics.horizontalAdvance(shown), metrics.height()), menu)
                .width();
        // An item is laid out at the width it asks for even where the menu
        // is narrower; what shows is what lies inside the menu.
        const QRect geometry = menu->actionGeometry(action);
        const int has = std::min(geometry.width(), menu->width() - geometry.x());
        if (needed > has)
            faults << QStringLiteral("%1 \"%2\": needs %3 pixels, has %4")
                          .arg(action->objectName(), shown)
                          .arg(needed)
                          .arg(has);
    }
    const int screenWidth = QGuiApplication::primaryScreen()->availableGeometry().width();
    if (menu->sizeHint().width() > screenWidth)
        faults << QStringLiteral("%1 is %2 pixels wide, the screen %3")
                      .arg(menu->objectName())
                      .arg(menu->sizeHint().width())
                      .arg(screenWidth);
    return faults;
}

} // namespace

class TestCaptions : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void cleanup();

    void designFacesResolveToMetricCompatibleOnes_data();
    void designFacesResolveToMetricCompatibleOnes();
    void everyCaptionFits_data();
    void everyCaptionFits();
    void everyMenuItemIsWhole_data();
    void everyMenuItemIsWhole();
    void aboutLinkCoversTheNameInTheSentence();
};

void TestCaptions::initTestCase()
{
    ui::Application::setTitle(QStringLiteral("Kelvane"));
}

void TestCaptions::cleanup()
{
    QVERIFY(testui::allAnswered());
    for (QWidget *widget : QApplication::topLevelWidgets())
        QVERIFY2(!widget->isVisible(), qPrintable(widget->objectName()));
}

void TestCaptions::designFacesResolveToMetricCompatibleOnes_data()
{
    QTest::addColumn<QString>("design");
    QTest::addColumn<QString>("resolved");
    QTest::newRow("MS Sans Serif") << "MS Sans Serif"
                                   << "Liberation Sans";
    QTest::newRow("Arial") << "Arial"
                           << "Liberation Sans";
    QTest::newRow("Times New Roman") << "Times New Roman"
                                     << "Liberation Serif";
    QTest::newRow("Courier New") << "Courier New"
                                 << "Liberation Mono";
}

void TestCaptions::designFacesResolveToMetricCompatibleOnes()
{
    QFETCH(QString, design);
    QFETCH(QString, resolved);
    QCOMPARE(QFontInfo(ui::pixelFont(design, 11)).family(), resolved);
}

void TestCaptions::everyCaptionFits_data()
{
    QTest::addColumn<QString>("window");
    QTest::addColumn<QString>("aliasDriver"); // none: an alias file without aliases
    QTest::newRow("main window, no alias") << "KelvaneForm" << QString();
    QTest::newRow("main window, an alias") << "KelvaneForm"
                                           << "INTRBASE";
    QTest::newRow("login dialog") << "LoginForm" << QString();
    QTest::newRow("copy dialog") << "CopyForm" << QString();
    QTest::newRow("about box") << "MarlAboutForm" << QString();
}

void TestCaptions::everyCaptionFits()
{
    QFETCH(QString, window);
    QFETCH(QString, aliasDriver);
    QList<AliasFile::Alias> list;
    if (!aliasDriver.isEmpty())
        list.append({QStringLiteral("DEMO"), aliasDriver, QStringLiteral("nowhere")});
    AliasFile aliases(list);
    Forms forms;
    KelvaneForm->show();
    QWidget *form = window == QLatin1String("KelvaneForm")
                        ? KelvaneForm
                        : KelvaneForm->findChild<QWidget *>(window);
    QVERIFY(form);
    if (window == QLatin1String("LoginForm"))
        LoginForm->DatabaseEdit->setText(QStringLiteral("DEMO"));
    if (window == QLatin1String("CopyForm"))
        CopyForm->CopyLabel->setText(
            QStringLiteral("Copy the privileges of FRED for CUSTOMER to relations:"));
    form->ensurePolished();
    const QStringList faults = windowFaults(form);
    QVERIFY2(faults.isEmpty(), qPrintable(faults.join(QLatin1Char('\n'))));
    KelvaneForm->close();
}

void TestCaptions::everyMenuItemIsWhole_data()
{
    QTest::addColumn<QString>("menu");
    QTest::newRow("EditMenu") << "EditMenu";
    QTest::newRow("PrivilegeMenu") << "PrivilegeMenu";
}

void TestCaptions::everyMenuItemIsWhole()
{
    QFETCH(QString, menu);
    AliasFile aliases({});
    Forms forms;
    auto *popup = KelvaneForm->findChild<ui::PopupMenu *>(menu);
    QVERIFY(popup);
    QVERIFY(!popup->actions().isEmpty());
    const QStringList faults = menuFaults(popup);
    QVERIFY2(faults.isEmpty(), qPrintable(faults.join(QLatin1Char('\n'))));
}

void TestCaptions::aboutLinkCoversTheNameInTheSentence()
{
    // The blue copy of the file name must lie over the name in the sentence,
    // whatever face drew it, or the black name shows beside the link.
    TMarlAboutForm about;
    const QString sentence = about.Label10->text();
    const int nameAt = sentence.indexOf(about.Label11->text());
    QVERIFY(nameAt > 0);
    const QFontMetricsF metrics(about.Label10->font());
    const qreal nameLeft = about.Label10->x() + metrics.horizontalAdvance(sentence.left(nameAt));
    QVERIFY2(
        qAbs(about.Label11->x() - nameLeft) < 1.0,
        qPrintable(QStringLiteral("copy at %1, name at %2").arg(about.Label11->x()).arg(nameLeft)));
    QVERIFY(about.SpeedButton1->geometry().contains(about.Label11->geometry().center()));
}

QTEST_MAIN(TestCaptions)
#include "tst_captions.moc"
