#include "sim/bootloader.h"

#include <QSaveFile>

namespace {

quint16 sum16(const QByteArray &data)
{
    quint32 sum = 0;
    for (const char c : data)
        sum += quint8(c);
    return quint16(sum);
}

quint16 read16(const QByteArray &bytes, qsizetype at)
{
    return quint16(quint8(bytes[at]) | (quint8(bytes[at + 1]) << 8));
}

QByteArray le16(int value)
{
    QByteArray out(2, '\0');
    out[0] = char(value & 0xFF);
    out[1] = char((value >> 8) & 0xFF);
    return out;
}

QByteArray fixedWidth(QByteArray field, int width)
{
    field.resize(width, '\0');
    return field;
}

constexpr qsizetype headerSize = 80;
constexpr int endMarker = 0xFFFF;

} // namespace

SimBootLoader::SimBootLoader(BootLoaderOptions options, QObject *parent)
    : SimDevice(parent)
    , opts(std::move(options))
{
    connect(&beacon, &QTimer::timeout, this, &SimBootLoader::announce);
}

void SimBootLoader::start()
{
    buffer.clear();
    receivedHeader.clear();
    receivedBody.clear();
    connected = false;
    finished = false;
    requested = 0;
    taken = 0;
    negatives = 0;
    negativesLeft = opts.negativeAnswers;
    if (!opts.answering)
        return;
    answer(">");
    if (opts.beaconInterval > 0)
        beacon.start(opts.beaconInterval);
}

void SimBootLoader::announce()
{
    if (!opts.answering)
        return;
    if (connected && ++quietTicks <= 2)
        return;
    // Nobody there, or the uploader went quiet in the middle: be ready again.
    connected = false;
    buffer.clear();
    answer(">");
}

void SimBootLoader::receive(const QByteArray &bytes)
{
    if (!opts.answering)
        return;
    quietTicks = 0;
    buffer += bytes;
    while (!buffer.isEmpty() && treatNext()) {
    }
}

// Handles the message at the head of the buffer; false while it is incomplete.
bool SimBootLoader::treatNext()
{
    const char head = buffer[0];
    if (head == '<') {
        buffer.remove(0, 1);
        connected = true;
        quietTicks = 0;
        answer(QByteArray("+\0", 2));
        return true;
    }
    if (head == '#') {
        if (buffer.size() < 3 + headerSize)
            return false;
        const quint16 sum = read16(buffer, 1);
        const QByteArray header = buffer.mid(3, headerSize);
        buffer.remove(0, 3 + headerSize);
        if (sum != sum16(header)) {
            answer("-");
            return true;
        }
        receivedHeader = header;
        receivedBody.clear();
        taken = 0;
        finished = false;
        QByteArray payload = le16(opts.blockSize) + fixedWidth(opts.serialNumber, 8) + fixedWidth(opts.signature, 24);
        answer("+" + QByteArray(1, char(payload.size())) + payload);
        requestPage(0);
        return true;
    }
    if (head == '@') {
        if (buffer.size() < 3)
            return false;
        const int page = read16(buffer, 1);
        if (page == endMarker) {
            buffer.remove(0, 3);
            finish();
            return true;
        }
        const qsizetype size = 5 + qMax(opts.blockSize, 0);
        if (buffer.size() < size)
            return false;
        const quint16 sum = read16(buffer, 3);
        const QByteArray data = buffer.mid(5, size - 5);
        buffer.remove(0, size);
        takePage(page, data, sum);
        return true;
    }
    buffer.remove(0, 1); // not ours: line noise, an init string for the application
    return true;
}

void SimBootLoader::requestPage(int page)
{
    requested = page;
    answer("." + le16(page));
}

void SimBootLoader::takePage(int page, const QByteArray &data, quint16 sum)
{
    if (negativesLeft > 0 || page != requested || sum != sum16(data)) {
        if (negativesLeft > 0)
            --negativesLeft;
        ++negatives;
        answer("-");
        requestPage(requested);
        return;
    }
    receivedBody += data;
    ++taken;
    answer("+\x02" + le16(page));
    requestPage(page + 1);
}

void SimBootLoader::finish()
{
    // A device that could not store the firmware must not acknowledge it.
    if (!opts.firmwarePath.isEmpty()) {
        QSaveFile file(opts.firmwarePath);
        if (!file.open(QIODevice::WriteOnly) || file.write(receivedBody) != receivedBody.size() || !file.commit()) {
            answer("-");
            return;
        }
    }
    finished = true;
    answer("+\x02" + le16(endMarker));
}

std::unique_ptr<SimDevice> makeBootLoader(const BootLoaderOptions &options, QObject *parent)
{
    return std::make_unique<SimBootLoader>(options, parent);
}
