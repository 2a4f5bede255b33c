#pragma once

#include <QDialog>

class CaptureControl;
class CaptureSink;
class PacketLink;
class QLineEdit;
class QProgressBar;
class QPushButton;

// The capture window: counters, the two level bars and Start/Stop. Modeless,
// created once and hidden rather than closed; the logic is CaptureControl.
class frmCapture final : public QDialog
{
    Q_OBJECT
public:
    frmCapture(PacketLink &link, QWidget *parent = nullptr);
    ~frmCapture() override;

    [[nodiscard]] CaptureControl &control() const { return *logic; }
    void setSink(CaptureSink *sink);
    // txtSpeed and txtTimer, filled when the window is opened from the menu.
    void setSpeedTimer(const QString &speed, const QString &timer);

    void cmdStart_Click();
    void cmdHide_Click();
    void cmdClose_Click();
    // Copies the logic's state into the controls (also done after every change).
    void refresh();

    QLineEdit *txtCaptured = nullptr;
    QLineEdit *txtLost = nullptr;
    QLineEdit *txtView_Lost = nullptr;
    QLineEdit *txtView_Skip = nullptr;
    QLineEdit *txtView_View = nullptr;
    QLineEdit *txtSpeed = nullptr;
    QLineEdit *txtTimer = nullptr;
    // Bus figures of the frames decoded since the window was opened, and the
    // packets the link dropped (bad checksum / bad header) since it was made.
    QLineEdit *txtBusLoad = nullptr;
    QLineEdit *txtFramesPerSecond = nullptr;
    QLineEdit *txtFramesLost = nullptr;
    QLineEdit *txtLinkDropped = nullptr;
    QProgressBar *pbProgressBarRX = nullptr;
    QProgressBar *pbProgressBarBuffer = nullptr;
    QPushButton *cmdStart = nullptr;
    QPushButton *cmdHide = nullptr;
    QPushButton *cmdClose = nullptr;

protected:
    void closeEvent(QCloseEvent *event) override;
    void reject() override;

private:
    void scheduleRefresh();

    PacketLink &link;
    CaptureControl *logic = nullptr;
    bool refreshQueued = false;
};
