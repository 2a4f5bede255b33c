// The capture document without a window: what New, Open, Save, Save As and
// the "save changes?" question do and say, against scripted prompts.
#include "support/testregistry.h"
#include "views/capturedocument.h"

#include "support/fakeprompts.h"
#include "support/seeddatabase.h"
#include "views/messagemodel.h"
#include "views/monitorlist.h"

#include <QDir>
#include <QFile>
#include <QLocale>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>
#include <thread>

using SaveResult = CaptureDocument::SaveResult;
using OpenResult = CaptureDocument::OpenResult;

namespace QTest {
template <> char *toString(const SaveResult &result)
{
    static const char *const names[] = {"Saved", "Discarded", "Cancelled", "Failed"};
    return qstrdup(names[int(result)]);
}
template <> char *toString(const OpenResult &result)
{
    static const char *const names[] = {"Opened", "Cancelled", "Failed"};
    return qstrdup(names[int(result)]);
}
} // namespace QTest

class tst_CaptureDocument : public QObject
{
    Q_OBJECT

    std::unique_ptr<SeedDatabase> seed;
    FakePrompts prompts;
    std::unique_ptr<CaptureDocument> doc;

    // "" stays "" (a cancelled file dialog).
    QString path(const QString &name) const { return name.isEmpty() ? name : seed->dir.filePath(name); }

    // Three captured frames (stamps 0x100, 0x300, 0x500; DLC 2, 0, 8) shown as rows.
    void capture()
    {
        for (const auto &[stamp, dlc] : {std::pair{0x100, 2}, {0x300, 0}, {0x500, 8}}) {
            clsFrame f;
            f.TimeStamp = stamp;
            f.ID.StdPart = 0x123;
            f.DLC = quint8(dlc);
            f.setData(QByteArray(dlc, '\x5A'));
            f.computeDuration(500000);
            doc->store().addListFrames(f);
        }
        doc->rowsAdded();
    }

    static QByteArray contents(const QString &file)
    {
        QFile in(file);
        return in.open(QIODevice::ReadOnly) ? in.readAll() : QByteArray();
    }

    static void write(const QString &file, const QByteArray &bytes)
    {
        QFile out(file);
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write(bytes);
    }

    // Runs each job on a thread of its own, as the progress window does.
    struct ThreadLoader final : public CaptureLoader
    {
        // Cancel chosen before the job starts: a read sees it at its first
        // progress step, 4,096 lines in.
        bool cancel = false;
        QStringList titles;
        void run(const QString &title, qint64, bool, const Job &job) override
        {
            titles << title;
            Progress progress;
            progress.cancel = cancel;
            std::thread worker([&] { job(progress); });
            worker.join();
        }
    };

    // A capture text of `frames` frames of four identifiers.
    static QByteArray captureText(int frames)
    {
        QByteArray text("; CAN_DB=\"x\"\r\n; CAN_Speed=500000\r\n; CAN_Timer=1000000\r\n");
        for (int i = 0; i < frames; ++i)
            text += QByteArray::number(0x100 + i * 0x40, 16).rightJustified(8, '0').toUpper() + " " +
                    QByteArray::number(0x100 + i % 4, 16).toUpper() + " ----- 0 0 0 0 1 " +
                    QByteArray::number(i % 256 + 256, 16).right(2).toUpper() + "\r\n";
        return text;
    }

private slots:
    void init()
    {
        seed = std::make_unique<SeedDatabase>();
        prompts = FakePrompts();
        doc = std::make_unique<CaptureDocument>(seed->params, prompts);
        doc->setBusTiming(500000, 1000000);
    }

    void cleanup()
    {
        doc.reset();
        seed.reset();
    }

    void stateFollowsRowsAndWrites()
    {
        QSignalSpy modified(doc.get(), &CaptureDocument::modifiedChanged);
        QVERIFY(!doc->hasRows() && !doc->isModified() && !doc->canSave());
        capture();
        doc->rowsAdded(); // a second run of rows changes nothing
        QCOMPARE(modified.size(), 1);
        QVERIFY(doc->hasRows() && doc->isModified());
        QVERIFY(!doc->canSave()); // no file yet: Save As only
        prompts.fileNames = {path("a.txt")};
        QCOMPARE(doc->saveAs(), SaveResult::Saved);
        QCOMPARE(doc->fileName(), path("a.txt"));
        QVERIFY(doc->hasRows() && !doc->isModified() && !doc->canSave());
        doc->rowsAdded();
        QVERIFY(doc->canSave());
        QCOMPARE(doc->save(), SaveResult::Saved);
        QVERIFY(prompts.shown.isEmpty()); // a new file and a plain save ask nothing
        QCOMPARE(modified.size(), 4);
        QSignalSpy cleared(doc.get(), &CaptureDocument::cleared);
        doc->clear();
        QCOMPARE(cleared.size(), 1);
        QVERIFY(!doc->hasRows() && doc->fileName().isEmpty() && doc->store().isEmpty());
    }

    void saveAs_data()
    {
        QTest::addColumn<QString>("chosen");
        QTest::addColumn<bool>("exists");
        QTest::addColumn<Prompts::Answer>("overwrite");
        QTest::addColumn<SaveResult>("result");
        QTest::addColumn<bool>("cancelWrite"); // Cancel in the progress window
        QTest::newRow("file dialog cancelled") << "" << false << Prompts::Answer::Yes << SaveResult::Cancelled << false;
        QTest::newRow("existing file overwritten")
            << "old.txt" << true << Prompts::Answer::Yes << SaveResult::Saved << false;
        QTest::newRow("existing file kept (No)")
            << "old.txt" << true << Prompts::Answer::No << SaveResult::Cancelled << false;
        QTest::newRow("existing file kept (Cancel)")
            << "old.txt" << true << Prompts::Answer::Cancel << SaveResult::Cancelled << false;
        QTest::newRow("folder missing") << "gone/x.txt" << false << Prompts::Answer::Yes << SaveResult::Failed << false;
        QTest::newRow("writing cancelled: the file stays as it was")
            << "old.txt" << true << Prompts::Answer::Yes << SaveResult::Cancelled << true;
        QTest::newRow("writing a log cancelled") << "old.log" << true << Prompts::Answer::Yes << SaveResult::Cancelled
                                                 << true;
    }
    void saveAs()
    {
        QFETCH(QString, chosen);
        QFETCH(bool, exists);
        QFETCH(Prompts::Answer, overwrite);
        QFETCH(SaveResult, result);
        QFETCH(bool, cancelWrite);
        ThreadLoader loader;
        loader.cancel = true;
        if (cancelWrite)
            doc->setLoader(&loader);
        capture();
        const QString file = path(chosen);
        if (exists)
            write(file, "untouched");
        prompts.fileNames = {file};
        prompts.answers = {overwrite};
        QCOMPARE(doc->saveAs(), result);
        QCOMPARE(prompts.fileDialogTitles, QStringList{"Save as"});
        const bool saved = result == SaveResult::Saved;
        QCOMPARE(doc->fileName(), saved ? file : QString());
        QCOMPARE(doc->isModified(), !saved);
        if (exists) {
            QCOMPARE(prompts.shown[0].text, "File \"" + file + "\"is exist. Overwrite?");
            QCOMPARE(contents(file) == "untouched", !saved);
        }
        if (result == SaveResult::Failed) {
            QVERIFY(!doc->failure().isEmpty());
            QCOMPARE(prompts.shown.last().text, doc->failure());
            QCOMPARE(prompts.shown.last().icon, Prompts::Icon::Critical);
        }
    }

    // "Save viewed data to file?": what each answer does to the capture.
    void askToSave_data()
    {
        QTest::addColumn<bool>("hasFile");    // saved once before, so Save goes there
        QTest::addColumn<bool>("folderGone"); // ... and its folder removed since
        QTest::addColumn<Prompts::Answer>("answer");
        QTest::addColumn<QString>("chosen"); // the Save As dialog's answer
        QTest::addColumn<SaveResult>("result");
        QTest::newRow("Cancel") << false << false << Prompts::Answer::Cancel << "" << SaveResult::Cancelled;
        QTest::newRow("No") << false << false << Prompts::Answer::No << "" << SaveResult::Discarded;
        QTest::newRow("Yes with a file: saved there")
            << true << false << Prompts::Answer::Yes << "" << SaveResult::Saved;
        QTest::newRow("Yes without one: Save As")
            << false << false << Prompts::Answer::Yes << "as.txt" << SaveResult::Saved;
        QTest::newRow("Yes, Save As cancelled")
            << false << false << Prompts::Answer::Yes << "" << SaveResult::Cancelled;
        QTest::newRow("Yes, the write fails") << true << true << Prompts::Answer::Yes << "" << SaveResult::Failed;
    }
    void askToSave()
    {
        QFETCH(bool, hasFile);
        QFETCH(Prompts::Answer, answer);
        QFETCH(QString, chosen);
        QFETCH(SaveResult, result);
        if (hasFile) {
            QVERIFY(QDir(seed->dir.path()).mkpath(QStringLiteral("sub")));
            prompts.fileNames = {path("sub/first.txt")};
            capture();
            QCOMPARE(doc->saveAs(), SaveResult::Saved);
            QFETCH(bool, folderGone);
            if (folderGone)
                QVERIFY(QDir(path("sub")).removeRecursively());
        }
        capture();
        prompts.fileNames = {path(chosen)};
        prompts.fileDialogTitles.clear();
        prompts.answers = {answer};
        QCOMPARE(doc->askToSave(), result);
        QCOMPARE(prompts.shown[0].text, QStringLiteral("Save viewed data to file?"));
        QCOMPARE(prompts.shown[0].buttons, Prompts::Buttons::YesNoCancel);
        QCOMPARE(prompts.fileDialogTitles.size(), answer == Prompts::Answer::Yes && !hasFile ? 1 : 0);
        QCOMPARE(doc->isModified(), result != SaveResult::Saved);
        QCOMPARE(doc->store().count(), hasFile ? 6 : 3);
        prompts.clear(); // once saved or not modified, nothing is asked
        doc->clear();
        QCOMPARE(doc->askToSave(), SaveResult::Saved);
        QVERIFY(prompts.shown.isEmpty());
    }

    void newCaptureEndsTheRunningCapture()
    {
        QSignalSpy close(doc.get(), &CaptureDocument::captureCloseRequested);
        QSignalSpy cleared(doc.get(), &CaptureDocument::cleared);
        capture();
        doc->setCapturing(true);
        prompts.answers = {Prompts::Answer::Cancel};
        QCOMPARE(doc->newCapture(), SaveResult::Cancelled);
        QCOMPARE(doc->store().count(), 3);
        QCOMPARE(close.size() + cleared.size(), 0);
        prompts.answers = {Prompts::Answer::No};
        QCOMPARE(doc->newCapture(), SaveResult::Discarded);
        QCOMPARE(close.size() + cleared.size(), 2);
        QVERIFY(doc->store().isEmpty() && !doc->hasRows());
    }

    void open_data()
    {
        QTest::addColumn<QString>("chosen");
        QTest::addColumn<QByteArray>("content"); // written unless empty
        QTest::addColumn<OpenResult>("result");
        QTest::addColumn<QString>("message"); // %1: the file
        QTest::newRow("file dialog cancelled") << "" << QByteArray() << OpenResult::Cancelled << "";
        QTest::newRow("file not there") << "gone.txt" << QByteArray() << OpenResult::Failed
                                        << "File \"%1\" is not found.";
        QTest::newRow("no frame in it")
            << "bad.txt" << QByteArray("; CAN_DB=\"x\"\r\nrubbish\r\n") << OpenResult::Failed
            << "No frame could be read from the file \"%1\". 1 line of the file could not be read and was "
               "skipped (line 2).";
        QTest::newRow("one line skipped")
            << "one.txt"
            << QByteArray("; CAN_DB=\"x\"\r\n00000100 123 ----- 0 0 0 0 1 11\r\nrubbish\r\n"
                          "00000200 123 ----- 0 0 0 0 12\r\n")
            << OpenResult::Opened << "2 lines of the file could not be read and were skipped (the first is line 3).";
    }

    // A file that cannot be read leaves the capture as it was.
    void open()
    {
        QFETCH(QByteArray, content);
        QFETCH(OpenResult, result);
        QFETCH(QString, message);
        QFETCH(QString, chosen);
        const QString file = path(chosen);
        if (!content.isEmpty())
            write(file, content);
        capture();
        QSignalSpy loaded(doc.get(), &CaptureDocument::loaded);
        prompts.fileNames = {file};
        prompts.answers = {Prompts::Answer::No}; // the capture is not saved first
        QCOMPARE(doc->open(), result);
        QCOMPARE(prompts.fileDialogTitles, QStringList{"Open"});
        const QString shown = prompts.shown.isEmpty() ? QString() : prompts.shown.last().text;
        QCOMPARE(shown, message.isEmpty() ? message : message.arg(file));
        const bool opened = result == OpenResult::Opened;
        QCOMPARE(loaded.size(), opened ? 1 : 0);
        QCOMPARE(doc->store().count(), opened ? 1 : 3);
        QCOMPARE(doc->fileName(), opened ? file : QString());
        QCOMPARE(doc->isModified(), !opened); // a freshly opened file counts as saved
        QVERIFY(doc->hasRows());
    }

    // Saved with the list sorted by DLC: the file holds the shown rows in
    // capture order, so that their stamps unwrap as captured, and reads back
    // with the captured times; the list stays sorted.
    void savedRowsReadBackInCaptureOrder()
    {
        MessageModel messages(doc->store());
        doc->setMessages(&messages);
        capture();
        std::vector<quint32> rows{0, 1, 2};
        messages.addCANFrames(rows);
        QVERIFY(messages.columnClick(MessageModel::colDLC));
        QCOMPARE(messages.frameIndex(0), 1);
        prompts.fileNames = {path("sorted.txt")};
        QCOMPARE(doc->saveAs(), SaveResult::Saved);
        QCOMPARE(messages.sortColumn(), int(MessageModel::colDLC));
        QCOMPARE(messages.frameIndex(0), 1);
        doc->clear();
        messages.clearRows();
        prompts.fileNames = {path("sorted.txt")};
        QCOMPARE(doc->open(), OpenResult::Opened);
        QVERIFY2(prompts.shown.isEmpty(), qPrintable(prompts.texts().join('|')));
        QCOMPARE(doc->store().count(), 3);
        for (qsizetype i = 0; i < 3; ++i)
            QCOMPARE(doc->store().frame(i).Time.value_or(-1), qint64(0x200 * i));
        QCOMPARE(doc->store().frame(2).DLC, quint8(8));
    }

    // A delimiter that could not be read back gives one space, said once.
    void unreadableDelimiterSaidOnce()
    {
        seed->params.setParam(QStringLiteral("outDelimiter"), QStringLiteral(";"));
        capture();
        prompts.fileNames = {path("d.txt")};
        QCOMPARE(doc->saveAs(), SaveResult::Saved);
        QCOMPARE(prompts.texts(),
                 QStringList{"The field delimiter \";\" of the setting \"outDelimiter\" cannot be read back from a "
                             "capture file (it holds \";\", where every line's record ends): one space is used "
                             "instead."});
        prompts.clear();
        doc->rowsAdded();
        QCOMPARE(doc->save(), SaveResult::Saved);
        QVERIFY(prompts.shown.isEmpty());
        QVERIFY(contents(path("d.txt")).contains("00000100 123 ----- 0 0 0 0 2 5A 5A"));
    }

    // An open read on another thread: a Cancel on the way, or a failure, leaves
    // the capture as it was, frames, file and monitor counts; a whole read
    // replaces it and counts its identifiers in the monitor list.
    void openOnAThread_data()
    {
        QTest::addColumn<bool>("cancel");
        QTest::addColumn<bool>("spoilt"); // a line of rubbish only: nothing to read
        QTest::addColumn<OpenResult>("result");
        QTest::newRow("read whole") << false << false << OpenResult::Opened;
        QTest::newRow("cancelled on the way") << true << false << OpenResult::Cancelled;
        QTest::newRow("no frame in it") << false << true << OpenResult::Failed;
    }
    void openOnAThread()
    {
        QFETCH(bool, cancel);
        QFETCH(bool, spoilt);
        QFETCH(OpenResult, result);
        const QString file = path(QStringLiteral("big.txt"));
        write(file, spoilt ? QByteArray("rubbish\r\n") : captureText(50000));
        MonitorList monitor;
        doc->store().setFilter(&monitor);
        connect(doc.get(), &CaptureDocument::cleared, &monitor, &MonitorList::clear); // as the views do
        ThreadLoader loader;
        loader.cancel = cancel;
        doc->setLoader(&loader);
        capture();
        const std::vector<clsFrame> before = {doc->store().frame(0), doc->store().frame(1), doc->store().frame(2)};
        prompts.answers = {Prompts::Answer::No}; // the capture is not saved first
        QCOMPARE(doc->openPath(file), result);
        QCOMPARE(loader.titles, QStringList{"Loading..."});
        if (result == OpenResult::Opened) {
            QCOMPARE(doc->store().count(), qsizetype(50000));
            QCOMPARE(doc->store().frame(49999).TimeStamp, qint64(0x100 + 49999 * 0x40));
            QCOMPARE(monitor.count(), 4);
            QCOMPARE(monitor.row(0).count, qint64(12500));
            QCOMPARE(doc->store().previousOfSameId(49999), qsizetype(49995));
            return;
        }
        QCOMPARE(doc->store().count(), qsizetype(3));
        for (qsizetype i = 0; i < 3; ++i)
            QCOMPARE(doc->store().frame(i), before[size_t(i)]);
        QCOMPARE(doc->fileName(), QString());
        QVERIFY(doc->isModified());
        QCOMPARE(monitor.count(), 1);
        QCOMPARE(monitor.row(0).count, qint64(3));
    }

    // A capture a run left unsaved is offered back at start: Yes takes it as
    // an unsaved capture without a name, No deletes it. Captures are flushed
    // by a one-second timer while capturing.
    void recoveryOffered_data()
    {
        QTest::addColumn<Prompts::Answer>("answer");
        QTest::newRow("recovered") << Prompts::Answer::Yes;
        QTest::newRow("deleted") << Prompts::Answer::No;
    }
    void recoveryOffered()
    {
        QFETCH(Prompts::Answer, answer);
        QTemporaryDir folder;
        QTemporaryDir crashed;
        QDateTime created;
        {
            CaptureDocument running(seed->params, prompts);
            running.setStoreFolder(folder.path());
            running.setCapturing(true);
            QVERIFY(running.flushTimer()->isActive());
            QVERIFY(running.flushTimer()->interval() <= 1000);
            for (int i = 0; i < 5; ++i) {
                clsFrame f;
                f.TimeStamp = 0x1000 + i;
                f.ID.StdPart = 0x10 + i % 2;
                running.store().addListFrames(f);
            }
            running.flushCapture();
            created = running.store().created();
            // The file as a killed run leaves it: no lock, not removed.
            QVERIFY(QFile::copy(running.store().storeFileName(),
                                crashed.filePath(QStringLiteral("capture-1-1") + CaptureStore::fileSuffix)));
            running.setCapturing(false);
            QVERIFY(!running.flushTimer()->isActive());
        }
        QVERIFY(QDir(folder.path()).entryList(QDir::Files).isEmpty()); // the document's own file went with it

        MonitorList monitor;
        doc->store().setFilter(&monitor);
        connect(doc.get(), &CaptureDocument::cleared, &monitor, &MonitorList::clear);
        doc->setStoreFolder(crashed.path());
        prompts.answers = {answer};
        QCOMPARE(doc->offerRecovery(), answer == Prompts::Answer::Yes);
        QCOMPARE(prompts.shown.size(), 1);
        QCOMPARE(prompts.shown.first().text,
                 QStringLiteral("An unsaved capture of 5 frames from %1 was found. Recover it?")
                     .arg(QLocale().toString(created, QLocale::ShortFormat)));
        QCOMPARE(prompts.shown.first().buttons, Prompts::Buttons::YesNo);
        if (answer == Prompts::Answer::No) {
            QVERIFY(QDir(crashed.path()).entryList({"*.tcap"}, QDir::Files).isEmpty());
            QVERIFY(doc->store().isEmpty());
            return;
        }
        QCOMPARE(doc->store().count(), qsizetype(5));
        QCOMPARE(*doc->store().frame(4).Time, qint64(4));
        QVERIFY(doc->isModified() && doc->hasRows());
        QCOMPARE(doc->fileName(), QString());
        QCOMPARE(monitor.count(), 2);
        // New lets it go: nothing is offered any more.
        prompts.answers = {Prompts::Answer::No};
        QCOMPARE(doc->newCapture(), SaveResult::Discarded);
        QVERIFY(QDir(crashed.path()).entryList({"*.tcap"}, QDir::Files).isEmpty());
    }
};

TESSEL_TEST(tst_CaptureDocument)
#include "tst_capturedocument.moc"
