#include "uploader/bootprotocol.h"

namespace {

quint16 readLittleEndian16(const QByteArray &bytes, qsizetype at)
{
    return quint16(quint8(bytes[at]) | (quint8(bytes[at + 1]) << 8));
}

// The device's serial number and signature are fixed-width byte fields; padding
// NULs would end the text in a text box, so they are left out.
QString fieldText(const QByteArray &bytes, qsizetype from, qsizetype length)
{
    QByteArray field = bytes.mid(from, length);
    field.replace('\0', QByteArray());
    return QString::fromLatin1(field);
}

} // namespace

std::optional<FirmwareImage> splitFirmware(const QByteArray &file)
{
    if (file.size() < FirmwareImage::headerSize)
        return std::nullopt;
    return FirmwareImage{file.left(FirmwareImage::headerSize), file.mid(FirmwareImage::headerSize)};
}

quint16 checksum(const QByteArray &data)
{
    quint32 sum = 0;
    for (const char c : data)
        sum += quint8(c);
    return quint16(sum & 0xFFFF);
}

QByteArray littleEndian16(quint16 value)
{
    QByteArray out(2, '\0');
    out[0] = char(value & 0xFF);
    out[1] = char(value >> 8);
    return out;
}

QByteArray buildMessage(const QByteArray &prefix, const QByteArray &data)
{
    QByteArray out = prefix;
    if (!data.isEmpty())
        out += littleEndian16(checksum(data)) + data;
    return out;
}

void BootProtocol::start(const FirmwareImage &image, bool noWait)
{
    firmware = image;
    COMBuffer.clear();
    sizeMsg_COMBuffer = -1;
    message.clear();
    block = 0;
    pages = 0;
    acknowledged.clear();
    currentPage = 0;
    // Each run gets its own four tries; a count left over from a failed run
    // would otherwise end the next one early.
    failureCount = 0;
    setState(noWait ? Connecting : Waiting);
}

void BootProtocol::setState(int newState)
{
    switch (newState) {
    case Waiting:
        currentState = Waiting;
        setStatus(QStringLiteral("Waiting Connection..."));
        break;
    case Connecting:
        currentState = Connecting;
        setStatus(QStringLiteral("Connecting..."));
        emit send(buildMessage("<", {}));
        break;
    case Header:
        currentState = Header;
        setStatus(QStringLiteral("Send Header..."));
        emit send(buildMessage("#", firmware.header));
        break;
    case Pages:
        currentState = Pages;
        setStatus(QStringLiteral("Wait for page request..."));
        break;
    case Spare:
        currentState = Spare;
        break;
    default:
        currentState = Idle;
        sizeMsg_COMBuffer = -1;
        setStatus(QString());
        emit idle();
        break;
    }
}

void BootProtocol::appendReceived(const QByteArray &bytes)
{
    COMBuffer += bytes;
}

void BootProtocol::clearBuffer()
{
    COMBuffer.clear();
    sizeMsg_COMBuffer = -1;
}

void BootProtocol::treatMSGBuffer()
{
    while (cutMessage())
        treatMessage();
}

bool BootProtocol::cutMessage()
{
    while (sizeMsg_COMBuffer == -1 && !COMBuffer.isEmpty()) {
        const char head = COMBuffer[0];
        if (head == '>' || head == '-') {
            sizeMsg_COMBuffer = 1;
        } else if (head == '.') {
            if (COMBuffer.size() <= 2)
                return false;
            sizeMsg_COMBuffer = 3;
        } else if (head == '+') {
            if (COMBuffer.size() <= 1)
                return false;
            const int size = quint8(COMBuffer[1]) + 2;
            if (COMBuffer.size() < size)
                return false;
            sizeMsg_COMBuffer = qint16(size);
        } else {
            COMBuffer.remove(0, 1);
        }
    }
    if (sizeMsg_COMBuffer == -1)
        return false;
    message = COMBuffer.left(sizeMsg_COMBuffer);
    COMBuffer.remove(0, sizeMsg_COMBuffer);
    sizeMsg_COMBuffer = -1;
    return true;
}

void BootProtocol::treatMessage()
{
    if (message.isEmpty())
        return;
    const char head = message[0];
    switch (currentState) {
    case Waiting:
        if (message == ">")
            setState(Connecting);
        break;
    case Connecting:
        if (head == '+')
            setState(Header);
        else
            resetToIdle(QStringLiteral("Connecting: Error"));
        break;
    case Header:
        if (head == '+')
            treatHeaderAnswer();
        else
            resetToIdle(QStringLiteral("Set Serial Number and Signature: Error"));
        break;
    case Pages:
        if (head == '.')
            treatPageRequest();
        else if (head == '+')
            treatPageAnswer();
        else if (head == '-')
            treatNegative();
        break;
    default:
        break;
    }
}

void BootProtocol::treatHeaderAnswer()
{
    // "+" N, block size (2), serial number (8), signature (24).
    block = message.size() >= 4 ? readLittleEndian16(message, 2) : 0;
    emit deviceInfo(block, fieldText(message, 4, 8), fieldText(message, 12, 24));
    if (firmware.body.isEmpty()) {
        resetToIdle(QStringLiteral("Set Serial Number and Signature: Ok"));
        return;
    }
    // A device that reports no block size cannot take pages: refuse rather
    // than divide by zero.
    if (block <= 0) {
        resetToIdle(QStringLiteral("Block size 0: Error"));
        return;
    }
    // The last page may be partial: it goes out padded, so no byte of the body stays behind.
    pages = int((firmware.body.size() + block - 1) / block);
    acknowledged.assign(size_t(pages), false);
    emit progressMaximumChanged(pages);
    setState(Pages);
}

void BootProtocol::treatPageRequest()
{
    const int requested = readLittleEndian16(message, 1);
    // A page past the last whole page does not exist: answering it would put
    // a page without data on the line, and a request for 0xFFFF would even
    // read as the end marker and end the update with pages missing.
    if (requested > pages) {
        resetToIdle(QStringLiteral("Page #%1 is beyond the firmware: Error").arg(requested));
        return;
    }
    if (requested == pages) {
        // The end marker tells the device the firmware is complete; never with a page missing.
        const int missing = firstMissingPage();
        if (missing >= 0) {
            resetToIdle(QStringLiteral("Updating firmware : Error, page #%1 not acknowledged").arg(missing));
            return;
        }
        setStatus(QStringLiteral("Updating firmware"));
        currentPage = endMarkerPage;
        emit send(buildMessage("@" + littleEndian16(endMarkerPage), {}));
        return;
    }
    currentPage = requested;
    setStatus(QStringLiteral("Writing Page #%1").arg(requested));
    QByteArray data = firmware.body.mid(qsizetype(requested) * block, block);
    data.append(block - data.size(), char(erasedByte));
    emit send(buildMessage("@" + littleEndian16(quint16(requested)), data));
}

void BootProtocol::treatPageAnswer()
{
    // A positive answer too short to name its page says nothing; ignore it.
    if (message.size() < 4)
        return;
    failureCount = 0;
    const bool endMarkerSent = currentPage == endMarkerPage;
    currentPage = readLittleEndian16(message, 2);
    if (currentPage != endMarkerPage) {
        // A page past the body says nothing about it, so the bar does not move.
        if (currentPage < pages) {
            acknowledged[size_t(currentPage)] = true;
            emit progressChanged(currentPage);
        }
        setStatus(QStringLiteral("Writing Page #%1: Ok").arg(currentPage));
        return;
    }
    // Ok only for the answer to our end marker, with every page acknowledged before it.
    const int missing = firstMissingPage();
    if (!endMarkerSent || missing >= 0) {
        resetToIdle(endMarkerSent ? QStringLiteral("Updating firmware : Error, page #%1 not acknowledged").arg(missing)
                                  : QStringLiteral("Updating firmware : Error, end acknowledged before it was sent"));
        return;
    }
    emit progressChanged(pages);
    resetToIdle(QStringLiteral("Updating firmware : Ok"));
}

int BootProtocol::firstMissingPage() const
{
    for (size_t p = 0; p < acknowledged.size(); ++p) {
        if (!acknowledged[p])
            return int(p);
    }
    return -1;
}

void BootProtocol::treatNegative()
{
    if (currentPage == endMarkerPage) {
        resetToIdle(QStringLiteral("Error updating firmware..."));
        return;
    }
    ++failureCount;
    if (failureCount >= failureLimit) {
        resetToIdle(QStringLiteral("Error writing Page #%1").arg(currentPage));
        return;
    }
    // The device asks for the page again when it wants it; nothing is resent here.
    setStatus(QStringLiteral("Writing Page #%1: Retry %2").arg(currentPage).arg(failureCount));
}

void BootProtocol::setStatus(const QString &text)
{
    statusText = text;
    emit statusChanged(text);
}

void BootProtocol::resetToIdle(const QString &finalStatus)
{
    setState(Idle);
    setStatus(finalStatus);
}
