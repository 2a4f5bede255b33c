#pragma once

#include "core/busload.h"
#include "core/clsframe.h"
#include "link/linkowner.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <deque>

class PacketLink;
class QTimer;

// What the capture hands to the main window's views.
class CaptureSink
{
public:
    virtual ~CaptureSink() = default;
    // addCapturedFrame, then for a shown frame addCANFrame with the store's
    // count; true when the frame was shown.
    virtual bool captureFrame(const clsFrame &frame) = 0;
    // A run of decoded frames is over: the newest row is selected and
    // scrolled into view (once per run rather than once per frame).
    virtual void captureBatchDone() {}
    // The analyser has started capturing (the wall clock of the capture's start).
    virtual void captureStarted() {}
    // The capture has ended: the time line goes back to the start.
    virtual void resetViewScroll() {}
    // The capture window was closed: scroll position reset, list rebuilt.
    virtual void captureClosed() {}
};

// The capture window's logic (owner 4 of the link): switches the analyser's
// capture on and off, queues the capture packets (codes 0x85 and 0x86) the
// link hands over, and decodes them into frames for the views.
//
// Capture packet: 1B 00 lenH lenL 0E | 85 00 | record | xor, the record in
// the capture layout of clsFrame (byte 12 of the packet, the record's byte 5,
// is the analyser's receive-buffer level, 255 = none), or 86 00 | stamp4 count | xor.
//
// Each decoding tick decodes everything queued; the queue holds at most
// 50000 packets and counts the ones it had to drop (txtView_Lost).
class CaptureControl final : public QObject, private LinkOwner
{
    Q_OBJECT
public:
    static constexpr int queueLimit = 50000;
    static constexpr int decodeInterval = 500; // ms, tmrFreePB
    static constexpr int commandTimeOut = 100; // ticks of 10 ms

    // Registers treatCapture as owner 4 and treats the link's capture
    // packets with treatCaptureFrame. `form` is the window the link is acquired for.
    explicit CaptureControl(PacketLink &link, QObject *form = nullptr, QObject *parent = nullptr);
    ~CaptureControl() override;

    void setSink(CaptureSink *s) { sink = s; }

    // ---- commands ----
    void cmdStart_Click();
    void startCapture();
    void stopCapture();
    // The window's close: stops capture, counters and receive bar to 0, and
    // tells the views (captureClosed).
    void closeCapture();

    // ---- link side ----
    // Process 0 starts "CMD_CAN_CAPTURE_ON" or "CMD_CAN_CAPTURE_OFF"; n >= 1
    // treats the answer, "TimeOut" or "Error" of process n - 1 and frees it.
    void treatCapture(int process, const QString &command);
    // A capture packet is the link's last packet; ignored unless capturing.
    void treatCaptureFrame(int code);
    // Appends a packet copy, or counts it in txtView_Lost when the queue is full.
    void queuePacket(const QByteArray &packet);
    // Lowers the receive bar by one and decodes the oldest packet, if any.
    void decodeQueued();
    // The decoding tick: the receive bar falls by one, then every queued
    // packet is decoded.
    void tmrFreePB_Timer();
    void captureStarted();
    void captureStopped();
    // The link lost its port: a running capture ends as Idle, keeping and
    // decoding everything it received (the link has already let it go).
    void lineLost();

    // ---- what the window shows ----
    [[nodiscard]] bool isCapturing() const { return capturing; }
    [[nodiscard]] qsizetype queueLength() const { return qsizetype(captureQueue.size()); }
    [[nodiscard]] qint64 txtCaptured() const { return captured; }
    [[nodiscard]] qint64 txtLost() const { return lost; }
    [[nodiscard]] qint64 txtView_Lost() const { return viewLost; }
    [[nodiscard]] qint64 txtView_Skip() const { return viewSkip; }
    [[nodiscard]] qint64 txtView_View() const { return viewView; }
    [[nodiscard]] int rxLevel() const { return rxBar; }
    [[nodiscard]] int rxMaximum() const { return rxMax; }
    [[nodiscard]] int bufferLevel() const { return bufferBar; }
    [[nodiscard]] QString startCaption() const { return caption; }
    [[nodiscard]] bool startEnabled() const { return enabled; }
    [[nodiscard]] bool isDecodeTimerActive() const;
    // Load, rate and frames lost of every frame decoded since the window was
    // opened (also those the monitor's tick boxes keep out of the list).
    [[nodiscard]] const BusStatistics &busStatistics() const { return bus; }

signals:
    // Counters, bars or the Start button changed.
    void changed();

private:
    void treatAnswer(int process, const QString &command) override { treatCapture(process, command); }
    void decodeOne();
    void lowerRxBar();
    void setButton(const QString &text, bool on);

    PacketLink &link;
    QObject *form;
    CaptureSink *sink = nullptr;
    QTimer *tmrFreePB = nullptr;

    bool capturing = false;
    std::deque<QByteArray> captureQueue;
    qint64 captured = 0;
    qint64 lost = 0;
    qint64 viewLost = 0;
    qint64 viewSkip = 0;
    qint64 viewView = 0;
    int rxBar = 0;
    int rxMax = 0;
    int bufferBar = 0;
    QString caption = QStringLiteral("Start");
    bool enabled = true;
    BusStatistics bus;
    // The decoded stamps made continuous across the 32-bit wrap.
    qint64 busWrap = 0;
    qint64 busLastStamp = -1;
};
