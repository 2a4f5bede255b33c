#include "candb/dbcstore.h"

#include "core/capturefile.h"
#include "core/database.h"
#include "core/params.h"
#include "core/queries.h"
#include "core/signalstore.h"
#include "core/values.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>

namespace dbcstore {

namespace {

const QString defaultDeviceName = QStringLiteral("Default");

// Names are written into line-based capture files: no line breaks or tabs.
QString plainName(const QString &name)
{
    return capturefile::oneLine(name);
}

QString uniqueName(Database &db, const QString &wanted)
{
    const QString base = plainName(wanted).trimmed().isEmpty() ? QStringLiteral("Imported") : plainName(wanted);
    QString name = base;
    for (int n = 2; findDataBase(db, name); ++n)
        name = QStringLiteral("%1 (%2)").arg(base).arg(n);
    return name;
}

// `count` consecutive free ids of a table: past both its counter and its
// highest id; the counter is moved past them. nullopt when they would pass
// the largest id.
std::optional<int> reserveIds(Database &db, ParamStore &params, const sql::IdCounter &counter, qint64 count)
{
    const qint64 next = params.nextCounter(QString::fromLatin1(counter.name)).toLongLong();
    const qint64 highest = queryNumber(db, counter.highestId, {});
    const qint64 first = std::max(next, highest + 1);
    if (first + count > 2147483647)
        return std::nullopt;
    params.setParam(QString::fromLatin1(counter.name), first + count);
    return int(first);
}

qint32 keyNumberOf(const dbc::Message &message)
{
    return message.extended ? qint32((message.id & 0x1FFFFFFF) | quint32(extendedKeyBit)) : qint32(message.id);
}

} // namespace

std::optional<int> findDataBase(Database &db, const QString &name)
{
    auto q = db.openRecordset(QString::fromLatin1(sql::selectCanByName), {name});
    if (!q || !q->next())
        return std::nullopt;
    return q->value(QStringLiteral("id_CAN")).toInt();
}

Stored store(Database &db, ParamStore &params, const dbc::Network &network, const QString &name, int speedId,
             int timerId)
{
    Stored r;
    // Which messages become identifiers: one per identifier number.
    QList<const dbc::Message *> kept;
    QSet<qint32> numbers;
    qint64 fieldCount = 0;
    for (const dbc::Message &message : network.messages) {
        const qint32 number = keyNumberOf(message);
        if (!message.extended && message.id > 0x7FF) {
            r.notes << QStringLiteral("line %1: message %2 (0x%3) skipped: a standard identifier has 11 bits")
                           .arg(message.line)
                           .arg(message.name)
                           .arg(message.id, 0, 16);
            continue;
        }
        if (numbers.contains(number)) {
            r.notes << QStringLiteral("line %1: message %2 skipped: identifier %3 is already taken")
                           .arg(message.line)
                           .arg(message.name, formatID(number));
            continue;
        }
        numbers.insert(number);
        kept << &message;
        fieldCount += message.fields.size();
    }
    QStringList nodes;
    for (const QString &node : network.nodes)
        if (!nodes.contains(plainName(node)))
            nodes << plainName(node);
    if (nodes.isEmpty())
        nodes << defaultDeviceName;

    Database::Transaction transaction(db);
    if (!transaction.isActive()) {
        r.error = QStringLiteral("The data base file cannot be written: %1").arg(db.lastError());
        return r;
    }
    r.name = uniqueName(db, name);
    const std::optional<int> canId = reserveIds(db, params, sql::canCounter, 1);
    const std::optional<int> firstDevice = reserveIds(db, params, sql::deviceCounter, nodes.size());
    const std::optional<int> firstId = reserveIds(db, params, sql::idCounter, kept.size());
    const std::optional<int> firstField = reserveIds(db, params, sql::dataCounter, fieldCount);
    if (!canId || !firstDevice || !firstId || !firstField) {
        r.error = QStringLiteral("The data base file has no free row ids left.");
        return r;
    }
    bool ok = db.execute(QString::fromLatin1(sql::insertCan), {*canId, r.name, *firstDevice, speedId, timerId});
    QHash<QString, int> deviceIds;
    for (qsizetype i = 0; ok && i < nodes.size(); ++i) {
        deviceIds.insert(nodes.at(i), *firstDevice + int(i));
        ok = db.execute(QString::fromLatin1(sql::insertDevice), {*firstDevice + int(i), *canId, nodes.at(i)});
    }
    int fieldId = *firstField;
    for (qsizetype i = 0; ok && i < kept.size(); ++i) {
        const dbc::Message &message = *kept.at(i);
        const int idCanId = *firstId + int(i);
        const int deviceId = deviceIds.value(plainName(message.transmitter), *firstDevice);
        ok = db.execute(QString::fromLatin1(sql::insertIdDetailed),
                        {idCanId, deviceId, keyNumberOf(message), plainName(message.name), 1, message.cycleTime,
                         message.comment.isEmpty() ? QVariant() : QVariant(message.comment), message.dlc});
        for (qsizetype f = 0; ok && f < message.fields.size(); ++f) {
            DataField field = message.fields.at(f);
            field.name = plainName(field.name);
            ok = signalstore::insert(db, fieldId++, idCanId, field);
        }
    }
    if (!ok || !transaction.commit()) {
        r.error = QStringLiteral("The data base file refused the import: %1").arg(db.lastError());
        r.name.clear();
        return r;
    }
    r.canId = *canId;
    r.devices = int(nodes.size());
    r.identifiers = int(kept.size());
    r.fields = int(fieldCount);
    return r;
}

std::optional<dbc::Network> load(Database &db, int idCan, QString *error)
{
    auto fail = [&](const QString &why) {
        if (error)
            *error = why;
        return std::nullopt;
    };
    const int defaultDevice = queryNumber(db, sql::selectCanDeviceId, {idCan});
    auto devices = db.openRecordset(QString::fromLatin1(sql::selectDevices), {idCan});
    if (defaultDevice < 0 || !devices)
        return fail(QStringLiteral("The data base cannot be read: %1").arg(db.lastError()));
    dbc::Network network;
    QList<int> deviceOrder;
    QHash<int, QString> deviceNames;
    while (devices->next()) {
        const int id = devices->value(QStringLiteral("id_CAN_Device")).toInt();
        deviceNames.insert(id, devices->value(QStringLiteral("Name")).toString());
        // The default device is the first node: it is the default again when read back.
        if (id == defaultDevice)
            deviceOrder.prepend(id);
        else
            deviceOrder << id;
    }
    for (int id : std::as_const(deviceOrder))
        network.nodes << deviceNames.value(id);
    const QHash<int, QList<DataField>> fields = signalstore::ofDataBase(db, idCan);
    QSet<qint32> numbers;
    for (int deviceId : std::as_const(deviceOrder)) {
        auto ids = db.openRecordset(QString::fromLatin1(sql::selectIds), {deviceId});
        if (!ids)
            return fail(QStringLiteral("The data base cannot be read: %1").arg(db.lastError()));
        while (ids->next()) {
            const qint32 number = ids->value(QStringLiteral("ID")).toInt();
            // As the data base panel shows it: one identifier per number.
            if (numbers.contains(number) || number < 0 || (number & lostFrameKeyBit))
                continue;
            numbers.insert(number);
            dbc::Message message;
            message.extended = (number & extendedKeyBit) != 0;
            message.id = quint32(number & ~extendedKeyBit);
            message.name = ids->value(QStringLiteral("Name")).toString();
            message.transmitter = deviceNames.value(deviceId);
            message.cycleTime = ids->value(QStringLiteral("CycleTime")).toInt();
            message.comment = ids->value(QStringLiteral("Comment")).toString();
            message.fields = fields.value(ids->value(QStringLiteral("id_CAN_ID")).toInt());
            // The length the message was imported with; a whole frame for one typed in.
            const QVariant dlc = ids->value(QStringLiteral("Dlc"));
            message.dlc = dlc.isNull() ? 8 : std::clamp(dlc.toInt(), 0, 8);
            network.messages << message;
        }
    }
    return network;
}

QString report(const QString &fileName, const dbc::ReadResult &read, const Stored &stored)
{
    QStringList lines;
    const QString file = QDir::toNativeSeparators(fileName);
    if (!read.ok) {
        lines << QStringLiteral("\"%1\" cannot be imported: %2").arg(file, read.error);
        return lines.join(QLatin1Char('\n'));
    }
    if (!stored.canId) {
        lines << QStringLiteral("\"%1\" cannot be imported: %2").arg(file, stored.error);
        return lines.join(QLatin1Char('\n'));
    }
    lines << QStringLiteral("\"%1\" imported as CAN Data Base \"%2\": %3 devices, %4 IDs, %5 data fields.")
                 .arg(file, stored.name)
                 .arg(stored.devices)
                 .arg(stored.identifiers)
                 .arg(stored.fields);
    if (!read.skipped.isEmpty()) {
        lines << QStringLiteral("Not imported (Tessel cannot hold them):");
        for (const dbc::Skipped &s : read.skipped)
            lines << QStringLiteral("  %1: %2, first on line %3").arg(s.kind).arg(s.count).arg(s.firstLine);
    }
    const QStringList warnings = read.warnings + stored.notes;
    if (!warnings.isEmpty()) {
        lines << QStringLiteral("Warnings:");
        for (const QString &w : warnings)
            lines << QStringLiteral("  ") + w;
    }
    return lines.join(QLatin1Char('\n'));
}

ImportOutcome importFile(Database &db, ParamStore &params, const QString &path, const QString &name, int speedId,
                         int timerId)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {std::nullopt, QStringLiteral("\"%1\" cannot be opened: %2")
                                  .arg(QDir::toNativeSeparators(path), file.errorString())};
    const dbc::ReadResult read = dbc::read(file.readAll());
    Stored stored;
    if (read.ok)
        stored = store(db, params, read.network, name.isEmpty() ? QFileInfo(path).completeBaseName() : name,
                       speedId, timerId);
    return {stored.canId, report(path, read, stored)};
}

} // namespace dbcstore
