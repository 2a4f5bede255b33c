#pragma once

#include "core/logformat.h"

#include <QByteArray>

#include <array>
#include <memory>
#include <optional>
#include <vector>

// The pieces the log readers and writers share: byte-level number parsing,
// the frame hand-over with its time conversion and skip counts, and one
// reader per format fed line by line. Not for use outside core/log*.cpp.
namespace logformat::detail {

// 0-15 for a hex digit, -1 for anything else.
[[nodiscard]] inline int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

[[nodiscard]] inline bool isSpace(char c)
{
    return c == ' ' || c == '\t';
}

// The next word of `text` from `pos` (spaces and tabs between words); empty at the end.
[[nodiscard]] inline QByteArrayView nextWord(QByteArrayView text, qsizetype &pos)
{
    const qsizetype size = text.size();
    while (pos < size && isSpace(text[pos]))
        ++pos;
    const qsizetype start = pos;
    while (pos < size && !isSpace(text[pos]))
        ++pos;
    return text.sliced(start, pos - start);
}

// Hex text of 1 to 8 digits; false for anything else.
[[nodiscard]] bool parseHex(QByteArrayView text, quint32 &value);
// Decimal text of 1 to 9 digits; false for anything else.
[[nodiscard]] bool parseDecimal(QByteArrayView text, quint32 &value);
// A time "SSS.FFF" (fraction optional, digits past the ninth ignored) in
// billionths of its unit: "1.5" -> 1500000000. The whole part must stay
// below 9,000,000,000 (an epoch time in seconds fits).
[[nodiscard]] bool parseFixed(QByteArrayView text, qint64 &billionths);

// Where a reader hands its frames and its skipped lines. Times are given in
// nanoseconds on the file's own scale; the first frame's is time 0.
class FrameOut
{
public:
    FrameOut(const ReadOptions &options, const FrameSink &sink, ReadResult &result);

    qint64 line = 0; // 1-based number of the line being read

    // Sets the frame's stamp, time and duration and hands it to the sink;
    // false when the sink stops the read.
    bool put(clsFrame &frame, qint64 nanoseconds);
    // Hands over a frame whose stamp and time are set already.
    bool putAsRecorded(const clsFrame &frame);
    // The current line was not a frame, for `reason` (a static text).
    void skip(const char *reason);
    // Copies the skip counts and buses into the result.
    void finish();

    [[nodiscard]] bool stopped() const { return stop; }
    [[nodiscard]] std::optional<qint64> firstNanoseconds() const { return first; }

private:
    struct Tally
    {
        const char *reason;
        qint64 count;
        qint64 firstLine;
    };

    const FrameSink &sink;
    ReadResult &result;
    double bitRate;
    double ticksPerNanosecond;
    std::optional<qint64> first;
    std::vector<Tally> tallies;
    std::array<quint64, 4> busSeen{};
    bool stop = false;
};

// One format's reader, given the file's lines in order without their ends.
class LineReader
{
public:
    virtual ~LineReader() = default;
    virtual void line(QByteArrayView text) = 0;
    // After the last line: the start time into the result.
    virtual void finish(ReadResult &result) { Q_UNUSED(result); }
};

[[nodiscard]] std::unique_ptr<LineReader> makeCandumpReader(FrameOut &out);
[[nodiscard]] std::unique_ptr<LineReader> makeAscReader(FrameOut &out);
[[nodiscard]] std::unique_ptr<LineReader> makeTrcReader(FrameOut &out);
[[nodiscard]] std::unique_ptr<LineReader> makeTesselReader(FrameOut &out, const ReadOptions &options);

// Detection helpers: whether one line looks like a frame line of the format.
[[nodiscard]] bool isCandumpLine(QByteArrayView line);

// Writers: the whole file's bytes go through `put` in chunks; false from put stops.
using ChunkOut = std::function<bool(const QByteArray &chunk)>;
// Writers build their text in chunks of about this size.
inline constexpr qsizetype chunkSize = 1 << 20;
// Hands `chunk` to `put` and empties it once it holds chunkSize bytes (or
// always, with `last`); false when `put` failed.
[[nodiscard]] inline bool flushChunk(QByteArray &chunk, const ChunkOut &put, bool last = false)
{
    if (!last && chunk.size() < chunkSize)
        return true;
    if (!put(chunk))
        return false;
    chunk.clear();
    return true;
}
[[nodiscard]] qint64 writeCandump(const Frames &frames, const WriteOptions &options, const ChunkOut &put, bool *ok);
[[nodiscard]] qint64 writeAsc(const Frames &frames, const WriteOptions &options, const ChunkOut &put, bool *ok);
[[nodiscard]] qint64 writeCsv(const Frames &frames, const WriteOptions &options, const ChunkOut &put, bool *ok);

// The frame's time in microseconds from the first frame (Time, else TimeStamp).
[[nodiscard]] qint64 frameMicroseconds(const clsFrame &frame, double timerRate);
// Appends "SSSS.FFFFFF" for a count of microseconds (sign when negative).
void appendSeconds(QByteArray &out, qint64 microseconds, int width);
// Appends `value` as upper-case hex, at least `digits` digits.
void appendHex(QByteArray &out, quint32 value, int digits);

} // namespace logformat::detail
