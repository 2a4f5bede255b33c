#include "core/capturestore.h"
#include "core/values.h"
#include "support/frameprint.h"
#include "support/testregistry.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <map>

// The capture store's file: frames across many chunks of the mapping and
// the stamp wrap, and what a run that ended without saving leaves behind -
// found, cut at its damage, taken over and appended to.
class tst_CaptureStoreFile : public QObject
{
    Q_OBJECT

    // The smallest chunk: 64 records in one page of side records and 56 of frames.
    static constexpr qsizetype smallChunk = 64;
    static constexpr qint64 chunkBytes = 64 * 64;
    static constexpr qint64 headerBytes = 4096;

    // Frame i of a made-up bus: four standard and two extended identifiers,
    // stamps 0x01000000 apart from near the top of the counter, so that the
    // counter wraps every 256 frames.
    static clsFrame busFrame(qsizetype i)
    {
        static const qint32 ids[] = {0x100, 0x2A0, 0x7FF, 0x0, 0x18FEF100, 0x1FFFFFFF};
        clsFrame f;
        f.TimeStamp = qint64((quint64(0xFFF00000u) + quint64(i) * 0x01000000u) & 0xFFFFFFFFu);
        const qint32 id = ids[i % 6];
        if (i % 6 >= 4) {
            f.setIDE(1);
            f.ID.setID(id);
        } else {
            f.ID.StdPart = id;
        }
        f.DLC = quint8(i % 9);
        for (int b = 0; b < f.dataLength(); ++b)
            f.setDataB(b, quint8(i >> (b % 4 * 8)));
        f.computeDuration(500000);
        return f;
    }

    static void fill(CaptureStore &store, qsizetype from, qsizetype to)
    {
        for (qsizetype i = from; i < to; ++i)
            store.addListFrames(busFrame(i));
    }

    // A copy of a live store's file under another name in `folder`, as a run
    // that was killed would have left it (no lock held).
    static QString leftBehind(const CaptureStore &store, const QString &folder)
    {
        const QString copy = folder + QStringLiteral("/capture-left") + CaptureStore::fileSuffix;
        QFile::remove(copy);
        return QFile::copy(store.storeFileName(), copy) ? copy : QString();
    }

private slots:
    // Many extensions of the file and several turns of the stamp: every
    // frame reads back as stored, a reference taken early stays valid, and
    // the previous frame of each identifier is the right one.
    void acrossExtensionsAndWrap()
    {
        QTemporaryDir dir;
        CaptureStore store(dir.path(), smallChunk);
        CaptureStore reference; // the default chunk: one extension only
        store.addListFrames(busFrame(0));
        reference.addListFrames(busFrame(0));
        const clsFrame &first = store.frame(0);
        const qsizetype total = smallChunk * 40 + 7;
        fill(store, 1, total);
        fill(reference, 1, total);

        QCOMPARE(store.count(), total);
        QCOMPARE(&first, &store.frame(0));
        QCOMPARE(store.memoryBytes(), 41 * chunkBytes);
        QCOMPARE(QFileInfo(store.storeFileName()).size(), headerBytes + 41 * chunkBytes);
        std::map<qint32, qsizetype> previous;
        for (qsizetype i = 0; i < total; ++i) {
            QCOMPARE(store.frame(i), reference.frame(i));
            QCOMPARE(*store.frame(i).Time, qint64(i) * 0x01000000);
            const qint32 key = frameIdNumber(store.frame(i));
            const auto it = previous.find(key);
            QCOMPARE(store.previousOfSameId(i), it == previous.end() ? qsizetype(-1) : it->second);
            previous[key] = i;
        }
        QCOMPARE(store.wrapOffset, reference.wrapOffset);
        QCOMPARE(store.wrapOffset, CaptureStore::stampWrap * ((total - 2) / 256 + 1));
        QCOMPARE(store.latestFrame(0x1FFFFFFF | 0x20000000), previous[0x1FFFFFFF | 0x20000000]);

        // The runs of the time line are the frames in order.
        qsizetype n = 0;
        for (const auto &run : store.spans())
            for (const clsFrame &f : run)
                QCOMPARE(f, store.frame(n++));
        QCOMPARE(n, total);
        QCOMPARE(store.frameByKey(QStringLiteral(" 65 ")), &store.frame(64));
        QVERIFY(!store.frameByKey(QString::number(total + 1)));

        const QString name = store.storeFileName();
        store.clear();
        QVERIFY(store.isEmpty());
        QVERIFY(!QFile::exists(name));
        store.addListFrames(busFrame(5)); // a new capture, a new file
        QCOMPARE(*store.frame(0).Time, Q_INT64_C(0));
    }

    // A folder that cannot take the file (here: a path through a plain
    // file) leaves the capture working, in an unnamed file.
    void folderUnusable()
    {
        QTemporaryDir dir;
        QFile plain(dir.filePath(QStringLiteral("plain")));
        QVERIFY(plain.open(QIODevice::WriteOnly));
        plain.close();
        CaptureStore store(plain.fileName() + QStringLiteral("/Tessel"), smallChunk);
        QVERIFY(store.addCapturedFrame(busFrame(0)));
        fill(store, 1, 100);
        CaptureStore reference;
        fill(reference, 0, 100);
        QCOMPARE(storedFrames(store), storedFrames(reference));
        QVERIFY(store.storeFileName().isEmpty());
        QVERIFY(store.storeError().isEmpty());
    }

    // A file cut off or damaged gives back every whole record before the
    // damage, and nothing after it, also once frames are appended again.
    void recoverDamaged_data()
    {
        QTest::addColumn<qint64>("cutAt");                  // file size after the cut; 0: none
        QTest::addColumn<qint64>("spoilAt");                // offset overwritten with garbage; 0: none
        QTest::addColumn<qsizetype>("whole");               // frames recovered of 200
        const qint64 chunk3 = headerBytes + 3 * chunkBytes; // the chunk of frames 192-199
        QTest::newRow("intact") << qint64(0) << qint64(0) << qsizetype(200);
        QTest::newRow("cut in the middle of frame 195") << chunk3 + 512 + 3 * 56 + 20 << qint64(0) << qsizetype(195);
        QTest::newRow("cut right after frame 199") << chunk3 + 512 + 8 * 56 << qint64(0) << qsizetype(200);
        QTest::newRow("cut in the side records of the last chunk: none of its frames")
            << chunk3 + 5 * 8 + 3 << qint64(0) << qsizetype(192);
        QTest::newRow("cut before the first chunk") << qint64(100) << qint64(0) << qsizetype(0);
        QTest::newRow("garbage over frame 150 on")
            << qint64(0) << headerBytes + 2 * chunkBytes + 512 + 22 * 56 + 9 << qsizetype(150);
        QTest::newRow("garbage over the check of frame 10") << qint64(0) << headerBytes + 10 * 8 + 4 << qsizetype(10);
        QTest::newRow("garbage after the last chunk") << qint64(0) << headerBytes + 4 * chunkBytes << qsizetype(200);
    }
    void recoverDamaged()
    {
        QFETCH(qint64, cutAt);
        QFETCH(qint64, spoilAt);
        QFETCH(qsizetype, whole);
        QTemporaryDir live;
        QTemporaryDir crashed;
        CaptureStore store(live.path(), smallChunk);
        fill(store, 0, 200);
        QVERIFY(store.flush());
        const QString left = leftBehind(store, crashed.path());
        QVERIFY(!left.isEmpty());
        fill(store, 200, 201); // what the capture would have stored next
        {
            QFile file(left);
            QVERIFY(file.open(QIODevice::ReadWrite));
            if (cutAt > 0)
                QVERIFY(file.resize(cutAt));
            if (spoilAt > 0) {
                QVERIFY(file.seek(spoilAt));
                QByteArray garbage(40, '\0');
                for (int i = 0; i < garbage.size(); ++i)
                    garbage[i] = char(0x5A ^ (i * 37));
                file.write(garbage);
            }
        }

        const QList<CaptureStore::Unsaved> found = CaptureStore::findUnsaved(crashed.path());
        if (whole == 0) {
            QVERIFY(found.isEmpty());
            return;
        }
        QCOMPARE(found.size(), 1);
        QCOMPARE(found.first().frames, qint64(whole));
        QVERIFY(qAbs(found.first().created.secsTo(store.created())) <= 1);

        CaptureStore recovered(crashed.path());
        QString error;
        QVERIFY2(recovered.adopt(left, &error), qPrintable(error));
        QCOMPARE(recovered.count(), whole);
        for (qsizetype i = 0; i < whole; ++i) {
            QCOMPARE(recovered.frame(i), store.frame(i));
            QCOMPARE(recovered.previousOfSameId(i), store.previousOfSameId(i));
        }
        QCOMPARE(recovered.lastFrameTime, *store.frame(whole - 1).Time);

        // The capture goes on where it was cut: the frames after the damage
        // are not taken back by a second crash.
        recovered.addListFrames(busFrame(whole));
        QCOMPARE(recovered.frame(whole), store.frame(whole));
        QCOMPARE(recovered.previousOfSameId(whole), store.previousOfSameId(whole));
        QVERIFY(recovered.flush());
        QTemporaryDir again;
        const QString second = leftBehind(recovered, again.path());
        const QList<CaptureStore::Unsaved> foundAgain = CaptureStore::findUnsaved(again.path());
        QCOMPARE(foundAgain.size(), 1);
        QCOMPARE(foundAgain.first().frames, qint64(whole + 1));
        QVERIFY(!second.isEmpty());
    }

    // What is not offered: a capture a running store holds, and one marked
    // saved (removed on the way).
    void notOffered()
    {
        QTemporaryDir dir;
        CaptureStore running(dir.path(), smallChunk);
        fill(running, 0, 3);
        QVERIFY(CaptureStore::findUnsaved(dir.path()).isEmpty());
        QVERIFY(QFile::exists(running.storeFileName()));
        QString error;
        CaptureStore thief(dir.path());
        QVERIFY(!thief.adopt(running.storeFileName(), &error));
        QVERIFY(error.contains(QStringLiteral("another program holds it")));
        QVERIFY(!CaptureStore::removeUnsaved(running.storeFileName()));
        QCOMPARE(running.count(), qsizetype(3));

        QTemporaryDir crashed;
        running.markSaved();
        const QString saved = leftBehind(running, crashed.path());
        QVERIFY(CaptureStore::findUnsaved(crashed.path()).isEmpty());
        QVERIFY(!QFile::exists(saved));

        // A frame after the save makes it unsaved again.
        fill(running, 3, 4);
        leftBehind(running, crashed.path());
        QCOMPARE(CaptureStore::findUnsaved(crashed.path()).value(0).frames, qint64(4));
    }
};

TESSEL_TEST(tst_CaptureStoreFile)
#include "tst_capturestorefile.moc"
