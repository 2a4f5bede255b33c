#pragma once

#include "sim/simdevice.h"
#include "sim/simpacket.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QString>

#include <cstdint>
#include <deque>

class QTimer;

// One identifier the traffic generator puts on the bus.
struct SimTrafficId
{
    quint32 id = 0;        // 11-bit, or 29-bit when extended
    bool extended = false; // IDE
    bool remote = false;   // every frame of this identifier is a remote frame
    int dlc = -1;          // 0..8 fixed, -1 = varies from frame to frame
};

// Answer selector for the fault options: no command, one command code, or all.
namespace simfault {
constexpr int none = -1;
constexpr int all = 0x100;
} // namespace simfault

struct VirtualAnalyserOptions
{
    // ---- identity and settings at power-up ----
    QByteArray signature = "Tessel virtual CAN analyser";
    quint8 hwVersion = 1;
    quint8 swMajor = 1;
    quint8 swMinor = 2;
    quint16 buildNumber = 4;
    quint32 mcuClock = 16000000;
    // 250 kbit/s: deliberately not the seed database's default speed row
    // (500 kbit/s, 02 0C 37), so the first connection writes the registers.
    quint8 canBT1 = 0x06, canBT2 = 0x0C, canBT3 = 0x37;
    quint8 timerPrescaler = 1; // 16 MHz / ((1 + 1) * 8) = 1 MHz stamps
    quint8 txTimeOut = 10;     // ms
    quint8 rxMObs = 12;        // of 14 message objects, 12 receive, 2 transmit
    quint8 status = 0x04;      // Enable, capture off: traffic is seen once capture is on

    // ---- traffic while capture is on (modes Listen and Enable) ----
    double frameRate = 200;    // bus frames per second; 0 = silent bus
    QList<SimTrafficId> ids;   // empty = defaultTrafficIds()
    quint32 stampOffset = 0;   // added to every time stamp (to reach the 32-bit wrap quickly)
    quint32 seed = 1;          // pseudo-random data and lengths, reproducible
    qint32 lineBaud = 921600;  // the serial line the records must fit through
    int rxBufferFrames = 64;   // analyser's receive queue; overflow becomes 0x86 records
    bool flood = false;        // ignore the line's capacity: send every frame at once

    // ---- faults ----
    int errorFlagFor = simfault::none; // answer this command code (or all) with error flag 1
    int silentFor = simfault::none;    // never answer this command code (or all)
    int corruptEvery = 0;              // n > 0: every n-th packet sent has a bad checksum
    int chunkSize = 0;                 // n > 0: at most n bytes go out per advance() call
    QByteArray garbage;                // sent before every packet
    int dropLineAfter = -1;            // n >= 0: drop the line on the (n+1)-th command received
};

// The analyser on the far end of the serial line, as the program sees it:
// packets 1B seq lenH lenL 0E payload xor; every command is answered with its
// own code, error flag 0 and the values, e.g. the status read 0x81 with
// status 0x04 gives 1B 01 00 03 0E 81 00 04 xor.
//
//   0x01           signature: n, n text bytes
//   0x02 p v       write parameter p (A8..AD); answers v
//   0x03 p         read parameter p: value
//   0x07           firmware update: answered, then bootLoaderRequested()
//   0x81           status byte
//   0x82 s         set mode (bits 0-5; 0 keeps the mode) and capture (bit 7): new status
//   0x83/0x84 f    send frame f (send layout; only in mode Enable); 0x84 also
//                  loops it into the capture: answer status 0, CAN error 0, MOb error 0
// A malformed command, an unknown code or parameter, a write to a read-only
// parameter, mode 5..63, DLC > 8: answered with the code and error flag 1.
//
// While capture is on and the controller listens or is enabled, it sends 0x85
// records (stamp4 LE, level, id4 LE, flags, dlc, data; a remote frame carries
// no data bytes) and 0x86 lost-frame records (stamp4, count <= 255), sequence
// byte 0. The records queue for a line of lineBaud; when the queue
// (rxBufferFrames) is full, frames are counted as lost and reported in 0x86
// records once there is room. Turning capture off sends what is queued before
// the answer. Time moves only through advance(); startClock() drives it from
// real time.
class VirtualAnalyser final : public SimDevice
{
    Q_OBJECT
public:
    explicit VirtualAnalyser(const VirtualAnalyserOptions &options = {}, QObject *parent = nullptr);
    ~VirtualAnalyser() override;

    void receive(const QByteArray &bytes) override;
    // Back on the line after the port was opened again (also after a drop).
    void start() override;

    // Moves the analyser's time on by ms milliseconds: generates the bus
    // traffic of that time, sends what the line can carry, delivers one
    // chunk when chunking.
    void advance(double ms);
    // Calls advance() every intervalMs with the real elapsed time.
    void startClock(int intervalMs = 10);
    void stopClock();

    // Fault options can be changed at any time.
    [[nodiscard]] VirtualAnalyserOptions &options() { return opt; }
    [[nodiscard]] const VirtualAnalyserOptions &options() const { return opt; }

    // Drops the line now (as if the cable were pulled).
    void dropLine();

    // State, for tests and the sim program.
    [[nodiscard]] quint8 status() const { return statusByte; }
    [[nodiscard]] bool capturing() const { return (statusByte & 0x80) != 0; }
    [[nodiscard]] quint8 parameter(quint8 number, bool *known = nullptr) const;
    // The time stamp now, in ticks of the time-stamp timer (wraps at 2^32).
    [[nodiscard]] quint32 stampNow() const;
    // Frames counted since power-up: generated on the bus, sent in 0x85, lost.
    [[nodiscard]] quint64 framesGenerated() const { return generated; }
    [[nodiscard]] quint64 framesSent() const { return sentFrames; }
    [[nodiscard]] quint64 framesLost() const { return lostTotal; }
    // 0x85 records among them that went out with a bad checksum (corruptEvery).
    [[nodiscard]] quint64 framesCorrupted() const { return corruptedFrames; }
    [[nodiscard]] int commandsReceived() const { return commands; }

    [[nodiscard]] static QList<SimTrafficId> defaultTrafficIds();

private:
    struct Record
    {
        QByteArray payload; // code, error flag, record
        bool frame = true;  // 0x85 (counts in the receive queue level)
    };

    void treatCommand(quint8 seq, const QByteArray &payload);
    void answer(quint8 seq, quint8 code, bool error, const QByteArray &values = {});
    void queuePacket(quint8 seq, const QByteArray &payload);
    void flushOut(bool oneChunk);
    bool setParameter(quint8 number, quint8 value);
    bool setStatus(quint8 requested);
    bool sendFrame(const QByteArray &payload);
    void loopBack(const QByteArray &payload);

    void generateUntil(std::uint64_t cycle);
    void creditLine(std::uint64_t cycle);
    void busFrame(std::uint64_t cycle, quint32 idField, quint8 flags, const QByteArray &data, quint8 dlc);
    void pushLostRecord(std::uint64_t cycle);
    void drainQueue(bool all);
    [[nodiscard]] quint32 stampAt(std::uint64_t cycle) const;
    [[nodiscard]] bool busActive() const;
    [[nodiscard]] quint32 nextRandom();

    VirtualAnalyserOptions opt;
    QList<SimTrafficId> trafficIds;

    simpacket::Reader commandReader; // command bytes not yet framed
    QByteArray outbox;    // bytes for the line, in order
    qsizetype outPos = 0; // bytes of outbox already sent when chunking
    int packetsOut = 0;   // for corruptEvery
    int commands = 0;
    bool dropped = false;
    bool bootPending = false;

    quint8 statusByte = 0;
    quint8 canBT1 = 0, canBT2 = 0, canBT3 = 0, timerPrescaler = 0, txTimeOut = 0, rxMObs = 0;

    // Time is kept in MCU clock cycles so stamps stay exact for any prescaler.
    std::uint64_t nowCycle = 0;
    double cycleFraction = 0;
    std::uint64_t nextFrameCycle = 0;
    double framePhase = 0;      // fraction of a cycle carried between frames
    std::uint64_t lineCycle = 0; // the line's budget is credited up to here
    std::deque<Record> rxQueue; // records waiting for the line
    double lineBudget = 0;      // bytes the line can carry now
    quint32 lostPending = 0;    // frames lost since the last 0x86 record
    quint32 rng = 1;
    int idIndex = 0;
    quint64 generated = 0, sentFrames = 0, lostTotal = 0, corruptedFrames = 0;

    QTimer *clock = nullptr;
    QElapsedTimer clockElapsed;
};

// Command-line forms for the traffic and fault options (tessel-sim).
// Identifiers: comma-separated items "[x]HEX[r][/DLC]": x = extended (29-bit),
// r = remote frames, /DLC = fixed length, e.g. "123,7FF/8,x18FEF100,3C5r/4".
// Returns false with *error naming the bad item.
bool parseTrafficIds(const QString &text, QList<SimTrafficId> *ids, QString *error = nullptr);
// A command selector: "all", or a command code in hex ("81", "0x81").
bool parseCommandSelector(const QString &text, int *selector);
