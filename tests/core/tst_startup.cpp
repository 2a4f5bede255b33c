// Start-up, the database file and the settings store.
#include "core/queries.h"
#include "core/database.h"
#include "core/databaselock.h"
#include "core/params.h"
#include "core/startup.h"
#include "support/fakeprompts.h"
#include "support/testregistry.h"

#include <QCoreApplication>
#include <QDir>
#include <QSysInfo>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {

QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

enum class Holder { None, Running, Finished };

} // namespace

Q_DECLARE_METATYPE(Holder)
Q_DECLARE_METATYPE(Prompts::Answer)

class tst_Startup : public QObject
{
    Q_OBJECT

    QTemporaryDir temp;
    std::unique_ptr<QTemporaryDir> work;
    FakePrompts prompts;

    QString file(const QString &name = QStringLiteral("Tessel.mdb")) const { return work->filePath(name); }

    // A copy of the seed database in the working folder; the program's own
    // name is Tessel.mdb, the copy it starts from Tesseltest.mdb.
    QString seeded(const QString &name = QStringLiteral("Tessel.mdb")) const
    {
        const QString target = file(name);
        if (!QFile::copy(QStringLiteral(TESSEL_SEED_DB), target))
            qWarning("seed not copied to %s", qPrintable(target));
        QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner);
        return target;
    }

private slots:
    void init()
    {
        qputenv("TEMP", temp.path().toLocal8Bit());
        work = std::make_unique<QTemporaryDir>();
        prompts = FakePrompts();
    }

    void seedIsCopiedAndKept()
    {
        QTemporaryDir fresh;
        qputenv("TEMP", fresh.path().toLocal8Bit());
        seeded("Tesseltest.mdb");
        const StartupResult r = runStartup(prompts, work->path());
        QVERIFY(r.ok);
        QCOMPARE(r.paths.dbFile, QStringLiteral("Tessel.mdb"));
        QCOMPARE(r.paths.workFolder, work->path());
        QVERIFY(QFileInfo(file("Tesseltest.mdb")).isFile());
        QCOMPARE(readFile(r.paths.dbPath()), readFile(QStringLiteral(TESSEL_SEED_DB)));
        QVERIFY(prompts.shown.isEmpty());
        QCOMPARE(QFileInfo(r.paths.tempFolder).fileName(), QStringLiteral("Tessel"));
        // The run that made the temporary folder says so, the next one does not.
        QVERIFY(QFileInfo(r.paths.tempFolder).isDir() && r.paths.tempFolderCreated);
        QVERIFY(!runStartup(prompts, work->path()).paths.tempFolderCreated);
        removeTempFolder(r.paths);
        QVERIFY(!QFileInfo::exists(r.paths.tempFolder));
    }

    void existingDatabaseIsUsedAndNothingCopied()
    {
        seeded("Tesseltest.mdb");
        {
            Database db;
            QVERIFY(db.open(seeded()));
            ParamStore(db).setParam("Marker", "mine");
        }
        const QByteArray before = readFile(file());
        QVERIFY(runStartup(prompts, work->path()).ok);
        QCOMPARE(readFile(file()), before);
        QVERIFY(prompts.shown.isEmpty());
    }

    void noDatabaseEndsWithMessage()
    {
        const StartupResult r = runStartup(prompts, work->path());
        QVERIFY(!r.ok && r.paths.dbFile.isEmpty());
        QCOMPARE(prompts.texts(), QStringList{"Data Base file is not found."});
        QCOMPARE(prompts.shown[0].icon, Prompts::Icon::Critical);
        QVERIFY(QDir(work->path()).isEmpty());
    }

    // The message names the missing folder; with neither TEMP nor TMP set it
    // is the folder the platform would use, never the literal "%TEMP%".
    void missingTemporaryFolderEndsWithMessage()
    {
        seeded("Tesseltest.mdb");
        const QString missing = temp.path() + "/nowhere";
        const QByteArray tmpdir = qgetenv("TMPDIR");
        for (const char *variable : {"TEMP", "TMPDIR"}) {
            if (qstrcmp(variable, "TMPDIR") == 0) {
                qunsetenv("TEMP");
                qunsetenv("TMP");
            }
            qputenv(variable, missing.toLocal8Bit());
            prompts = FakePrompts();
            const bool ok = runStartup(prompts, work->path()).ok;
            qputenv("TMPDIR", tmpdir);
            QVERIFY(!ok);
            QCOMPARE(prompts.texts(),
                     QStringList{"Error! Path \"" + QDir::toNativeSeparators(missing) + "\" not found."});
            QVERIFY(!QFileInfo::exists(file()));
        }
    }

    // The name is made a path when the file is there; a folder is no file.
    void fileExistsRewritesTheName()
    {
        QString name = "Tesseltest.mdb";
        QString other = "Tessel.mdb";
        QCOMPARE(seeded(name), file(name));
        QVERIFY(fileExists(name, work->path()));
        QCOMPARE(name, file("Tesseltest.mdb"));
        QVERIFY(QDir(work->path()).mkdir(other));
        QVERIFY(!fileExists(other, work->path()));
        QCOMPARE(other, QStringLiteral("Tessel.mdb"));
    }

    // A file that is no database, or lacks a table, is refused by name and
    // left as it was.
    void badDatabaseFilesAreRefusedAndLeftUntouched()
    {
        for (const QString &dropTable : {QString(), QStringLiteral("CAN_Timer")}) {
            const QString path = file(dropTable + "x.mdb");
            if (dropTable.isEmpty()) {
                writeFile(path, "this is not a database, just some text\n");
            } else {
                QVERIFY(QFile::copy(seeded(), path));
                Database db;
                QVERIFY(db.open(path));
                QVERIFY(db.execute("drop table " + dropTable));
            }
            const QByteArray before = readFile(path);
            Database db;
            QString why;
            QVERIFY(!db.open(path, &why) && !db.isOpen());
            QVERIFY2(why.contains(path), qPrintable(why));
            QVERIFY2(why.contains(dropTable.isEmpty() ? "not a Tessel data base" : dropTable), qPrintable(why));
            QCOMPARE(readFile(path), before);
        }
    }

    // The first default is stored and kept; names are found whatever their
    // case and stored once; quotes are stored as typed; all of it survives a
    // restart.
    void settingsAreCreatedKeptAndSurviveARestart()
    {
        const QString path = seeded();
        {
            Database db;
            QVERIFY(db.open(path));
            ParamStore params(db);
            params.loadParams();
            QCOMPARE(params.getParam("COMSpeed", "921600"), QStringLiteral("921600"));
            QCOMPARE(params.getParam("COMSpeed", "115200"), QStringLiteral("921600"));
            QCOMPARE(params.setParam("COMPort", "3"), QStringLiteral("3"));
            QCOMPARE(params.getParam("comport", "0"), QStringLiteral("3"));
            params.setParam("comPORT", "4");
            QCOMPARE(queryNumber(db, "select count(*) from Params where Name='COMPort'", {}, 0), 1);
            params.setParam("it's", "O'Neil");
        }
        Database db;
        QVERIFY(db.open(path));
        ParamStore params(db);
        params.loadParams();
        QCOMPARE(params.getParam("COMSpeed", "1"), QStringLiteral("921600"));
        QCOMPARE(params.getParam("COMPort", "0"), QStringLiteral("4"));
        QCOMPARE(params.getParam("IT'S", ""), QStringLiteral("O'Neil"));
        QCOMPARE(queryNumber(db, "select count(*) from Params where Name<>'schema_version'", {}, 0), 3);
    }

    // A counter hands out its value and stores the next; past the largest
    // id it wraps to 0.
    void countersHandOutIdsAndWrap()
    {
        Database db;
        QVERIFY(db.open(seeded()));
        ParamStore params(db);
        QCOMPARE(params.nextCounter("counter_id_CAN"), QStringLiteral("1"));
        QCOMPARE(params.nextCounter("counter_id_CAN"), QStringLiteral("2"));
        params.setParam("counter_id_CAN_ID", "2147483647");
        QCOMPARE(params.nextCounter("counter_id_CAN_ID"), QStringLiteral("0"));
        QCOMPARE(params.getParam("counter_id_CAN_ID", ""), QStringLiteral("1"));
        params.setParam("counter_id_CAN_Data", "2147483646");
        QCOMPARE(params.nextCounter("counter_id_CAN_Data"), QStringLiteral("2147483646"));
        QCOMPARE(params.getParam("counter_id_CAN_Data", ""), QStringLiteral("2147483647"));
        ParamStore reread(db);
        reread.loadParams();
        QCOMPARE(reread.getParam("counter_id_CAN", ""), QStringLiteral("3"));
    }

    // Closing removes only what this run made in the temporary folder.
    void temporaryFolderCleanUp()
    {
        const struct
        {
            bool created, userFile, isWorkFolder, removed;
        } cases[] = {{true, false, false, true},   // made by this run and empty
                     {true, true, false, false},   // a user file put there
                     {false, false, false, false}, // there before the run
                     {true, false, true, false}};  // the working folder
        for (const auto &c : cases) {
            QTemporaryDir scratch;
            StartupPaths paths;
            paths.tempFolder = scratch.filePath(QStringLiteral("Tessel"));
            paths.workFolder = c.isWorkFolder ? paths.tempFolder : scratch.path();
            paths.tempFolderCreated = c.created;
            QVERIFY(QDir().mkpath(paths.tempFolder));
            const QString mine = QDir(paths.tempFolder).filePath(QStringLiteral("capture.txt"));
            if (c.userFile)
                writeFile(mine, "kept");
            removeTempFolder(paths);
            QCOMPARE(QFileInfo::exists(paths.tempFolder), !c.removed);
            if (c.userFile)
                QCOMPARE(readFile(mine), QByteArray("kept"));
        }
    }

    // A second Tessel on the same file: the lock beside it tells who writes.
    void secondStartOnOneFile_data()
    {
        QTest::addColumn<Holder>("holder");
        QTest::addColumn<Prompts::Answer>("answer");
        QTest::addColumn<bool>("opened");
        QTest::addColumn<bool>("readOnly");
        QTest::addColumn<int>("messages");
        QTest::newRow("free file: locked and opened for writing, nothing asked")
            << Holder::None << Prompts::Answer::Yes << true << false << 0;
        QTest::newRow("held by a running Tessel, read-only chosen: opened read-only and warned")
            << Holder::Running << Prompts::Answer::Yes << true << true << 2;
        QTest::newRow("held by a running Tessel, No: the program ends")
            << Holder::Running << Prompts::Answer::No << false << false << 1;
        QTest::newRow("lock of a process that has ended: taken over")
            << Holder::Finished << Prompts::Answer::Yes << true << false << 0;
    }
    void secondStartOnOneFile()
    {
        QFETCH(Holder, holder);
        QFETCH(bool, opened);
        QFETCH(bool, readOnly);
        const QString path = seeded();
        const QString lockPath = DatabaseLock::lockPathFor(path);
        DatabaseLock first(path);
        if (holder != Holder::None)
            QCOMPARE(first.tryLock(), DatabaseLock::Result::Acquired);
        if (holder == Holder::Finished) {
            // The same lock as a program that has since ended would have left.
            QByteArray contents = readFile(lockPath);
            first.unlock();
            writeFile(lockPath, contents.replace(0, contents.indexOf('\n'), "2147483000"));
        }
        QFETCH(Prompts::Answer, answer);
        prompts.answers << answer;
        Database db;
        {
            DatabaseLock second(path);
            QCOMPARE(openDatabase(prompts, db, second, path), opened);
            QCOMPARE(db.isOpen(), opened);
            QCOMPARE(db.isReadOnly(), readOnly);
            QCOMPARE(second.isLocked(), opened && !readOnly);
            if (opened)
                QCOMPARE(db.execute(sql::saveParam, {"COMPort", "2"}), !readOnly);
            if (second.isLocked())
                QCOMPARE(second.holder().pid, QCoreApplication::applicationPid());
        }
        QTEST(int(prompts.shown.size()), "messages");
        if (holder == Holder::Running) {
            const FakePrompts::Shown &question = prompts.shown.first();
            QVERIFY2(question.text.contains(QString::number(QCoreApplication::applicationPid())),
                     qPrintable(question.text));
            QVERIFY2(question.text.contains(QSysInfo::machineHostName()), qPrintable(question.text));
            QCOMPARE(question.buttons, Prompts::Buttons::YesNo);
            QVERIFY(QFile::exists(lockPath)); // still the first one's
        } else {
            QVERIFY2(!QFile::exists(lockPath), "the lock goes with its owner");
        }
        if (readOnly)
            QVERIFY(prompts.shown.last().text.endsWith("changes will not be kept."));
    }
};

TESSEL_TEST(tst_Startup)
#include "tst_startup.moc"
