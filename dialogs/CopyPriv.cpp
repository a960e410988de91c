#include "CopyPriv.h"

#include "Pictures.h"

#include "ui/Application.h"
#include "ui/FormStyle.h"

#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QStyle>

namespace {

constexpr QSize DesignSize(193, 281);
constexpr int DesignListWidth = 177;

} // namespace

TCopyForm::TCopyForm(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("CopyForm"));
    ui::makeFixedDialog(*this, QStringLiteral("Copy Privileges"), DesignSize.width(),
                        DesignSize.height());

    CopyLabel = new QLabel(this);
    CopyLabel->setObjectName(QStringLiteral("CopyLabel"));
    CopyLabel->setGeometry(8, 3, 177, 28);
    CopyLabel->setWordWrap(true);
    // The label names a user and a relation: plain text, never markup.
    CopyLabel->setTextFormat(Qt::PlainText);
    CopyLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    CopyList = new QListWidget(this);
    CopyList->setObjectName(QStringLiteral("CopyList"));
    CopyList->setGeometry(8, 32, DesignListWidth, 212);
    CopyList->setSelectionMode(QAbstractItemView::MultiSelection);
    CopyList->setSortingEnabled(false);
    CopyList->setUniformItemSizes(true);
    // As large as the kind badges of the main window's lists.
    CopyList->setIconSize(QSize(pictures::BadgeSize, pictures::BadgeSize));

    OKButton = new QPushButton(style()->standardIcon(QStyle::SP_DialogOkButton),
                               QStringLiteral("OK"), this);
    OKButton->setObjectName(QStringLiteral("OKButton"));
    OKButton->setGeometry(12, 252, 81, 25);
    OKButton->setDefault(true);
    CancelButton = new QPushButton(style()->standardIcon(QStyle::SP_DialogCancelButton),
                                   QStringLiteral("Cancel"), this);
    CancelButton->setObjectName(QStringLiteral("CancelButton"));
    CancelButton->setGeometry(101, 252, 81, 25);

    setTabOrder(CopyList, OKButton);
    setTabOrder(OKButton, CancelButton);

    connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);
    connect(CancelButton, &QPushButton::clicked, this, &QDialog::reject);
    connect(CopyList, &QListWidget::itemSelectionChanged, this,
            [this] { ui::guarded([&] { CopyListClick(CopyList); }); });
}

void TCopyForm::FormShow(QObject *)
{
    OKButton->setEnabled(false);
}

void TCopyForm::CopyListClick(QObject *)
{
    OKButton->setEnabled(!CopyList->selectedItems().isEmpty());
}

void TCopyForm::fitToItems()
{
    // A long name, or a grantee shown with its kind, is read whole: the
    // dialog grows to its longest item, never below its design width nor
    // beyond the screen.
    const QFontMetrics metrics(CopyList->font());
    int widest = 0;
    for (int row = 0; row < CopyList->count(); ++row) {
        const QListWidgetItem *item = CopyList->item(row);
        const int icon = item->icon().isNull() ? 0 : CopyList->iconSize().width() + 4;
        widest = std::max(widest, metrics.horizontalAdvance(item->text()) + icon);
    }
    // The item's margins, the frame and a vertical scroll bar.
    const int chrome = 12 + 2 * CopyList->frameWidth() +
                       style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, CopyList);
    const QScreen *screen = this->screen();
    const int most =
        screen ? screen->availableGeometry().width() - DesignSize.width() : DesignListWidth;
    const int grow = std::clamp(widest + chrome - DesignListWidth, 0, std::max(0, most));
    setFixedSize(DesignSize.width() + grow, DesignSize.height());
    CopyLabel->resize(DesignListWidth + grow, CopyLabel->height());
    CopyList->resize(DesignListWidth + grow, CopyList->height());
    // The buttons stay together, under the middle of the list.
    OKButton->move(12 + grow / 2, OKButton->y());
    CancelButton->move(101 + grow / 2, CancelButton->y());
}

void TCopyForm::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous()) {
        fitToItems();
        ui::centreOnScreen(*this);
        ui::guarded([&] { FormShow(this); });
    }
}
