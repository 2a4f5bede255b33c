#include "core/capturestore.h"

#include "core/values.h"

#include <algorithm>

const clsFrame *CaptureStore::frameByKey(const QString &key) const
{
    bool ok = false;
    const qlonglong n = key.trimmed().toLongLong(&ok);
    if (!ok || n < 1 || n > count())
        return nullptr;
    return &frames[size_t(n - 1)];
}

bool CaptureStore::testCANID(const clsFrame &frame) const
{
    return filter ? filter->isShown(frameIdNumber(frame)) : true;
}

void CaptureStore::placeFrame(clsFrame &stored, bool first, bool keepTime)
{
    if (first) {
        minFrameDuration = stored.Duration;
        firstTimeStamp = stored.TimeStamp;
        wrapOffset = 0;
        selectedTime = 0;
    } else {
        minFrameDuration = std::min(minFrameDuration, stored.Duration);
        // A stamp below the capture's first stamp means the counter wrapped.
        while (wrapOffset + stored.TimeStamp < firstTimeStamp)
            wrapOffset += stampWrap;
    }
    if (!keepTime || !stored.Time)
        stored.Time = wrapOffset + stored.TimeStamp - firstTimeStamp;
    lastFrameTime = *stored.Time;
    lastFrameDuration = stored.Duration;
}

qsizetype CaptureStore::latestFrame(qint32 keyNumber) const
{
    if (keyNumber >= 0 && keyNumber <= 0x7FF)
        return newestStandard.empty() ? -1 : newestStandard[size_t(keyNumber)];
    return newest.value(keyNumber, -1);
}

qsizetype CaptureStore::previousOfSameId(qsizetype index) const
{
    if (index < 0 || size_t(index) >= previousSame.size())
        return -1;
    const quint32 previous = previousSame[size_t(index)];
    return previous == noPrevious ? -1 : qsizetype(previous);
}

void CaptureStore::takeFrame(qsizetype index, bool first, bool keepTime)
{
    clsFrame &stored = frames[size_t(index)];
    placeFrame(stored, first, keepTime);
    const qint32 key = frameIdNumber(stored);
    // Lost-frame records are no identifier: they have no cycle.
    const qsizetype previous = stored.isLost ? -1 : latestFrame(key);
    if (previousSame.size() <= size_t(index))
        previousSame.resize(size_t(index) + 1, noPrevious);
    previousSame[size_t(index)] = previous < 0 ? noPrevious : quint32(previous);
    if (key >= 0 && key <= 0x7FF) {
        if (newestStandard.empty())
            newestStandard.assign(0x800, -1);
        newestStandard[size_t(key)] = index;
    } else {
        newest.insert(key, index);
    }
    if (filter)
        filter->updateIDRow(key, true);
}

void CaptureStore::addListFrames(const clsFrame &frame)
{
    const bool first = frames.empty();
    // Grow by a quarter rather than doubling: a capture of millions of frames
    // then never holds more than 25 % spare room.
    if (frames.size() == frames.capacity())
        frames.reserve(frames.capacity() + std::max<size_t>(frames.capacity() / 4, 4096));
    frames.push_back(frame);
    takeFrame(count() - 1, first);
}

void CaptureStore::addListFrames(std::vector<clsFrame> &&loaded, bool keepTimes)
{
    if (!frames.empty()) {
        for (const clsFrame &frame : loaded)
            addListFrames(frame);
        loaded = {};
        return;
    }
    frames = std::move(loaded);
    loaded = {};
    previousSame.reserve(frames.size());
    for (qsizetype i = 0; i < count(); ++i)
        takeFrame(i, i == 0, keepTimes);
}

bool CaptureStore::addCapturedFrame(const clsFrame &frame)
{
    if (!testCANID(frame))
        return false;
    addListFrames(frame);
    return true;
}

void CaptureStore::clear()
{
    frames.clear();
    frames.shrink_to_fit();
    newest.clear();
    newestStandard.clear();
    previousSame.clear();
    previousSame.shrink_to_fit();
    captureFileName.clear();
    wrapOffset = 0;
    selectedTime = 0;
    lastFrameTime = 0;
    currentRow = 0;
    lastFrameDuration = 0;
}
