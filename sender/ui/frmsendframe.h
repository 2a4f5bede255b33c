#pragma once

#include "sender/sendrun.h"

#include <QDialog>

#include <array>

class FocusChecks;
class QCheckBox;
class QComboBox;
class QFrame;
class QGroupBox;
class QLineEdit;
class QPushButton;
class QRadioButton;

// "Send Frame to CAN...": the send-frame dialog. It shows what its SendRun
// holds, writes the user's edits into it, runs its checks when a box loses
// the focus (a failed check puts the focus back) and forwards the buttons.
// Closing it (Close, the close box, Escape) ends a run and only hides it;
// "Hide" hides it and the run goes on.
class frmSendFrame final : public QDialog
{
    Q_OBJECT
public:
    explicit frmSendFrame(SendRun &run, QWidget *parent = nullptr);
    ~frmSendFrame() override;

    [[nodiscard]] SendRun &sendRun() const { return run; }

    QGroupBox *frmCAN_ID = nullptr;
    std::array<QRadioButton *, 2> optCANType{};
    QLineEdit *txtIDStd = nullptr;
    QLineEdit *txtIDExt = nullptr;
    QFrame *PictureID = nullptr;

    QGroupBox *frmCAN_Data = nullptr;
    std::array<QRadioButton *, 2> optDataType{};
    QCheckBox *chkRB0 = nullptr;
    QCheckBox *chkRB1 = nullptr;
    QComboBox *cmbDataSize = nullptr;
    std::array<QLineEdit *, SendRun::dataBoxes> txtDec{};
    std::array<QLineEdit *, SendRun::dataBoxes> txtHex{};
    std::array<QLineEdit *, SendRun::dataBoxes> txtChr{};

    QGroupBox *frmCAN_Count = nullptr;
    std::array<QRadioButton *, 2> optCount{};
    QLineEdit *txtCount = nullptr;
    QLineEdit *txtTime = nullptr;
    QCheckBox *chkWaitAnswer = nullptr;
    QCheckBox *chkCANLoop = nullptr;

    QLineEdit *txtSendCount = nullptr;
    QLineEdit *txtStatCAN = nullptr;
    QLineEdit *txtErrCAN = nullptr;
    QLineEdit *txtErrMOB = nullptr;

    QPushButton *cmdStart = nullptr;
    QPushButton *cmdHide = nullptr;
    QPushButton *cmdClose = nullptr;

signals:
    // The user closed the dialog (Close, the close box or Escape): the run has
    // ended and the dialog is hidden; the main window releases its menu item
    // and tool-bar button.
    void closedByUser();

public slots:
    // Close, as the button does (also the link's reset of the windows).
    void cmdClose_Click();

protected:
    void closeEvent(QCloseEvent *event) override;
    void reject() override;

private:
    void createControls();
    void refresh();
    QLineEdit *addBox(QWidget *parent, const QString &name, int maxLength, bool fixedPitch);
    void onEnter(QLineEdit *box);

    SendRun &run;
    FocusChecks *checks = nullptr;
    bool refreshing = false;
};
