#pragma once

#include "core/clsframe.h"
#include "link/linkowner.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>

#include <array>

class PacketLink;
class ParamStore;
class Prompts;

// The send-frame dialog without its widgets: what the user composed, the run
// of sends (owner 3 of the link) and what the dialog shows about it. The
// window mirrors these fields, writes the user's edits into them and forwards
// clicks, focus losses and the Enter key; it redraws on changed().
//
// One frame goes out per tick of tmrSend. Waiting for answers, the next frame
// is due when the analyser has answered the last one (a time-out sends the
// same frame again until "SendFrame_Retry" sends were made); not waiting, each
// frame counts as answered the moment it is handed to the link.
//
// Payload of one frame: command byte 0x84 (loop-back) or 0x83, then the frame
// in its send layout, e.g. standard 123, DLC 2, data AA 55, loop-back:
//   84 23 01 00 00 00 02 AA 55
class SendRun final : public QObject, private LinkOwner
{
    Q_OBJECT
public:
    static constexpr int dataBoxes = 8;

    // Registers treatSendFrame as owner 3 of the link; `mainForm` is the window
    // the link is acquired for (the connection test shows over it).
    SendRun(PacketLink &link, ParamStore &params, Prompts &prompts, QObject *mainForm = nullptr,
            QObject *parent = nullptr);
    ~SendRun() override;

    // ---- what the user composed (the window writes these as they are edited) ----
    int optCANType = 0; // 0 "CAN 2.0 A" (standard), 1 "CAN 2.0 B" (extended)
    QString txtIDStd = QStringLiteral("123");
    QString txtIDExt = QStringLiteral("34567");
    int optDataType = 0; // 0 "Data", 1 "Remote"
    bool chkRB0 = false;
    bool chkRB1 = false;
    int cmbDataSize = 0; // list index = data length, 0 to 8
    std::array<QString, dataBoxes> txtDec;
    std::array<QString, dataBoxes> txtHex;
    std::array<QString, dataBoxes> txtChr;
    int optCount = 0; // 0 "Repeat until user break", 1 "Repeat count"
    QString txtCount = QStringLiteral("1");
    QString txtTime = QStringLiteral("100");
    bool chkWaitAnswer = true;
    bool chkCANLoop = true;

    // ---- what the dialog shows ----
    QString txtSendCount;
    QString txtStatCAN;
    QString txtErrCAN;
    QString txtErrMOB;
    QString cmdStartCaption = QStringLiteral("Start");
    bool cmdStartEnabled = true;
    bool groupsEnabled = true; // frmCAN_Count, frmCAN_ID and frmCAN_Data
    quint32 pictureColour = 0; // PictureID, 0x00BBGGRR

    [[nodiscard]] bool txtIDExtEnabled() const { return optCANType == 1; }
    [[nodiscard]] bool txtCountEnabled() const { return optCount == 1; }
    // The three boxes of data byte i.
    [[nodiscard]] bool dataBoxEnabled(int i) const { return i < cmbDataSize && optDataType == 0; }

    // ---- option buttons and lists (they refresh what depends on them) ----
    void setCANType(int index);
    void setDataType(int index);
    void setDataSize(int size);
    void setCountMode(int index);

    // ---- field checks, run when a box loses the focus; false keeps the focus there ----
    bool txtDec_Validate(int i);
    bool txtHex_Validate(int i);
    // Never keeps the focus; a character above 0xFF is refused and the row
    // keeps its last byte.
    bool txtChr_Validate(int i);
    bool txtIDStd_Validate();
    bool txtIDExt_Validate();
    bool txtCount_Validate();
    bool txtTime_Validate();

    enum class DataRow { Dec, Hex, Chr };
    // The Enter key in a data box: validates it and returns the index whose
    // box of the same row takes the focus, or -1 when the focus stays.
    int enterPressed(DataRow row, int i);

    // "Send again...": fills every field from a captured frame (identifier,
    // type, flags, length, data). False, changing nothing, for a lost-frame
    // record or while a run is going.
    bool fillFrom(const clsFrame &frame);

    // ---- the run ----
    // Fills the frame record from the fields and returns its send layout.
    QByteArray makeFrame();
    [[nodiscard]] const clsFrame &frame() const { return record; }

    void cmdStart_Click();
    // "Close" and the close box: ends a run; the window hides itself.
    void cmdClose_Click();
    void startSending();
    // comError: the run ends because the port was not open when a frame was due.
    void stopSending(bool comError);
    // process 0 starts "CMD_CAN_SEND_FRAME"; n >= 1 treats the answer,
    // "TimeOut" or "Error" of process n - 1 and frees it.
    void treatSendFrame(int process, const QString &command);
    // tmrSend's tick (tests call it directly).
    void tmrSend_Timer();

    [[nodiscard]] bool sendTimerEnabled() const { return tmrSend.isActive(); }
    [[nodiscard]] int sendTimerInterval() const { return tmrSend.interval(); }
    [[nodiscard]] bool isSendPending() const { return sendPending; }
    [[nodiscard]] const QByteArray &packet() const { return sendPacket; }
    [[nodiscard]] int sendTimeOutTicks() const { return sendTimeOut; }
    [[nodiscard]] int retriesAllowed() const { return sendRetry; }
    [[nodiscard]] bool holdsLink() const { return linkHeld; }
    // The process index of the last frame handed to the link.
    [[nodiscard]] int lastProcess() const { return sendProcess; }

signals:
    // Any shown field or enabled state changed.
    void changed();

private:
    void treatAnswer(int process, const QString &command) override { treatSendFrame(process, command); }
    void setStatus(const QString &stat, const QString &errCAN, const QString &errMOB);
    void freeOwnProcess();

    PacketLink &link;
    ParamStore &params;
    Prompts &prompts;
    QObject *mainForm;

    clsFrame record;
    QByteArray sendPacket;
    bool sendPending = false;
    int sendTimeOut = 100;
    int sendRetry = 3;
    int retryCount = 0;
    int sendProcess = 0;
    // This run holds the link (acquireLink succeeded and was not yet released).
    bool linkHeld = false;
    QTimer tmrSend;
};
