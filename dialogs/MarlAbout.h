#pragma once

#include <QDialog>

class QFrame;
class QLabel;
class QPushButton;
class QToolButton;

// Product information, and a link that opens the user guide KELVANE.WRI.
class TMarlAboutForm : public QDialog
{
    Q_OBJECT
public:
    explicit TMarlAboutForm(QWidget *parent = nullptr);

    QFrame *Bevel1;
    QLabel *Image1;
    QLabel *Label1;
    QLabel *Label2;
    QLabel *Label3;
    QLabel *Label7;
    QLabel *Label4;
    QLabel *Label5;
    QLabel *Label6;
    QFrame *Bevel2;
    QLabel *Label8;
    QLabel *Label9;
    QLabel *Label12;
    QLabel *Label10;
    QLabel *Label11;
    QToolButton *SpeedButton1;
    QFrame *Bevel3;
    QPushButton *OKButton;

    void SpeedButton1Click(QObject *sender);

    // The program started to show the user guide ($KELVANE_DOCUMENT_VIEWER,
    // else xdg-open), and its arguments: the guide in the current directory,
    // else the one installed beside the program.
    [[nodiscard]] static QString viewerProgram();
    [[nodiscard]] static QStringList viewerArguments();

protected:
    void showEvent(QShowEvent *event) override;
};
