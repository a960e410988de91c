#include "MarlAbout.h"

#include "KelvaneVersion.h"
#include "Pictures.h"
#include "ui/Application.h"
#include "ui/FormStyle.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QFontMetrics>
#include <QFrame>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QShowEvent>
#include <QToolButton>

namespace {

const QString MakerName = QStringLiteral("Marlwood Systems");

QLabel *styledLabel(QWidget *parent, const QString &objectName, const QString &text,
                    const QRect &geometry, const QFont &font, const QColor &color)
{
    auto *label = new QLabel(text, parent);
    label->setObjectName(objectName);
    label->setFont(font);
    QPalette pal = label->palette();
    pal.setColor(QPalette::WindowText, color);
    label->setPalette(pal);
    if (geometry.size().isEmpty()) {
        label->adjustSize();
        label->move(geometry.topLeft());
    } else {
        label->setGeometry(geometry);
    }
    return label;
}

} // namespace

TMarlAboutForm::TMarlAboutForm(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("MarlAboutForm"));
    ui::makeFixedDialog(*this, QStringLiteral("About"), 394, 286);
    const QColor maroon(128, 0, 0);
    const QColor navy(0, 0, 128);
    const QFont plain = ui::formFont();

    Bevel1 = new QFrame(this);
    Bevel1->setObjectName(QStringLiteral("Bevel1"));
    Bevel1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    Bevel1->setGeometry(8, 8, 41, 41);
    Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setGeometry(12, 12, 32, 32);
    Image1->setPixmap(pictures::programIcon().pixmap(32, 32));

    // The name twice, one pixel apart, so that it shows with a maroon shadow.
    // Set a tenth narrower: at this height the serif face is wider than the
    // box the design gives the name.
    QFont nameFont = ui::pixelFont(QStringLiteral("Times New Roman"), 37, true);
    nameFont.setStretch(90);
    Label1 = styledLabel(this, QStringLiteral("Label1"), MakerName, QRect(58, 7, 272, 42), nameFont,
                         maroon);
    Label2 = styledLabel(this, QStringLiteral("Label2"), MakerName, QRect(57, 6, 272, 42), nameFont,
                         QColor(128, 128, 0));
    Label2->setAttribute(Qt::WA_TranslucentBackground);
    Label3 =
        styledLabel(this, QStringLiteral("Label3"), QStringLiteral("Ltd."), QRect(336, 28, 0, 0),
                    ui::pixelFont(QStringLiteral("MS Sans Serif"), 11, true), maroon);
    Label7 =
        styledLabel(this, QStringLiteral("Label7"),
                    QStringLiteral("Careful tools for people who keep databases running"),
                    QRect(16, 56, 359, 16), ui::pixelFont(QStringLiteral("Arial"), 13, true), navy);
    const QColor text = palette().color(QPalette::WindowText);
    Label4 = styledLabel(this, QStringLiteral("Label4"),
                         QStringLiteral("Address: 14 Quarry Lane, Marlborough SN8 1AA, England"),
                         QRect(56, 88, 0, 0), plain, text);
    Label5 = styledLabel(this, QStringLiteral("Label5"),
                         QStringLiteral("E-Mail: support@marlwood-systems.example"),
                         QRect(56, 104, 0, 0), plain, text);
    Label6 = styledLabel(this, QStringLiteral("Label6"),
                         QStringLiteral("URL: https://www.marlwood-systems.example/kelvane"),
                         QRect(56, 120, 0, 0), plain, text);
    Bevel2 = ui::addBottomLine(this, QStringLiteral("Bevel2"), 8, 136, 377, 10);

    Label8 = styledLabel(this, QStringLiteral("Label8"),
                         QStringLiteral("Interbase Kelvane Administrator"), QRect(42, 157, 314, 20),
                         ui::pixelFont(QStringLiteral("MS Sans Serif"), 16, true), navy);
    Label8->setAlignment(Qt::AlignCenter);
    Label9 = styledLabel(this, QStringLiteral("Label9"),
                         QStringLiteral("Version %1").arg(QLatin1String(KelvaneVersion)),
                         QRect(150, 177, 93, 20),
                         ui::pixelFont(QStringLiteral("MS Sans Serif"), 16), QColor(0, 0, 255));
    Label9->setAlignment(Qt::AlignCenter);
    Label12 = styledLabel(this, QStringLiteral("Label12"),
                          QStringLiteral("Copyright \u00A9 1997-2026 Marlwood Systems Ltd."),
                          QRect(72, 201, 0, 0), plain, text);

    // The file name inside the sentence is covered by a blue, underlined
    // copy of it and a flat button over that: only the name is the link.
    // Both labels take the width of their text, and the copy goes where the
    // face in use puts the name, so that it covers the name exactly.
    const QString sentence = QStringLiteral("See Kelvane.wri for further information.");
    const QString linkText = QStringLiteral("Kelvane.wri");
    Label10 =
        styledLabel(this, QStringLiteral("Label10"), sentence, QRect(101, 221, 0, 0), plain, text);
    QFont linkFont = plain;
    linkFont.setUnderline(true);
    const int linkLeft =
        101 + QFontMetrics(plain).horizontalAdvance(sentence.left(sentence.indexOf(linkText)));
    Label11 = styledLabel(this, QStringLiteral("Label11"), linkText, QRect(linkLeft, 221, 0, 0),
                          linkFont, QColor(0, 0, 255));
    Label11->setAutoFillBackground(true);
    SpeedButton1 = new QToolButton(this);
    SpeedButton1->setObjectName(QStringLiteral("SpeedButton1"));
    SpeedButton1->setGeometry(121, 220, 61, 17);
    SpeedButton1->setAutoRaise(true);
    SpeedButton1->setFocusPolicy(Qt::NoFocus);
    SpeedButton1->setCursor(Qt::PointingHandCursor);
    SpeedButton1->setStyleSheet(
        QStringLiteral("QToolButton { background: transparent; border: none; }"));
    SpeedButton1->setToolTip(QStringLiteral("Open the user guide"));
    Bevel3 = ui::addBottomLine(this, QStringLiteral("Bevel3"), 8, 240, 377, 10);

    OKButton = new QPushButton(QStringLiteral("OK"), this);
    OKButton->setObjectName(QStringLiteral("OKButton"));
    OKButton->setGeometry(152, 256, 89, 27);
    OKButton->setDefault(true);
    connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);
    connect(SpeedButton1, &QToolButton::clicked, this,
            [this] { ui::guarded([&] { SpeedButton1Click(SpeedButton1); }); });
}

QString TMarlAboutForm::viewerProgram()
{
    const QString configured = qEnvironmentVariable("KELVANE_DOCUMENT_VIEWER");
    return configured.isEmpty() ? QStringLiteral("xdg-open") : configured;
}

QStringList TMarlAboutForm::viewerArguments()
{
    // The current directory comes first, as it always has, and the name stays
    // relative there. An installed program started from a menu or another
    // folder opens its own copy instead; where neither exists, the viewer is
    // still started and reports the missing file itself.
    const QString guide = QStringLiteral("KELVANE.WRI");
    if (QFileInfo::exists(guide))
        return {guide};
    const QString installed =
        QDir::cleanPath(QCoreApplication::applicationDirPath() + QLatin1Char('/') +
                        QLatin1String(KelvaneGuideFromProgram) + QLatin1Char('/') + guide);
    return {QFileInfo::exists(installed) ? installed : guide};
}

void TMarlAboutForm::SpeedButton1Click(QObject *)
{
    // Whatever the viewer answers is its own business; the box stays as it is.
    QProcess::startDetached(viewerProgram(), viewerArguments());
}

void TMarlAboutForm::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous())
        ui::centreOnScreen(*this);
}
