// A firmware file "*.rfw" split into header and pages, and a whole upload of
// it to a well-behaved boot loader that asks for every page in turn.
//
// Input: bytes 0-1 the block size the device reports (0 included); byte 2
// options (bit 0: the device asks for the pages from the last to the first);
// the rest is the file.
//
// Checks: a file shorter than 80 bytes is refused, any other splits into an
// 80-byte header and a body that together are the file; the checksum is the
// sum of the bytes modulo 65536; the upload sends the header unchanged and
// every page exactly once, which together are the body up to the last whole
// page, then the end marker, and ends with "Updating firmware : Ok"; a block
// size of 0 is refused; an empty body ends after the header.
#include "fuzz/fuzzcheck.h"
#include "uploader/bootprotocol.h"

#include <vector>

namespace {

QByteArray le16(quint16 v)
{
    return QByteArray(1, char(v & 0xFF)) + char(v >> 8);
}

// The device's positive answer to the header: block size, serial number, signature.
QByteArray headerAnswer(quint16 block)
{
    QByteArray payload = le16(block) + QByteArray("SN000001") + QByteArray("SIGNATURE-OF-THE-DEVICE!");
    return QByteArray(1, '+') + char(payload.size()) + payload;
}

QByteArray pageRequest(int page)
{
    return QByteArray(1, '.') + le16(quint16(page));
}

QByteArray pageAnswer(quint16 page)
{
    return QByteArray(1, '+') + char(2) + le16(page);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzInput in(data, size);
    const quint16 block = in.word();
    const bool backwards = in.byte() & 0x01;
    const QByteArray file(reinterpret_cast<const char *>(in.rest()), qsizetype(in.remaining()));

    quint32 sum = 0;
    for (char c : file)
        sum += quint8(c);
    FUZZ_CHECK(checksum(file) == quint16(sum & 0xFFFF));

    const auto image = splitFirmware(file);
    FUZZ_CHECK(image.has_value() == (file.size() >= FirmwareImage::headerSize));
    if (!image)
        return 0;
    FUZZ_CHECK(image->header.size() == FirmwareImage::headerSize);
    FUZZ_CHECK(image->header + image->body == file);
    FUZZ_CHECK(buildMessage("#", image->header) == "#" + le16(checksum(image->header)) + image->header);

    BootProtocol p;
    std::vector<QByteArray> sent;
    QObject::connect(&p, &BootProtocol::send, [&](const QByteArray &m) { sent.push_back(m); });
    p.start(*image, true);
    FUZZ_CHECK(p.state() == BootProtocol::Connecting);
    FUZZ_CHECK(sent.size() == 1 && sent.back() == "<");

    p.appendReceived(QByteArray("+\x00", 2));
    p.treatMSGBuffer();
    FUZZ_CHECK(p.state() == BootProtocol::Header);
    FUZZ_CHECK(sent.size() == 2 && sent.back() == buildMessage("#", image->header));

    p.appendReceived(headerAnswer(block));
    p.treatMSGBuffer();
    if (image->body.isEmpty()) {
        FUZZ_CHECK(p.state() == BootProtocol::Idle);
        FUZZ_CHECK(p.status() == "Set Serial Number and Signature: Ok");
        return 0;
    }
    if (block == 0) {
        FUZZ_CHECK(p.state() == BootProtocol::Idle);
        FUZZ_CHECK(sent.size() == 2);
        return 0;
    }
    FUZZ_CHECK(p.state() == BootProtocol::Pages);
    const int pages = int(image->body.size() / block);
    FUZZ_CHECK(p.pageCount() == pages);

    std::vector<QByteArray> written(static_cast<size_t>(pages));
    for (int i = 0; i < pages; ++i) {
        const int page = backwards ? pages - 1 - i : i;
        const size_t before = sent.size();
        p.appendReceived(pageRequest(page));
        p.treatMSGBuffer();
        FUZZ_CHECK(sent.size() == before + 1);
        const QByteArray &m = sent.back();
        FUZZ_CHECK(m.size() == 5 + block);
        FUZZ_CHECK(m.left(3) == "@" + le16(quint16(page)));
        FUZZ_CHECK(m.mid(3, 2) == le16(checksum(m.mid(5))));
        written[size_t(page)] = m.mid(5);
        p.appendReceived(pageAnswer(quint16(page)));
        p.treatMSGBuffer();
        FUZZ_CHECK(p.state() == BootProtocol::Pages);
    }
    QByteArray all;
    for (const QByteArray &w : written)
        all += w;
    FUZZ_CHECK(all == image->body.left(qsizetype(pages) * block));

    p.appendReceived(pageRequest(pages));
    p.treatMSGBuffer();
    FUZZ_CHECK(sent.back() == QByteArray("@\xFF\xFF", 3));
    p.appendReceived(pageAnswer(BootProtocol::endMarkerPage));
    p.treatMSGBuffer();
    FUZZ_CHECK(p.state() == BootProtocol::Idle);
    FUZZ_CHECK(p.status() == "Updating firmware : Ok");
    return 0;
}
