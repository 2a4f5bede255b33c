#pragma once

#include "core/clsframe.h"

#include <QHash>
#include <QString>

#include <vector>

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
};

// Every frame of the current capture, in arrival order, in one contiguous
// array, with the capture's time state. Frames are only ever appended; the
// message list and the time line look at them by index.
//
// Time stamps are the analyser's 32-bit counter; a frame's relative time
// (clsFrame::Time, in stamp ticks) is wrapOffset + TimeStamp - firstTimeStamp,
// where wrapOffset grows by 2^32 while wrapOffset + TimeStamp is below the
// FIRST stamp of the capture (not the previous one).
//   stamps FFFFFF00, FFFFFFF0, 00000010 -> times 0, F0, 110
//   stamps 00000100, 00000300, 00000200 -> times 0, 200, 100 (not below the first)
//   stamps 00000100, 00000050, 00000200 -> times 0, FFFFFF50, 100000100
class CaptureStore final
{
public:
    static constexpr qint64 stampWrap = Q_INT64_C(0x100000000);

    // ---- frames ----
    [[nodiscard]] qsizetype count() const { return qsizetype(frames.size()); }
    [[nodiscard]] bool isEmpty() const { return frames.empty(); }
    // Frame by 0-based index (the n-th frame, key "n", is index n - 1).
    [[nodiscard]] const clsFrame &frame(qsizetype index) const { return frames[size_t(index)]; }
    // Frame by its key, the decimal text of its 1-based position without
    // padding ("1", "2", ...); leading and trailing spaces are ignored, so a
    // padded "Num" cell works too. nullptr when there is no such frame.
    [[nodiscard]] const clsFrame *frameByKey(const QString &key) const;
    // All frames, read-only (capture files and the time line walk them).
    [[nodiscard]] const std::vector<clsFrame> &capturedFrames() const { return frames; }
    // The 0-based index of the newest stored frame of identifier key
    // `keyNumber` (frameIdNumber), -1 when none is stored.
    [[nodiscard]] qsizetype latestFrame(qint32 keyNumber) const;
    // The 0-based index of the stored frame of the same identifier key just
    // before frame `index` (what its cycle time is measured from).
    [[nodiscard]] qsizetype previousOfSameId(qsizetype index) const; // -1: none

    // ---- the road of a captured frame ----
    // The display filter: the checked state of the frame's identifier row in
    // the monitor list; true when it has no row (or no monitor is attached).
    [[nodiscard]] bool testCANID(const clsFrame &frame) const;
    // Stores the frame (sets its Time, updates the time state) and counts it
    // in the monitor list. Also the entry of the capture-file reader.
    void addListFrames(const clsFrame &frame);
    // The same for frames read from a file, in order. An empty store takes
    // the array itself, so a load needs no second copy of its frames.
    // With `keepTimes` the frames' own Time (a log's time, which may span
    // more than one turn of the 32-bit stamp) is kept where it is set.
    void addListFrames(std::vector<clsFrame> &&loaded, bool keepTimes = false);
    // A frame just captured: addListFrames when testCANID passes. Returns
    // whether it was stored (and is to get a message row).
    bool addCapturedFrame(const clsFrame &frame);

    // Empties the store and resets wrapOffset, selectedTime, lastFrameTime,
    // lastFrameDuration, currentRow and the capture file name (selectedDuration
    // is kept). firstTimeStamp and minFrameDuration are set by the next frame.
    void clear();

    // The monitor list that filters and counts frames; may be nullptr.
    void setFilter(IdFilter *monitor) { filter = monitor; }
    [[nodiscard]] IdFilter *idFilter() const { return filter; }

    // Bytes held for the frames (capacity, not just size).
    [[nodiscard]] qint64 memoryBytes() const
    {
        return qint64(frames.capacity() * sizeof(clsFrame) + previousSame.capacity() * sizeof(quint32));
    }

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

private:
    // Sets the frame's Time and the capture's time state; `first` starts them.
    void placeFrame(clsFrame &frame, bool first, bool keepTime = false);

    // Sets the frame's Time and time state, keeps it as its identifier's
    // newest and counts it in the monitor list.
    void takeFrame(qsizetype index, bool first, bool keepTime = false);

    std::vector<clsFrame> frames;
    // Standard identifier -> index of its newest frame (an array: most frames
    // are standard ones, and this is on the path of every frame).
    std::vector<qsizetype> newestStandard;
    // Key number -> index of its newest frame: one entry per identifier, so a
    // frame costs a lookup, never an allocation.
    QHash<qint32, qsizetype> newest;
    // Frame index -> index of the previous frame of its key (noPrevious: none).
    static constexpr quint32 noPrevious = 0xFFFFFFFFu;
    std::vector<quint32> previousSame;
    IdFilter *filter = nullptr;
};
