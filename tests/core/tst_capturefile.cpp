// Capture files: the exact text written for the message-list rows, reading it
// back into the capture store, hand-written files and malformed lines.
#include "core/capturefile.h"

#include "core/dbindex.h"
#include "core/values.h"
#include "core/capturestore.h"
#include "support/frameprint.h"
#include "support/testregistry.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <new>
#include <sys/resource.h>
#include <sys/stat.h>

#include <vector>

using namespace capturefile;

namespace {

// A frame from its record text (the frame reader's own rules are pinned in tst_clsframe).
clsFrame frame(const char *record)
{
    clsFrame f;
    if (!f.setFromString(QString::fromLatin1(record), QStringLiteral(" "), 0))
        qWarning("not a record: %s", record);
    f.Time.reset();
    return f;
}

// Labels as the data base tree would give them: two identifiers, or the same broken labels for every one.
class FakeIndex final : public IdIndex
{
public:
    bool broken = false;
    bool getNodeChecked(const QString &, bool *) const override { return false; }
    bool idLabels(const QString &key, QString *device, QString *description) const override
    {
        if (broken) {
            *device = QStringLiteral("Eng\r\nine");
            *description = QStringLiteral("line one\nline two\t\u2028end");
        } else if (key == idKey(0x123)) {
            *device = QStringLiteral("Engine");
            *description = QStringLiteral("Speed");
        } else if (key == idKey(0x3FFFFFFF)) { // extended 7FF.3FFFF
            *device = QStringLiteral("Gateway");
            *description = QString();
        } else {
            return false;
        }
        return true;
    }
};

// The monitor list's check boxes: every identifier shown but the unticked ones.
class FakeMonitor final : public IdFilter
{
public:
    QList<qint32> unticked;
    bool isShown(qint32 keyNumber) const override { return !unticked.contains(keyNumber); }
    void updateIDRow(qint32, bool) override {}
};

const QByteArray record11 = "00000100 123 ----- 0 0 0 0 1 11";

} // namespace

class tst_CaptureFile : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;
    QString path(const QString &name) const { return dir.filePath(name); }

    QByteArray readBytes(const QString &name) const
    {
        QFile file(path(name));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    void writeBytes(const QString &name, const QByteArray &bytes) const
    {
        QFile file(path(name));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }

    WriteResult write(const QString &name, const std::vector<clsFrame> &frames, const Header &header = {},
                      const IdIndex *labels = nullptr, const QString &delimiter = QStringLiteral(" "))
    {
        const Rows rows{qsizetype(frames.size()), [&frames](qsizetype r) -> const clsFrame & { return frames[r]; }};
        return writeCaptureFile(path(name), header, rows, labels, delimiter);
    }

    ReadResult load(const QString &name, CaptureStore &store, double bitRate = 500000)
    {
        CaptureFileReader reader;
        ReadResult failed;
        if (!reader.open(path(name), &failed.error))
            return failed;
        return reader.readAll(QStringLiteral(" "), bitRate, [&store](const clsFrame &f) { store.addListFrames(f); });
    }

private slots:
    // A row is its record padded to 52 characters, then device and description; lost frames have dashes, and an empty
    // data field leaves one delimiter.
    void linesOfTheMessageList_data()
    {
        QTest::addColumn<QString>("record");
        QTest::addColumn<QString>("labels");
        // clang-format off
        QTest::newRow("standard frame in the data base") << "0001E240 123 ----- 0 0 0 0 3 11 22 33" << "Engine : Speed";
        QTest::newRow("lost frames") << "0002A000 --- 3 - - - - 0 " << "Lost frame : ";
        QTest::newRow("DLC 0, identifier not in the data base") << "00000010 00A ----- 0 0 0 0 0 " << "";
        QTest::newRow("remote frame with DLC 8 writes no data") << "FFFFFFFF 456 ----- 1 0 0 0 8 " << "";
        QTest::newRow("RB1 is written before RB0") << "00000020 001 ----- 0 0 1 0 1 AB" << "";
        QTest::newRow("a record of 52 characters or more gets no padding")
            << "0001E240 7FF 3FFFF 0 1 0 0 8 11 22 33 44 55 66 77 88" << "Gateway : ";
        // clang-format on
    }
    void linesOfTheMessageList()
    {
        QFETCH(QString, record);
        QFETCH(QString, labels);
        FakeIndex index;
        const WriteResult written =
            write("one.txt", {frame(qPrintable(record))}, {QStringLiteral("Bench \"A\""), 500000, 1000000}, &index);
        QVERIFY2(written.ok, qPrintable(written.error));
        QCOMPARE(readBytes("one.txt"), "; CAN_DB=\"Bench \"A\"\"\r\n; CAN_Speed=500000\r\n; CAN_Timer=1000000\r\n" +
                                           record.leftJustified(recordWidth).toLatin1() + " ; " + labels.toLatin1() +
                                           "\r\n");
    }

    // What the message list showed comes back: the same frames in the same order, times relative to the first row
    // across the stamp wrap, durations from the bit rate of the reader (not the file's header); an unticked
    // identifier's frames, absent from the list, are absent from the file. The analyser reports DLC 9 to 15 with 8 data
    // bytes.
    void roundTrip()
    {
        FakeMonitor monitor;
        monitor.unticked = {0x555};
        CaptureStore shown;
        shown.setFilter(&monitor);
        std::vector<clsFrame> rows;
        for (const char *record :
             {"FFFFFF00 123 ----- 0 0 0 0 3 11 22 33", "FFFFFF80 555 ----- 0 0 0 0 1 01", "FFFFFFA0 --- 3",
              "FFFFFFF0 0F0 ----- 1 0 0 0 8", "00000010 7FF 3FFFF 0 1 0 0 8 11 22 33 44 55 66 77 88",
              "00000020 001 ----- 0 0 0 0 0", "00000030 555 ----- 0 0 0 0 1 02",
              "00000040 124 ----- 0 0 0 0 12 01 02 03 04 05 06 07 08", "00000050 125 ----- 1 0 0 0 15"}) {
            if (shown.addCapturedFrame(frame(record)))
                rows.push_back(shown.frame(shown.count() - 1));
        }
        QCOMPARE(rows.size(), size_t(7));
        FakeIndex index;
        const WriteResult written = write("trip.txt", rows, {QStringLiteral("Bench"), 500000, 1000000}, &index);
        QVERIFY2(written.ok, qPrintable(written.error));
        QCOMPARE(written.rows, 7);
        CaptureStore back;
        const ReadResult read = load("trip.txt", back, 250000);
        QVERIFY2(read.ok, qPrintable(read.error));
        QCOMPARE((QList<qint64>{read.lines, read.frames, read.skipped, back.count()}), (QList<qint64>{10, 7, 0, 7}));
        const qint64 expectedTimes[] = {0, 0xA0, 0xF0, 0x110, 0x120, 0x140, 0x150};
        for (qsizetype i = 0; i < back.count(); ++i) {
            const clsFrame &in = back.frame(i);
            QCOMPARE(captureLine(in, {}, {}), captureLine(rows[i], {}, {})); // stamp, identifier, flags, data
            QCOMPARE(*in.Time, expectedTimes[i]);
            QCOMPARE(in.Duration, clsFrame::frameDuration(in.DLC, in.IDE(), 250000));
        }
    }

    // Comments, blank lines, lower case, leading blanks, flags, a lost-frame record and a last line without its end.
    void handWrittenFile()
    {
        writeBytes("hand.txt", "; CAN_DB=\"Other\"\r\n; CAN_Speed=125000\r\n; CAN_Timer=1000000\r\n"
                               "; a note written by hand\n\r\n     \r\n"
                               "00000100 123 ----- 0 0 0 0 2 AA 55    ; Engine : Speed\r\n"
                               "  00000180 00a 1a2b3 0 1 1 1 1 ff\n"
                               "00000200 --- 7 - - - - 0 ; Lost frame :\r\n"
                               "00000300 7FF ----- 1 0 0 0 4");
        CaptureStore store;
        const ReadResult read = load("hand.txt", store);
        QVERIFY2(read.ok, qPrintable(read.error));
        QCOMPARE(QPair(read.lines, read.skipped), QPair(qint64(10), qint64(0)));
        QStringList got;
        for (qsizetype i = 0; i < store.count(); ++i)
            got << captureLine(store.frame(i), {}, {}).section(" ; ", 0, 0).trimmed() + " @" +
                       QString::number(*store.frame(i).Time, 16);
        QCOMPARE(got, (QStringList{"00000100 123 ----- 0 0 0 0 2 AA 55 @0", "00000180 00A 1A2B3 0 1 1 1 1 FF @80",
                                   "00000200 --- 7 - - - - 0 @100", "00000300 7FF ----- 1 0 0 0 4 @200"}));
    }

    // Each bad line is skipped and counted, whatever makes it bad.
    void malformedLinesAreSkippedAndCounted()
    {
        for (const QByteArray line : {"00000100 123 ----- 0 0 0",                      // too few fields
                                      "00000100 123 ----- 0 0 0 0 3 11 22",            // fewer data bytes than the DLC
                                      "0000G100 123 ----- 0 0 0 0 1 11",               // stamp not hexadecimal
                                      "100000000 123 ----- 0 0 0 0 0",                 // stamp above 32 bits
                                      "00000100 123 ----- 0 0 0 0 16 1 2 3 4 5 6 7 8", // DLC above 15
                                      "00000100 --- 256 - - - - 0",                    // lost count above a byte
                                      "hello"}) {
            writeBytes("bad.txt", "; CAN_DB=\"x\"\r\n" + record11 + "\r\n" + line +
                                      "\r\n00000200 123 ----- 0 0 0 0 1 22\r\n" + line + " ; and again\r\n");
            CaptureStore store;
            const ReadResult read = load("bad.txt", store);
            QVERIFY2(read.ok && read.frames == 2 && read.skipped == 2 && read.firstSkippedLine == 3, line.constData());
            QCOMPARE(*store.frame(1).Time, 0x100);
            QCOMPARE(skippedMessage(read),
                     QStringLiteral("2 lines of the file could not be read and were skipped (the first is line 3)."));
        }
    }

    // Plain records are read straight from the bytes, and the file reader reads the lines as written here by their
    // columns; the result must be what the frame's own text reader makes of them, good line or bad: lower case, every
    // flag, no data, lost frames, an empty field, 33-bit stamps, DLC 255, a DLC of two digits, an identifier or an
    // extension out of range, dashes where an extension is due, a stray or missing character, a field too many.
    void recordsReadLikeTheFrameReader()
    {
        const QString records =
            "0001E240 123 ----- 0 0 0 0 3 11 22 33|0001e240 1ab ----- 0 0 0 0 2 aa bb|"
            "FFFFFFFF 7FF 3FFFF 1 1 1 1 0|00000010 456 ----- 1 0 0 0 8|0002A000 --- 3 - - - - 0|"
            "0002A000 --- 3|00000010  001 ----- 0 0 0 0 1 01|1FFFFFFFF 001 ----- 0 0 0 0 0|"
            "00000010 001 ----- 0 0 0 0 255 1 2 3 4 5 6 7 8|00000010,001,-----,0,0,0,0,2,AA BB|"
            "00000010 7FF 3FFFF 0 1 0 0 8 11 22 33 44 55 66 77 88|00000010 7FF 40000 0 1 0 0 0|"
            "00000010 800 ----- 0 0 0 0 0|00000010 123 ----- 0 1 0 0 0|00000010 123 12-45 0 0 0 0 0|"
            "00000010 123 ----- 2 0 0 9 1|00000010 123 ----- 0 0 0 0 12 01 02 03 04 05 06 07 08|"
            "00000010 123 ----- 0 0 0 0 2 AA BB CC|00000010 123 ----- 0 0 0 0 2 AA\tBB|"
            "00000010 123 ----- 0 0 0 0 2 AA B|00000010 123 ----- 0 0 0 0 1 0G|0000001Z 123 ----- 0 0 0 0 0|"
            "00000010 123 ----- 0 0 0 0 1 01;x|00000010 123 ----- 0 0 0 0 1 01                  ; x : y";
        std::vector<clsFrame> expectedRead;
        QByteArray file;
        for (const QString &record : records.split('|')) {
            const QString delimiter = record.contains(',') ? "," : " ";
            clsFrame expected;
            const bool expectedOk = expected.setFromString(record.section(';', 0, 0).trimmed(), delimiter, 125000) &&
                                    (expected.isLost ? expected.ID.ExtPart <= 0xFF : expected.DLC <= 15);
            clsFrame got;
            QVERIFY2(readRecord(QStringView(record).left(record.indexOf(';')).trimmed(), delimiter, 125000, got) ==
                         expectedOk,
                     qPrintable(record));
            if (expectedOk)
                QCOMPARE(got, expected);
            if (delimiter == " ") {
                file += record.toLatin1() + "\r\n";
                if (expectedOk)
                    expectedRead.push_back(expected);
            }
        }
        writeBytes("records.txt", file);
        CaptureFileReader reader;
        QVERIFY(reader.open(path("records.txt"), nullptr));
        std::vector<clsFrame> read;
        reader.readAll(QStringLiteral(" "), 125000, [&read](const clsFrame &f) { read.push_back(f); });
        QCOMPARE(read.size(), expectedRead.size());
        for (size_t i = 0; i < read.size(); ++i)
            QCOMPARE(read[i], expectedRead[i]);
    }

    // A failed write reports why and leaves what was on disk: a missing folder, a folder in the way of the name, and a
    // write that fails half way with the system's reason ("File too large" here, "No space left on device" on a full
    // disk), not the cancelling of the temporary file.
    void failedWritesSayWhyAndKeepTheOldFile()
    {
        WriteResult written = write("no/such/folder/x.txt", {frame("00000001 123 ----- 0 0 0 0 0")});
        QVERIFY(!written.ok);
        QVERIFY2(written.error.contains(QStringLiteral("no/such/folder/x.txt")), qPrintable(written.error));
        QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("taken.txt")));
        writeBytes("taken.txt/inside", "old contents");
        written = write("taken.txt", {frame("00000001 123 ----- 0 0 0 0 0")});
        QVERIFY(!written.ok && !written.error.isEmpty());
        QCOMPARE(readBytes("taken.txt/inside"), QByteArray("old contents"));
        writeBytes("full.txt", "old contents");
        const auto oldHandler = ::signal(SIGXFSZ, SIG_IGN);
        rlimit old{};
        ::getrlimit(RLIMIT_FSIZE, &old);
        rlimit small = old;
        small.rlim_cur = 64 * 1024;
        QCOMPARE(::setrlimit(RLIMIT_FSIZE, &small), 0);
        written = write("full.txt", std::vector<clsFrame>(20000, frame("00000100 123 ----- 0 0 0 0 2 11 22")));
        ::setrlimit(RLIMIT_FSIZE, &old);
        ::signal(SIGXFSZ, oldHandler);
        QVERIFY(!written.ok);
        QVERIFY2(!written.error.contains(QStringLiteral("canceled")), qPrintable(written.error));
        QVERIFY2(written.error.contains(QStringLiteral("too large")), qPrintable(written.error));
        QCOMPARE(readBytes("full.txt"), QByteArray("old contents"));
    }

    // A large file's count is estimated from its first 64 KiB; the progress is told at every step and at the end. The
    // room reserved for a load follows the file's size: blank lines at the start made it reserve for millions.
    void lineCountAndReservation()
    {
        writeBytes("small.txt", "a\r\nb\r\n\r\nc");
        CaptureFileReader reader;
        QVERIFY(reader.open(path("small.txt"), nullptr));
        QCOMPARE(reader.lineCount(), 4);
        QByteArray big;
        for (int i = 0; i < 20000; ++i)
            big += QByteArray::number(i, 16).rightJustified(8, '0') + " 123 ----- 0 0 0 0 2 AA 55" +
                   QByteArray(18, ' ') + " ; Engine : Speed\r\n"; // a record padded to 52 characters, as written
        writeBytes("big.txt", big);
        QVERIFY(reader.open(path("big.txt"), nullptr));
        QVERIFY2(qAbs(reader.lineCount() - 20000) < 200, QByteArray::number(reader.lineCount()));
        QList<qint64> told;
        const ReadResult read = reader.readAll(
            QStringLiteral(" "), 500000, [](const clsFrame &) {}, [&told](qint64 lines) { told << lines; }, 5000);
        QCOMPARE(read.frames, 20000);
        QCOMPARE(told, (QList<qint64>{5000, 10000, 15000, 20000, 20000}));
        const QByteArray blank = QByteArray(64 * 1024, '\n') + record11 + "\r\n";
        writeBytes("blank.txt", blank);
        QVERIFY(reader.open(path("blank.txt"), nullptr) && reader.lineCount() > 60000);
        QVERIFY2(reader.reserveHint() <= blank.size() / shortestRecordLine + 1,
                 QByteArray::number(reader.reserveHint()));
    }

    // Every kind of line end reads the same frames on the same line numbers,
    // also when a CR LF pair is cut by the reader's 1 MiB blocks.
    void recordOfALine_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QByteArray>("record");
        QTest::newRow("labels after the semicolon") << QByteArray("0001 123 ; dev desc") << QByteArray("0001 123");
        QTest::newRow("blanks of every kind around") << QByteArray("\t\v 0001 123\f\r") << QByteArray("0001 123");
        QTest::newRow("inner blanks kept") << QByteArray(" 0001\t 123 ;") << QByteArray("0001\t 123");
        QTest::newRow("only blanks") << QByteArray(" \t\r") << QByteArray();
        QTest::newRow("semicolon first") << QByteArray("; CAN_Speed=500") << QByteArray();
        QTest::newRow("empty") << QByteArray() << QByteArray();
    }
    void recordOfALine()
    {
        QFETCH(QByteArray, line);
        QFETCH(QByteArray, record);
        QCOMPARE(capturefile::recordText(QByteArrayView(line)).toByteArray(), record);
    }

    void lineEnds_data()
    {
        QTest::addColumn<QByteArray>("end");
        QTest::addColumn<qint64>("padding"); // bytes of comment before the records
        QTest::newRow("CR LF") << QByteArray("\r\n") << qint64(0);
        QTest::newRow("LF") << QByteArray("\n") << qint64(0);
        QTest::newRow("CR alone, as old tools write it") << QByteArray("\r") << qint64(0);
        QTest::newRow("CR LF cut between two blocks") << QByteArray("\r\n") << qint64((1 << 20) - 1);
        QTest::newRow("CR alone at the end of a block") << QByteArray("\r") << qint64((1 << 20) - 1);
    }
    void lineEnds()
    {
        QFETCH(QByteArray, end);
        QFETCH(qint64, padding);
        QByteArray text;
        if (padding > 0) // one comment line whose end starts on the block's last byte
            text = ";" + QByteArray(padding - 1, 'x') + end;
        text += record11 + end + end + "bad line" + end + "00000200 124 ----- 0 0 0 0 1 22" + end +
                "00000300 125 ----- 0 0 0 0 0";
        QCOMPARE(text.indexOf(end), padding > 0 ? padding : record11.size());
        writeBytes("ends.txt", text);
        CaptureStore store;
        const ReadResult read = load("ends.txt", store);
        QVERIFY2(read.ok, qPrintable(read.error));
        const qint64 first = padding > 0 ? 1 : 0;
        QCOMPARE((QList<qint64>{read.lines, read.frames, read.firstSkippedLine}),
                 (QList<qint64>{first + 5, 3, first + 3}));
        QCOMPARE(store.frame(2).ID.StdPart, 0x125);
        QCOMPARE(*store.frame(2).Time, 0x200);
    }

    // What the user typed never splits a record: line breaks and other
    // control characters in names and descriptions are written as spaces.
    void controlCharactersStayOnTheirLine()
    {
        FakeIndex labels;
        labels.broken = true;
        const WriteResult written =
            write("labels.txt", {frame(record11.constData()), frame("00000200 124 ----- 0 0 0 0 0")},
                  {QStringLiteral("Bench\nTwo"), 500000, 1000000}, &labels);
        QVERIFY2(written.ok, qPrintable(written.error));
        const QList<QByteArray> lines = readBytes("labels.txt").split('\n');
        QCOMPARE(lines.size(), 6); // 3 header lines, 2 records, nothing after the last end
        QCOMPARE(lines[0], QByteArray("; CAN_DB=\"Bench Two\"\r"));
        QVERIFY2(lines[3].endsWith(" ; Eng  ine : line one line two  end\r"), lines[3].constData());
        CaptureStore store;
        const ReadResult read = load("labels.txt", store);
        QCOMPARE(QPair(read.frames, read.skipped), QPair(qint64(2), qint64(0)));
    }

    // Only regular files are opened: a named pipe would block in open, a
    // device would never end. The message names the file.
    void filesThatAreNotOpened()
    {
        QCOMPARE(::mkfifo(QFile::encodeName(path("fifo")).constData(), 0600), 0);
        const QList<QPair<QString, QString>> files{
            {path("fifo"), ""}, {"/dev/zero", ""}, {dir.path(), "folder"}, {path("missing.txt"), "missing.txt"}};
        for (const auto &[file, reason] : files) { // reason "": not a regular file
            CaptureFileReader reader;
            QString error;
            QVERIFY(!reader.open(file, &error));
            if (reason.isEmpty())
                QCOMPARE(error, QStringLiteral("Can't read the file \"%1\": it is not a regular file").arg(file));
            else
                QVERIFY2(error.contains(file) && error.contains(reason), qPrintable(error));
        }
    }

    // Running out of memory while storing frames ends the read with a message; it is not an abort.
    void outOfMemoryIsAFailedRead()
    {
        writeBytes("ten.txt", (record11 + "\r\n").repeated(10));
        CaptureFileReader reader;
        QVERIFY(reader.open(path("ten.txt"), nullptr));
        int stored = 0;
        const ReadResult read = reader.readAll(QStringLiteral(" "), 500000, [&stored](const clsFrame &) {
            if (++stored == 4)
                throw std::bad_alloc();
        });
        QVERIFY(!read.ok && read.outOfMemory);
        QVERIFY2(read.error.contains(path("ten.txt")) && read.error.contains(QStringLiteral("memory")),
                 qPrintable(read.error));
    }

    void nothingReadIsSaid()
    {
        const QList<QPair<QByteArray, QString>> files{
            {"", ": it is empty."},
            {"; CAN_DB=\"x\"\r\n\r\n", ": it holds no records."},
            {"x\r\ny\r\n", ". 2 lines of the file could not be read and were skipped (the first is line 1)."}};
        for (const auto &[text, message] : files) {
            writeBytes("nothing.txt", text);
            CaptureStore store;
            const ReadResult read = load("nothing.txt", store);
            QVERIFY(read.ok);
            QCOMPARE(read.frames, 0);
            QCOMPARE(nothingReadMessage(path("nothing.txt"), read),
                     QStringLiteral("No frame could be read from the file \"%1\"").arg(path("nothing.txt")) + message);
        }
    }

    // A delimiter the reader cannot split records with is refused; one it can reads the record back.
    void delimitersThatCannotBeReadBack()
    {
        const clsFrame twoBytes = frame("00000100 123 ----- 0 0 0 0 2 11 22");
        for (const QString delimiter : {"", ";", " ; ", "\n", " ", ","}) {
            const bool readable = delimiter == " " || delimiter == ",";
            QCOMPARE(delimiterProblem(delimiter).isEmpty(), readable);
            QFile::remove(path("delim.txt"));
            QCOMPARE(write("delim.txt", {twoBytes}, {}, nullptr, delimiter).ok, readable);
            QCOMPARE(QFileInfo::exists(path("delim.txt")), readable);
            if (!readable)
                continue;
            CaptureFileReader reader;
            QVERIFY(reader.open(path("delim.txt"), nullptr));
            std::vector<clsFrame> back;
            reader.readAll(delimiter, 500000, [&back](const clsFrame &f) { back.push_back(f); });
            QCOMPARE(back.size(), size_t(1));
            QCOMPARE(back[0].Data(), twoBytes.Data());
        }
    }
};

TESSEL_TEST(tst_CaptureFile)
#include "tst_capturefile.moc"
