#include "tool/toolcommands.h"

#include "candb/dbc.h"
#include "candb/dbcstore.h"
#include "core/capturefile.h"
#include "core/capturestore.h"
#include "core/database.h"
#include "core/databaselock.h"
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

#include <cmath>
#include <memory>

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

int decodeCommand(const QStringList &arguments, QTextStream &out, QTextStream &err, QString *usageError)
{
    ToolArguments args;
    if (!args.parse(arguments, {QStringLiteral("dbc"), QStringLiteral("db"), QStringLiteral("can"),
                                QStringLiteral("format")},
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

    const QString capture = args.positional.first();
    const capturefile::Header header = capturefile::readHeader(capture);
    if (header.canTimer > 0)
        timer = header.canTimer;
    if (header.canSpeed > 0)
        speed = header.canSpeed;
    if (timer <= 0)
        timer = 1000000;
    capturefile::CaptureFileReader reader;
    QString error;
    if (!reader.open(capture, &error)) {
        err << "tessel-tool: " << error << "\n";
        return ToolFailed;
    }
    if (format == QLatin1String("csv"))
        out << "t,id,ext,dlc,data,signals,text\n";
    CaptureStore store;
    std::vector<signaldecode::Value> values;
    const capturefile::ReadResult read = reader.readAll(
        capturefile::defaultDelimiter, speed > 0 ? speed : 500000, [&](const clsFrame &captured) {
            store.addListFrames(captured);
            const clsFrame &frame = store.frame(store.count() - 1);
            if (frame.isLost)
                return;
            const double t = double(frame.Time.value_or(0)) / timer;
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
                signaldecode::decodeAll(set->decoder,
                                        std::span<const quint8>(reinterpret_cast<const quint8 *>(bytes.constData()),
                                                                size_t(bytes.size())),
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
                    << "\",\"ext\":" << (ext ? "true" : "false") << ",\"dlc\":" << frame.DLC << ",\"data\":\""
                    << data << "\",\"signals\":{" << signalTexts.join(QLatin1Char(',')) << "},\"text\":{"
                    << valueTexts.join(QLatin1Char(',')) << "}}\n";
            else
                out << QString::number(t, 'f', 6) << ',' << id << ',' << (ext ? 1 : 0) << ',' << frame.DLC << ','
                    << data << ',' << csvField(signalTexts.join(QLatin1Char(';'))) << ','
                    << csvField(valueTexts.join(QLatin1Char(';'))) << '\n';
        });
    if (!read.ok) {
        err << "tessel-tool: " << read.error << "\n";
        return ToolFailed;
    }
    if (read.skipped > 0)
        err << "tessel-tool: " << capturefile::skippedMessage(read) << "\n";
    return ToolOk;
}
