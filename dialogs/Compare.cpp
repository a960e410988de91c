#include "Compare.h"

#include "ui/Application.h"
#include "ui/FormStyle.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

TCompareForm::TCompareForm(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("CompareForm"));
    setWindowTitle(QStringLiteral("Compare"));
    resize(640, 380);

    CompareLabel = new QLabel(this);
    CompareLabel->setObjectName(QStringLiteral("CompareLabel"));
    // Names are plain text, never markup.
    CompareLabel->setTextFormat(Qt::PlainText);
    CompareLabel->setWordWrap(true);
    DifferenceList = new QListWidget(this);
    DifferenceList->setObjectName(QStringLiteral("DifferenceList"));
    DifferenceList->setUniformItemSizes(true);
    NoteLabel = new QLabel(this);
    NoteLabel->setObjectName(QStringLiteral("NoteLabel"));
    NoteLabel->setTextFormat(Qt::PlainText);
    NoteLabel->setWordWrap(true);
    auto *buttons = new QDialogButtonBox(this);
    OKButton = buttons->addButton(QStringLiteral("&Bring here"), QDialogButtonBox::AcceptRole);
    OKButton->setObjectName(QStringLiteral("OKButton"));
    CancelButton = buttons->addButton(QDialogButtonBox::Cancel);
    CancelButton->setObjectName(QStringLiteral("CancelButton"));

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(CompareLabel);
    layout->addWidget(DifferenceList, 1);
    layout->addWidget(NoteLabel);
    layout->addWidget(buttons);

    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(DifferenceList, &QListWidget::itemChanged, this,
            [this] { ui::guarded([&] { DifferenceListChange(DifferenceList); }); });
}

void TCompareForm::setDifferences(const QString &other, const QStringList &lines,
                                  const QString &note)
{
    CompareLabel->setText(
        QStringLiteral("What differs from %1, for each grantee and object. Tick what to bring "
                       "here: those pairs will hold exactly what they hold there.")
            .arg(other));
    DifferenceList->clear();
    for (const QString &line : lines) {
        auto *item = new QListWidgetItem(line, DifferenceList);
        // A long line scrolls; its tooltip holds it whole.
        item->setToolTip(line);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(Qt::Unchecked);
    }
    DifferenceList->setCurrentRow(0);
    ui::widenForLines(*this, *DifferenceList, lines, true);
    NoteLabel->setText(note);
    NoteLabel->setVisible(!note.isEmpty());
    DifferenceListChange(DifferenceList);
}

QList<int> TCompareForm::ticked() const
{
    QList<int> rows;
    for (int row = 0; row < DifferenceList->count(); ++row) {
        if (DifferenceList->item(row)->checkState() == Qt::Checked)
            rows.append(row);
    }
    return rows;
}

void TCompareForm::DifferenceListChange(QObject *)
{
    OKButton->setEnabled(!ticked().isEmpty());
}
