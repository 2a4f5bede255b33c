#pragma once

#include "core/capturefile.h"
#include "core/capturestore.h"
#include "core/logformat.h"
#include "views/captureformats.h"

#include <QObject>
#include <QTimer>
#include <QList>
#include <QString>

#include <atomic>
#include <functional>
#include <optional>
#include <vector>

class IdIndex;
class MessageModel;
class ParamStore;
class Prompts;

// The capture as a document: the store of captured frames, the file it was
// read from or written to, and whether it holds rows not yet written. New,
// Open, Save and Save As live here; every question and file dialog goes
// through Prompts, and each operation says what happened.
//
// State as the File menu shows it: New and Save As while hasRows(), Save while
// canSave() (modified with a file name). "Save changes?" is asked when
// isModified().
// Runs the long part of an open or a save (reading a file into a store of
// its own, writing one) while a window shows its progress and offers Cancel.
// A job touches nothing but what it was given, so it may run on a thread of
// its own; questions and messages stay with the caller.
class CaptureLoader
{
public:
    // What a job and its window tell each other while it runs.
    struct Progress
    {
        std::atomic<qint64> done{0};     // steps done, of the run's `steps`
        std::atomic<bool> cancel{false}; // the user chose Cancel
    };
    using Job = std::function<void(Progress &progress)>;

    virtual ~CaptureLoader() = default;
    // Runs `job` to its end; `cancellable`: the job looks at
    // Progress::cancel. Without a window of its own it runs on the calling
    // thread.
    virtual void run(const QString &title, qint64 steps, bool cancellable, const Job &job)
    {
        Q_UNUSED(title);
        Q_UNUSED(steps);
        Q_UNUSED(cancellable);
        Progress progress;
        job(progress);
    }
};

class CaptureDocument final : public QObject
{
    Q_OBJECT
public:
    enum class SaveResult {
        Saved,     // written, or nothing needed writing
        Discarded, // the user chose not to save
        Cancelled, // the user stopped the command
        Failed,    // could not be written; failure() says why, and it was shown
    };
    enum class OpenResult {
        Opened,
        Cancelled, // no file chosen, or the unsaved capture kept
        Failed,    // not there, unreadable, without a frame, or the capture not saved first; see failure()
    };

    CaptureDocument(ParamStore &params, Prompts &prompts, QObject *parent = nullptr);

    [[nodiscard]] CaptureStore &store() { return frames; }
    [[nodiscard]] const CaptureStore &store() const { return frames; }
    [[nodiscard]] QString fileName() const { return frames.captureFileName; }
    [[nodiscard]] bool isModified() const { return modified; }
    [[nodiscard]] bool hasRows() const { return rowsShown; }
    // Save writes in the format of the file, so a file of a format that is
    // only read goes through Save As.
    [[nodiscard]] bool canSave() const
    {
        return modified && !frames.captureFileName.isEmpty() && captureformats::isWritable(format);
    }
    // The format fileName() was read from or written in (Tessel's text for a
    // new capture).
    [[nodiscard]] logformat::Format fileFormat() const { return format; }
    // The absolute time of the first frame, when the file read told it; a
    // log written in a format that carries it gets it back.
    [[nodiscard]] std::optional<qint64> startMicroseconds() const { return startTime; }
    // The wall clock (microseconds since 1970, UTC) of the capture's start:
    // the file's absolute start when it tells one, else when the analyser
    // started capturing into this store; none for neither.
    [[nodiscard]] std::optional<qint64> wallStartMicroseconds() const { return startTime ? startTime : captureStart; }
    // Records the start of a capture into an empty store (kept until clear()).
    void markCaptureStart(qint64 microsecondsSinceEpoch);
    // Stamp ticks per second of the frames held: the rate a log was read
    // with, else the bus timing's timer, else 1 MHz.
    [[nodiscard]] double ticksPerSecond() const;
    // The buses the frames of the file read came from (empty for Tessel's
    // text and a capture).
    [[nodiscard]] const QList<int> &buses() const { return fileBuses; }
    // What the window title names: the file's name without its folder,
    // "New capture" for rows not written anywhere yet, empty for neither.
    [[nodiscard]] QString titleName() const;
    // The text of the last Failed result.
    [[nodiscard]] const QString &failure() const { return lastFailure; }

    // The capture window is open (Run › CAN Capture checked).
    [[nodiscard]] bool isCapturing() const { return capturing; }
    void setCapturing(bool on);

    // What a written file holds: the rows `messages` shows, in capture order
    // (every stored frame while none is set), labelled from `labels`, with
    // the name of the data base in use and the bus timing in its header.
    void setMessages(const MessageModel *messages) { shown = messages; }
    void setLabels(const IdIndex *index) { labels = index; }
    void setDbName(const QString &name) { dbName = name; }
    void setBusTiming(double canSpeed, double canTimer);
    [[nodiscard]] double canSpeed() const { return busSpeed; }
    [[nodiscard]] double canTimer() const { return busTimer; }
    // Stamp ticks per second of the frames held: the log's when one was
    // read, else the bus timing's timer (0 when unknown).
    [[nodiscard]] double stampRate() const { return logTimerRate > 0 ? logTimerRate : busTimer; }
    // Without a loader, files are read and written without showing progress.
    void setLoader(CaptureLoader *reader) { loader = reader; }
    // Where the capture's file goes, so that a crash leaves it to be offered
    // back (Tessel's temporary folder); set before the first frame.
    void setStoreFolder(const QString &folder);

    // The capture files a run that ended without saving left in the store's
    // folder: each is offered back, "An unsaved capture of N frames from
    // <date time> was found. Recover it?"; Yes opens it as an unsaved
    // capture (and no other is asked about), No deletes it. True when one
    // was opened.
    bool offerRecovery();
    // A captured frame could not be stored (the disk is full): the store's
    // reason is shown once per capture, after the decoding run.
    void storeFailed();
    // Writes the frames captured since the last call to the disk; the
    // capture's one-second timer calls it.
    void flushCapture() { frames.flush(); }
    // Once a second while capturing: flushCapture.
    [[nodiscard]] QTimer *flushTimer() const { return tmrFlush; }

    // Rows were appended to the message list: the capture is modified.
    void rowsAdded();
    // Empties the store without asking; New, Save and Save As off.
    void clear();

    // File › New: asks about unsaved rows, ends a running capture, clears.
    SaveResult newCapture();
    // File › Save: writes to fileName() in its format; Save As for a format
    // that is only read.
    SaveResult save();
    // File › Save As...: asks for a name (and before overwriting a file).
    SaveResult saveAs();
    // "Save viewed data to file?" when modified: Yes saves (Save As without a
    // file name), No discards. Saved also when there was nothing to save.
    SaveResult askToSave();
    [[nodiscard]] static bool mayDiscard(SaveResult result)
    {
        return result == SaveResult::Saved || result == SaveResult::Discarded;
    }
    // File › Open...: asks for a file, then openPath.
    OpenResult open();
    // A file named outside the Open dialog (command line, drop): Failed with
    // a message when it is not there, else openFile.
    OpenResult openPath(const QString &fileName);
    // Reads `fileName` and replaces the capture with it; a file that cannot
    // be read or holds no frame leaves the capture as it was. The format is
    // told by the content: Tessel's text (and anything no reader knows) goes
    // through the capture-file reader, the logs of other tools through theirs.
    OpenResult openFile(const QString &fileName);

    // The "outDelimiter" setting; one that a file could not be read back
    // with gives one space, with a message the first time.
    [[nodiscard]] QString outDelimiter();

signals:
    void modifiedChanged(bool modified);
    // hasRows() or canSave() changed.
    void stateChanged();
    void fileNameChanged(const QString &fileName);
    void capturingChanged(bool capturing);
    // The running capture must end before the store is replaced (the capture
    // window closes; it calls setCapturing(false)).
    void captureCloseRequested();
    // The store was emptied.
    void cleared();
    // A file's frames are in the store; the views rebuild. Rows shown after
    // it decide hasRows().
    void loaded();

private:
    SaveResult write(logformat::Format to);
    OpenResult openCaptureText(const QString &fileName);
    OpenResult openLog(const QString &fileName);
    // Empties the capture, runs `describe` (which sets what a log told about
    // itself; none for Tessel's text) and takes the frames read into `read`.
    void replaceCapture(const QString &fileName, CaptureStore &read, const std::function<void()> &describe = {});
    void runJob(const QString &title, qint64 steps, bool cancellable, const CaptureLoader::Job &job);
    SaveResult failed(const QString &text);
    void setState(bool rows, bool changed);
    void setFileName(const QString &name);

    ParamStore &params;
    Prompts &prompts;
    CaptureStore frames;
    QTimer *tmrFlush = nullptr;
    const MessageModel *shown = nullptr;
    const IdIndex *labels = nullptr;
    QString dbName;
    CaptureLoader *loader = nullptr;
    double busSpeed = 0;
    double busTimer = 0;
    bool modified = false;
    bool rowsShown = false;
    bool capturing = false;
    bool delimiterWarned = false;
    bool storeFailureShown = false;
    QString lastFailure;
    logformat::Format format = logformat::Format::Tessel;
    std::optional<qint64> startTime;
    std::optional<qint64> captureStart;
    QList<int> fileBuses;
    // Stamp ticks per second of a log read (0: the bus timing's timer).
    double logTimerRate = 0;
};
