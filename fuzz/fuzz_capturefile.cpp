// The capture-file reader fed arbitrary files, and every file it accepts
// written again and read back.
//
// Input: byte 0 options (bits 0-1 delimiter the file is read with, bits 2-3
// delimiter it is written with again: " ", ",", tab, "x"; bit 4 bit rate 0
// instead of 500000); the rest is the file.
//
// Checks: the reader never fails on a readable file and accounts for every
// line (frames + skipped lines <= lines; its line estimate is exact for small
// files); every frame it hands over is well-formed (at most 8 data bytes, DLC
// at most 8, identifier parts and lost counts in range, nothing past the DLC);
// the frames written with writeCaptureFile and read back are the same frames,
// in the same order, with no line skipped.
#include "fuzz/fuzzcheck.h"
#include "views/capturefile.h"

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
    FUZZ_CHECK(f.DLC <= 8);
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

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzInput in(data, size);
    const uint8_t options = in.byte();
    const QString readDelimiter = QString::fromLatin1(delimiters[options & 0x03]);
    const QString writeDelimiter = QString::fromLatin1(delimiters[(options >> 2) & 0x03]);
    const double bitRate = (options & 0x10) ? 0.0 : 500000.0;
    const QByteArray content(reinterpret_cast<const char *>(in.rest()), qsizetype(in.remaining()));

    FUZZ_CHECK(folder().isValid());
    const QString original = folder().filePath(QStringLiteral("original.txt"));
    const QString copy = folder().filePath(QStringLiteral("copy.txt"));
    {
        QFile f(original);
        FUZZ_CHECK(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        FUZZ_CHECK(f.write(content) == content.size());
    }

    capturefile::ReadResult read;
    qint64 estimate = 0;
    const std::vector<clsFrame> frames = readFile(original, readDelimiter, bitRate, &read, &estimate);
    FUZZ_CHECK(estimate == read.lines); // exact below 64 KiB
    for (const clsFrame &f : frames)
        checkFrame(f);

    const capturefile::Header header{QStringLiteral("Fuzz"), bitRate, 1000000.0};
    const capturefile::Rows rows{qsizetype(frames.size()), [&](qsizetype row) -> const clsFrame & {
                                     return frames[size_t(row)];
                                 }};
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
