#include "tool/toolcommands.h"

#include "candb/dbc.h"
#include "candb/dbcstore.h"
#include "core/capturefile.h"
#include "core/capturestore.h"
#include "core/database.h"
#include "core/databaselock.h"
#include "core/logformat.h"
#include "core/params.h"
#include "core/queries.h"
#include "core/schemaversion.h"
#include "core/values.h"
#include "tool/tool.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QTextStream>

#include <QDateTime>
#include <QMap>

#include <cmath>
#include <memory>
#include <new>

namespace {

// The database file named on the command line: "Tessel.mdb" itself or the folder holding it.
QString databaseFile(const QString &path)
{
    return QFileInfo(path).isDir() ? QDir(path).filePath(QStringLiteral("Tessel.mdb")) : path;
}

// Opens the database for the command. A file that another program holds is
// read only; a command that writes refuses it.
bool openDatabase(const QString &path, bool write, Database &db, DatabaseLock &lock, QTextStream &err)
{
    const QString file = databaseFile(path);
    if (!QFileInfo(file).isFile()) {
        err << "tessel-tool: no data base file \"" << QDir::toNativeSeparators(file) << "\"\n";
        return false;
    }
    const bool locked = lock.tryLock() == DatabaseLock::Result::Acquired;
    if (write && !locked) {
        err << "tessel-tool: data base file \"" << QDir::toNativeSeparators(file)
            << "\" is in use by another program\n";
        return false;
    }
    QString why;
    if (!db.open(file, &why, !locked)) {
        err << "tessel-tool: " << why << "\n";
        return false;
    }
    const SchemaUpgrade upgrade = upgradeSchema(db);
    if (!upgrade.ok) {
        err << "tessel-tool: " << upgrade.error << "\n";
        return false;
    }
    if (write && db.isReadOnly()) {
        err << "tessel-tool: data base file \"" << QDir::toNativeSeparators(file) << "\" cannot be written\n";
        return false;
    }
    return true;
}

std::optional<int> findCan(Database &db, const QString &name, QTextStream &err)
{
    const std::optional<int> id = dbcstore::findDataBase(db, name);
    if (!id)
        err << "tessel-tool: no CAN data base named \"" << name << "\"\n";
    return id;
}

// A JSON string literal.
QString jsonString(const QString &text)
{
    QString out = QStringLiteral("\"");
    for (const QChar c : text) {
        switch (c.unicode()) {
        case '"': out += QLatin1String("\\\""); break;
        case '\\': out += QLatin1String("\\\\"); break;
        case '\n': out += QLatin1String("\\n"); break;
        case '\r': out += QLatin1String("\\r"); break;
        case '\t': out += QLatin1String("\\t"); break;
        default:
            if (c.unicode() < 0x20)
                out += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
            else
                out += c;
        }
    }
    return out + QLatin1Char('"');
}

// A JSON number; JSON has no NaN or infinity, so those are null.
QString jsonNumber(double value)
{
    return std::isfinite(value) ? QString::number(value, 'g', 17) : QStringLiteral("null");
}

// A CSV field, quoted when it holds a separator, a quote or a line break.
QString csvField(const QString &text)
{
    if (!text.contains(QLatin1Char(',')) && !text.contains(QLatin1Char('"')) && !text.contains(QLatin1Char('\n')) &&
        !text.contains(QLatin1Char('\r')))
        return text;
    return QLatin1Char('"') + QString(text).replace(QLatin1Char('"'), QLatin1String("\"\"")) + QLatin1Char('"');
}

using SignalSets = QHash<qint32, std::shared_ptr<const SignalSet>>;

SignalSets signalSetsOf(const dbc::Network &network)
{
    SignalSets sets;
    for (const dbc::Message &message : network.messages) {
        const qint32 key =
            message.extended ? qint32((message.id & 0x1FFFFFFF) | quint32(extendedKeyBit)) : qint32(message.id);
        if (!message.fields.isEmpty() && !sets.contains(key))
            sets.insert(key, std::make_shared<const SignalSet>(message.fields));
    }
    return sets;
}

} // namespace

int dbcImportCommand(const QStringList &arguments, QTextStream &out, QTextStream &err, QString *usageError)
{
    ToolArguments args;
    if (!args.parse(arguments, {QStringLiteral("db"), QStringLiteral("name")}, usageError))
        return ToolBadUsage;
    if (args.positional.size() != 1 || !args.options.contains(QStringLiteral("db"))) {
        *usageError = QStringLiteral("dbc import needs FILE.dbc and --db PATH");
        return ToolBadUsage;
    }
    Database db;
    DatabaseLock lock(databaseFile(args.options.value(QStringLiteral("db"))));
    if (!openDatabase(args.options.value(QStringLiteral("db")), true, db, lock, err))
        return ToolFailed;
    ParamStore params(db);
    params.loadParams();
    const dbcstore::ImportOutcome outcome = dbcstore::importFile(
        db, params, args.positional.first(), args.options.value(QStringLiteral("name")),
        params.getInt(QStringLiteral("def_CAN_Speed"), 2), params.getInt(QStringLiteral("def_CAN_Timer"), 1));
    (outcome.canId ? out : err) << outcome.text << "\n";
    return outcome.canId ? ToolOk : ToolFailed;
}

int dbcExportCommand(const QStringList &arguments, QTextStream &out, QTextStream &err, QString *usageError)
{
    Q_UNUSED(out);
    ToolArguments args;
    if (!args.parse(arguments, {QStringLiteral("db"), QStringLiteral("can")}, usageError))
        return ToolBadUsage;
    if (args.positional.size() != 1 || !args.options.contains(QStringLiteral("db")) ||
        !args.options.contains(QStringLiteral("can"))) {
        *usageError = QStringLiteral("dbc export needs --db PATH, --can NAME and OUT.dbc");
        return ToolBadUsage;
    }
    Database db;
    DatabaseLock lock(databaseFile(args.options.value(QStringLiteral("db"))));
    if (!openDatabase(args.options.value(QStringLiteral("db")), false, db, lock, err))
        return ToolFailed;
    const std::optional<int> id = findCan(db, args.options.value(QStringLiteral("can")), err);
    if (!id)
        return ToolFailed;
    QString error;
    const std::optional<dbc::Network> network = dbcstore::load(db, *id, &error);
    if (!network) {
        err << "tessel-tool: " << error << "\n";
        return ToolFailed;
    }
    QSaveFile file(args.positional.first());
    if (!file.open(QIODevice::WriteOnly) || file.write(dbc::write(*network)) < 0 || !file.commit()) {
        err << "tessel-tool: \"" << args.positional.first() << "\" cannot be written: " << file.errorString() << "\n";
        return ToolFailed;
    }
    return ToolOk;
}

namespace {

// A log read into a capture store, as the program opens it.
struct LoadedLog
{
    logformat::ReadResult read;
    CaptureStore store;
    double timerRate = 1000000;
    double bitRate = 500000;
};

bool loadLog(const QString &fileName, LoadedLog &log, QTextStream &err)
{
    const capturefile::Header header = capturefile::readHeader(fileName);
    if (header.canTimer > 0)
        log.timerRate = header.canTimer;
    if (header.canSpeed > 0)
        log.bitRate = header.canSpeed;
    logformat::ReadOptions options;
    options.timerRate = log.timerRate;
    options.bitRate = log.bitRate;
    // A log's own times may run past a turn of the 32-bit stamp; Tessel's
    // text has only stamps, placed as the capture placed them.
    QFile head(fileName);
    const logformat::Format detected = QFileInfo(fileName).isFile() && head.open(QIODevice::ReadOnly)
                                           ? logformat::detect(head.read(4096))
                                           : logformat::Format::Unknown;
    const bool keepTimes = detected != logformat::Format::Tessel && detected != logformat::Format::Unknown;
    head.close();
    log.read = logformat::readFile(fileName, options, [&log, keepTimes](const clsFrame &frame) {
        try {
            log.store.addListFrames(frame, keepTimes);
        } catch (const std::bad_alloc &) {
            return false;
        }
        return true;
    });
    if (!log.read.ok) {
        err << "tessel-tool: " << log.read.error << "\n";
        return false;
    }
    return true;
}

QString skippedText(const logformat::Skipped &s)
{
    return QStringLiteral("%1 line%2 skipped: %3 (first line %4)")
        .arg(s.count)
        .arg(s.count == 1 ? "" : "s")
        .arg(s.reason)
        .arg(s.firstLine);
}

} // namespace

int decodeCommand(const QStringList &arguments, QTextStream &out, QTextStream &err, QString *usageError)
{
    ToolArguments args;
    if (!args.parse(arguments,
                    {QStringLiteral("dbc"), QStringLiteral("db"), QStringLiteral("can"), QStringLiteral("format")},
                    usageError))
        return ToolBadUsage;
    const bool fromDbc = args.options.contains(QStringLiteral("dbc"));
    const bool fromDb = args.options.contains(QStringLiteral("db")) || args.options.contains(QStringLiteral("can"));
    const QString format = args.options.value(QStringLiteral("format"), QStringLiteral("jsonl"));
    if (args.positional.size() != 1 || fromDbc == fromDb ||
        (fromDb && (!args.options.contains(QStringLiteral("db")) || !args.options.contains(QStringLiteral("can"))))) {
        *usageError = QStringLiteral("decode needs CAPTURE and either --dbc FILE.dbc or --db PATH --can NAME");
        return ToolBadUsage;
    }
    if (format != QLatin1String("jsonl") && format != QLatin1String("csv")) {
        *usageError = QStringLiteral("--format is jsonl or csv, not %1").arg(format);
        return ToolBadUsage;
    }

    // The signals, and the time-stamp rate when the capture's header names none.
    dbc::Network network;
    double timer = 0;
    double speed = 0;
    if (fromDbc) {
        QFile file(args.options.value(QStringLiteral("dbc")));
        if (!file.open(QIODevice::ReadOnly)) {
            err << "tessel-tool: \"" << file.fileName() << "\" cannot be opened: " << file.errorString() << "\n";
            return ToolFailed;
        }
        dbc::ReadResult read = dbc::read(file.readAll());
        if (!read.ok) {
            err << "tessel-tool: \"" << file.fileName() << "\" cannot be read: " << read.error << "\n";
            return ToolFailed;
        }
        network = std::move(read.network);
    } else {
        Database db;
        DatabaseLock lock(databaseFile(args.options.value(QStringLiteral("db"))));
        if (!openDatabase(args.options.value(QStringLiteral("db")), false, db, lock, err))
            return ToolFailed;
        const std::optional<int> id = findCan(db, args.options.value(QStringLiteral("can")), err);
        QString error;
        std::optional<dbc::Network> loaded = id ? dbcstore::load(db, *id, &error) : std::nullopt;
        if (!loaded) {
            if (id)
                err << "tessel-tool: " << error << "\n";
            return ToolFailed;
        }
        network = std::move(*loaded);
        timer = queryValue(db, sql::selectTimer, {queryNumber(db, sql::selectCanTimerId, {*id})}, 0).toDouble();
        speed = queryValue(db, sql::selectSpeed, {queryNumber(db, sql::selectCanSpeedId, {*id})}, 0).toDouble();
    }
    const SignalSets sets = signalSetsOf(network);

    // Any capture or log the program opens, read as it reads them; the
    // capture's own header, else the data base, gives the timer's rate.
    LoadedLog log;
    if (timer > 0)
        log.timerRate = timer;
    if (speed > 0)
        log.bitRate = speed;
    if (!loadLog(args.positional.first(), log, err))
        return ToolFailed;
    for (const logformat::Skipped &s : log.read.skipped)
        err << "tessel-tool: " << skippedText(s) << "\n";
    if (format == QLatin1String("csv"))
        out << "t,id,ext,dlc,data,signals,text\n";
    std::vector<signaldecode::Value> values;
    for (qsizetype i = 0; i < log.store.count(); ++i) {
        const clsFrame &frame = log.store.frame(i);
        if (frame.isLost)
            continue;
        const double t = double(frame.Time.value_or(0)) / log.timerRate;
        const bool ext = frame.IDE() != 0;
        const qint32 key = frameIdNumber(frame);
        const QString id = QString::number(key & ~extendedKeyBit, 16).toUpper();
        const QByteArray bytes = frame.Data();
        const QString data = QString::fromLatin1(bytes.toHex()).toUpper();
        const std::shared_ptr<const SignalSet> set = frame.RTR() ? nullptr : sets.value(key);
        QStringList signalTexts;
        QStringList valueTexts;
        if (set) {
            values.resize(set->decoder.size());
            signaldecode::decodeAll(
                set->decoder,
                std::span<const quint8>(reinterpret_cast<const quint8 *>(bytes.constData()), size_t(bytes.size())),
                values);
            for (size_t i = 0; i < values.size(); ++i) {
                if (values[i].status != signaldecode::Status::Ok)
                    continue;
                const DataField &field = set->fields.at(qsizetype(i));
                const QString text = field.valueTexts.value(qint64(values[i].raw), QString());
                if (format == QLatin1String("jsonl")) {
                    signalTexts << jsonString(field.name) + QLatin1Char(':') + jsonNumber(values[i].value);
                    if (!text.isEmpty())
                        valueTexts << jsonString(field.name) + QLatin1Char(':') + jsonString(text);
                } else {
                    signalTexts << field.name + QLatin1Char('=') + jsonNumber(values[i].value);
                    if (!text.isEmpty())
                        valueTexts << field.name + QLatin1Char('=') + text;
                }
            }
        }
        if (format == QLatin1String("jsonl"))
            out << "{\"t\":" << QString::number(t, 'f', 6) << ",\"id\":\"" << id
                << "\",\"ext\":" << (ext ? "true" : "false") << ",\"dlc\":" << frame.DLC << ",\"data\":\"" << data
                << "\",\"signals\":{" << signalTexts.join(QLatin1Char(',')) << "},\"text\":{"
                << valueTexts.join(QLatin1Char(',')) << "}}\n";
        else
            out << QString::number(t, 'f', 6) << ',' << id << ',' << (ext ? 1 : 0) << ',' << frame.DLC << ',' << data
                << ',' << csvField(signalTexts.join(QLatin1Char(';'))) << ','
                << csvField(valueTexts.join(QLatin1Char(';'))) << '\n';
    }
    return ToolOk;
}

int convertCommand(const QStringList &arguments, QTextStream &out, QTextStream &err, QString *usageError)
{
    Q_UNUSED(out);
    ToolArguments args;
    if (!args.parse(arguments, {QStringLiteral("to")}, usageError))
        return ToolBadUsage;
    if (args.positional.size() != 2) {
        *usageError = QStringLiteral("convert needs IN and OUT");
        return ToolBadUsage;
    }
    const QString outName = args.positional.at(1);
    const logformat::Format format = args.options.contains(QStringLiteral("to"))
                                         ? logformat::formatFromName(args.options.value(QStringLiteral("to")))
                                         : logformat::formatForFileName(outName);
    if (format != logformat::Format::Tessel && format != logformat::Format::Candump &&
        format != logformat::Format::Asc && format != logformat::Format::Csv) {
        *usageError = args.options.contains(QStringLiteral("to"))
                          ? QStringLiteral("--to is tessel, candump, asc or csv, not %1")
                                .arg(args.options.value(QStringLiteral("to")))
                          : QStringLiteral("the format of %1 is not known by its extension: give --to").arg(outName);
        return ToolBadUsage;
    }
    LoadedLog log;
    if (!loadLog(args.positional.first(), log, err))
        return ToolFailed;
    for (const logformat::Skipped &s : log.read.skipped)
        err << "tessel-tool: " << skippedText(s) << "\n";
    const CaptureStore &frames = log.store;
    QString error;
    if (format == logformat::Format::Tessel) {
        const capturefile::WriteResult written = capturefile::writeCaptureFile(
            outName, {QString(), log.bitRate, log.timerRate},
            {frames.count(), [&frames](qsizetype i) -> const clsFrame & { return frames.frame(i); }}, nullptr);
        error = written.error;
    } else {
        logformat::WriteOptions options;
        options.timerRate = log.timerRate;
        options.startMicroseconds = log.read.startMicroseconds;
        const logformat::WriteResult written = logformat::writeFile(
            outName, format, {frames.count(), [&frames](qsizetype i) -> const clsFrame & { return frames.frame(i); }},
            options);
        error = written.error;
    }
    if (!error.isEmpty()) {
        err << "tessel-tool: " << error << "\n";
        return ToolFailed;
    }
    return ToolOk;
}

int infoCommand(const QStringList &arguments, QTextStream &out, QTextStream &err, QString *usageError)
{
    QStringList rest = arguments;
    const bool json = rest.removeAll(QStringLiteral("--json")) > 0;
    ToolArguments args;
    if (!args.parse(rest, {}, usageError))
        return ToolBadUsage;
    if (args.positional.size() != 1) {
        *usageError = QStringLiteral("info needs one IN");
        return ToolBadUsage;
    }
    LoadedLog log;
    if (!loadLog(args.positional.first(), log, err))
        return ToolFailed;
    const CaptureStore &store = log.store;
    struct Id
    {
        qint64 count = 0;
        qint64 first = 0;
        qint64 last = 0;
    };
    QMap<qint32, Id> ids;
    qint64 firstTime = 0;
    qint64 lastTime = 0;
    for (qsizetype i = 0; i < store.count(); ++i) {
        const clsFrame &frame = store.frame(i);
        const qint64 t = frame.Time.value_or(0);
        if (i == 0)
            firstTime = lastTime = t;
        firstTime = std::min(firstTime, t);
        lastTime = std::max(lastTime, t);
        Id &id = ids[frameIdNumber(frame)];
        if (id.count++ == 0)
            id.first = t;
        id.last = t;
    }
    const double seconds = double(lastTime - firstTime) / log.timerRate;
    const auto time = [&log](qint64 ticks) { return double(ticks) / log.timerRate; };
    const auto idText = [](qint32 key) {
        if (key & lostFrameKeyBit)
            return QStringLiteral("lost");
        return (key & extendedKeyBit) ? QStringLiteral("%1").arg(key & 0x1FFFFFFF, 8, 16, QLatin1Char('0')).toUpper()
                                      : QStringLiteral("%1").arg(key, 3, 16, QLatin1Char('0')).toUpper();
    };
    const auto period = [&](const Id &id) {
        return id.count > 1 ? time(id.last - id.first) / double(id.count - 1) : 0.0;
    };
    const auto rate = [&](const Id &id) { return seconds > 0 ? double(id.count) / seconds : 0.0; };
    QStringList buses;
    for (const int bus : log.read.buses)
        buses << QString::number(bus);
    const QString start = log.read.startMicroseconds
                              ? QDateTime::fromMSecsSinceEpoch(*log.read.startMicroseconds / 1000, Qt::UTC)
                                    .toString(Qt::ISODateWithMs)
                              : QString();
    if (json) {
        out << "{\"format\":" << jsonString(logformat::formatName(log.read.format))
            << ",\"lines\":" << log.read.lines << ",\"frames\":" << store.count() << ",\"skipped\":[";
        for (qsizetype i = 0; i < log.read.skipped.size(); ++i) {
            const logformat::Skipped &s = log.read.skipped.at(i);
            out << (i ? "," : "") << "{\"reason\":" << jsonString(s.reason) << ",\"count\":" << s.count
                << ",\"firstLine\":" << s.firstLine << "}";
        }
        out << "],\"duration\":" << jsonNumber(seconds) << ",\"first\":" << jsonNumber(time(firstTime))
            << ",\"last\":" << jsonNumber(time(lastTime)) << ",\"start\":" << (start.isEmpty() ? "null" : jsonString(start))
            << ",\"buses\":[" << buses.join(QLatin1Char(',')) << "],\"identifiers\":[";
        bool firstId = true;
        for (auto it = ids.cbegin(); it != ids.cend(); ++it) {
            out << (firstId ? "" : ",") << "{\"id\":" << jsonString(idText(it.key()))
                << ",\"extended\":" << ((it.key() & extendedKeyBit) ? "true" : "false") << ",\"count\":" << it->count
                << ",\"meanPeriod\":" << jsonNumber(period(*it)) << ",\"perSecond\":" << jsonNumber(rate(*it)) << "}";
            firstId = false;
        }
        out << "]}\n";
        return ToolOk;
    }
    out << "format: " << logformat::formatName(log.read.format) << "\n";
    out << "lines: " << log.read.lines << "\n";
    out << "frames: " << store.count() << "\n";
    for (const logformat::Skipped &s : log.read.skipped)
        out << "skipped: " << s.reason << ": " << s.count << " (first line " << s.firstLine << ")\n";
    out << "duration: " << QString::number(seconds, 'f', 6) << " s\n";
    out << "first: " << QString::number(time(firstTime), 'f', 6) << " s\n";
    out << "last: " << QString::number(time(lastTime), 'f', 6) << " s\n";
    if (!start.isEmpty())
        out << "start: " << start << "\n";
    out << "buses: " << buses.join(QLatin1String(", ")) << "\n";
    out << "identifiers: " << ids.size() << "\n";
    out << "  id        count  mean period (s)  frames/s\n";
    for (auto it = ids.cbegin(); it != ids.cend(); ++it)
        out << "  " << idText(it.key()).leftJustified(8) << QString::number(it->count).rightJustified(7)
            << QString::number(period(*it), 'f', 6).rightJustified(17)
            << QString::number(rate(*it), 'f', 3).rightJustified(10) << "\n";
    return ToolOk;
}
