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

namespace {

QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool copySeed(const QString &folder, const QString &name = QStringLiteral("Tesseltest.mdb"))
{
    const QString target = QDir(folder).filePath(name);
    return QFile::copy(QStringLiteral(TESSEL_SEED_DB), target) &&
           QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner);
}

enum class Holder { None, Running, Finished };

} // namespace

Q_DECLARE_METATYPE(Holder)
Q_DECLARE_METATYPE(Prompts::Answer)

class tst_Startup : public QObject
{
    Q_OBJECT

private slots:
    void init() { qputenv("TEMP", temp.path().toLocal8Bit()); }

    void seedIsCopiedAndKept()
    {
        QTemporaryDir work;
        QTemporaryDir fresh;
        qputenv("TEMP", fresh.path().toLocal8Bit());
        QVERIFY(copySeed(work.path()));
        FakePrompts prompts;
        const StartupResult r = runStartup(prompts, work.path());
        QVERIFY(r.ok);
        QCOMPARE(r.paths.dbFile, QStringLiteral("Tessel.mdb"));
        QCOMPARE(r.paths.workFolder, work.path());
        QVERIFY(QFileInfo(QDir(work.path()).filePath("Tesseltest.mdb")).isFile());
        QCOMPARE(readFile(r.paths.dbPath()), readFile(QStringLiteral(TESSEL_SEED_DB)));
        QVERIFY(prompts.shown.isEmpty());
        QVERIFY(QFileInfo(r.paths.tempFolder).isDir());
        QCOMPARE(QFileInfo(r.paths.tempFolder).fileName(), QStringLiteral("Tessel"));
        // The run that made the temporary folder says so, the next one does not.
        QVERIFY(r.paths.tempFolderCreated);
        QVERIFY(!runStartup(prompts, work.path()).paths.tempFolderCreated);
        removeTempFolder(r.paths);
        QVERIFY(!QFileInfo::exists(r.paths.tempFolder));
    }

    void existingDatabaseIsUsedAndNothingCopied()
    {
        QTemporaryDir work;
        QVERIFY(copySeed(work.path()));
        QVERIFY(copySeed(work.path(), "Tessel.mdb"));
        {
            Database db;
            QVERIFY(db.open(QDir(work.path()).filePath("Tessel.mdb")));
            ParamStore(db).setParam("Marker", "mine");
        }
        const QByteArray before = readFile(QDir(work.path()).filePath("Tessel.mdb"));
        FakePrompts prompts;
        const StartupResult r = runStartup(prompts, work.path());
        QVERIFY(r.ok);
        QCOMPARE(readFile(r.paths.dbPath()), before);
        QVERIFY(prompts.shown.isEmpty());
    }

    void noDatabaseEndsWithMessage()
    {
        QTemporaryDir work;
        FakePrompts prompts;
        const StartupResult r = runStartup(prompts, work.path());
        QVERIFY(!r.ok);
        QVERIFY(r.paths.dbFile.isEmpty());
        QCOMPARE(prompts.texts(), QStringList{"Data Base file is not found."});
        QCOMPARE(prompts.shown[0].icon, Prompts::Icon::Critical);
        QCOMPARE(prompts.shown[0].title, QStringLiteral("Tessel"));
        QVERIFY(QDir(work.path()).isEmpty());
    }

    // The message names the missing folder; with neither TEMP nor TMP set it
    // is the folder the platform would use, never the literal "%TEMP%".
    void missingTemporaryFolderEndsWithMessage_data()
    {
        QTest::addColumn<QByteArray>("variable");
        QTest::newRow("TEMP") << QByteArray("TEMP");
        QTest::newRow("neither TEMP nor TMP: TMPDIR") << QByteArray("TMPDIR");
    }
    void missingTemporaryFolderEndsWithMessage()
    {
        QFETCH(QByteArray, variable);
        QTemporaryDir work;
        QVERIFY(copySeed(work.path()));
        const QString missing = temp.path() + "/nowhere";
        const QByteArray tmpdir = qgetenv("TMPDIR");
        if (variable == "TMPDIR") {
            qunsetenv("TEMP");
            qunsetenv("TMP");
        }
        qputenv(variable.constData(), missing.toLocal8Bit());
        FakePrompts prompts;
        const bool ok = runStartup(prompts, work.path()).ok;
        qputenv("TMPDIR", tmpdir);
        QVERIFY(!ok);
        QCOMPARE(prompts.texts(), QStringList{"Error! Path \"" + QDir::toNativeSeparators(missing) + "\" not found."});
        QCOMPARE(prompts.shown[0].icon, Prompts::Icon::None);
        QVERIFY(!QFileInfo::exists(QDir(work.path()).filePath("Tessel.mdb")));
    }

    void fileExistsRewritesTheName()
    {
        QTemporaryDir work;
        QVERIFY(copySeed(work.path()));
        QString name = "Tesseltest.mdb";
        QVERIFY(fileExists(name, work.path()));
        QCOMPARE(name, QDir(work.path()).filePath("Tesseltest.mdb"));
        QString other = "Tessel.mdb";
        QVERIFY(!fileExists(other, work.path()));
        QCOMPARE(other, QStringLiteral("Tessel.mdb"));
        // A folder of that name is not a database file.
        QVERIFY(QDir(work.path()).mkdir("Tessel.mdb"));
        QVERIFY(!fileExists(other, work.path()));
    }

    void badDatabaseFilesAreRefusedAndLeftUntouched_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("dropTable");
        QTest::addColumn<QString>("named");
        QTest::newRow("text file") << QByteArray("this is not a database, just some text\n") << QString()
                                   << "not a Tessel data base";
        QTest::newRow("table missing") << QByteArray() << "CAN_Timer"
                                       << "CAN_Timer";
    }
    void badDatabaseFilesAreRefusedAndLeftUntouched()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, dropTable);
        QFETCH(QString, named);
        QTemporaryDir work;
        const QString path = QDir(work.path()).filePath("Tessel.mdb");
        if (dropTable.isEmpty()) {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(content);
        } else {
            QVERIFY(copySeed(work.path(), "Tessel.mdb"));
            Database db;
            QVERIFY(db.open(path));
            QVERIFY(db.execute("drop table " + dropTable));
        }
        const QByteArray before = readFile(path);
        Database db;
        QString why;
        QVERIFY(!db.open(path, &why));
        QVERIFY(!db.isOpen());
        QVERIFY2(why.contains(QDir(work.path()).filePath("Tessel.mdb")), qPrintable(why));
        QVERIFY2(why.contains(named), qPrintable(why));
        QCOMPARE(readFile(path), before);
    }

    void settingsAreCreatedKeptAndSurviveARestart()
    {
        QTemporaryDir work;
        QVERIFY(copySeed(work.path(), "Tessel.mdb"));
        const QString path = QDir(work.path()).filePath("Tessel.mdb");
        {
            Database db;
            QVERIFY(db.open(path));
            ParamStore params(db);
            params.loadParams();
            QCOMPARE(params.getParam("COMSpeed", "921600"), QStringLiteral("921600"));
            // The first default is stored; a later caller's default does not replace it.
            QCOMPARE(params.getParam("COMSpeed", "115200"), QStringLiteral("921600"));
            QCOMPARE(params.setParam("COMPort", "3"), QStringLiteral("3"));
            QCOMPARE(params.getParam("comport", "0"), QStringLiteral("3"));
            params.setParam("comPORT", "4");
            QCOMPARE(queryNumber(db, "select count(*) from Params where Name='COMPort'", {}, 0), 1);
            // Names and values with quotes are stored as typed.
            params.setParam("it's", "O'Neil");
        }
        Database db;
        QVERIFY(db.open(path));
        ParamStore params(db);
        params.loadParams();
        QCOMPARE(params.getParam("COMSpeed", "1"), QStringLiteral("921600"));
        QCOMPARE(params.getParam("COMPort", "0"), QStringLiteral("4"));
        QCOMPARE(params.getParam("IT'S", ""), QStringLiteral("O'Neil"));
        QCOMPARE(queryNumber(db, "select count(*) from Params", {}, 0), 3);
    }

    void countersHandOutIdsAndWrap()
    {
        QTemporaryDir work;
        QVERIFY(copySeed(work.path(), "Tessel.mdb"));
        Database db;
        QVERIFY(db.open(QDir(work.path()).filePath("Tessel.mdb")));
        ParamStore params(db);
        QCOMPARE(params.nextCounter("counter_id_CAN"), QStringLiteral("1"));
        QCOMPARE(params.getParam("counter_id_CAN", ""), QStringLiteral("2"));
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

    void readOnlyDatabaseKeepsTheCacheAndFailsWrites()
    {
        QTemporaryDir work;
        QVERIFY(copySeed(work.path(), "Tessel.mdb"));
        const QString path = QDir(work.path()).filePath("Tessel.mdb");
        const QByteArray before = readFile(path);
        Database db;
        QVERIFY(db.open(path, nullptr, true));
        ParamStore params(db);
        params.loadParams();
        QCOMPARE(params.getParam("COMPort", "0"), QStringLiteral("0"));
        QVERIFY(!params.saveParam({"COMPort", "5"}));
        params.setParam("COMPort", "5");
        QCOMPARE(params.getParam("COMPort", "0"), QStringLiteral("5"));
        QCOMPARE(params.nextCounter("counter_id_CAN"), QStringLiteral("1"));
        QCOMPARE(params.nextCounter("counter_id_CAN"), QStringLiteral("2"));
        QVERIFY(!db.execute(sql::updateCanName, {"x", 1}));
        QCOMPARE(queryValue(db, sql::selectSpeed, {2}, 0).toDouble(), 500000.0);
        db.close();
        QCOMPARE(readFile(path), before);
    }

    // Closing removes only what this run made in the temporary folder.
    void temporaryFolderCleanUp_data()
    {
        QTest::addColumn<bool>("created");
        QTest::addColumn<bool>("userFile");
        QTest::addColumn<bool>("isWorkFolder");
        QTest::addColumn<bool>("removed");
        QTest::newRow("made by this run and empty: removed") << true << false << false << true;
        QTest::newRow("made by this run, a user file put there: kept") << true << true << false << false;
        QTest::newRow("there before the run: kept") << false << false << false << false;
        QTest::newRow("the working folder: kept") << true << false << true << false;
    }

    void temporaryFolderCleanUp()
    {
        QFETCH(bool, created);
        QFETCH(bool, userFile);
        QFETCH(bool, isWorkFolder);
        QFETCH(bool, removed);
        QTemporaryDir scratch;
        StartupPaths paths;
        paths.tempFolder = scratch.filePath(QStringLiteral("Tessel"));
        paths.workFolder = isWorkFolder ? paths.tempFolder : scratch.path();
        paths.tempFolderCreated = created;
        QVERIFY(QDir().mkpath(paths.tempFolder));
        const QString mine = QDir(paths.tempFolder).filePath(QStringLiteral("capture.txt"));
        if (userFile) {
            QFile f(mine);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("kept");
        }
        removeTempFolder(paths);
        QCOMPARE(QFileInfo::exists(paths.tempFolder), !removed);
        if (userFile)
            QCOMPARE(readFile(mine), QByteArray("kept"));
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
        QTemporaryDir work;
        QVERIFY(copySeed(work.path(), "Tessel.mdb"));
        const QString path = QDir(work.path()).filePath("Tessel.mdb");
        const QString lockPath = DatabaseLock::lockPathFor(path);

        DatabaseLock first(path);
        if (holder != Holder::None)
            QCOMPARE(first.tryLock(), DatabaseLock::Result::Acquired);
        if (holder == Holder::Finished) {
            // The same lock as a program that has since ended would have left.
            QByteArray contents = readFile(lockPath);
            first.unlock();
            contents.replace(0, contents.indexOf('\n'), "2147483000");
            QFile stale(lockPath);
            QVERIFY(stale.open(QIODevice::WriteOnly));
            stale.write(contents);
            stale.close();
        }

        FakePrompts prompts;
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

private:
    QTemporaryDir temp;
};

TESSEL_TEST(tst_Startup)
#include "tst_startup.moc"
