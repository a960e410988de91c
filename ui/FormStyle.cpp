#include "FormStyle.h"

#include <QAbstractItemView>
#include <QDialog>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QLayout>
#include <QScreen>
#include <QSettings>
#include <QStyle>
#include <QUrl>
#include <algorithm>
#include <memory>

namespace ui {

void substituteDesignFonts()
{
    // A bitmap face of Windows; its widths are close to Arial's, so the faces
    // made to Arial's widths stand in for it. Without this fontconfig falls
    // back to DejaVu Sans, which is wide enough to cut the design's captions.
    static const bool done = [] {
        QFont::insertSubstitutions(
            QStringLiteral("MS Sans Serif"),
            {QStringLiteral("Liberation Sans"), QStringLiteral("Arimo"), QStringLiteral("Arial")});
        return true;
    }();
    Q_UNUSED(done)
}

QFont pixelFont(const QString &family, int pixelHeight, bool bold)
{
    substituteDesignFonts();
    QFont font(family);
    font.setPixelSize(pixelHeight);
    font.setBold(bold);
    font.setStyleHint(QFont::SansSerif);
    return font;
}

QFont formFont()
{
    return pixelFont(QStringLiteral("MS Sans Serif"), 11);
}

void makeFixedDialog(QDialog &dialog, const QString &caption, int clientWidth, int clientHeight)
{
    dialog.setWindowTitle(caption);
    dialog.setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    dialog.setFixedSize(clientWidth, clientHeight);
    dialog.setFont(formFont());
    dialog.setModal(true);
}

void centreOnScreen(QWidget &window)
{
    const QScreen *screen = window.screen() ? window.screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect available = screen->availableGeometry();
    window.move(available.center() - QPoint(window.width() / 2, window.height() / 2));
}

void widenForLines(QWidget &window, const QAbstractItemView &list, const QStringList &lines,
                   bool checkable)
{
    int widest = 0;
    for (const QString &line : lines)
        widest = std::max(widest, list.fontMetrics().horizontalAdvance(line));
    const QStyle *style = list.style();
    // The item's own margins, its check box where it has one, the list's
    // frame and its scroll bar, and what the window has around the list.
    int needed = widest + 2 * style->pixelMetric(QStyle::PM_FocusFrameHMargin) + 8 +
                 2 * list.frameWidth() + style->pixelMetric(QStyle::PM_ScrollBarExtent);
    // Before the window is first shown its layout has not sized the list yet.
    if (const QLayout *layout = window.layout())
        needed += layout->contentsMargins().left() + layout->contentsMargins().right();
    if (checkable)
        needed += style->pixelMetric(QStyle::PM_IndicatorWidth) +
                  style->pixelMetric(QStyle::PM_CheckBoxLabelSpacing) + 4;
    const QScreen *screen = window.screen() ? window.screen() : QGuiApplication::primaryScreen();
    const int room = screen ? screen->availableGeometry().width() * 9 / 10 : needed;
    const int width = std::min(needed, room);
    if (width > window.width())
        window.resize(width, window.height());
}

QLabel *addLabel(QWidget *parent, const QString &objectName, const QString &caption, int left,
                 int top)
{
    auto *label = new QLabel(caption, parent);
    label->setObjectName(objectName);
    label->adjustSize();
    label->move(left, top);
    return label;
}

namespace {

// kelvane.ini in the user's configuration folder, beside the alias file.
std::unique_ptr<QSettings> windowSettings()
{
    return std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope,
                                       QStringLiteral("kelvane"), QStringLiteral("kelvane"));
}

QString sizeKey(const QString &window)
{
    return window + QStringLiteral("/size");
}

} // namespace

QSize savedWindowSize(const QString &window)
{
    return windowSettings()->value(sizeKey(window)).toSize();
}

void saveWindowSize(const QString &window, const QSize &size)
{
    windowSettings()->setValue(sizeKey(window), size);
}

namespace {

// Any name can be a key: slashes and the like would otherwise make groups.
QString choiceKey(const QString &group, const QString &name)
{
    return group + QLatin1Char('/') + QString::fromLatin1(QUrl::toPercentEncoding(name));
}

} // namespace

QString savedChoice(const QString &group, const QString &name)
{
    return windowSettings()->value(choiceKey(group, name)).toString();
}

void saveChoice(const QString &group, const QString &name, const QString &value)
{
    windowSettings()->setValue(choiceKey(group, name), value);
}

QString windowSettingsFile()
{
    return windowSettings()->fileName();
}

QFrame *addBottomLine(QWidget *parent, const QString &objectName, int left, int top, int width,
                      int height)
{
    auto *frame = new QFrame(parent);
    frame->setObjectName(objectName);
    frame->setGeometry(left, top, width, height);
    auto *line = new QFrame(frame);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    line->setGeometry(0, height - 2, width, 2);
    return frame;
}

} // namespace ui
