#pragma once

#include <QWidget>

class FlashorRun;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;

// Flashor's window "Upload new firmware...". It shows the run flow's values and
// forwards the user's edits and clicks; the run flow does the work.
class frmFlashor final : public QWidget
{
    Q_OBJECT
public:
    explicit frmFlashor(FlashorRun &run, QWidget *parent = nullptr);

    QGroupBox *frameInput;
    QComboBox *cmbCOMPort;
    QLineEdit *txtUpload_In;
    QPushButton *cmdUpload_In;
    QLabel *lblPortDevice; // the device the port number means here
    QCheckBox *chkWait;
    QGroupBox *frameInit;
    QLineEdit *txtInit_Out;
    QComboBox *cmbInit_Speed;
    QCheckBox *chkInit;
    QLineEdit *txtInit_In;
    QGroupBox *frameUpload;
    QLineEdit *txtBlock;
    QLineEdit *txtSet_Serial;
    QLineEdit *txtSet_Signature;
    QLineEdit *txtStatus;
    QProgressBar *pbUpload;
    QPushButton *cmdRun;
    QPushButton *cmdExit;

private:
    void buildControls();
    void connectRun();
    void showPortDevice(int index);

    FlashorRun &run;
};
