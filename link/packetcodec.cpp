#include "link/packetcodec.h"

#include <cstring>

namespace packet {

quint8 checksum(const char *data, qsizetype size)
{
    quint8 x = 0;
    for (qsizetype i = 0; i < size; ++i)
        x ^= quint8(data[i]);
    return x;
}

QByteArray build(quint8 seq, const QByteArray &payload)
{
    const qsizetype L = payload.size();
    QByteArray p;
    p.reserve(L + overhead);
    p.append(startByte);
    p.append(char(seq));
    p.append(char((L >> 8) & 0xFF));
    p.append(char(L & 0xFF));
    p.append(marker);
    p.append(payload);
    p.append(char(checksum(p.constData(), p.size())));
    return p;
}

} // namespace packet

void PacketFramer::append(const char *data, qsizetype size)
{
    if (size <= 0)
        return;
    // Drop what has been consumed once it is at least half the buffer, so
    // each byte is moved a bounded number of times however long the burst.
    if (pos > 0 && pos * 2 >= buffer.size()) {
        buffer.remove(0, pos);
        pos = 0;
    }
    buffer.append(data, size);
}

bool PacketFramer::next(QByteArray *out, qsizetype limit)
{
    for (;;) {
        const char *base = buffer.constData();
        const qsizetype n = buffer.size();
        const void *hit = pos < n ? std::memchr(base + pos, packet::startByte, size_t(n - pos)) : nullptr;
        if (!hit) {
            buffer.resize(0);
            pos = 0;
            return false;
        }
        pos = static_cast<const char *>(hit) - base;
        if (n - pos < packet::headerSize)
            return false;
        const auto *h = reinterpret_cast<const quint8 *>(base + pos);
        const int L = h[2] * 256 + h[3];
        if (char(h[4]) != packet::marker || L == 0 || L > packet::maxPayload) {
            ++headerDrops;
            ++pos;
            continue;
        }
        const qsizetype whole = L + packet::overhead;
        if (n - pos < whole)
            return false;
        if (packet::checksum(base + pos, whole) != 0) {
            ++checksumDrops;
            ++pos;
            continue;
        }
        const qsizetype kept = qMin(whole, limit);
        out->resize(kept);
        std::memcpy(out->data(), base + pos, size_t(kept));
        pos += whole;
        if (pos == n) {
            buffer.resize(0);
            pos = 0;
        }
        return true;
    }
}

void PacketFramer::clear()
{
    buffer.clear();
    pos = 0;
}
