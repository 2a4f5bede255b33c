// Logs of other tools through the capture document: the format told by the
// content, the skipped-lines report, Save As's type and extension rule, Save
// in the format of the file, and the "Bus" cell.
#include "support/testregistry.h"
#include "views/captureformats.h"

#include "support/captureviews.h"
#include "support/fakeprompts.h"
#include "support/seeddatabase.h"
#include "views/capturedocument.h"
#include "views/messagemodel.h"

#include <QFile>
#include <QSignalSpy>
#include <QtTest>

#include <memory>

using logformat::Format;
using OpenResult = CaptureDocument::OpenResult;
using SaveResult = CaptureDocument::SaveResult;

namespace QTest {
template <> char *toString(const Format &format)
{
    return qstrdup(qPrintable(logformat::formatName(format)));
}
} // namespace QTest

namespace {

// Three frames on buses 0 and 1, one error frame and one line of junk.
const QByteArray candumpLog = "(1700000000.123456) can0 123#DEADBEEF\n"
                              "(1700000000.124456) can1 12345678#11\n"
                              "(1700000000.125000) can0 20000080#0000000000000000\n"
                              "junk\n"
                              "(1700000000.223456) can0 7FF#\n";

const QByteArray tesselText = "; CAN_DB=\"x\"\r\n00000100 123 ----- 0 0 0 0 1 11\r\n";

const QString candumpType = QStringLiteral("candump log (*.log)");
const QString csvType = QStringLiteral("CSV table (*.csv)");

} // namespace

class tst_CaptureFormats : public QObject
{
    Q_OBJECT

    std::unique_ptr<SeedDatabase> seed;
    FakePrompts prompts;
    std::unique_ptr<CaptureDocument> doc;

    QString path(const QString &name) const { return seed->dir.filePath(name); }

    static void write(const QString &file, const QByteArray &bytes)
    {
        QFile out(file);
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write(bytes);
    }
    static QByteArray contents(const QString &file)
    {
        QFile in(file);
        return in.open(QIODevice::ReadOnly) ? in.readAll() : QByteArray();
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

    void saveChoice_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("type");
        QTest::addColumn<QString>("written");
        QTest::addColumn<Format>("format");
        const QString txt = QStringLiteral("TXT-files (*.txt)");
        const QString all = QStringLiteral("All files (*)");
        QTest::newRow("Tessel's text gets .txt") << "/d/run" << txt << "/d/run.txt" << Format::Tessel;
        QTest::newRow("candump gets .log") << "/d/run" << candumpType << "/d/run.log" << Format::Candump;
        QTest::newRow("ASC gets .asc") << "/d/run"
                                       << "ASC trace (*.asc)"
                                       << "/d/run.asc" << Format::Asc;
        QTest::newRow("CSV gets .csv") << "/d/run" << csvType << "/d/run.csv" << Format::Csv;
        QTest::newRow("a name with an extension keeps it; the type decides")
            << "/d/run.txt" << candumpType << "/d/run.txt" << Format::Candump;
        QTest::newRow("a name ending in a dot") << "/d/run." << csvType << "/d/run.csv" << Format::Csv;
        QTest::newRow("a dot in the folder is no extension")
            << "/d.v2/run" << candumpType << "/d.v2/run.log" << Format::Candump;
        QTest::newRow("All files: the extension decides, any case")
            << "/d/run.LOG" << all << "/d/run.LOG" << Format::Candump;
        QTest::newRow("All files, unknown extension: Tessel's text")
            << "/d/run.dat" << all << "/d/run.dat" << Format::Tessel;
        QTest::newRow("All files, no extension") << "/d/run" << all << "/d/run.txt" << Format::Tessel;
        QTest::newRow("no type told: the extension") << "/d/run.asc"
                                                     << ""
                                                     << "/d/run.asc" << Format::Asc;
        QTest::newRow("a read-only extension is not a format") << "/d/run.trc"
                                                               << ""
                                                               << "/d/run.trc" << Format::Tessel;
    }
    void saveChoice()
    {
        QFETCH(QString, name);
        QFETCH(QString, type);
        const captureformats::SaveChoice choice = captureformats::saveChoice(name, type);
        QTEST(choice.fileName, "written");
        QTEST(choice.format, "format");
    }

    // The dialogs' type lists: Tessel's text first, every entry of the save
    // list writes a format, and a read-only format preselects Tessel's text.
    void typeLists()
    {
        QVERIFY(captureformats::openFilter().startsWith("TXT-files (*.txt);;"));
        QVERIFY(captureformats::openFilter().contains("*.log") && captureformats::openFilter().contains("*.trc"));
        QVERIFY(captureformats::openFilter().endsWith(";;All files (*)"));
        const QStringList types = captureformats::saveFilter().split(";;");
        QCOMPARE(types.size(), 5);
        QCOMPARE(types.first(), QStringLiteral("TXT-files (*.txt)"));
        QCOMPARE(types.last(), QStringLiteral("All files (*)"));
        for (const Format format : {Format::Tessel, Format::Candump, Format::Asc, Format::Csv}) {
            const QString type = captureformats::saveFilterOf(format);
            QVERIFY(types.contains(type));
            QVERIFY(type.contains(captureformats::extension(format)));
            QCOMPARE(captureformats::saveChoice("x", type).format, format);
        }
        QCOMPARE(captureformats::saveFilterOf(Format::Trc), types.first());
        QVERIFY(!captureformats::isWritable(Format::Trc) && !captureformats::isWritable(Format::Unknown));
    }

    void skippedMessage_data()
    {
        QTest::addColumn<QList<logformat::Skipped>>("skipped");
        QTest::addColumn<QString>("message");
        QTest::newRow("none") << QList<logformat::Skipped>{} << "";
        QTest::newRow("a reason counted 0 is none") << QList<logformat::Skipped>{{"error frame", 0, 0}} << "";
        QTest::newRow("one line")
            << QList<logformat::Skipped>{{"error frame", 1, 4}}
            << "1 line of the file was not read as frames and was skipped: error frame: 1 (line 4).";
        QTest::newRow("two reasons, in their order")
            << QList<logformat::Skipped>{{"malformed line", 3, 9}, {"error frame", 1, 2}}
            << "4 lines of the file were not read as frames and were skipped: malformed line: 3 (the first is "
               "line 9), error frame: 1 (line 2).";
    }
    void skippedMessage()
    {
        QFETCH(QList<logformat::Skipped>, skipped);
        logformat::ReadResult result;
        result.skipped = skipped;
        QTEST(captureformats::skippedMessage(result), "message");
        QFETCH(QString, message);
        const QString nothing = captureformats::nothingReadMessage("f.log", result);
        QCOMPARE(nothing, ("No frame could be read from the file \"f.log\". " + message).trimmed());
    }

    void droppedFileAndBus()
    {
        QCOMPARE(captureformats::droppedFile({QUrl("https://example.invalid/a.log"), QUrl::fromLocalFile("/t/b.log"),
                                              QUrl::fromLocalFile("/t/c.log")}),
                 QStringLiteral("/t/b.log"));
        QCOMPARE(captureformats::droppedFile({QUrl("https://example.invalid/a.log")}), QString());
        QCOMPARE(captureformats::droppedFile({}), QString());
        QVERIFY(!captureformats::showsBusColumn({}) && !captureformats::showsBusColumn({3}));
        QVERIFY(captureformats::showsBusColumn({0, 1}));
        clsFrame frame;
        QCOMPARE(MessageModel::columnKey(MessageModel::colBus), QStringLiteral("Bus"));
        QCOMPARE(MessageModel::colBus, MessageModel::colSignals + 1); // after the columns that were there before it
        QCOMPARE(MessageModel::cellText(frame, 1, MessageModel::colBus, nullptr), QStringLiteral("1"));
        frame.Bus = 255;
        QCOMPARE(MessageModel::cellText(frame, 1, MessageModel::colBus, nullptr), QStringLiteral("256"));
    }

    // The content decides, not the name; Tessel's text keeps its reader and
    // its own messages.
    void openByContent_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<Format>("format");
        QTest::addColumn<int>("frames");
        QTest::addColumn<QList<int>>("buses");
        QTest::addColumn<QString>("message");
        QTest::newRow("candump named .txt")
            << "log.txt" << candumpLog << Format::Candump << 3 << QList<int>{0, 1}
            << "2 lines of the file were not read as frames and were skipped: error frame: 1 (line 3), malformed "
               "line: 1 (line 4).";
        QTest::newRow("Tessel's text named .log")
            << "capture.log" << tesselText << Format::Tessel << 1 << QList<int>{} << "";
        QTest::newRow("TRC") << "t.trc"
                             << QByteArray(";$FILEVERSION=1.1\n;$STARTTIME=43781.5\n"
                                           "     1)      1841.5  Rx         0001  2  00 11\n")
                             << Format::Trc << 1 << QList<int>{0} << "";
    }
    void openByContent()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, content);
        QFETCH(Format, format);
        QFETCH(QString, message);
        write(path(name), content);
        QSignalSpy loaded(doc.get(), &CaptureDocument::loaded);
        prompts.fileNames = {path(name)};
        QCOMPARE(doc->open(), OpenResult::Opened);
        QCOMPARE(loaded.size(), 1);
        QCOMPARE(doc->fileFormat(), format);
        QTEST(int(doc->store().count()), "frames");
        QTEST(doc->buses(), "buses");
        QCOMPARE(prompts.texts().join('|'), message);
        QVERIFY(!doc->isModified());
        if (format == Format::Candump) {
            QCOMPARE(doc->startMicroseconds().value_or(0), Q_INT64_C(1700000000123456));
            QCOMPARE(doc->store().frame(1).Bus, quint8(1));
            // Times in the capture timer's ticks (1 MHz here) from the first frame.
            QCOMPARE(doc->store().frame(2).Time.value_or(-1), Q_INT64_C(100000));
        }
        // A new capture forgets what the file told.
        doc->clear();
        QCOMPARE(doc->fileFormat(), Format::Tessel);
        QVERIFY(!doc->startMicroseconds() && doc->buses().isEmpty());
    }

    // A log that holds no frame, or is not a file at all, leaves the capture.
    void openFailures()
    {
        doc->store().addListFrames(makeFrame(0x100, 0x123));
        doc->rowsAdded();
        write(path("errors.log"), "(1700000000.000000) can0 20000080#0000000000000000\n");
        prompts.answers = {Prompts::Answer::No};
        QCOMPARE(doc->openPath(path("errors.log")), OpenResult::Failed);
        QCOMPARE(prompts.texts().last(),
                 "No frame could be read from the file \"" + path("errors.log") +
                     "\". 1 line of the file was not read as frames and was skipped: error frame: 1 (line 1).");
        QCOMPARE(doc->store().count(), 1);
        QVERIFY(doc->isModified());
        QCOMPARE(doc->openPath(path("gone.log")), OpenResult::Failed);
        QCOMPARE(prompts.texts().last(), "File \"" + path("gone.log") + "\" is not found.");
        QCOMPARE(doc->store().count(), 1);
    }

    // Save keeps the format of the file opened, with its start time; Save As
    // writes the chosen type, CSV with the data base's labels.
    void saveKeepsTheFormat()
    {
        write(path("in.log"), candumpLog);
        QCOMPARE(doc->openPath(path("in.log")), OpenResult::Opened);
        prompts.clear();
        doc->rowsAdded();
        QVERIFY(doc->canSave());
        QCOMPARE(doc->save(), SaveResult::Saved);
        QVERIFY(prompts.fileDialogTitles.isEmpty());
        const QByteArray saved = contents(path("in.log"));
        QVERIFY2(saved.startsWith("(1700000000.123456) can0 123#DEADBEEF"), saved.constData());
        QVERIFY(saved.contains(" can1 "));
        QCOMPARE(logformat::detect(saved), Format::Candump);

        FakeIdIndex labels;
        labels.add(0x123, true, QStringLiteral("Engine"), QStringLiteral("Speed"));
        doc->setLabels(&labels);
        prompts.fileNames = {path("table")};
        prompts.chosenFilters = {csvType};
        QCOMPARE(doc->saveAs(), SaveResult::Saved);
        QCOMPARE(prompts.preselectedFilters, QStringList{candumpType}); // the file's own type first
        QCOMPARE(doc->fileName(), path("table.csv"));
        QCOMPARE(doc->fileFormat(), Format::Csv);
        QVERIFY(contents(path("table.csv")).contains("Engine"));

        // Tessel's own type gives Tessel's text, read back as before.
        prompts.fileNames = {path("back")};
        prompts.chosenFilters = {QStringLiteral("TXT-files (*.txt)")};
        QCOMPARE(doc->saveAs(), SaveResult::Saved);
        QCOMPARE(doc->fileName(), path("back.txt"));
        QVERIFY(contents(path("back.txt")).startsWith("; CAN_DB="));
    }

    // TRC is only read: Save goes to Save As, whose type starts at Tessel's text.
    void trcSaveGoesToSaveAs()
    {
        write(path("t.trc"), ";$FILEVERSION=1.1\n     1)      1841.5  Rx         0001  2  00 11\n");
        QCOMPARE(doc->openPath(path("t.trc")), OpenResult::Opened);
        doc->rowsAdded();
        QVERIFY(doc->isModified() && !doc->canSave());
        prompts.fileNames = {path("t2")};
        QCOMPARE(doc->save(), SaveResult::Saved);
        QCOMPARE(prompts.fileDialogTitles, QStringList{"Save as"});
        QCOMPARE(prompts.preselectedFilters, QStringList{"TXT-files (*.txt)"});
        QCOMPARE(doc->fileName(), path("t2.txt"));
        QCOMPARE(contents(path("t.trc")).left(17), QByteArray(";$FILEVERSION=1.1"));
        doc->rowsAdded();
        QVERIFY(doc->canSave()); // now a file of Tessel's text
    }
};

TESSEL_TEST(tst_CaptureFormats)
#include "tst_captureformats.moc"
