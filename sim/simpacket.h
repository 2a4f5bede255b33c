#pragma once

#include <QByteArray>

// The analyser's packet on the wire, both directions:
//   1B seq lenH lenL 0E payload... xor
// where xor makes the exclusive-or of the whole packet 0, e.g. payload 82 01
// with sequence 1 is 1B 01 00 02 0E 82 01 95. No escaping: only the length
// tells where a packet ends. Kept here so the simulator does not depend on
// the program's own link code.
namespace simpacket {

constexpr char startByte = 0x1B;
constexpr char marker = 0x0E;

[[nodiscard]] QByteArray build(quint8 seq, const QByteArray &payload);

struct Packet
{
    quint8 seq = 0;
    QByteArray payload;
};

// Cuts packets out of a byte stream that arrives in any chunking. Noise, a
// start byte without marker, a length of 0 or above maxLength, and a bad
// checksum each skip one start byte, so the reader never stalls.
class Reader
{
public:
    explicit Reader(int maxLength = 0x7FFF)
        : maxLength(maxLength)
    {}

    void feed(const QByteArray &bytes) { buffer.append(bytes); }
    // Takes the next whole packet; false when none is complete yet.
    bool next(Packet *packet);
    void clear()
    {
        buffer.clear();
        pos = 0;
    }
    // Bytes skipped as noise or bad packets so far.
    [[nodiscard]] qint64 skipped() const { return skippedBytes; }

private:
    QByteArray buffer;
    qsizetype pos = 0; // start of the unread part of buffer
    int maxLength;
    qint64 skippedBytes = 0;
};

} // namespace simpacket
