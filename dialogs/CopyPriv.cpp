#include "CopyPriv.h"

#include "ui/Application.h"
#include "ui/FormStyle.h"

#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QShowEvent>
#include <QStyle>

TCopyForm::TCopyForm(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("CopyForm"));
    ui::makeFixedDialog(*this, QStringLiteral("Copy Privileges"), 193, 281);

    CopyLabel = new QLabel(this);
    CopyLabel->setObjectName(QStringLiteral("CopyLabel"));
    CopyLabel->setGeometry(8, 3, 177, 28);
    CopyLabel->setWordWrap(true);
    // The label names a user and a relation: plain text, never markup.
    CopyLabel->setTextFormat(Qt::PlainText);
    CopyLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    CopyList = new QListWidget(this);
    CopyList->setObjectName(QStringLiteral("CopyList"));
    CopyList->setGeometry(8, 32, 177, 212);
    CopyList->setSelectionMode(QAbstractItemView::MultiSelection);
    CopyList->setSortingEnabled(false);
    CopyList->setUniformItemSizes(true);

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

void TCopyForm::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous()) {
        ui::centreOnScreen(*this);
        ui::guarded([&] { FormShow(this); });
    }
}
