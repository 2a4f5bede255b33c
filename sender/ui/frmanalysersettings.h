#pragma once

#include "sender/analysersettings.h"

#include <QDialog>

class FocusChecks;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

// "CAN Analiser Settings...": the analyser settings dialog, opened modally
// from View › Options. It loads its AnalyserSettings when created, shows
// them, forwards clicks and checks, and asks before closing with unsaved
// changes (Cancel keeps it open).
class frmAnalyserSettings final : public QDialog
{
    Q_OBJECT
public:
    explicit frmAnalyserSettings(AnalyserSettings &settings, QWidget *parent = nullptr);
    ~frmAnalyserSettings() override;

    QGroupBox *frmCOMPortSettings = nullptr;
    QComboBox *cmbCOMPort = nullptr;
    QLabel *lblCOMDevice = nullptr; // what the port number means here
    QGroupBox *frmCANSettings = nullptr;
    QComboBox *cmbCAN_Speed = nullptr;
    QComboBox *cmbCAN_Timer = nullptr;
    QGroupBox *Frame1 = nullptr;
    QLineEdit *txtSendFrame_Retry = nullptr;
    QLineEdit *txtSendFrame_TimeOut = nullptr;
    QPushButton *cmdFlashUpdate = nullptr;
    QPushButton *cmdOk = nullptr;
    QPushButton *cmdCancel = nullptr;
    QPushButton *cmdApply = nullptr;

protected:
    void closeEvent(QCloseEvent *event) override;
    void reject() override;

private:
    void createControls();
    void refresh();

    AnalyserSettings &settings;
    FocusChecks *checks = nullptr;
    bool refreshing = false;
};
