// The analyser's byte stream, cut into packets by PacketFramer.
//
// Input: byte 0 low nibble = number n of chunk sizes, bit 4 = cut packets to
// 1024 bytes as the link does; bytes 1..n = chunk sizes (used in turn, 0 = the
// rest at once); then the stream itself.
//
// Checks: every packet handed on starts with 1B, carries the marker, has its
// stated length and a checksum that makes the exclusive-or 0, and rebuilds
// from its sequence and payload; the packets and the bytes left waiting are
// exactly those of a plain reference parser reading the whole stream at once,
// however the stream was split.
#include "fuzz/fuzzcheck.h"
#include "link/packetcodec.h"

#include <vector>

namespace {

struct Parsed
{
    std::vector<QByteArray> packets;
    QByteArray waiting;
};

// The receive rules written out plainly, over the whole stream: find a start
// byte; a header without marker, with length 0 or above 0x7FFF, or a packet
// whose exclusive-or is not 0 is skipped from its start byte; an incomplete
// header or packet waits.
Parsed referenceParse(const QByteArray &stream)
{
    Parsed r;
    const auto at = [&](qsizetype i) { return quint8(stream.at(i)); };
    const qsizetype n = stream.size();
    qsizetype pos = 0;
    for (;;) {
        while (pos < n && at(pos) != 0x1B)
            ++pos;
        if (pos >= n)
            return r; // nothing waits
        if (n - pos < 5)
            break;
        const int length = at(pos + 2) * 256 + at(pos + 3);
        if (at(pos + 4) != 0x0E || length == 0 || length > 0x7FFF) {
            ++pos;
            continue;
        }
        if (n - pos < length + 6)
            break;
        quint8 x = 0;
        for (qsizetype i = 0; i < length + 6; ++i)
            x ^= at(pos + i);
        if (x != 0) {
            ++pos;
            continue;
        }
        r.packets.push_back(stream.mid(pos, length + 6));
        pos += length + 6;
    }
    r.waiting = stream.mid(pos);
    return r;
}

void checkPacket(const QByteArray &p)
{
    FUZZ_CHECK(p.size() >= packet::overhead + 1);
    const auto *b = reinterpret_cast<const quint8 *>(p.constData());
    FUZZ_CHECK(b[0] == 0x1B);
    FUZZ_CHECK(b[4] == 0x0E);
    const int length = b[2] * 256 + b[3];
    FUZZ_CHECK(length >= 1 && length <= packet::maxPayload);
    FUZZ_CHECK(p.size() == length + packet::overhead);
    FUZZ_CHECK(packet::checksum(p.constData(), p.size()) == 0);
    FUZZ_CHECK(packet::build(b[1], p.mid(packet::headerSize, length)) == p);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzInput in(data, size);
    const uint8_t options = in.byte();
    std::vector<size_t> chunks;
    for (int i = 0; i < (options & 0x0F); ++i)
        chunks.push_back(in.byte());
    const bool cut = options & 0x10;
    const qsizetype limit = cut ? 1024 : qsizetype(1) << 30;
    const QByteArray stream(reinterpret_cast<const char *>(in.rest()), qsizetype(in.remaining()));

    PacketFramer framer;
    std::vector<QByteArray> got;
    QByteArray out;
    size_t used = 0;
    for (size_t c = 0; used < size_t(stream.size()); ++c) {
        size_t len = chunks.empty() ? 0 : chunks[c % chunks.size()];
        if (len == 0 || len > size_t(stream.size()) - used)
            len = size_t(stream.size()) - used;
        framer.append(stream.constData() + used, qsizetype(len));
        used += len;
        while (framer.next(&out, limit))
            got.push_back(out);
    }
    while (framer.next(&out, limit))
        got.push_back(out);

    const Parsed want = referenceParse(stream);
    FUZZ_CHECK(got.size() == want.packets.size());
    for (size_t i = 0; i < got.size(); ++i) {
        checkPacket(want.packets[i]);
        FUZZ_CHECK(got[i] == want.packets[i].left(limit));
        if (!cut)
            checkPacket(got[i]);
    }
    FUZZ_CHECK(framer.pending() == want.waiting.size());
    FUZZ_CHECK(framer.pendingBytes() == want.waiting);
    return 0;
}
