#pragma once

#include <QByteArray>

// Analyser packets, the same in both directions:
//
//   1B  seq  lenHi lenLo  0E  payload (L bytes)  xor
//
// seq is the index of the sender's process; the payload's first byte is the
// command or answer code; the last byte is the exclusive-or of all bytes
// before it, so the exclusive-or of a whole correct packet is 0. There is no
// escaping: only the length tells where a packet ends.
//
// Example: payload 82 01 with sequence 1 is 1B 01 00 02 0E 82 01 95.
namespace packet {

inline constexpr char startByte = 0x1B;
inline constexpr char marker = 0x0E;
inline constexpr int headerSize = 5;
// Header plus checksum: a packet with L payload bytes is L + overhead long.
inline constexpr int overhead = 6;
// Lengths this high are never sent; a header carrying one is not a header.
inline constexpr int maxPayload = 0x7FFF;

// The exclusive-or of the bytes.
[[nodiscard]] quint8 checksum(const char *data, qsizetype size);

// Frames a payload with the given sequence byte (the example above).
[[nodiscard]] QByteArray build(quint8 seq, const QByteArray &payload);

} // namespace packet

// Cuts a stream of received bytes into whole, correct packets.
//
// Bytes before a start byte are dropped; a start byte whose header has no
// marker, a length of 0 or a length above 0x7FFF, or whose packet fails the
// checksum, is skipped and the search goes on after it. An incomplete packet
// waits for more bytes. Consumed bytes are only dropped from the front of
// the buffer now and then, so a long burst is parsed in linear time.
class PacketFramer final
{
public:
    void append(const char *data, qsizetype size);
    void append(const QByteArray &bytes) { append(bytes.constData(), bytes.size()); }

    // Moves the next complete, correct packet into *out (start byte to
    // checksum, cut to `limit` bytes) and returns true; false when there is
    // none yet.
    bool next(QByteArray *out, qsizetype limit = 1024);

    // Drops the pending bytes; the counts below are kept.
    void clear();

    // Packets dropped since the framer was made: a whole packet that failed
    // its checksum, and a start byte whose header was no header (no marker,
    // a length of 0 or above 0x7FFF). A start byte inside a dropped packet's
    // bytes may count as a bad header too, so the second is an upper bound.
    [[nodiscard]] qint64 badChecksums() const { return checksumDrops; }
    [[nodiscard]] qint64 badHeaders() const { return headerDrops; }

    // Bytes received and not yet taken into a packet.
    [[nodiscard]] qsizetype pending() const { return buffer.size() - pos; }
    [[nodiscard]] QByteArray pendingBytes() const { return buffer.mid(pos); }

private:
    QByteArray buffer;
    qsizetype pos = 0; // first byte not yet consumed
    qint64 checksumDrops = 0;
    qint64 headerDrops = 0;
};
