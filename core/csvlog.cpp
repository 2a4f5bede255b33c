// Frames as comma-separated values, one row each after a header row:
//   time,bus,id,extended,remote,dlc,data,device,description
//   0.001000,0,123,0,0,3,11 22 33,Engine,"Speed, filtered"
// Time in seconds from the first frame, bus 0 the first, the identifier in
// hex (8 digits when extended), the data bytes in hex separated by spaces,
// and the identifier's device and description from the CAN data base when
// it has them. Fields are quoted as RFC 4180 says; rows end in CR LF.
#include "core/dbindex.h"
#include "core/logformatparse.h"
#include "core/values.h"

#include <QHash>

namespace logformat::detail {

namespace {

void appendField(QByteArray &out, const QString &text)
{
    const QByteArray bytes = text.toUtf8();
    if (!bytes.contains(',') && !bytes.contains('"') && !bytes.contains('\n') && !bytes.contains('\r')) {
        out.append(bytes);
        return;
    }
    out.append('"');
    for (const char c : bytes) {
        if (c == '"')
            out.append('"');
        out.append(c);
    }
    out.append('"');
}

} // namespace

qint64 writeCsv(const Frames &frames, const WriteOptions &options, const ChunkOut &put, bool *ok)
{
    QByteArray chunk = "time,bus,id,extended,remote,dlc,data,device,description\r\n";
    chunk.reserve(chunkSize + 256);
    struct Labels
    {
        QString device;
        QString description;
    };
    QHash<qint32, Labels> labels;
    qint64 written = 0;
    *ok = true;
    for (qsizetype i = 0; i < frames.count; ++i) {
        const clsFrame &frame = frames.frame(i);
        if (frame.isLost)
            continue;
        appendSeconds(chunk, frameMicroseconds(frame, options.timerRate), 0);
        chunk.append(',');
        chunk.append(QByteArray::number(frame.Bus));
        chunk.append(',');
        if (frame.IDE())
            appendHex(chunk, quint32(frame.ID.ID()) & 0x1FFFFFFF, 8);
        else
            appendHex(chunk, quint32(frame.ID.StdPart) & 0x7FF, 3);
        chunk.append(frame.IDE() ? ",1," : ",0,");
        chunk.append(frame.RTR() ? "1," : "0,");
        chunk.append(QByteArray::number(frame.DLC));
        chunk.append(',');
        if (!frame.RTR()) {
            for (int b = 0; b < frame.dataLength(); ++b) {
                if (b > 0)
                    chunk.append(' ');
                appendHex(chunk, frame.DataB(b), 2);
            }
        }
        chunk.append(',');
        if (options.labels) {
            const qint32 key = frameIdNumber(frame);
            auto found = labels.find(key);
            if (found == labels.end()) {
                Labels l;
                if (!options.labels->idLabels(idKey(key), &l.device, &l.description))
                    l = {};
                found = labels.insert(key, l);
            }
            appendField(chunk, found->device);
            chunk.append(',');
            appendField(chunk, found->description);
        } else {
            chunk.append(',');
        }
        chunk.append("\r\n");
        ++written;
        if (!flushChunk(chunk, put)) {
            *ok = false;
            return written;
        }
    }
    *ok = flushChunk(chunk, put, true);
    return written;
}

} // namespace logformat::detail
