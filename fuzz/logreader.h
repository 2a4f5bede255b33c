#pragma once

// The body of the log readers' fuzz targets: one reader, forced, fed arbitrary
// bytes; a writable format's frames are written and read back.
//
// Checks: the reader never fails on bytes in memory and never hangs; every
// frame it hands over is well-formed (identifier in range for its width, DLC
// at most 15, at most 8 data bytes and nothing past them, the stamp the time
// modulo 2^32); lines are counted so that frames and skipped
// lines never exceed them; written again (candump, ASC) the frames read back
// as the same identifiers, flags, lengths, data and buses, nothing skipped.
#include "fuzz/fuzzcheck.h"
#include "core/logformat.h"

#include <QDir>
#include <QTemporaryDir>

#include <vector>

namespace logfuzz {

inline void checkFrame(const clsFrame &f)
{
    FUZZ_CHECK(!f.isLost);
    FUZZ_CHECK(f.DLC <= 15);
    FUZZ_CHECK(f.Data().size() == f.dataLength() && f.dataLength() <= 8);
    FUZZ_CHECK(f.ID.StdPart >= 0 && f.ID.StdPart <= 0x7FF);
    FUZZ_CHECK(f.ID.ExtPart >= 0 && f.ID.ExtPart <= 0x3FFFF);
    if (!f.IDE())
        FUZZ_CHECK(f.ID.ExtPart == 0);
    for (int i = f.RTR() ? 0 : f.dataLength(); i < 8; ++i)
        FUZZ_CHECK(f.DataB(i) == 0);
    // A line older than the first gives a negative time: the log says so.
    FUZZ_CHECK(f.Time && f.TimeStamp == (*f.Time & 0xFFFFFFFF));
}

inline std::vector<clsFrame> read(QByteArrayView bytes, logformat::Format format, logformat::ReadResult *result)
{
    std::vector<clsFrame> frames;
    *result = logformat::readBytes(bytes, {}, [&frames](const clsFrame &f) {
        frames.push_back(f);
        return true;
    }, format);
    return frames;
}

inline void run(logformat::Format format, const uint8_t *data, size_t size)
{
    const QByteArrayView bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    logformat::ReadResult result;
    const std::vector<clsFrame> frames = read(bytes, format, &result);
    FUZZ_CHECK(result.ok);
    FUZZ_CHECK(result.frames == qint64(frames.size()));
    qint64 skipped = 0;
    for (const logformat::Skipped &s : result.skipped) {
        FUZZ_CHECK(s.count > 0 && s.firstLine >= 1 && s.firstLine <= result.lines && !s.reason.isEmpty());
        skipped += s.count;
    }
    FUZZ_CHECK(result.frames + skipped <= result.lines);
    for (const clsFrame &f : frames)
        checkFrame(f);

    // An empty log is no log a reader takes back.
    if ((format != logformat::Format::Candump && format != logformat::Format::Asc) || frames.empty())
        return;
    static QTemporaryDir dir(QDir("/dev/shm").exists() ? QStringLiteral("/dev/shm/tessel-fuzz-XXXXXX")
                                                       : QDir::tempPath() + QStringLiteral("/tessel-fuzz-XXXXXX"));
    const QString path = dir.filePath(QStringLiteral("log"));
    const logformat::WriteResult written = logformat::writeFile(
        path, format, {qsizetype(frames.size()), [&frames](qsizetype i) -> const clsFrame & { return frames[size_t(i)]; }},
        {1000000, result.startMicroseconds, nullptr});
    FUZZ_CHECK(written.ok);
    std::vector<clsFrame> back;
    const logformat::ReadResult again = logformat::readFile(path, {}, [&back](const clsFrame &f) {
        back.push_back(f);
        return true;
    });
    FUZZ_CHECK(again.ok && again.skipped.isEmpty());
    FUZZ_CHECK(back.size() == frames.size());
    for (size_t i = 0; i < frames.size(); ++i) {
        const clsFrame &a = frames[i];
        const clsFrame &b = back[i];
        FUZZ_CHECK(a.ID.ID() == b.ID.ID() && a.IDE() == b.IDE() && a.RTR() == b.RTR());
        FUZZ_CHECK(a.DLC == b.DLC && a.Data() == b.Data());
    }
}

} // namespace logfuzz
