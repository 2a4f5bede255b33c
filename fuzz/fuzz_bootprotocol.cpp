// Flashor's side of the boot loader protocol, fed arbitrary device answers:
// the message cutter and the upload state machine.
//
// Input: byte 0 options (bit 0 start without waiting for ">", bit 1 start a
// new run whenever the machine has gone idle); bytes 1-2 body length (mod
// 4097); byte 3 body pattern; byte 4 low nibble = number n of chunk sizes,
// then n chunk sizes (used in turn, 0 = the rest at once); then the bytes the
// device sends.
//
// Checks: the cutter yields exactly the messages of a plain reference cutter,
// each of its own layout, however the bytes arrive; the state stays within
// 0-5; in the page phase the block size is not 0 and the page count is the
// body divided by it; the failure count stays below the limit while a run goes; every message
// sent is one the current state may send, with a correct checksum, and a page
// is always a whole page inside the body (never beyond it, never empty).
#include "fuzz/fuzzcheck.h"
#include "uploader/bootprotocol.h"

#include <vector>

namespace {

struct Cut
{
    std::vector<QByteArray> messages;
    QByteArray waiting;
};

// The device's messages: ">" and "-" one byte, "." three, "+" N two plus N;
// any other leading byte is dropped; an incomplete message waits.
Cut referenceCut(const QByteArray &s)
{
    Cut r;
    qsizetype pos = 0;
    const qsizetype n = s.size();
    while (pos < n) {
        const char c = s[pos];
        qsizetype size = 0;
        if (c == '>' || c == '-') {
            size = 1;
        } else if (c == '.') {
            size = 3;
        } else if (c == '+') {
            if (n - pos < 2)
                break;
            size = quint8(s[pos + 1]) + 2;
        } else {
            ++pos;
            continue;
        }
        if (n - pos < size)
            break;
        r.messages.push_back(s.mid(pos, size));
        pos += size;
    }
    r.waiting = s.mid(pos);
    return r;
}

quint16 le16(const QByteArray &b, qsizetype at)
{
    return quint16(quint8(b[at]) | (quint8(b[at + 1]) << 8));
}

std::vector<QByteArray> chunksOf(const QByteArray &stream, const std::vector<size_t> &sizes)
{
    std::vector<QByteArray> out;
    qsizetype used = 0;
    for (size_t c = 0; used < stream.size(); ++c) {
        qsizetype len = sizes.empty() ? 0 : qsizetype(sizes[c % sizes.size()]);
        if (len == 0 || len > stream.size() - used)
            len = stream.size() - used;
        out.push_back(stream.mid(used, len));
        used += len;
    }
    return out;
}

void checkCutter(const std::vector<QByteArray> &chunks, const QByteArray &stream)
{
    BootProtocol p; // idle: messages are cut and ignored
    std::vector<QByteArray> got;
    for (const QByteArray &chunk : chunks) {
        p.appendReceived(chunk);
        while (p.cutMessage())
            got.push_back(p.currentMessage());
        FUZZ_CHECK(p.state() == BootProtocol::Idle);
    }
    const Cut want = referenceCut(stream);
    FUZZ_CHECK(got == want.messages);
    FUZZ_CHECK(p.buffer() == want.waiting);
}

void checkSent(const BootProtocol &p, const QByteArray &m)
{
    FUZZ_CHECK(!m.isEmpty());
    const FirmwareImage &image = p.image();
    switch (m[0]) {
    case '<':
        FUZZ_CHECK(m.size() == 1);
        FUZZ_CHECK(p.state() == BootProtocol::Connecting);
        break;
    case '#':
        FUZZ_CHECK(p.state() == BootProtocol::Header);
        FUZZ_CHECK(m.size() == 3 + FirmwareImage::headerSize);
        FUZZ_CHECK(le16(m, 1) == checksum(image.header));
        FUZZ_CHECK(m.mid(3) == image.header);
        break;
    case '@': {
        FUZZ_CHECK(p.state() == BootProtocol::Pages);
        FUZZ_CHECK(m.size() >= 3);
        const int page = le16(m, 1);
        if (m.size() == 3) {
            // Only the end marker goes without data.
            FUZZ_CHECK(page == BootProtocol::endMarkerPage);
            FUZZ_CHECK(p.page() == BootProtocol::endMarkerPage);
            break;
        }
        FUZZ_CHECK(m.size() > 5);
        const QByteArray data = m.mid(5);
        FUZZ_CHECK(le16(m, 3) == checksum(data));
        FUZZ_CHECK(p.blockSize() > 0);
        FUZZ_CHECK(page < p.pageCount());
        FUZZ_CHECK(data.size() == p.blockSize());
        FUZZ_CHECK(qsizetype(page) * p.blockSize() + data.size() <= image.body.size());
        FUZZ_CHECK(data == image.body.mid(qsizetype(page) * p.blockSize(), p.blockSize()));
        break;
    }
    default:
        FUZZ_CHECK(!"a message the uploader never sends");
    }
}

void checkState(const BootProtocol &p)
{
    FUZZ_CHECK(p.state() >= 0 && p.state() <= 5);
    FUZZ_CHECK(p.failures() >= 0 && p.failures() <= BootProtocol::failureLimit);
    if (p.state() != BootProtocol::Idle)
        FUZZ_CHECK(p.failures() < BootProtocol::failureLimit);
    if (p.state() == BootProtocol::Pages) {
        FUZZ_CHECK(p.blockSize() > 0);
        FUZZ_CHECK(!p.image().body.isEmpty());
        FUZZ_CHECK(p.pageCount() == p.image().body.size() / p.blockSize());
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzInput in(data, size);
    const uint8_t options = in.byte();
    const bool noWait = options & 0x01;
    const bool restart = options & 0x02;
    const int bodyLength = in.word() % 4097;
    const uint8_t pattern = in.byte();
    std::vector<size_t> sizes;
    for (int i = 0, n = in.byte() & 0x0F; i < n; ++i)
        sizes.push_back(in.byte());
    const QByteArray stream(reinterpret_cast<const char *>(in.rest()), qsizetype(in.remaining()));
    const std::vector<QByteArray> chunks = chunksOf(stream, sizes);

    checkCutter(chunks, stream);

    QByteArray file(FirmwareImage::headerSize + bodyLength, '\0');
    for (qsizetype i = 0; i < file.size(); ++i)
        file[i] = char((i * 31 + pattern) & 0xFF);
    const auto image = splitFirmware(file);
    FUZZ_CHECK(image.has_value());

    BootProtocol p;
    QObject::connect(&p, &BootProtocol::send, [&p](const QByteArray &m) { checkSent(p, m); });
    p.start(*image, noWait);
    checkState(p);
    for (const QByteArray &chunk : chunks) {
        if (restart && p.state() == BootProtocol::Idle)
            p.start(*image, noWait);
        p.appendReceived(chunk);
        p.treatMSGBuffer();
        checkState(p);
    }
    return 0;
}
