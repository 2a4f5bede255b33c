#include "sim/simpacket.h"

namespace simpacket {

QByteArray build(quint8 seq, const QByteArray &payload)
{
    const qsizetype n = payload.size();
    QByteArray p;
    p.reserve(n + 6);
    p.append(startByte);
    p.append(char(seq));
    p.append(char((n >> 8) & 0xFF));
    p.append(char(n & 0xFF));
    p.append(marker);
    p.append(payload);
    char x = 0;
    for (const char c : std::as_const(p))
        x ^= c;
    p.append(x);
    return p;
}

bool Reader::next(Packet *packet)
{
    const auto byte = [this](qsizetype i) { return quint8(buffer.at(i)); };
    bool found = false;
    for (;;) {
        const qsizetype start = buffer.indexOf(startByte, pos);
        if (start < 0) {
            skippedBytes += buffer.size() - pos;
            pos = buffer.size();
            break;
        }
        skippedBytes += start - pos;
        pos = start;
        const qsizetype avail = buffer.size() - pos;
        if (avail < 5)
            break;
        const int length = byte(pos + 2) * 256 + byte(pos + 3);
        if (buffer.at(pos + 4) != marker || length == 0 || length > maxLength) {
            ++pos;
            ++skippedBytes;
            continue;
        }
        if (avail < length + 6)
            break;
        char x = 0;
        for (qsizetype i = pos; i < pos + length + 6; ++i)
            x ^= buffer.at(i);
        if (x != 0) {
            ++pos;
            ++skippedBytes;
            continue;
        }
        packet->seq = byte(pos + 1);
        packet->payload = buffer.mid(pos + 5, length);
        pos += length + 6;
        found = true;
        break;
    }
    // Compact now and then rather than after every packet.
    if (pos == buffer.size()) {
        buffer.clear();
        pos = 0;
    } else if (pos > 4096 && pos > buffer.size() / 2) {
        buffer.remove(0, pos);
        pos = 0;
    }
    return found;
}

} // namespace simpacket
