#pragma once

#include "link/analyser.h"
#include "link/linkowner.h"
#include "link/packetcodec.h"
#include "serial/serialport.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <array>
#include <functional>
#include <memory>

class ParamStore;
class Prompts;
class QTimer;
class SerialPort;

// The step texts the link writes into a process that failed, and the
// OnTimeOut text that asks for a message.
inline constexpr QLatin1StringView timeOutText{"TimeOut"};
inline constexpr QLatin1StringView errorText{"Error"};

// One outstanding command.
struct clsProcess
{
    qint32 Owner = 0;  // 0 free, else the owner code of whoever treats the answer
    QString Command;   // the owner's step; "TimeOut" or "Error" when it failed
    QString OnTimeOut; // "Error": a time-out is reported to the user
    qint32 TicksLeft = -1;

    // The command timed out or the analyser answered with its error flag.
    [[nodiscard]] bool failed() const { return Command == timeOutText || Command == errorText; }

    void Free()
    {
        Owner = 0;
        Command.clear();
        OnTimeOut.clear();
        TicksLeft = -1;
    }
};

// Who treats an answer (clsProcess::Owner).
namespace owner {
inline constexpr int connectWindow = 1;
inline constexpr int runCommands = 2;
inline constexpr int sendFrame = 3;
inline constexpr int capture = 4;
inline constexpr int analyserSettings = 5;
} // namespace owner

// What the link shows in the main window (frmMain implements it): the four
// status-bar panels and the analyser's status byte.
class LinkDisplay
{
public:
    virtual ~LinkDisplay() = default;
    // panel 1..4: 1 link state, 2 CAN mode, 3 capture, 4 processes.
    virtual void setStatusPanel(int panel, const QString &text) = 0;
    // Panel 3 "CAN Capute : " On/Off, the check mark of mnuRunStandbyCAN,
    // mnuRunListenCAN or mnuRunEnableCAN and the pressed "StandbyCAN",
    // "ListenCAN" or "EnableCAN" button for modes 2, 3 and 4 (none for the
    // others), panel 2 "CAN Mode : " and the mode text.
    virtual void showCAN_Status(quint8 analyserStatus) = 0;
};

// Runs the connection test for acquireLink (the connection window, or a
// headless runner in tests and tools) and returns when it is over; the link
// state it leaves tells how it went.
class ConnectionTester
{
public:
    virtual ~ConnectionTester() = default;
    virtual void runConnectionTest(bool showParams, QObject *form) = 0;
};

// The result of acquireLink: whether the caller now holds the link (and must
// release it once) or not.
enum class Acquired { No, Yes };

// The serial link to the analyser: the port, the 256 processes indexed by the
// packet's sequence byte, the receive buffer, and the analyser's status byte.
//
// Owners (LinkOwner) register under their owner code and treat the answers
// of their processes; capture packets (0x85, 0x86) are announced by
// capturePacket. Nothing here includes a window: the connection test runs
// through ConnectionTester, the main window's status bar and marks through
// LinkDisplay, messages through Prompts. The link runs no event loop of its
// own.
class PacketLink final : public QObject
{
    Q_OBJECT
public:
    static constexpr int processCount = 256;
    static constexpr int lastPacketSize = 1024;

    PacketLink(ParamStore &params, Prompts &prompts, PortFactory factory, QObject *parent = nullptr);
    ~PacketLink() override;

    // ---- wiring ----
    // Registers the owner of a code (nullptr: none) and clears the code's
    // close command; the owner's window sets that afterwards.
    void registerOwner(int ownerCode, LinkOwner *owner);
    // The owner window's own close command, used by resetLink.
    void setCloseCommand(int ownerCode, std::function<void()> closeWindow);
    // Not owned; nullptr runs no test (acquireLink then finds the link not connected).
    void setConnectionTester(ConnectionTester *t) { tester = t; }
    [[nodiscard]] ConnectionTester *connectionTester() const { return tester; }
    void setDisplay(LinkDisplay *d) { display = d; }
    // Another way to make ports (tests); takes effect at the next opening.
    void setPortFactory(PortFactory f);

    // ---- users of the link ----
    // Whether the link was acquired. Opens the port when it is closed and
    // runs the connection test when forced or not yet connected.
    [[nodiscard]] Acquired acquireLink(QObject *form, bool forceTest, bool showMessage);
    // 0, or -3 when the port was already closed.
    int releaseLink(QObject *form, bool showClosedMessage, bool portError);
    // The index of the process taken, or -1 (nothing sent, no process taken)
    // when the port is closed or all 256 processes are taken.
    int sendCommand(const QByteArray &payload, int ownerCode, const QString &command, const QString &onTimeOut,
                    int timeOut);

    // ---- receive path ----
    void readPort();
    bool parsePacket();
    void receiveAll();
    void dispatchPacket();
    void dispatchAnswer(int index);
    // tmrReceive's tick: readPort, then receiveAll.
    void poll();
    // tmrTimeout's scan: counts every outstanding process down by one tick and
    // hands expired ones to their owners as "TimeOut".
    void timeoutScan();
    // tmrTimeout's tick: what is already on the line is read and treated
    // (poll), then timeoutScan, so an answer that has arrived never times out.
    void timeoutTick();
    // Starts and stops tmrReceive and tmrTimeout (10 ms each).
    void startTimers();
    void stopTimers();

    // ---- state ----
    void addBusy(int delta);
    QString setLinkState(int n);
    // Closes the visible link windows through their owners' close commands,
    // then busy count and link state 0.
    void resetLink();
    // Frees every process, nextSeq 1, busy count and link state 0 (the main
    // window's load).
    void initProcesses();

    [[nodiscard]] clsProcess &process(int index) { return processes[size_t(index & 0xFF)]; }
    [[nodiscard]] const std::array<clsProcess, processCount> &processTable() const { return processes; }
    [[nodiscard]] int nextSeq() const { return seq; }
    void setNextSeq(int n) { seq = quint8(n); }
    [[nodiscard]] int busyCount() const { return busy; }
    [[nodiscard]] int linkState() const { return state; }
    [[nodiscard]] int outstandingCount() const;
    // Received bytes not yet taken into a packet.
    [[nodiscard]] QByteArray rxBuffer() const { return framer.pendingBytes(); }
    // Received packets dropped for a bad checksum or a broken header, since
    // the link was made (see PacketFramer).
    [[nodiscard]] qint64 droppedBadChecksum() const { return framer.badChecksums(); }
    [[nodiscard]] qint64 droppedBadHeader() const { return framer.badHeaders(); }
    // The last complete packet, start byte to checksum, cut to 1024 bytes.
    [[nodiscard]] const QByteArray &lastPacket() const { return last; }
    // Byte n (1 = start byte) of the last packet; blanks (0x20) past its end,
    // as if it were padded to 1024 bytes.
    [[nodiscard]] quint8 packetByte(int n) const
    {
        return n >= 1 && n <= last.size() ? quint8(last.at(n - 1)) : quint8(0x20);
    }
    // The last packet padded with blanks to 1024 bytes (what the capture queues).
    [[nodiscard]] QByteArray paddedLastPacket() const;

    // ---- analyser status byte ----
    QString setAnalyserStatus(quint8 status);
    [[nodiscard]] quint8 analyserStatus() const { return statusByte; }
    [[nodiscard]] bool isCapturing() const { return analyser::isCapturing(statusByte); }
    // Shows the status byte in the main window (LinkDisplay::showCAN_Status).
    void showCAN_Status();

    // The values the connection test leaves for the rest of the program.
    AnalyserValues analyserValues;

    [[nodiscard]] bool isPortOpen() const;
    [[nodiscard]] SerialPort *port() const { return serial.get(); }
    [[nodiscard]] ParamStore &paramStore() const { return params; }
    [[nodiscard]] Prompts &prompts() const { return prompt; }

signals:
    // A captured frame (0x85) or lost-frames (0x86) packet is the last packet.
    void capturePacket(int code);
    // The port failed while reading: it is closed, every holder has been let
    // go and every waiting command has been treated as timed out.
    void lineLost();

private:
    bool openPort();
    void closePort();

    ParamStore &params;
    Prompts &prompt;
    PortFactory factory;
    std::unique_ptr<SerialPort> serial;
    int serialNumber = -1; // the port number `serial` was made for
    bool portFailed = false;

    std::array<clsProcess, processCount> processes;
    std::array<LinkOwner *, 6> owners{};
    std::array<std::function<void()>, 6> closers;
    ConnectionTester *tester = nullptr;
    LinkDisplay *display = nullptr;

    quint8 seq = 1;
    int busy = 0;
    int state = 0;
    quint8 statusByte = 0;
    PacketFramer framer;
    QByteArray last;
    bool scanning = false;
    bool testing = false; // the connection test is running
    bool timersOn = false;

    QTimer *tmrReceive = nullptr;
    QTimer *tmrTimeout = nullptr;
};
