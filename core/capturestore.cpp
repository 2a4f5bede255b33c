#include "core/capturestore.h"

#include "core/values.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLockFile>

#include <algorithm>
#include <atomic>
#include <bit>
#include <cerrno>
#include <cstring>
#include <new>
#include <type_traits>
#include <utility>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

static_assert(std::is_trivially_copyable_v<clsFrame>, "frames are kept as the bytes of their records");
static_assert(sizeof(CaptureStore::Side) == 8);

namespace {

constexpr char magic[8] = {'T', 's', 'l', 'C', 'a', 'p', 't', '1'};
constexpr quint32 fileVersion = 1;
constexpr qint64 headerBytes = 4096;
constexpr qsizetype maxChunks = 16384;

struct Header
{
    char magic[8];
    quint32 version;
    quint32 recordSize;
    quint32 sideSize;
    quint32 chunkRecords;
    qint64 createdMs;
    qint64 pid;
    quint32 saved;
    quint32 reserved;
    qint64 flushed;
};

qint64 pageSize()
{
    static const qint64 size = std::max<qint64>(sysconf(_SC_PAGESIZE), 4096);
    return size;
}

qint64 bytesPerChunk(qsizetype records)
{
    const qint64 bytes = qint64(records) * qint64(sizeof(CaptureStore::Side) + sizeof(clsFrame));
    const qint64 page = pageSize();
    return (bytes + page - 1) / page * page;
}

quint64 mix(quint64 h)
{
    h ^= h >> 33;
    h *= 0xFF51AFD7ED558CCDULL;
    h ^= h >> 33;
    h *= 0xC4CEB9FE1A85EC53ULL;
    h ^= h >> 33;
    return h;
}

// The check of a record: its frame's bytes, its distance back and its index.
quint32 recordCheck(const clsFrame &frame, quint32 previous, qsizetype index)
{
    static_assert(sizeof(clsFrame) == 56);
    // Each word times its own odd constant, summed, then mixed once: the
    // products do not wait for each other. The words are read one by one: a
    // wide copy of a frame whose fields were just stored one by one would
    // wait for all of them.
    static constexpr quint64 factors[7] = {0x9E3779B97F4A7C15ULL, 0xC2B2AE3D27D4EB4FULL, 0x165667B19E3779F9ULL,
                                           0xD6E8FEB86659FD93ULL, 0xFF51AFD7ED558CCDULL, 0xC4CEB9FE1A85EC53ULL,
                                           0x94D049BB133111EBULL};
    const auto *bytes = reinterpret_cast<const unsigned char *>(&frame);
    quint64 sum = quint64(index) * 0xBF58476D1CE4E5B9ULL + quint64(previous) * 0x2545F4914F6CDD1DULL;
    for (int i = 0; i < 7; ++i) {
        quint64 word = 0;
        std::memcpy(&word, bytes + 8 * i, sizeof word);
        sum += word * factors[i];
    }
    const quint64 h = mix(sum);
    const quint32 check = quint32(h ^ (h >> 32));
    return check == 0 ? 1 : check; // a zeroed record never passes
}

QString lockNameOf(const QString &fileName)
{
    return fileName + QStringLiteral(".lock");
}

QString systemError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

bool readHeader(int fd, Header &h)
{
    return pread(fd, &h, sizeof h, 0) == ssize_t(sizeof h) && std::memcmp(h.magic, magic, sizeof magic) == 0 &&
           h.version == fileVersion && h.recordSize == sizeof(clsFrame) && h.sideSize == sizeof(CaptureStore::Side) &&
           h.chunkRecords >= 64 && std::has_single_bit(h.chunkRecords);
}

// The whole records at the start of a capture file: those whose check
// matches, up to the first that does not or is cut off.
qint64 wholeRecords(int fd, const Header &h, qint64 fileSize)
{
    const qsizetype records = qsizetype(h.chunkRecords);
    const qint64 chunk = bytesPerChunk(records);
    const qint64 sideBytes = qint64(records) * qint64(sizeof(CaptureStore::Side));
    std::vector<CaptureStore::Side> sides(static_cast<size_t>(records));
    std::vector<clsFrame> frames(static_cast<size_t>(records));
    qint64 n = 0;
    for (qint64 start = headerBytes; start < fileSize; start += chunk) {
        const qint64 present = std::min(chunk, fileSize - start);
        const ssize_t got = pread(fd, sides.data(), size_t(std::min(sideBytes, present)), start);
        if (got < 0)
            return n;
        const qint64 framesPresent = std::max<qint64>(present - sideBytes, 0);
        if (framesPresent > 0 &&
            pread(fd, static_cast<void *>(frames.data()),
                  size_t(std::min<qint64>(framesPresent, records * qint64(sizeof(clsFrame)))), start + sideBytes) < 0)
            return n;
        for (qsizetype i = 0; i < records; ++i) {
            const bool sidePresent = qint64(i + 1) * qint64(sizeof(CaptureStore::Side)) <= present;
            const bool framePresent = qint64(i + 1) * qint64(sizeof(clsFrame)) <= framesPresent;
            if (!sidePresent || !framePresent ||
                sides[size_t(i)].check != recordCheck(frames[size_t(i)], sides[size_t(i)].previous, n))
                return n;
            ++n;
        }
    }
    return n;
}

std::atomic<int> fileSequence{0};

} // namespace

CaptureStore::CaptureStore(QString folder, qsizetype chunkRecords)
    : storeFolder(std::move(folder))
    , chunkShift(std::countr_zero(std::bit_ceil(quint64(std::max<qsizetype>(chunkRecords, 64)))))
    , chunkMask((qsizetype(1) << chunkShift) - 1)
    , chunkBytes(bytesPerChunk(qsizetype(1) << chunkShift))
    , chunkFrames(new clsFrame *[maxChunks]())
{
}

CaptureStore::CaptureStore(CaptureStore &&other) noexcept
    : CaptureStore(other.storeFolder, other.chunkMask + 1)
{
    swap(other);
    filter = std::exchange(other.filter, nullptr);
}

CaptureStore::~CaptureStore()
{
    closeFile(true);
}

const clsFrame *CaptureStore::frameByKey(const QString &key) const
{
    bool ok = false;
    const qlonglong n = key.trimmed().toLongLong(&ok);
    if (!ok || n < 1 || n > count())
        return nullptr;
    return &frame(qsizetype(n - 1));
}

FrameSpans CaptureStore::spans() const
{
    FrameSpans out;
    for (qsizetype start = 0; start < frameCount; start += chunkMask + 1)
        out.emplace_back(chunkFrames[size_t(start >> chunkShift)], size_t(std::min(frameCount - start, chunkMask + 1)));
    return out;
}

CaptureStore::Side &CaptureStore::side(qsizetype index) const
{
    auto *sides = reinterpret_cast<Side *>(chunkFrames[size_t(index >> chunkShift)]) - (chunkMask + 1);
    return sides[index & chunkMask];
}

qsizetype CaptureStore::previousOfSameId(qsizetype index) const
{
    if (index < 0 || index >= frameCount)
        return -1;
    const quint32 back = side(index).previous;
    return back == 0 ? -1 : index - qsizetype(back);
}

QList<qint32> CaptureStore::idKeys() const
{
    QList<qint32> keys;
    keys.reserve(qsizetype(ids.size()));
    for (const IdEntry &entry : ids)
        keys.append(entry.key);
    return keys;
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
        // From the second turn on that test can no longer see a wrap: there,
        // a frame more than half a turn before the newest one means the
        // counter wrapped again (a capture longer than two turns would
        // otherwise repeat the second turn's times).
        while (wrapOffset > 0 && wrapOffset + stored.TimeStamp - firstTimeStamp < lastFrameTime - stampWrap / 2)
            wrapOffset += stampWrap;
    }
    if (!keepTime || !stored.Time)
        stored.Time = wrapOffset + stored.TimeStamp - firstTimeStamp;
    lastFrameTime = *stored.Time;
    lastFrameDuration = stored.Duration;
}

qsizetype CaptureStore::latestFrame(qint32 keyNumber) const
{
    qint32 entry = -1;
    if (keyNumber >= 0 && keyNumber <= 0x7FF)
        entry = standardEntry.empty() ? -1 : standardEntry[size_t(keyNumber)];
    else
        entry = otherEntry.value(keyNumber, -1);
    return entry < 0 ? -1 : ids[size_t(entry)].newest;
}

CaptureStore::IdEntry &CaptureStore::indexFrame(qint32 key, qsizetype index, qsizetype *before)
{
    qint32 *entry = nullptr;
    if (key >= 0 && key <= 0x7FF) {
        if (standardEntry.empty())
            standardEntry.assign(0x800, -1);
        entry = &standardEntry[size_t(key)];
    } else {
        auto it = otherEntry.find(key);
        if (it == otherEntry.end())
            it = otherEntry.insert(key, -1);
        entry = &it.value();
    }
    if (*entry < 0) {
        *entry = qint32(ids.size());
        ids.push_back({key, -1, 0});
    }
    IdEntry &id = ids[size_t(*entry)];
    if (before)
        *before = id.newest;
    id.newest = index;
    ++id.frames;
    return id;
}

clsFrame &CaptureStore::slot(qsizetype index)
{
    if ((index >> chunkShift) >= chunksMapped && !growFile())
        throw std::bad_alloc();
    if ((index & (populateStep - 1) & chunkMask) == 0)
        populateFrom(index);
    return chunkFrames[size_t(index >> chunkShift)][index & chunkMask];
}

void CaptureStore::populateFrom(qsizetype index)
{
    // The pages of the next records are put in the page cache by writing
    // their zeros through the file, in large pieces: taking a fault that
    // reads and prepares each page when it is first stored to costs more
    // than the records themselves. The range is past every stored record;
    // should a write fail, the pages still come by faults.
    static char zeros[1024 * 1024]; // never written: kept in zeroed memory, not in the library
    const auto clear = [this](qint64 offset, qint64 bytes) {
        while (bytes > 0) {
            const ssize_t n = pwrite(fd, zeros, size_t(std::min<qint64>(bytes, qint64(sizeof zeros))), offset);
            if (n <= 0)
                return;
            offset += n;
            bytes -= n;
        }
    };
    const qsizetype perChunk = chunkMask + 1;
    const qsizetype inChunk = index & chunkMask;
    const qsizetype n = std::min<qsizetype>(populateStep, perChunk - inChunk);
    const qint64 chunkStart = headerBytes + qint64(index >> chunkShift) * chunkBytes;
    clear(chunkStart + qint64(inChunk) * qint64(sizeof(Side)), qint64(n) * qint64(sizeof(Side)));
    clear(chunkStart + qint64(perChunk) * qint64(sizeof(Side)) + qint64(inChunk) * qint64(sizeof(clsFrame)),
          qint64(n) * qint64(sizeof(clsFrame)));
}

void CaptureStore::addListFrames(const clsFrame &frame, bool keepTime)
{
    const qsizetype index = frameCount;
    clsFrame &stored = slot(index);
    if (saved)
        setSaved(false);
    // Placed, indexed and sealed on a copy, which goes to the file once.
    clsFrame placed = frame;
    placeFrame(placed, index == 0, keepTime);
    // The identifier's newest frame before this one, found by the same lookup
    // that makes this one the newest.
    qsizetype before = -1;
    const IdEntry &id = indexFrame(frameIdNumber(placed), index, &before);
    // Lost-frame records are no identifier: they have no cycle.
    if (placed.isLost)
        before = -1;
    Side &s = side(index);
    s.previous = before < 0 || index - before > qsizetype(0xFFFFFFFFu) ? 0 : quint32(index - before);
    s.check = recordCheck(placed, s.previous, index);
    stored = placed;
    if (filter)
        filter->updateIDRow(id.key, true);
    ++frameCount;
}

void CaptureStore::addListFrames(std::vector<clsFrame> &&loaded, bool keepTimes)
{
    for (const clsFrame &frame : loaded)
        addListFrames(frame, keepTimes);
    loaded = {};
}

bool CaptureStore::addCapturedFrame(const clsFrame &frame)
{
    if (!testCANID(frame))
        return false;
    try {
        addListFrames(frame);
    } catch (const std::bad_alloc &) {
        return false;
    }
    if (!lastError.isEmpty())
        lastError.clear();
    return true;
}

void CaptureStore::clear()
{
    closeFile(true);
    frameCount = 0;
    ids.clear();
    standardEntry.clear();
    otherEntry.clear();
    captureFileName.clear();
    wrapOffset = 0;
    selectedTime = 0;
    lastFrameTime = 0;
    currentRow = 0;
    lastFrameDuration = 0;
}

void CaptureStore::swap(CaptureStore &other)
{
    using std::swap;
    swap(storeFolder, other.storeFolder);
    swap(fileName, other.fileName);
    swap(lock, other.lock);
    swap(fd, other.fd);
    swap(header, other.header);
    swap(chunkShift, other.chunkShift);
    swap(chunkMask, other.chunkMask);
    swap(chunkBytes, other.chunkBytes);
    swap(chunksMapped, other.chunksMapped);
    swap(chunkFrames, other.chunkFrames);
    swap(frameCount, other.frameCount);
    swap(flushedCount, other.flushedCount);
    swap(flushedChunks, other.flushedChunks);
    swap(saved, other.saved);
    swap(lastError, other.lastError);
    swap(ids, other.ids);
    swap(standardEntry, other.standardEntry);
    swap(otherEntry, other.otherEntry);
    swap(firstTimeStamp, other.firstTimeStamp);
    swap(wrapOffset, other.wrapOffset);
    swap(minFrameDuration, other.minFrameDuration);
    swap(lastFrameTime, other.lastFrameTime);
    swap(lastFrameDuration, other.lastFrameDuration);
    swap(selectedTime, other.selectedTime);
    swap(selectedDuration, other.selectedDuration);
    swap(currentRow, other.currentRow);
    swap(captureFileName, other.captureFileName);
}

void CaptureStore::countInFilter()
{
    if (!filter)
        return;
    for (const IdEntry &id : ids)
        filter->countIdFrames(id.key, id.frames);
}

qint64 CaptureStore::memoryBytes() const
{
    return qint64(chunksMapped) * chunkBytes;
}

QDateTime CaptureStore::created() const
{
    if (!header)
        return {};
    return QDateTime::fromMSecsSinceEpoch(static_cast<const Header *>(header)->createdMs);
}

// ---- the file ---------------------------------------------------------------

bool CaptureStore::openFile()
{
    lastError.clear();
    const qint64 pid = QCoreApplication::applicationPid();
    const int sequence = ++fileSequence;
    if (!storeFolder.isEmpty()) {
        QDir().mkpath(storeFolder);
        const QString name =
            QDir(storeFolder).filePath(QStringLiteral("capture-%1-%2").arg(pid).arg(sequence) + fileSuffix);
        lock = std::make_unique<QLockFile>(lockNameOf(name));
        lock->setStaleLockTime(0);
        if (lock->tryLock(0))
            fd = ::open(QFile::encodeName(name).constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd >= 0)
            fileName = name;
        else
            lock.reset();
    }
    if (fd < 0) {
        // Unnamed: made and unlinked at once, so nothing is left behind. Also
        // where the folder cannot take the file: the capture goes on, it just
        // cannot be recovered.
        QByteArray path =
            QFile::encodeName(QDir::tempPath() + QStringLiteral("/tessel-frames-%1-%2-XXXXXX").arg(pid).arg(sequence));
        fd = mkstemp(path.data());
        if (fd >= 0)
            unlink(path.constData());
    }
    if (fd < 0) {
        lastError = QStringLiteral("Can't make the capture file in \"%1\": %2").arg(QDir::tempPath(), systemError());
        lock.reset();
        return false;
    }
    Header h{};
    std::memcpy(h.magic, magic, sizeof magic);
    h.version = fileVersion;
    h.recordSize = sizeof(clsFrame);
    h.sideSize = sizeof(Side);
    h.chunkRecords = quint32(chunkMask + 1);
    h.createdMs = QDateTime::currentMSecsSinceEpoch();
    h.pid = pid;
    if (ftruncate(fd, headerBytes) != 0 || pwrite(fd, &h, sizeof h, 0) != ssize_t(sizeof h)) {
        lastError = QStringLiteral("Can't write the capture file: %1").arg(systemError());
        closeFile(true);
        return false;
    }
    header = mmap(nullptr, size_t(headerBytes), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (header == MAP_FAILED) {
        header = nullptr;
        lastError = QStringLiteral("Can't map the capture file: %1").arg(systemError());
        closeFile(true);
        return false;
    }
    return true;
}

bool CaptureStore::growFile()
{
    if (fd < 0 && !openFile())
        return false;
    if (chunksMapped >= maxChunks) {
        lastError = QStringLiteral("The capture file is full.");
        return false;
    }
    const qint64 offset = headerBytes + qint64(chunksMapped) * chunkBytes;
    // Room is taken on the disk now: a full disk is an error here, not a
    // fault when a page of the mapping is first written.
    int err = posix_fallocate(fd, offset, chunkBytes);
    if (err == EOPNOTSUPP || err == EINVAL)
        err = ftruncate(fd, offset + chunkBytes) == 0 ? 0 : errno;
    if (err != 0) {
        errno = err;
        lastError = QStringLiteral("Can't enlarge the capture file: %1").arg(systemError());
        return false;
    }
    void *map = mmap(nullptr, size_t(chunkBytes), PROT_READ | PROT_WRITE, MAP_SHARED, fd, offset);
    if (map == MAP_FAILED) {
        lastError = QStringLiteral("Can't map the capture file: %1").arg(systemError());
        return false;
    }
    madvise(map, size_t(chunkBytes), MADV_SEQUENTIAL);
    auto *sides = static_cast<Side *>(map);
    chunkFrames[size_t(chunksMapped)] = reinterpret_cast<clsFrame *>(sides + chunkMask + 1);
    ++chunksMapped;
    return true;
}

void CaptureStore::closeFile(bool remove)
{
    for (qsizetype c = 0; c < chunksMapped; ++c) {
        auto *sides = reinterpret_cast<Side *>(chunkFrames[size_t(c)]) - (chunkMask + 1);
        munmap(sides, size_t(chunkBytes));
        chunkFrames[size_t(c)] = nullptr;
    }
    chunksMapped = 0;
    flushedCount = 0;
    flushedChunks = 0;
    saved = false;
    if (header) {
        munmap(header, size_t(headerBytes));
        header = nullptr;
    }
    if (fd >= 0) {
        ::close(fd);
        fd = -1;
    }
    if (remove && !fileName.isEmpty())
        QFile::remove(fileName);
    fileName.clear();
    lock.reset();
}

bool CaptureStore::flush()
{
    if (fd < 0 || flushedCount == frameCount)
        return true;
    bool ok = true;
    const qint64 page = pageSize();
    const qsizetype perChunk = chunkMask + 1;
    // Each chunk touched since the last flush, from its first new record on.
    for (qsizetype from = flushedCount; from < frameCount;) {
        const qsizetype c = from >> chunkShift;
        const qsizetype to = std::min(frameCount, (c + 1) * perChunk);
        auto *base = reinterpret_cast<char *>(reinterpret_cast<Side *>(chunkFrames[size_t(c)]) - perChunk);
        const qint64 sideStart = qint64(from & chunkMask) * qint64(sizeof(Side)) / page * page;
        const qint64 sideEnd = qint64(((to - 1) & chunkMask) + 1) * qint64(sizeof(Side));
        const qint64 frameArea = qint64(perChunk) * qint64(sizeof(Side));
        const qint64 frameStart = (frameArea + qint64(from & chunkMask) * qint64(sizeof(clsFrame))) / page * page;
        const qint64 frameEnd = frameArea + qint64(((to - 1) & chunkMask) + 1) * qint64(sizeof(clsFrame));
        ok = msync(base + sideStart, size_t(sideEnd - sideStart), MS_SYNC) == 0 && ok;
        ok = msync(base + frameStart, size_t(frameEnd - frameStart), MS_SYNC) == 0 && ok;
        from = to;
    }
    flushedCount = frameCount;
    static_cast<Header *>(header)->flushed = frameCount;
    ok = msync(header, size_t(headerBytes), MS_SYNC) == 0 && ok;
    // The file's new length reaches the disk with its metadata.
    if (flushedChunks != chunksMapped) {
        ok = fdatasync(fd) == 0 && ok;
        flushedChunks = chunksMapped;
    }
    return ok;
}

void CaptureStore::releaseFile()
{
    if (!fileName.isEmpty())
        QFile::remove(fileName);
    fileName.clear();
    lock.reset();
}

void CaptureStore::setSaved(bool on)
{
    saved = on;
    if (header) {
        static_cast<Header *>(header)->saved = on ? 1 : 0;
        if (on)
            msync(header, size_t(headerBytes), MS_SYNC);
    }
}

void CaptureStore::markSaved()
{
    // What is saved needs no flush of its own any more.
    flushedCount = frameCount;
    setSaved(true);
}

// ---- recovery -----------------------------------------------------------------

QList<CaptureStore::Unsaved> CaptureStore::findUnsaved(const QString &folder)
{
    QList<Unsaved> found;
    if (folder.isEmpty())
        return found;
    const QFileInfoList files = QDir(folder).entryInfoList({QStringLiteral("*") + fileSuffix}, QDir::Files, QDir::Name);
    for (const QFileInfo &info : files) {
        const QString name = info.absoluteFilePath();
        QLockFile lock(lockNameOf(name));
        lock.setStaleLockTime(0);
        if (!lock.tryLock(0))
            continue; // a running program's capture
        const int fd = ::open(QFile::encodeName(name).constData(), O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            continue;
        Header h{};
        const bool ours = readHeader(fd, h);
        const qint64 frames = ours ? wholeRecords(fd, h, info.size()) : 0;
        ::close(fd);
        if (!ours)
            continue;
        if (h.saved || frames == 0) {
            QFile::remove(name);
            continue;
        }
        found.append({name, frames, QDateTime::fromMSecsSinceEpoch(h.createdMs)});
    }
    std::sort(found.begin(), found.end(), [](const Unsaved &a, const Unsaved &b) { return a.created < b.created; });
    return found;
}

bool CaptureStore::removeUnsaved(const QString &fileName)
{
    QLockFile lock(lockNameOf(fileName));
    lock.setStaleLockTime(0);
    if (!lock.tryLock(0))
        return false;
    return QFile::remove(fileName);
}

bool CaptureStore::adopt(const QString &name, QString *error)
{
    const auto fail = [&](const QString &why) {
        if (error)
            *error = QStringLiteral("Can't recover the capture \"%1\": %2").arg(name, why);
        closeFile(false);
        clear();
        return false;
    };
    clear();
    lock = std::make_unique<QLockFile>(lockNameOf(name));
    lock->setStaleLockTime(0);
    if (!lock->tryLock(0))
        return fail(QStringLiteral("another program holds it."));
    fd = ::open(QFile::encodeName(name).constData(), O_RDWR | O_CLOEXEC);
    if (fd < 0)
        return fail(systemError());
    struct stat st = {};
    Header h{};
    if (fstat(fd, &st) != 0 || !readHeader(fd, h))
        return fail(QStringLiteral("it is not a capture file of this version."));
    chunkShift = std::countr_zero(h.chunkRecords);
    chunkMask = (qsizetype(1) << chunkShift) - 1;
    chunkBytes = bytesPerChunk(chunkMask + 1);
    const qint64 records = wholeRecords(fd, h, st.st_size);
    if (records == 0)
        return fail(QStringLiteral("it holds no whole frame."));
    header = mmap(nullptr, size_t(headerBytes), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (header == MAP_FAILED) {
        header = nullptr;
        return fail(systemError());
    }
    fileName = name;
    // The chunks that hold the records, whole again; what followed them goes.
    const qsizetype chunks = qsizetype((records + chunkMask) >> chunkShift);
    if (ftruncate(fd, headerBytes + qint64(chunks) * chunkBytes) != 0)
        return fail(systemError());
    for (qsizetype c = 0; c < chunks; ++c) {
        if (!growFile())
            return fail(lastError);
    }
    const qsizetype lastUsed = qsizetype(records) & chunkMask;
    if (lastUsed != 0) {
        // Damage after the last whole record is cleared, so that it can never
        // pass for a record once new frames are appended before it.
        const qsizetype c = chunks - 1;
        auto *sides = reinterpret_cast<Side *>(chunkFrames[size_t(c)]) - (chunkMask + 1);
        std::fill(sides + lastUsed, sides + chunkMask + 1, Side());
        std::memset(static_cast<void *>(chunkFrames[size_t(c)] + lastUsed), 0,
                    size_t(chunkMask + 1 - lastUsed) * sizeof(clsFrame));
    }
    for (qsizetype i = 0; i < qsizetype(records); ++i) {
        placeFrame(chunkFrames[size_t(i >> chunkShift)][i & chunkMask], i == 0, true);
        indexFrame(frameIdNumber(frame(i)), i);
    }
    frameCount = qsizetype(records);
    setSaved(false);
    flush();
    countInFilter();
    return true;
}
