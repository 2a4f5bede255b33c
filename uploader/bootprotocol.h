#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

#include <optional>
#include <vector>

// A firmware file "*.rfw": an 80-byte header and the pages that follow it.
// Both are forwarded to the boot loader unchanged.
struct FirmwareImage
{
    static constexpr qsizetype headerSize = 80;
    QByteArray header;
    QByteArray body; // may be empty: the run then only sets serial number and signature
};

// Splits a whole file into header and body; nullopt when it is shorter than the header.
[[nodiscard]] std::optional<FirmwareImage> splitFirmware(const QByteArray &file);

// Sum of all bytes modulo 65536: checksum("abc") == 0x0126.
[[nodiscard]] quint16 checksum(const QByteArray &data);

// A 16-bit number as the boot loader reads it, low byte first: 0x0126 -> 26 01.
[[nodiscard]] QByteArray littleEndian16(quint16 value);

// The bytes of one message to the boot loader: the prefix, then, when data is
// not empty, checksum(data) and the data.
// Example: header message = "#" cs_lo cs_hi <80 header bytes>;
//          page 2 of "abc" = 40 02 00 26 01 61 62 63; connect = "<".
[[nodiscard]] QByteArray buildMessage(const QByteArray &prefix, const QByteArray &data);

// The upload state machine of the serial boot loader. It owns no port and no
// window: received bytes go in through appendReceived(), messages for the device
// come out through send(), and what the window shows comes out through the other
// signals.
//
// Device -> uploader:  ">" ready, "-" negative, "." lo hi page request,
//                      "+" N <N payload bytes> positive answer.
// Uploader -> device:  "<" connect, "#" header, "@" page, "@" FF FF end marker.
class BootProtocol final : public QObject
{
    Q_OBJECT
public:
    enum State { Idle = 0, Waiting = 1, Connecting = 2, Header = 3, Pages = 4, Spare = 5 };

    static constexpr quint16 endMarkerPage = 0xFFFF;
    // What erased flash reads as; a partial last page is padded with it.
    static constexpr quint8 erasedByte = 0xFF;
    // Negative answers for one page that end the run.
    static constexpr int failureLimit = 4;

    using QObject::QObject;

    // Starts a run for this image: an empty receive buffer, no failures, page 0,
    // then setState(Connecting) when noWait, else setState(Waiting).
    void start(const FirmwareImage &image, bool noWait);

    // Enters a state and performs its entry action; numbers outside 1..5 reset to idle.
    void setState(int newState);

    // Bytes read from the boot port (the appending half of treatCOMBuffer).
    void appendReceived(const QByteArray &bytes);
    // Cuts and handles every complete message in the buffer.
    void treatMSGBuffer();
    // Cuts the next message from the head of the buffer into currentMessage();
    // false while no complete message is there. Unknown leading bytes are dropped.
    bool cutMessage();
    // Handles currentMessage() according to the state.
    void treatMessage();

    void clearBuffer();

    [[nodiscard]] int state() const { return currentState; }
    [[nodiscard]] const QString &status() const { return statusText; }
    [[nodiscard]] const QByteArray &buffer() const { return COMBuffer; }
    [[nodiscard]] const QByteArray &currentMessage() const { return message; }
    [[nodiscard]] int blockSize() const { return block; }
    [[nodiscard]] int pageCount() const { return pages; }
    [[nodiscard]] int page() const { return currentPage; }
    [[nodiscard]] int failures() const { return failureCount; }
    [[nodiscard]] const FirmwareImage &image() const { return firmware; }

signals:
    // A message for the device, to be written to the boot port as one write.
    void send(const QByteArray &bytes);
    void statusChanged(const QString &status);
    // The device's answer to the header: block size, serial number, signature.
    void deviceInfo(int blockSize, const QString &serialNumber, const QString &signature);
    void progressMaximumChanged(int maximum);
    void progressChanged(int value);
    // The machine went back to idle; a run that is going has to stop.
    void idle();

private:
    void setStatus(const QString &text);
    void resetToIdle(const QString &finalStatus);
    void treatHeaderAnswer();
    void treatPageRequest();
    void treatPageAnswer();
    void treatNegative();
    // The first page of the body the device has not acknowledged, or -1.
    [[nodiscard]] int firstMissingPage() const;

    FirmwareImage firmware;
    QByteArray COMBuffer;
    qint16 sizeMsg_COMBuffer = -1;
    QByteArray message;
    QString statusText;
    int currentState = Idle;
    int block = 0;
    int pages = 0;
    std::vector<bool> acknowledged; // per page of the body
    int currentPage = 0;
    int failureCount = 0;
};
