// The uploader's boot loader protocol (framing, states, status texts, retries)
// and the virtual boot loader that stands in for the device.

#include "sim/bootloader.h"
#include "uploader/bootprotocol.h"
#include "support/testregistry.h"

#include <QSignalSpy>
#include <QTest>

namespace {

using Messages = QList<QByteArray>;

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
    return "+\x22" + bytesOf({blockSize & 0xFF, blockSize >> 8}) + "SN123456" + "A signature of 24 bytes.";
}

QByteArray pageRequest(int page)
{
    return "." + littleEndian16(quint16(page));
}

QByteArray pageAck(int page)
{
    return "+\x02" + littleEndian16(quint16(page));
}

const QByteArray endMarker = bytesOf({0x40, 0xFF, 0xFF});

// Runs the protocol and records what it says.
struct Run
{
    BootProtocol protocol;
    Messages sent;
    int idles = 0;
    int maximum = -1;
    int progress = -1;
    QString device; // "block|serial|signature"

    Run()
    {
        BootProtocol *p = &protocol;
        QObject::connect(p, &BootProtocol::send, [this](const QByteArray &b) { sent << b; });
        QObject::connect(p, &BootProtocol::idle, [this] { ++idles; });
        QObject::connect(p, &BootProtocol::progressMaximumChanged, [this](int m) { maximum = m; });
        QObject::connect(p, &BootProtocol::progressChanged, [this](int v) { progress = v; });
        QObject::connect(p, &BootProtocol::deviceInfo, [this](int b, const QString &s, const QString &g) {
            device = QString::number(b) + '|' + s + '|' + g;
        });
    }
    void feed(const QByteArray &bytes)
    {
        protocol.appendReceived(bytes);
        protocol.treatMSGBuffer();
    }
    // Into the page phase for a body of bodySize and this block size.
    void toPagePhase(qsizetype bodySize, int blockSize)
    {
        protocol.start(image(bodySize), true);
        feed(QByteArray("+\0", 2));
        feed(headerReply(blockSize));
    }
    BootProtocol *operator->() { return &protocol; }
    Messages cutAll(const QByteArray &bytes, Messages cut = {})
    {
        protocol.appendReceived(bytes);
        while (protocol.cutMessage())
            cut << protocol.currentMessage();
        return cut;
    }
};

} // namespace

class tst_BootLoader : public QObject
{
    Q_OBJECT

private slots:
    void wireFormat()
    {
        const QList<QPair<QByteArray, QByteArray>> cases{
            // The checksum of abc is 0x0126, low byte first.
            {buildMessage("@" + littleEndian16(2), "abc"), bytesOf({0x40, 0x02, 0x00, 0x26, 0x01, 'a', 'b', 'c'})},
            {buildMessage("<", {}), "<"}, // connect has no checksum
            {buildMessage("@" + littleEndian16(0xFFFF), {}), endMarker},
            // 300 × 0xFF = 76500 = 0x12AD4: the checksum wraps at 65536.
            {buildMessage("#", QByteArray(300, char(0xFF))).left(3), bytesOf({'#', 0xD4, 0x2A})},
            {littleEndian16(0x1234), bytesOf({0x34, 0x12})}, // page numbers above 255
        };
        for (const auto &[message, expected] : cases)
            QCOMPARE(message.toHex(' '), expected.toHex(' '));
        // A file shorter than the 80-byte header is refused; the rest is the body.
        for (const int size : {79, 0, 80, 1080}) {
            const QByteArray file = pattern(size, 5);
            const auto split = ::splitFirmware(file);
            QCOMPARE(split.has_value(), size >= 80);
            if (split) {
                QCOMPARE(split->header, file.left(80));
                QCOMPARE(split->body, file.mid(80));
            }
        }
    }

    void cutMessage_data()
    {
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<Messages>("messages");
        QTest::addColumn<QByteArray>("left");
        const QByteArray plus34 = "+\x22" + QByteArray(34, 'p');
        QTest::newRow("stray byte before > is dropped") << QByteArray("x>") << Messages{">"} << QByteArray();
        QTest::newRow("+ with length 34 waits for 36 bytes") << plus34.left(35) << Messages{} << plus34.left(35);
        QTest::newRow("+ alone waits for its length") << QByteArray("+") << Messages{} << QByteArray("+");
        QTest::newRow("+ with length 0") << QByteArray("+\0", 2) << Messages{QByteArray("+\0", 2)} << QByteArray();
        QTest::newRow(". waits for its second page byte") << QByteArray(".\x01") << Messages{} << QByteArray(".\x01");
        QTest::newRow("noise only is dropped") << QByteArray("abc\r\n") << Messages{} << QByteArray();
        const Messages all{">", headerReply(256), pageRequest(0), "-", pageAck(0), pageRequest(300)};
        QTest::newRow("every kind in a row") << all.join() << all << QByteArray();
    }
    // Whatever the split between two reads, the same messages are cut and the same bytes left.
    void cutMessage()
    {
        QFETCH(QByteArray, input);
        for (qsizetype split = 0; split <= input.size(); ++split) {
            Run p;
            const Messages cut = p.cutAll(input.mid(split), p.cutAll(input.left(split)));
            QTEST(cut, "messages");
            QTEST(p->buffer(), "left");
        }
    }

    // Up to the page phase: waiting for the device, connecting, and the header's answer (block size,
    // serial number and signature), which gives the page count.
    void connectAndHeader_data()
    {
        QTest::addColumn<int>("bodySize");
        QTest::addColumn<bool>("noWait");
        QTest::addColumn<QByteArray>("answers");
        QTest::addColumn<int>("state");
        QTest::addColumn<QString>("status");
        QTest::addColumn<int>("sent");  // connect, then the header
        QTest::addColumn<int>("block"); // -1: no header answer
        QTest::addColumn<int>("pages");
        const QByteArray positive("+\0", 2);
        const QString waiting = "Waiting Connection...";
        const QString connecting = "Connecting...";
        const QString waits = "Wait for page request...";
        const QString done = "Set Serial Number and Signature: Ok";
        const auto header = [&](const char *name, int bodySize, int block, int pages, const QString &status) {
            QTest::newRow(name) << bodySize << true << positive + headerReply(block) << (pages ? 4 : 0) << status << 2
                                << block << pages;
        };
        QTest::newRow("waits for begin") << 0 << false << QByteArray() << 1 << waiting << 0 << -1 << 0;
        QTest::newRow("waiting ignores everything but >")
            << 0 << false << QByteArray("-" + pageRequest(0) + positive) << 1 << waiting << 0 << -1 << 0;
        QTest::newRow("> connects") << 0 << false << QByteArray(">") << 2 << connecting << 1 << -1 << 0;
        QTest::newRow("do not wait: connect at once") << 0 << true << QByteArray() << 2 << connecting << 1 << -1 << 0;
        QTest::newRow("positive answer sends the header")
            << 0 << true << positive << 3 << "Send Header..." << 2 << -1 << 0;
        QTest::newRow("negative answer to connect")
            << 0 << true << QByteArray("-") << 0 << "Connecting: Error" << 1 << -1 << 0;
        QTest::newRow("> while connecting is an error")
            << 0 << true << QByteArray(">") << 0 << "Connecting: Error" << 1 << -1 << 0;
        QTest::newRow("negative answer to the header")
            << 0 << true << positive + "-" << 0 << "Set Serial Number and Signature: Error" << 2 << -1 << 0;
        header("body 1000, block 256: four pages, the last one partial", 1000, 256, 4, waits);
        header("empty body ends after the header", 0, 256, 0, done);
        header("block size 0 is refused", 1000, 0, 0, "Block size 0: Error");
        header("empty body with block size 0 is fine", 0, 0, 0, done);
        header("block size above 255", 4096, 1024, 4, waits);
    }
    void connectAndHeader()
    {
        QFETCH(int, bodySize);
        QFETCH(bool, noWait);
        QFETCH(QByteArray, answers);
        QFETCH(int, state);
        QFETCH(int, sent);
        QFETCH(int, block);
        Run p;
        p->start(image(bodySize), noWait);
        p.feed(answers);
        QCOMPARE(p->state(), state);
        QTEST(p->status(), "status");
        QCOMPARE(p.sent, (Messages{"<", buildMessage("#", image(bodySize).header)}.mid(0, sent)));
        QCOMPARE(p.idles, state == 0 ? 1 : 0);
        QFETCH(int, pages);
        QCOMPARE(p->pageCount(), pages);
        QCOMPARE(p.maximum, pages ? pages : -1);
        QCOMPARE(p.device, block < 0 ? QString() : QString::number(block) + "|SN123456|A signature of 24 bytes.");
    }

    void pagePhase()
    {
        Run p;
        p.toPagePhase(1000, 256);
        const QByteArray body = p->image().body;
        p.sent.clear();
        p.feed(pageRequest(1));
        QCOMPARE(p->status(), QString("Writing Page #1"));
        QCOMPARE(p.sent.value(0), buildMessage("@" + littleEndian16(1), body.mid(256, 256)));
        p.feed(pageAck(1));
        QCOMPARE(p->status(), QString("Writing Page #1: Ok"));
        QCOMPARE(p.progress, 1);
        // Bytes 768..999 go out as a whole page, padded as erased flash reads.
        p.feed(pageAck(0) + pageRequest(3));
        QCOMPARE(p.sent.value(1), buildMessage("@" + littleEndian16(3), body.mid(768) + QByteArray(24, char(0xFF))));
        p.feed(pageAck(2) + pageAck(3) + pageRequest(4));
        QCOMPARE(p->status(), QString("Updating firmware"));
        QCOMPARE(p.sent.value(2), endMarker);
        QCOMPARE(p->page(), 0xFFFF);
        p.feed(pageAck(0xFFFF));
        QCOMPARE(p->status(), QString("Updating firmware : Ok"));
        QCOMPARE(p->state(), 0);
        QCOMPARE(p.progress, 4);
        QCOMPARE(p.idles, 1);
        QCOMPARE(p.sent.size(), 3);
    }

    // "Ok" only answers our end marker after every page of the body was
    // acknowledged. Found by fuzzing: a request past the page count was
    // answered with an empty page, and one for page 0xFFFF with what reads as
    // the end marker.
    void endOfUpload_data()
    {
        QTest::addColumn<QByteArray>("answers"); // for a body of 600 bytes, block 256: pages 0..2
        QTest::addColumn<QString>("status");
        QTest::addColumn<Messages>("sent");
        const QByteArray allAcked = pageAck(0) + pageAck(1) + pageAck(2);
        const QString failed = "Updating firmware : Error, ";
        QTest::newRow("every page acknowledged")
            << allAcked + pageRequest(3) + pageAck(0xFFFF) << "Updating firmware : Ok" << Messages{endMarker};
        QTest::newRow("end requested with the partial last page unacknowledged")
            << pageAck(0) + pageAck(1) + pageRequest(3) + pageAck(0xFFFF) << failed + "page #2 not acknowledged"
            << Messages{};
        QTest::newRow("end requested with a page in the middle skipped")
            << pageAck(0) + pageAck(2) + pageRequest(3) << failed + "page #1 not acknowledged" << Messages{};
        QTest::newRow("end acknowledged that was never sent")
            << allAcked + pageAck(0xFFFF) << failed + "end acknowledged before it was sent" << Messages{};
        QTest::newRow("acknowledgement past the body counts for nothing")
            << pageAck(0) + pageAck(1) + pageAck(3) + pageRequest(3) << failed + "page #2 not acknowledged"
            << Messages{};
        QTest::newRow("page 5 of 3 is beyond the body")
            << pageRequest(5) + pageAck(0xFFFF) << "Page #5 is beyond the firmware: Error" << Messages{};
        QTest::newRow("page 0xFFFF is not the end marker")
            << pageRequest(0xFFFF) + pageAck(0xFFFF) << "Page #65535 is beyond the firmware: Error" << Messages{};
    }
    void endOfUpload()
    {
        QFETCH(QByteArray, answers);
        Run p;
        p.toPagePhase(600, 256);
        p.sent.clear();
        p.feed(answers);
        QTEST(p->status(), "status");
        QTEST(p.sent, "sent");
        QCOMPARE(p->state(), 0);
        QCOMPARE(p.idles, 1);
        QCOMPARE(p.progress == 3, p->status() == "Updating firmware : Ok"); // a full bar means a whole firmware
    }

    // Negative answers in the page phase: three retries of a page, then the
    // error; a positive answer resets the count, so does a new run; a negative
    // answer to the end marker is the update's failure.
    // Three refusals of a page are retried, the fourth ends the run (see
    // tst_flashor's upload); a positive answer resets the count, so does a new run.
    void failureCount_data()
    {
        QTest::addColumn<QByteArray>("answers");
        QTest::addColumn<bool>("restart"); // the user stops, then runs again before the last answer
        QTest::addColumn<QString>("status");
        QTest::newRow("a positive answer resets the count")
            << pageRequest(0) + "---" + pageAck(0) + pageRequest(1) + "---" << false << "Writing Page #1: Retry 3";
        QTest::newRow("a new run starts without failures")
            << pageRequest(0) + "---" << true << "Writing Page #0: Retry 1";
    }
    void failureCount()
    {
        QFETCH(QByteArray, answers);
        QFETCH(bool, restart);
        Run p;
        p.toPagePhase(1000, 256);
        p.feed(answers);
        if (restart) {
            QCOMPARE(p->failures(), 3);
            p->setState(0); // the user pressed Stop
            p.toPagePhase(1000, 256);
            p.feed(pageRequest(0) + "-");
        }
        QTEST(p->status(), "status");
        QCOMPARE(p->state(), 4);
        QCOMPARE(p.idles, restart ? 1 : 0); // Stop goes idle
        // Connect and header per run, then one page per request: nothing is
        // resent without a request.
        QCOMPARE(p.sent.count(), (restart ? 5 : 2) + answers.count('.'));
    }

    void virtualBootLoaderRejectsBadChecksum()
    {
        BootLoaderOptions options;
        options.blockSize = 4;
        options.beaconInterval = 0;
        SimBootLoader loader(options);
        Messages answers;
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
        QCOMPARE(answers, (Messages{"-", pageRequest(0)}));
        answers.clear();
        loader.receive(buildMessage("@" + littleEndian16(0), "abcd"));
        QCOMPARE(answers, (Messages{pageAck(0), pageRequest(1)}));
        QCOMPARE(loader.firmware(), QByteArray("abcd"));
    }
};

TESSEL_TEST(tst_BootLoader)
#include "tst_bootloader.moc"
