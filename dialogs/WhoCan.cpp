#include "WhoCan.h"

#include "ui/Application.h"
#include "ui/FormStyle.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

TWhoCanForm::TWhoCanForm(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("WhoCanForm"));
    setWindowTitle(QStringLiteral("Who Can"));
    resize(560, 360);

    WhoCanLabel = new QLabel(this);
    WhoCanLabel->setObjectName(QStringLiteral("WhoCanLabel"));
    // Names are plain text, never markup.
    WhoCanLabel->setTextFormat(Qt::PlainText);
    OnlyGranteeCheck = new QCheckBox(this);
    OnlyGranteeCheck->setObjectName(QStringLiteral("OnlyGranteeCheck"));
    OnlyGranteeCheck->setChecked(true);
    PathList = new QListWidget(this);
    PathList->setObjectName(QStringLiteral("PathList"));
    PathList->setUniformItemSizes(true);
    PathList->setSelectionMode(QAbstractItemView::ExtendedSelection);
    NoteLabel = new QLabel(this);
    NoteLabel->setObjectName(QStringLiteral("NoteLabel"));
    NoteLabel->setTextFormat(Qt::PlainText);
    NoteLabel->setWordWrap(true);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    CloseButton = buttons->button(QDialogButtonBox::Close);
    CloseButton->setObjectName(QStringLiteral("CloseButton"));

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(WhoCanLabel);
    layout->addWidget(OnlyGranteeCheck);
    layout->addWidget(PathList, 1);
    layout->addWidget(NoteLabel);
    layout->addWidget(buttons);

    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(OnlyGranteeCheck, &QCheckBox::toggled, this,
            [this] { ui::guarded([&] { OnlyGranteeCheckClick(OnlyGranteeCheck); }); });
}

void TWhoCanForm::setPaths(const QString &object, const QString &grantee,
                           const QStringList &ofGrantee, const QStringList &everyone,
                           const QString &note)
{
    m_object = object;
    m_grantee = grantee;
    m_ofGrantee = ofGrantee;
    m_everyone = everyone;
    // "&&" keeps a name's own ampersand from becoming a mnemonic.
    OnlyGranteeCheck->setText(
        QStringLiteral("&Only %1").arg(QString(grantee).replace(u'&', QStringLiteral("&&"))));
    NoteLabel->setText(note);
    NoteLabel->setVisible(!note.isEmpty());
    // As wide as either list needs, so that ticking the box does not resize.
    ui::widenForLines(*this, *PathList, ofGrantee + everyone);
    OnlyGranteeCheckClick(OnlyGranteeCheck);
}

void TWhoCanForm::OnlyGranteeCheckClick(QObject *)
{
    const bool only = OnlyGranteeCheck->isChecked();
    WhoCanLabel->setText(only ? QStringLiteral("How %1 can use %2:").arg(m_grantee, m_object)
                              : QStringLiteral("Who can use %1, and through what:").arg(m_object));
    PathList->clear();
    const QStringList &lines = only ? m_ofGrantee : m_everyone;
    if (lines.isEmpty())
        PathList->addItem(QStringLiteral("%1 can use nothing of %2.").arg(m_grantee, m_object));
    else
        PathList->addItems(lines);
    PathList->setCurrentRow(0);
}
