// The capture-file reader fed arbitrary files, and every file it accepts
// written again and read back.
//
// Input: byte 0 options (bits 0-1 delimiter the file is read with, bits 2-3
// delimiter it is written with again: " ", ",", tab, "x"; bit 4 bit rate 0
// instead of 500000; bit 5 put a 1 MiB comment line in front, so that the
// reader's first block ends inside the fuzzed text, at the offset given by
// bytes 1-2); the rest is the file.
//
// Checks: the reader never fails on a readable file and reads the lines of
// the file exactly: every line is counted, and each record gives the frame
// (or the refusal) that clsFrame::setFromString and the reader's own limits
// (DLC at most 15, lost count at most 255) give for it, also on the fast path
// for plain records and across block boundaries; its line estimate is exact
// for small files; every frame is well-formed (at most 8 data bytes,
// identifier parts in range, nothing past the DLC); the frames written with
// writeCaptureFile and read back are the same frames, in the same order, with
// no line skipped.
#include "fuzz/fuzzcheck.h"
#include "core/capturefile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <vector>

namespace {

const char *const delimiters[] = {" ", ",", "\t", "x"};

QTemporaryDir &folder()
{
    // Files are written for every input: keep them in memory when possible.
    static QTemporaryDir dir(QDir("/dev/shm").exists() ? QStringLiteral("/dev/shm/tessel-fuzz-XXXXXX")
                                                       : QDir::tempPath() + QStringLiteral("/tessel-fuzz-XXXXXX"));
    return dir;
}

void checkFrame(const clsFrame &f)
{
    FUZZ_CHECK(f.TimeStamp >= 0 && f.TimeStamp <= 0xFFFFFFFFLL);
    FUZZ_CHECK(f.Time && *f.Time == f.TimeStamp);
    FUZZ_CHECK(f.Data().size() == f.dataLength() && f.dataLength() <= 8);
    if (f.isLost) {
        FUZZ_CHECK(f.ID.ExtPart >= 0 && f.ID.ExtPart <= 0xFF);
        return;
    }
    FUZZ_CHECK(f.DLC <= 15);
    FUZZ_CHECK(f.ID.StdPart >= 0 && f.ID.StdPart <= 0x7FF);
    FUZZ_CHECK(f.ID.ExtPart >= 0 && f.ID.ExtPart <= 0x3FFFF);
    for (int i = f.RTR() ? 0 : f.dataLength(); i < 8; ++i)
        FUZZ_CHECK(f.DataB(i) == 0);
}

std::vector<clsFrame> readFile(const QString &path, const QString &delimiter, double bitRate,
                               capturefile::ReadResult *result, qint64 *estimate)
{
    capturefile::CaptureFileReader reader;
    QString error;
    FUZZ_CHECK(reader.open(path, &error));
    *estimate = reader.lineCount();
    std::vector<clsFrame> frames;
    *result = reader.readAll(delimiter, bitRate, [&](const clsFrame &f) { frames.push_back(f); });
    FUZZ_CHECK(result->ok);
    FUZZ_CHECK(result->frames == qint64(frames.size()));
    FUZZ_CHECK(result->frames + result->skipped <= result->lines);
    FUZZ_CHECK((result->skipped == 0) == (result->firstSkippedLine == 0));
    return frames;
}

// What the reader must make of one record: setFromString's frame and verdict,
// then the reader's own limits.
bool referenceRecord(QByteArrayView record, const QString &delimiter, double bitRate, clsFrame &frame)
{
    frame = clsFrame();
    if (!frame.setFromString(QString::fromLocal8Bit(record), delimiter, bitRate))
        return false;
    return frame.isLost ? frame.ID.ExtPart >= 0 && frame.ID.ExtPart <= 0xFF : frame.DLC <= 15;
}

// The lines of a file as the reader sees them: ended by LF, CR LF or CR, the
// last one may lack its end.
std::vector<QByteArrayView> linesOf(const QByteArray &content)
{
    std::vector<QByteArrayView> lines;
    qsizetype from = 0;
    for (qsizetype i = 0; i < content.size(); ++i) {
        if (content[i] != '\n' && content[i] != '\r')
            continue;
        lines.push_back(QByteArrayView(content).sliced(from, i - from));
        if (content[i] == '\r' && i + 1 < content.size() && content[i + 1] == '\n')
            ++i;
        from = i + 1;
    }
    if (from < content.size())
        lines.push_back(QByteArrayView(content).sliced(from));
    return lines;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzInput in(data, size);
    const uint8_t options = in.byte();
    const QString readDelimiter = QString::fromLatin1(delimiters[options & 0x03]);
    const QString writeDelimiter = QString::fromLatin1(delimiters[(options >> 2) & 0x03]);
    const double bitRate = (options & 0x10) ? 0.0 : 500000.0;
    const bool padded = options & 0x20;
    const uint16_t offset = padded ? in.word() : 0;
    const QByteArray content(reinterpret_cast<const char *>(in.rest()), qsizetype(in.remaining()));

    // The frames the reader must hand over, line by line.
    std::vector<clsFrame> expected;
    qint64 expectedSkipped = 0;
    const std::vector<QByteArrayView> lines = linesOf(content);
    for (QByteArrayView line : lines) {
        const QByteArrayView record = capturefile::recordText(line);
        if (record.isEmpty())
            continue;
        clsFrame want;
        clsFrame got;
        const bool ok = referenceRecord(record, readDelimiter, bitRate, want);
        FUZZ_CHECK(capturefile::readRecord(record, readDelimiter, bitRate, got) == ok);
        if (ok) {
            FUZZ_CHECK(got == want);
            expected.push_back(want);
        } else {
            ++expectedSkipped;
        }
    }

    FUZZ_CHECK(folder().isValid());
    const QString original = folder().filePath(QStringLiteral("original.txt"));
    const QString copy = folder().filePath(QStringLiteral("copy.txt"));
    qint64 paddingLines = 0;
    {
        QFile f(original);
        FUZZ_CHECK(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        if (padded) {
            // One comment line that ends `offset` bytes before the first block does.
            constexpr qsizetype block = 1 << 20;
            QByteArray comment(block - qsizetype(offset % (content.size() + 1)), 'p');
            comment[0] = ';';
            comment[comment.size() - 1] = '\n';
            FUZZ_CHECK(f.write(comment) == comment.size());
            paddingLines = 1;
        }
        FUZZ_CHECK(f.write(content) == content.size());
    }

    capturefile::ReadResult read;
    qint64 estimate = 0;
    const std::vector<clsFrame> frames = readFile(original, readDelimiter, bitRate, &read, &estimate);
    FUZZ_CHECK(read.lines == paddingLines + qint64(lines.size()));
    if (!padded)
        FUZZ_CHECK(estimate == read.lines); // exact below 64 KiB
    FUZZ_CHECK(read.skipped == expectedSkipped);
    FUZZ_CHECK(frames.size() == expected.size());
    for (size_t i = 0; i < frames.size(); ++i) {
        checkFrame(frames[i]);
        FUZZ_CHECK(frames[i] == expected[i]);
    }

    const capturefile::Header header{QStringLiteral("Fuzz"), bitRate, 1000000.0};
    const capturefile::Rows rows{qsizetype(frames.size()),
                                 [&](qsizetype row) -> const clsFrame & { return frames[size_t(row)]; }};
    const capturefile::WriteResult written = capturefile::writeCaptureFile(copy, header, rows, nullptr, writeDelimiter);
    FUZZ_CHECK(written.ok);
    FUZZ_CHECK(written.rows == qint64(frames.size()));

    capturefile::ReadResult reread;
    const std::vector<clsFrame> back = readFile(copy, writeDelimiter, bitRate, &reread, &estimate);
    FUZZ_CHECK(reread.skipped == 0);
    FUZZ_CHECK(reread.lines == qint64(frames.size()) + 3);
    FUZZ_CHECK(back.size() == frames.size());
    for (size_t i = 0; i < back.size(); ++i)
        FUZZ_CHECK(back[i] == frames[i]);
    return 0;
}
