// The uploader's boot loader protocol (framing, states, status texts, retries)
// and the virtual boot loader that stands in for the device.

#include "sim/bootloader.h"
#include "uploader/bootprotocol.h"
#include "support/testregistry.h"

#include <QSignalSpy>
#include <QTest>

namespace {

QByteArray bytesOf(std::initializer_list<int> values)
{
    QByteArray out;
    for (int v : values)
        out += char(v);
    return out;
}

QByteArray pattern(qsizetype size, int seed)
{
    QByteArray out(size, '\0');
    for (qsizetype i = 0; i < size; ++i)
        out[i] = char((i * 7 + seed) & 0xFF);
    return out;
}

FirmwareImage image(qsizetype bodySize)
{
    return {pattern(80, 1), pattern(bodySize, 3)};
}

// The device's answer to the header: "+" 34, block size, serial, signature.
QByteArray headerReply(int blockSize)
{
    QByteArray payload = bytesOf({blockSize & 0xFF, blockSize >> 8});
    payload += "SN123456";
    payload += "A signature of 24 bytes.";
    return "+" + QByteArray(1, char(payload.size())) + payload;
}

QByteArray pageRequest(int page)
{
    return "." + littleEndian16(quint16(page));
}

QByteArray pageAck(int page)
{
    return "+\x02" + littleEndian16(quint16(page));
}

// Records what the protocol says.
struct Recorder
{
    explicit Recorder(BootProtocol &p)
    {
        QObject::connect(&p, &BootProtocol::send, [this](const QByteArray &b) { sent << b; });
        QObject::connect(&p, &BootProtocol::statusChanged, [this](const QString &s) { statuses << s; });
        QObject::connect(&p, &BootProtocol::idle, [this] { ++idles; });
        QObject::connect(&p, &BootProtocol::progressMaximumChanged, [this](int m) { maximum = m; });
        QObject::connect(&p, &BootProtocol::progressChanged, [this](int v) { progress = v; });
        QObject::connect(&p, &BootProtocol::deviceInfo, [this](int b, const QString &s, const QString &g) {
            block = b;
            serial = s;
            signature = g;
        });
    }
    QList<QByteArray> sent;
    QStringList statuses;
    int idles = 0;
    int maximum = -1;
    int progress = -1;
    int block = -1;
    QString serial;
    QString signature;
};

void feed(BootProtocol &p, const QByteArray &bytes)
{
    p.appendReceived(bytes);
    p.treatMSGBuffer();
}

// A protocol already in the page phase for a body of bodySize and this block size.
void toPagePhase(BootProtocol &p, qsizetype bodySize, int blockSize)
{
    p.start(image(bodySize), true);
    feed(p, QByteArray("+\0", 2));
    feed(p, headerReply(blockSize));
}

} // namespace

class tst_BootLoader : public QObject
{
    Q_OBJECT

private slots:
    void wireFormat_data()
    {
        QTest::addColumn<QByteArray>("message");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("checksum of abc is 0x0126, low byte first")
            << buildMessage("@" + littleEndian16(2), "abc") << bytesOf({0x40, 0x02, 0x00, 0x26, 0x01, 'a', 'b', 'c'});
        QTest::newRow("connect has no checksum") << buildMessage("<", {}) << QByteArray("<");
        QTest::newRow("end marker") << buildMessage("@" + littleEndian16(0xFFFF), {}) << bytesOf({0x40, 0xFF, 0xFF});
        // 300 × 0xFF = 76500 = 0x12AD4
        QTest::newRow("checksum wraps at 65536")
            << buildMessage("#", QByteArray(300, char(0xFF))).left(3) << bytesOf({'#', 0xD4, 0x2A});
        QTest::newRow("page number above 255") << littleEndian16(0x1234) << bytesOf({0x34, 0x12});
    }

    void wireFormat()
    {
        QFETCH(QByteArray, message);
        QFETCH(QByteArray, expected);
        QCOMPARE(message.toHex(' '), expected.toHex(' '));
    }

    void splitFirmware_data()
    {
        QTest::addColumn<int>("fileSize");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<int>("bodySize");
        QTest::newRow("79 bytes are refused") << 79 << false << 0;
        QTest::newRow("empty file is refused") << 0 << false << 0;
        QTest::newRow("80 bytes: header only") << 80 << true << 0;
        QTest::newRow("1080 bytes: body of 1000") << 1080 << true << 1000;
    }

    void splitFirmware()
    {
        QFETCH(int, fileSize);
        QFETCH(int, bodySize);
        const QByteArray file = pattern(fileSize, 5);
        const auto split = ::splitFirmware(file);
        QTEST(split.has_value(), "accepted");
        if (!split)
            return;
        QCOMPARE(split->header, file.left(80));
        QCOMPARE(split->body.size(), qsizetype(bodySize));
        QCOMPARE(split->header + split->body, file);
    }

    void cutMessage_data()
    {
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<QList<QByteArray>>("messages");
        QTest::addColumn<QByteArray>("left");

        const QByteArray plus34 = "+" + QByteArray(1, char(34)) + QByteArray(34, 'p');
        QTest::newRow("stray byte before > is dropped") << QByteArray("x>") << QList<QByteArray>{">"} << QByteArray();
        QTest::newRow("+ with length 34 waits for 36 bytes")
            << plus34.left(35) << QList<QByteArray>{} << plus34.left(35);
        QTest::newRow("+ alone waits for its length") << QByteArray("+") << QList<QByteArray>{} << QByteArray("+");
        QTest::newRow("+ with length 0") << QByteArray("+\0", 2) << QList<QByteArray>{QByteArray("+\0", 2)}
                                         << QByteArray();
        QTest::newRow(". waits for its second page byte")
            << QByteArray(".\x01") << QList<QByteArray>{} << QByteArray(".\x01");
        QTest::newRow("noise only is dropped") << QByteArray("abc\r\n") << QList<QByteArray>{} << QByteArray();
    }

    void cutMessage()
    {
        QFETCH(QByteArray, input);
        BootProtocol p;
        p.appendReceived(input);
        QList<QByteArray> cut;
        while (p.cutMessage())
            cut << p.currentMessage();
        QTEST(cut, "messages");
        QTEST(p.buffer(), "left");
    }

    void cutMessageAtEveryBoundary()
    {
        const QList<QByteArray> messages{">", headerReply(256), pageRequest(0), "-", pageAck(0), pageRequest(300)};
        const QByteArray stream = messages.join();
        for (qsizetype split = 0; split <= stream.size(); ++split) {
            BootProtocol p;
            QList<QByteArray> cut;
            p.appendReceived(stream.left(split));
            while (p.cutMessage())
                cut << p.currentMessage();
            p.appendReceived(stream.mid(split));
            while (p.cutMessage())
                cut << p.currentMessage();
            QVERIFY2(cut == messages, qPrintable(QStringLiteral("split at %1").arg(split)));
        }
    }

    void connectPhase_data()
    {
        QTest::addColumn<bool>("noWait");
        QTest::addColumn<QByteArray>("answers");
        QTest::addColumn<int>("state");
        QTest::addColumn<QString>("status");
        QTest::addColumn<QList<QByteArray>>("sent");

        const QByteArray header = buildMessage("#", image(0).header);
        QTest::newRow("waits for begin") << false << QByteArray() << 1 << "Waiting Connection..."
                                         << QList<QByteArray>{};
        QTest::newRow("waiting ignores everything but >")
            << false << QByteArray("-" + pageRequest(0) + QByteArray("+\0", 2)) << 1 << "Waiting Connection..."
            << QList<QByteArray>{};
        QTest::newRow("> connects") << false << QByteArray(">") << 2 << "Connecting..." << QList<QByteArray>{"<"};
        QTest::newRow("do not wait: connect at once")
            << true << QByteArray() << 2 << "Connecting..." << QList<QByteArray>{"<"};
        QTest::newRow("positive answer sends the header")
            << true << QByteArray("+\0", 2) << 3 << "Send Header..." << QList<QByteArray>{"<", header};
        QTest::newRow("negative answer to connect")
            << true << QByteArray("-") << 0 << "Connecting: Error" << QList<QByteArray>{"<"};
        QTest::newRow("> while connecting is an error")
            << true << QByteArray(">") << 0 << "Connecting: Error" << QList<QByteArray>{"<"};
        QTest::newRow("negative answer to the header")
            << true << QByteArray("+\0-", 3) << 0 << "Set Serial Number and Signature: Error"
            << QList<QByteArray>{"<", header};
    }

    void connectPhase()
    {
        QFETCH(bool, noWait);
        QFETCH(QByteArray, answers);
        QFETCH(int, state);
        QFETCH(QString, status);
        QFETCH(QList<QByteArray>, sent);
        BootProtocol p;
        Recorder r(p);
        p.start(image(0), noWait);
        feed(p, answers);
        QCOMPARE(p.state(), state);
        QCOMPARE(p.status(), status);
        QCOMPARE(r.sent, sent);
        QCOMPARE(r.idles, state == 0 ? 1 : 0);
    }

    void headerAnswer_data()
    {
        QTest::addColumn<int>("bodySize");
        QTest::addColumn<int>("blockSize");
        QTest::addColumn<int>("state");
        QTest::addColumn<QString>("status");
        QTest::addColumn<int>("pageCount");
        QTest::newRow("body 1000, block 256: four pages, the last one partial")
            << 1000 << 256 << 4 << "Wait for page request..." << 4;
        QTest::newRow("empty body ends after the header")
            << 0 << 256 << 0 << "Set Serial Number and Signature: Ok" << 0;
        QTest::newRow("block size 0 is refused") << 1000 << 0 << 0 << "Block size 0: Error" << 0;
        QTest::newRow("empty body with block size 0 is fine")
            << 0 << 0 << 0 << "Set Serial Number and Signature: Ok" << 0;
        QTest::newRow("block size above 255") << 4096 << 1024 << 4 << "Wait for page request..." << 4;
    }

    void headerAnswer()
    {
        QFETCH(int, bodySize);
        QFETCH(int, blockSize);
        QFETCH(int, state);
        QFETCH(QString, status);
        QFETCH(int, pageCount);
        BootProtocol p;
        Recorder r(p);
        toPagePhase(p, bodySize, blockSize);
        QCOMPARE(p.state(), state);
        QCOMPARE(p.status(), status);
        QCOMPARE(p.pageCount(), pageCount);
        QCOMPARE(r.block, blockSize);
        QCOMPARE(r.serial, QString("SN123456"));
        QCOMPARE(r.signature, QString("A signature of 24 bytes."));
        if (state == 4)
            QCOMPARE(r.maximum, pageCount);
    }

    void pagePhase()
    {
        BootProtocol p;
        Recorder r(p);
        toPagePhase(p, 1000, 256);
        const QByteArray body = p.image().body;
        r.sent.clear();

        feed(p, pageRequest(1));
        QCOMPARE(p.status(), QString("Writing Page #1"));
        QCOMPARE(r.sent.value(0), buildMessage("@" + littleEndian16(1), body.mid(256, 256)));

        feed(p, pageAck(1));
        QCOMPARE(p.status(), QString("Writing Page #1: Ok"));
        QCOMPARE(r.progress, 1);

        // Bytes 768..999 go out as a whole page, padded as erased flash reads.
        feed(p, pageAck(0) + pageRequest(3));
        QCOMPARE(p.status(), QString("Writing Page #3"));
        QCOMPARE(r.sent.value(1), buildMessage("@" + littleEndian16(3), body.mid(768) + QByteArray(24, char(0xFF))));

        feed(p, pageAck(2) + pageAck(3) + pageRequest(4));
        QCOMPARE(p.status(), QString("Updating firmware"));
        QCOMPARE(r.sent.value(2), bytesOf({0x40, 0xFF, 0xFF}));
        QCOMPARE(p.page(), 0xFFFF);

        feed(p, pageAck(0xFFFF));
        QCOMPARE(p.status(), QString("Updating firmware : Ok"));
        QCOMPARE(p.state(), 0);
        QCOMPARE(r.progress, 4);
        QCOMPARE(r.idles, 1);
        QCOMPARE(r.sent.size(), 3);
    }

    // "Ok" only answers our end marker after every page of the body was acknowledged.
    void endOfUpload_data()
    {
        QTest::addColumn<QByteArray>("answers"); // for a body of 600 bytes, block 256: pages 0..2
        QTest::addColumn<QString>("status");
        QTest::addColumn<bool>("endMarkerSent");
        const QByteArray allAcked = pageAck(0) + pageAck(1) + pageAck(2);
        QTest::newRow("every page acknowledged")
            << QByteArray(allAcked + pageRequest(3) + pageAck(0xFFFF)) << "Updating firmware : Ok" << true;
        QTest::newRow("end requested with the partial last page unacknowledged")
            << QByteArray(pageAck(0) + pageAck(1) + pageRequest(3) + pageAck(0xFFFF))
            << "Updating firmware : Error, page #2 not acknowledged" << false;
        QTest::newRow("end requested with a page in the middle skipped")
            << QByteArray(pageAck(0) + pageAck(2) + pageRequest(3))
            << "Updating firmware : Error, page #1 not acknowledged" << false;
        QTest::newRow("end acknowledged that was never sent")
            << QByteArray(allAcked + pageAck(0xFFFF))
            << "Updating firmware : Error, end acknowledged before it was sent" << false;
        QTest::newRow("acknowledgement past the body counts for nothing")
            << QByteArray(pageAck(0) + pageAck(1) + pageAck(3) + pageRequest(3))
            << "Updating firmware : Error, page #2 not acknowledged" << false;
    }

    void endOfUpload()
    {
        QFETCH(QByteArray, answers);
        BootProtocol p;
        Recorder r(p);
        toPagePhase(p, 600, 256);
        r.sent.clear();
        feed(p, answers);
        QTEST(p.status(), "status");
        QCOMPARE(p.state(), 0);
        QTEST(r.sent.contains(bytesOf({0x40, 0xFF, 0xFF})), "endMarkerSent");
        QCOMPARE(r.progress == 3, p.status() == "Updating firmware : Ok"); // a full bar means a whole firmware
    }

    // Found by fuzzing: a request past the page count was answered with an empty
    // page, and a request for page 0xFFFF with what reads as the end marker.
    void pageRequestBeyondBody_data()
    {
        QTest::addColumn<int>("page");
        QTest::newRow("page 5 of 4 pages") << 5;
        QTest::newRow("page 0xFFFF is not the end marker") << 0xFFFF;
    }

    void pageRequestBeyondBody()
    {
        QFETCH(int, page);
        BootProtocol p;
        Recorder r(p);
        toPagePhase(p, 1000, 256);
        r.sent.clear();
        feed(p, pageRequest(page) + pageAck(0xFFFF));
        QVERIFY2(r.sent.isEmpty(), "nothing is sent for a page that does not exist");
        QCOMPARE(p.state(), 0);
        QCOMPARE(p.status(), QStringLiteral("Page #%1 is beyond the firmware: Error").arg(page));
        QCOMPARE(r.idles, 1);
    }

    // Negative answers in the page phase: three retries of a page, then the
    // error; a positive answer resets the count, so does a new run; a negative
    // answer to the end marker is the update's failure.
    void failureCount_data()
    {
        QTest::addColumn<int>("bodySize");
        QTest::addColumn<QByteArray>("answers");
        QTest::addColumn<bool>("restart"); // the user stops, then runs again before the last answer
        QTest::addColumn<QString>("status");
        QTest::addColumn<int>("state");
        QTest::newRow("three refusals: still retrying")
            << 1000 << QByteArray(pageRequest(2) + "---") << false << "Writing Page #2: Retry 3" << 4;
        QTest::newRow("the fourth ends the run")
            << 1000 << QByteArray(pageRequest(2) + "----") << false << "Error writing Page #2" << 0;
        QTest::newRow("a positive answer resets the count")
            << 1000 << QByteArray(pageRequest(0) + "---" + pageAck(0) + pageRequest(1) + "---") << false
            << "Writing Page #1: Retry 3" << 4;
        QTest::newRow("a new run starts without failures")
            << 1000 << QByteArray(pageRequest(0) + "---") << true << "Writing Page #0: Retry 1" << 4;
        QTest::newRow("refused end marker") << 512
                                            << QByteArray(pageRequest(0) + pageAck(0) + pageRequest(1) + pageAck(1) +
                                                          pageRequest(2) + "-")
                                            << false << "Error updating firmware..." << 0;
    }

    void failureCount()
    {
        QFETCH(int, bodySize);
        QFETCH(QByteArray, answers);
        QFETCH(bool, restart);
        BootProtocol p;
        Recorder r(p);
        toPagePhase(p, bodySize, 256);
        feed(p, answers);
        if (restart) {
            QCOMPARE(p.failures(), 3);
            p.setState(0); // the user pressed Stop
            toPagePhase(p, bodySize, 256);
            feed(p, pageRequest(0) + "-");
        }
        QTEST(p.status(), "status");
        QTEST(p.state(), "state");
        QCOMPARE(r.idles, (p.state() == 0 ? 1 : 0) + (restart ? 1 : 0)); // Stop goes idle too
        // Connect and header per run, then one page per request: nothing is
        // resent without a request.
        QCOMPARE(r.sent.count(), (restart ? 4 : 2) + answers.count('.') + (restart ? 1 : 0));
    }

    void virtualBootLoaderRejectsBadChecksum()
    {
        BootLoaderOptions options;
        options.blockSize = 4;
        options.beaconInterval = 0;
        SimBootLoader loader(options);
        QList<QByteArray> answers;
        connect(&loader, &SimDevice::send, [&](const QByteArray &b) { answers << b; });
        loader.start();
        loader.receive("<");
        loader.receive(buildMessage("#", pattern(80, 2)));
        answers.clear();

        QByteArray page = buildMessage("@" + littleEndian16(0), "abcd");
        page[3] = char(page[3] + 1);
        // Split across reads, as a serial line delivers it.
        loader.receive(page.left(4));
        loader.receive(page.mid(4));
        QCOMPARE(answers, (QList<QByteArray>{"-", pageRequest(0)}));
        answers.clear();
        loader.receive(buildMessage("@" + littleEndian16(0), "abcd"));
        QCOMPARE(answers, (QList<QByteArray>{pageAck(0), pageRequest(1)}));
        QCOMPARE(loader.firmware(), QByteArray("abcd"));
    }
};

TESSEL_TEST(tst_BootLoader)
#include "tst_bootloader.moc"
