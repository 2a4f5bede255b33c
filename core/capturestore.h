#pragma once

#include "core/clsframe.h"

#include <QDateTime>
#include <QHash>
#include <QString>

#include <memory>
#include <span>
#include <vector>

class QLockFile;

// The identifier monitor list as the capture store sees it: the display
// filter and the per-identifier frame count (MonitorList implements it).
class IdFilter
{
public:
    virtual ~IdFilter() = default;

    // The check box of the identifier's row; true when the key has no row yet.
    [[nodiscard]] virtual bool isShown(qint32 keyNumber) const = 0;
    // Creates the identifier's row on first sight, else counts one more frame
    // when `count` is set.
    virtual void updateIDRow(qint32 keyNumber, bool count) = 0;
    // `frames` (at least 1) frames of the identifier at once, as that many
    // updateIDRow calls would count them: a store filled elsewhere (a file
    // read on a worker thread, a recovered capture) is counted so.
    virtual void countIdFrames(qint32 keyNumber, qint64 frames)
    {
        for (qint64 i = 0; i < frames; ++i)
            updateIDRow(keyNumber, true);
    }
};

// The frames of a store as consecutive runs, one per chunk of its file:
// frame n of the store is the n-th frame of the runs laid end to end.
using FrameSpans = std::vector<std::span<const clsFrame>>;

// Every frame of the current capture, in arrival order, with the capture's
// time state. Frames are only ever appended; the message list and the time
// line look at them by index.
//
// The frames live in a file of fixed-size records, mapped into memory in
// chunks, so the operating system pages them and the program's own memory
// does not grow with the capture. A chunk, once mapped, stays where it is
// until the store is cleared: a `const clsFrame &` stays valid while frames
// are appended. With a folder the file is named there and locked, so that a
// run that ends without saving or discarding it (a crash, a kill, a power
// cut) leaves it for the next run to recover (see findUnsaved and adopt).
//
// File layout (numbers in the machine's byte order):
//   page 0: header - "TslCapt1" magic, u32 version 1, u32 record size (56),
//           u32 side-record size (8), u32 records per chunk, i64 creation
//           time (ms since 1970 UTC), i64 process id, u32 saved flag,
//           u32 0, i64 records flushed
//   chunk c at 4096 + c * chunkBytes: the side records of its frames
//           (u32 distance back to the previous frame of the same
//           identifier, 0 none; u32 check of the frame, its side record and
//           its index), then the frames themselves (clsFrame as it lies in
//           memory).
// A record counts as stored when its check matches: a file cut off or
// overwritten with garbage gives back every whole record before the damage.
//
// Time stamps are the analyser's 32-bit counter; a frame's relative time
// (clsFrame::Time, in stamp ticks) is wrapOffset + TimeStamp - firstTimeStamp,
// where wrapOffset grows by 2^32 while wrapOffset + TimeStamp is below the
// FIRST stamp of the capture (not the previous one). Once it has grown, it
// also grows while a frame's time would fall more than half a turn (2^31)
// before the newest frame's, so that captures of many turns keep rising.
//   stamps FFFFFF00, FFFFFFF0, 00000010 -> times 0, F0, 110
//   stamps 00000100, 00000300, 00000200 -> times 0, 200, 100 (not below the first)
//   stamps 00000100, 00000050, 00000200 -> times 0, FFFFFF50, 100000100
//   stamps 00000100, 00000050, 80000100, 00000000 -> times 0, FFFFFF50,
//          180000000, 1FFFFFF00 (the second wrap)
class CaptureStore final
{
public:
    static constexpr qint64 stampWrap = Q_INT64_C(0x100000000);
    // 64 MiB of file per chunk.
    static constexpr qsizetype defaultChunkRecords = qsizetype(1) << 20;
    // The suffix of a capture file in a store's folder.
    static inline const QString fileSuffix = QStringLiteral(".tcap");

    // `folder`: where the capture file is made (created on the first frame),
    // to be recovered after a crash; empty: an unnamed file in the system's
    // temporary folder, gone with the store. `chunkRecords` is rounded up to
    // a power of two of at least 64.
    explicit CaptureStore(QString folder = {}, qsizetype chunkRecords = defaultChunkRecords);
    ~CaptureStore();
    // Takes the other store's frames, state, file and filter.
    CaptureStore(CaptureStore &&other) noexcept;
    CaptureStore(const CaptureStore &) = delete;
    CaptureStore &operator=(const CaptureStore &) = delete;

    // ---- frames ----
    [[nodiscard]] qsizetype count() const { return frameCount; }
    [[nodiscard]] bool isEmpty() const { return frameCount == 0; }
    // Frame by 0-based index (the n-th frame, key "n", is index n - 1).
    [[nodiscard]] const clsFrame &frame(qsizetype index) const
    {
        return chunkFrames[size_t(index >> chunkShift)][index & chunkMask];
    }
    // Frame by its key, the decimal text of its 1-based position without
    // padding ("1", "2", ...); leading and trailing spaces are ignored, so a
    // padded "Num" cell works too. nullptr when there is no such frame.
    [[nodiscard]] const clsFrame *frameByKey(const QString &key) const;
    // All frames, read-only, as one run per chunk (the time line walks them).
    [[nodiscard]] FrameSpans spans() const;
    // The 0-based index of the newest stored frame of identifier key
    // `keyNumber` (frameIdNumber), -1 when none is stored.
    [[nodiscard]] qsizetype latestFrame(qint32 keyNumber) const;
    // The 0-based index of the stored frame of the same identifier key just
    // before frame `index` (what its cycle time is measured from); -1: none,
    // a lost-frame record, or more than 2^32 - 1 frames before it.
    [[nodiscard]] qsizetype previousOfSameId(qsizetype index) const;
    // The identifiers stored, in order of their first frame.
    [[nodiscard]] QList<qint32> idKeys() const;

    // ---- the road of a captured frame ----
    // The display filter: the checked state of the frame's identifier row in
    // the monitor list; true when it has no row (or no monitor is attached).
    [[nodiscard]] bool testCANID(const clsFrame &frame) const;
    // Stores the frame (sets its Time, updates the time state) and counts it
    // in the monitor list. Also the entry of the file readers; with
    // `keepTime` a frame's own Time (a log's time, which may span more than
    // one turn of the 32-bit stamp) is kept where it is set. Throws
    // std::bad_alloc when the file cannot grow (the disk is full).
    void addListFrames(const clsFrame &frame, bool keepTime = false);
    // The same for frames read from a file, in order.
    void addListFrames(std::vector<clsFrame> &&loaded, bool keepTimes = false);
    // A frame just captured: addListFrames when testCANID passes. Returns
    // whether it was stored (and is to get a message row); false also when
    // the file could not grow (storeError() says why).
    bool addCapturedFrame(const clsFrame &frame);
    // Why the last frame could not be stored; empty when all were.
    [[nodiscard]] const QString &storeError() const { return lastError; }

    // Empties the store and resets wrapOffset, selectedTime, lastFrameTime,
    // lastFrameDuration, currentRow and the capture file name (selectedDuration
    // is kept). firstTimeStamp and minFrameDuration are set by the next frame.
    // The capture file is removed.
    void clear();

    // Exchanges the frames, the time state and the capture files of two
    // stores; each keeps its filter. A capture read on a worker thread into
    // a store of its own takes the place of the shown one so.
    void swap(CaptureStore &other);
    // Counts every stored frame in the filter, identifier by identifier in
    // order of first appearance (after a swap; the rows' counts were 0).
    void countInFilter();

    // The monitor list that filters and counts frames; may be nullptr.
    void setFilter(IdFilter *monitor) { filter = monitor; }
    [[nodiscard]] IdFilter *idFilter() const { return filter; }

    // Bytes of file mapped for the frames (the chunks, not just the frames).
    [[nodiscard]] qint64 memoryBytes() const;

    // ---- the file ----
    [[nodiscard]] const QString &folder() const { return storeFolder; }
    // The folder of the next capture file (the current one stays where it is).
    void setFolder(const QString &folder) { storeFolder = folder; }
    // The capture file; empty before the first frame and for an unnamed one.
    [[nodiscard]] const QString &storeFileName() const { return fileName; }
    // When the capture file was made (invalid before the first frame).
    [[nodiscard]] QDateTime created() const;
    // Writes the frames appended since the last call to the disk (the
    // capture's one-second timer calls it). False when the system refused.
    bool flush();
    // The capture file leaves its folder (and its lock goes): the frames stay
    // readable, but nothing is left to recover. The program's end.
    void releaseFile();
    // The frames are kept elsewhere now (saved to a file): a crash from here
    // on leaves nothing to offer back, until the next frame is stored.
    void markSaved();

    // A capture file left in `folder` by a run that ended without saving or
    // discarding it, with what it holds.
    struct Unsaved
    {
        QString fileName;
        qint64 frames = 0; // whole records
        QDateTime created;
    };
    // The capture files in `folder` no running program holds, oldest first.
    // Files marked saved and files without a single whole record are removed
    // on the way; files of another layout are left alone.
    [[nodiscard]] static QList<Unsaved> findUnsaved(const QString &folder);
    // Removes a capture file (and its lock) no running program holds.
    static bool removeUnsaved(const QString &fileName);
    // Takes over a capture file of findUnsaved as this (empty) store's
    // capture: its whole records are the frames, the damage after them is
    // cut off, and frames stored from here on are appended to it. False,
    // with the reason in *error, when it cannot be read or is held.
    bool adopt(const QString &fileName, QString *error);

    // ---- capture state (stamp ticks unless stated) ----
    qint64 firstTimeStamp = 0;    // raw stamp of the first frame
    qint64 wrapOffset = 0;        // multiple of 2^32 added to raw stamps
    double minFrameDuration = 0;  // seconds, smallest frame duration seen
    qint64 lastFrameTime = 0;     // relative time of the newest frame
    double lastFrameDuration = 0; // seconds
    qint64 selectedTime = 0;      // relative time of the selected message row
    float selectedDuration = 0;   // seconds; not reset by clear()
    qint32 currentRow = 0;        // 1-based selected row of the message list, 0 none
    QString captureFileName;      // empty for a new capture

    struct Side
    {
        quint32 previous = 0; // distance back to the previous frame of the identifier
        quint32 check = 0;
    };

private:
    struct IdEntry
    {
        qint32 key = 0;
        qsizetype newest = -1;
        qint64 frames = 0;
    };

    // Sets the frame's Time and the capture's time state; `first` starts them.
    void placeFrame(clsFrame &frame, bool first, bool keepTime = false);
    // The slot of frame `index` (the next one), growing the file when needed.
    clsFrame &slot(qsizetype index);
    static constexpr qsizetype populateStep = qsizetype(1) << 16;
    void populateFrom(qsizetype index);
    [[nodiscard]] Side &side(qsizetype index) const;
    // Indexes frame `index`, of identifier key `key`, as its identifier's
    // newest; returns the entry. `before`, if given, receives the
    // identifier's newest until then (-1: none).
    IdEntry &indexFrame(qint32 key, qsizetype index, qsizetype *before = nullptr);
    bool openFile();
    bool growFile();
    void closeFile(bool remove);
    void setSaved(bool saved);

    QString storeFolder;
    QString fileName;
    std::unique_ptr<QLockFile> lock;
    int fd = -1;
    void *header = nullptr;
    int chunkShift = 20;
    qsizetype chunkMask = 0;
    qint64 chunkBytes = 0;
    qsizetype chunksMapped = 0;
    // Chunk -> its first frame; a fixed table, so that a reader on another
    // thread never sees it move.
    std::unique_ptr<clsFrame *[]> chunkFrames;
    qsizetype frameCount = 0;
    qsizetype flushedCount = 0;
    qsizetype flushedChunks = 0;
    bool saved = false;
    QString lastError;

    // Identifiers in order of first appearance; standard ones found through
    // an array (they are most frames, and this is on the path of each).
    std::vector<IdEntry> ids;
    std::vector<qint32> standardEntry;
    QHash<qint32, qint32> otherEntry;
    IdFilter *filter = nullptr;
};
