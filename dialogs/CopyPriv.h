#pragma once

#include <QDialog>

class QLabel;
class QListWidget;
class QPushButton;

// Lets the administrator pick the users or relations that privileges are
// copied to. The caller fills the list and the label before each showing.
class TCopyForm : public QDialog
{
    Q_OBJECT
public:
    explicit TCopyForm(QWidget *parent = nullptr);

    QLabel *CopyLabel;
    QListWidget *CopyList;
    QPushButton *OKButton;
    QPushButton *CancelButton;

    void FormShow(QObject *sender);
    void CopyListClick(QObject *sender);

protected:
    void showEvent(QShowEvent *event) override;

private:
    void fitToItems();
};
