#include "candb/candbmodel.h"

#include "core/appcontext.h"
#include "core/database.h"
#include "core/params.h"
#include "core/prompts.h"
#include "core/signalstore.h"
#include "core/values.h"

namespace {

const QString rootKey = QStringLiteral("CAN");
const QString updateError = QStringLiteral("Error of updating CAN Data Base.");
const QString addTitle = QStringLiteral("Adding ID to CAN Data Base...");

bool isDeviceKey(const QString &key)
{
    return key.startsWith(QLatin1String("DEV"));
}

bool isIdentifierKey(const QString &key)
{
    return key.startsWith(QLatin1String("ID_"));
}

// A value read from the file, or `fallback` when it is null.
QVariant orDefault(const QVariant &value, const QVariant &fallback)
{
    return value.isNull() ? fallback : value;
}

// An identifier key number as the file may hold it: a whole number naming a
// standard (11-bit) or extended (bit 29 + 29 bits) identifier. Anything else
// (text, fractions, negatives, the lost-frame marker, stray high bits) is not
// an identifier the data base can show.
bool isIdentifierNumber(qint64 number)
{
    const bool standard = number >= 0 && number <= 0x7FF;
    const bool extended = (number & ~qint64(0x3FFFFFFF)) == 0 && (number & extendedKeyBit);
    return standard || extended;
}

bool readKeyNumber(const QVariant &value, qint32 *keyNumber)
{
    bool ok = false;
    const qint64 number = value.toLongLong(&ok);
    if (!ok || value.isNull() || !isIdentifierNumber(number))
        return false;
    if (value.typeId() == QMetaType::Double && double(number) != value.toDouble())
        return false;
    *keyNumber = qint32(number);
    return true;
}

} // namespace

QString CanIdentifier::caption() const
{
    return idNodeText(keyNumber, name);
}

CanDbModel::CanDbModel(AppContext &context, QObject *parent)
    : QObject(parent)
    , context(context)
{
}

bool CanDbModel::monitorRowChecked(const QString &key, bool *ticked) const
{
    return monitor ? monitor->rowChecked(key, ticked) : false;
}

// ---- Loading -------------------------------------------------------------------

void CanDbModel::load(bool reloadList, bool reloadTree)
{
    ParamStore &params = *context.params;
    Database &db = *context.db;
    const int id = params.getInt(QStringLiteral("id_CAN"), 0);
    // The view is rebuilt once at the end, not box by box.
    quiet = true;
    if (reloadList) {
        loadList(id);
        clearTree();
    }
    if (reloadTree) {
        clearTree();
        resetIDRows();
    }
    dbId = id;
    if (id != 0) {
        const QVariant defSpeed = params.getParam(QStringLiteral("def_CAN_Speed"), QStringLiteral("2"));
        params.setParam(QStringLiteral("id_CAN_Speed"),
                        displayText(orDefault(queryValue(db, sql::selectCanSpeedId, {id}, defSpeed), defSpeed)));
        const QVariant defTimer = params.getParam(QStringLiteral("def_CAN_Timer"), QStringLiteral("0"));
        params.setParam(QStringLiteral("id_CAN_Timer"),
                        displayText(orDefault(queryValue(db, sql::selectCanTimerId, {id}, defTimer), defTimer)));
        emit currentChanged(true, dbName());
        if (reloadTree) {
            defaultDeviceId = orDefault(queryValue(db, sql::selectCanDeviceId, {id}, 0), 0).toInt();
            params.setParam(QStringLiteral("id_CAN_Device"), defaultDeviceId);
            loaded = true;
            caption = dbName();
            loadDevices(id);
        }
        rebuildID();
    } else {
        params.setParam(QStringLiteral("id_CAN_Speed"),
                        params.getParam(QStringLiteral("def_CAN_Speed"), QStringLiteral("2")));
        params.setParam(QStringLiteral("id_CAN_Timer"),
                        params.getParam(QStringLiteral("def_CAN_Timer"), QStringLiteral("0")));
        emit currentChanged(false, QString());
    }
    quiet = false;
    if (reloadList || reloadTree) {
        emit reset();
        emit signalsChanged(-1);
    }
    const double newSpeed =
        queryValue(db, sql::selectSpeed, {params.getInt(QStringLiteral("id_CAN_Speed"), 0)}, 0).toDouble();
    const double newTimer =
        queryValue(db, sql::selectTimer, {params.getInt(QStringLiteral("id_CAN_Timer"), 0)}, 0).toDouble();
    if (newSpeed != speed || newTimer != timer) {
        speed = newSpeed;
        timer = newTimer;
        emit timingChanged(speed, timer);
    }
    emit rebuildViews();
}

void CanDbModel::loadList(int id)
{
    list.clear();
    list.items << QString();
    list.ids << 0;
    loadCombo(*context.db, sql::selectCanList, {}, list, 1, id);
    if (list.selected < 0)
        list.selected = 0;
    emit listReloaded();
}

void CanDbModel::clearTree()
{
    loaded = false;
    caption.clear();
    rootTicked = false;
    deviceOrder.clear();
    devices.clear();
    identifiers.clear();
    signalSets.clear();
}

void CanDbModel::loadDevices(int id)
{
    Database &db = *context.db;
    auto rows = db.openRecordset(QString::fromLatin1(sql::selectDevices), {id});
    while (rows && rows->next()) {
        const int deviceId = rows->value(QStringLiteral("id_CAN_Device")).toInt();
        if (devices.contains(deviceId))
            continue;
        CanDevice &device = devices[deviceId];
        device.id = deviceId;
        device.name = rows->value(QStringLiteral("Name")).toString();
        deviceOrder << deviceId;
        auto ids = db.openRecordset(QString::fromLatin1(sql::selectIds), {deviceId});
        while (ids && ids->next()) {
            qint32 keyNumber = 0;
            if (!readKeyNumber(ids->value(QStringLiteral("ID")), &keyNumber))
                continue;
            const QString key = idKey(keyNumber);
            // One node per identifier: a second row with the same ID is not shown.
            if (identifiers.contains(key))
                continue;
            identifiers.insert(key, {key, keyNumber, ids->value(QStringLiteral("id_CAN_ID")).toInt(), deviceId,
                                     ids->value(QStringLiteral("Name")).toString(),
                                     ids->value(QStringLiteral("Enable")).toInt() != 0,
                                     ids->value(QStringLiteral("CycleTime")).toInt(),
                                     ids->value(QStringLiteral("Comment")).toString()});
            device.identifiers << key;
        }
    }
    const QHash<int, QList<DataField>> fields = signalstore::ofDataBase(db, id);
    for (const CanIdentifier &identifier : std::as_const(identifiers))
        if (fields.contains(identifier.idCanId))
            signalSets.insert(identifier.keyNumber,
                              std::make_shared<const SignalSet>(fields.value(identifier.idCanId)));
}

void CanDbModel::setSignals(qint32 keyNumber, const QList<DataField> &fields)
{
    if (fields.isEmpty())
        signalSets.remove(keyNumber);
    else
        signalSets.insert(keyNumber, std::make_shared<const SignalSet>(fields));
    emit signalsChanged(keyNumber);
}

std::shared_ptr<const SignalSet> CanDbModel::signalSet(qint32 keyNumber) const
{
    return signalSets.value(keyNumber);
}

int CanDbModel::cycleTimeMs(qint32 keyNumber) const
{
    const CanIdentifier *found = identifier(idKey(keyNumber));
    return found ? found->cycleTime : 0;
}

void CanDbModel::chooseDataBase(int index)
{
    list.selected = index;
    const int id = list.ids.value(index, 0);
    if (QString::number(id) == context.params->getParam(QStringLiteral("id_CAN"), QStringLiteral("0")))
        return;
    context.params->setParam(QStringLiteral("id_CAN"), id);
    load(false, true);
    emit linkResetRequested();
}

// ---- Reading ---------------------------------------------------------------------

const CanDevice *CanDbModel::device(int id) const
{
    const auto it = devices.constFind(id);
    return it == devices.cend() ? nullptr : &*it;
}

const CanIdentifier *CanDbModel::identifier(const QString &key) const
{
    const auto it = identifiers.constFind(key);
    return it == identifiers.cend() ? nullptr : &*it;
}

bool CanDbModel::contains(const QString &nodeKey) const
{
    if (nodeKey == rootKey)
        return loaded;
    if (isDeviceKey(nodeKey))
        return devices.contains(deviceKeyId(nodeKey)) && deviceKey(deviceKeyId(nodeKey)) == nodeKey;
    return identifiers.contains(nodeKey);
}

bool CanDbModel::isTicked(const QString &nodeKey) const
{
    if (!contains(nodeKey))
        return false;
    if (nodeKey == rootKey)
        return rootTicked;
    if (isDeviceKey(nodeKey))
        return devices.value(deviceKeyId(nodeKey)).ticked;
    return identifiers.value(nodeKey).enable;
}

bool CanDbModel::getNodeChecked(const QString &key, bool *ticked) const
{
    if (!contains(key))
        return false;
    if (ticked)
        *ticked = isTicked(key);
    return true;
}

bool CanDbModel::idLabels(const QString &key, QString *deviceName, QString *description) const
{
    const CanIdentifier *found = identifier(key);
    if (!found)
        return false;
    if (deviceName) {
        // Read per painted row: look the device up without copying it.
        const CanDevice *owner = device(found->deviceId);
        *deviceName = owner ? owner->name : QString();
    }
    if (description)
        *description = found->name;
    return true;
}

// ---- Boxes --------------------------------------------------------------------------

void CanDbModel::setBox(const QString &key, bool ticked)
{
    bool *box = nullptr;
    if (key == rootKey)
        box = &rootTicked;
    else if (isDeviceKey(key) && devices.contains(deviceKeyId(key)))
        box = &devices[deviceKeyId(key)].ticked;
    else if (identifiers.contains(key))
        box = &identifiers[key].enable;
    if (!box || *box == ticked)
        return;
    *box = ticked;
    if (!quiet)
        emit boxChanged(key, ticked);
}

bool CanDbModel::rebuildID()
{
    if (!loaded)
        return false;
    bool changed = false;
    bool all = true;
    for (const int id : std::as_const(deviceOrder)) {
        const CanDevice &device = devices[id];
        bool state = device.ticked;
        if (!device.identifiers.isEmpty()) {
            state = true;
            for (const QString &key : device.identifiers) {
                const bool enable = identifiers.value(key).enable;
                state = state && enable;
                if (monitor)
                    changed = monitor->syncIDRow(key, QString(), enable) || changed;
            }
            setBox(deviceKey(id), state);
        }
        all = all && state;
    }
    setBox(rootKey, all);
    return changed;
}

WriteResult CanDbModel::writeDevice(int deviceId)
{
    const bool ticked = devices.value(deviceId).ticked;
    if (!context.db->execute(QString::fromLatin1(sql::updateIdEnableOfDevice), {ticked ? 1 : 0, deviceId})) {
        context.prompts->error(updateError);
        return WriteResult::Failed;
    }
    const QStringList below = devices.value(deviceId).identifiers;
    for (const QString &key : below)
        setBox(key, ticked);
    return WriteResult::Stored;
}

WriteResult CanDbModel::writeIdentifier(const QString &key)
{
    const CanIdentifier &found = identifiers[key];
    if (!context.db->execute(QString::fromLatin1(sql::updateIdEnable), {found.enable ? 1 : 0, found.idCanId})) {
        context.prompts->error(updateError);
        return WriteResult::Failed;
    }
    return WriteResult::Stored;
}

WriteResult CanDbModel::writeRootBox(bool *changed)
{
    if (!loaded)
        return WriteResult::Failed;
    const bool ticked = rootTicked;
    // Every device or none: a failed write leaves the whole file as it was.
    Database::Transaction transaction(*context.db);
    bool written = transaction.isActive();
    bool reported = false;
    for (qsizetype d = 0; written && d < deviceOrder.size(); ++d) {
        const int id = deviceOrder.at(d);
        setBox(deviceKey(id), ticked);
        // Every device is written, also one already ticked, so the file
        // follows the root even where it disagreed with the model.
        written = writeDevice(id) == WriteResult::Stored;
        reported = !written;
        *changed = *changed || written;
    }
    if (written && transaction.commit())
        return WriteResult::Stored;
    if (!reported)
        context.prompts->error(updateError);
    return WriteResult::Failed;
}

WriteResult CanDbModel::checkNode(const QString &key, bool ticked)
{
    if (!contains(key))
        return WriteResult::Failed;
    const bool stored = isTicked(key);
    setBox(key, ticked);
    return nodeCheck(key, stored);
}

WriteResult CanDbModel::nodeCheck(const QString &key, bool stored)
{
    bool written = false;
    bool rebuild = true;
    if (isDeviceKey(key) || isIdentifierKey(key)) {
        written = (isDeviceKey(key) ? writeDevice(deviceKeyId(key)) : writeIdentifier(key)) == WriteResult::Stored;
        if (!written)
            setBox(key, stored);
    } else {
        const QHash<int, CanDevice> devicesBefore = devices;
        const QHash<QString, CanIdentifier> identifiersBefore = identifiers;
        bool changed = false;
        written = writeRootBox(&changed) == WriteResult::Stored;
        if (!written) {
            for (const CanDevice &device : devicesBefore)
                setBox(deviceKey(device.id), device.ticked);
            for (const CanIdentifier &each : identifiersBefore)
                setBox(each.key, each.enable);
            setBox(key, stored);
        }
        rebuild = changed && !capturing;
    }
    // A failed write leaves every box showing what the file holds.
    if (written && rebuild && rebuildID())
        emit rebuildViews();
    return written ? WriteResult::Stored : WriteResult::Failed;
}

void CanDbModel::resetIDRows()
{
    if (monitor)
        monitor->resetIDRows();
}

// ---- Identifiers ------------------------------------------------------------------

bool CanDbModel::storeDataFields(int idCanId, const QList<DataField> &fields)
{
    for (const DataField &field : fields) {
        const int id = nextId(*context.db, *context.params, sql::dataCounter);
        if (!signalstore::insert(*context.db, id, idCanId, field))
            return false;
    }
    return true;
}

bool CanDbModel::requireDataBase() const
{
    if (context.params->getInt(QStringLiteral("id_CAN"), 0) != 0)
        return true;
    context.prompts->error(QStringLiteral("Error. CAN Data Base must be created, before..."), addTitle);
    return false;
}

std::optional<int> CanDbModel::addIdentifier(int deviceId, qint32 keyNumber, const QString &name, bool enable,
                                             const QList<DataField> &fields, int cycleTime, const QString &comment)
{
    Prompts &prompts = *context.prompts;
    if (keyNumber < 0 || (keyNumber & lostFrameKeyBit)) {
        prompts.error(QStringLiteral("Lost IDs is not adding to CAN Data Base."), addTitle);
        return std::nullopt;
    }
    if (!requireDataBase())
        return std::nullopt;
    const QString key = idKey(keyNumber);
    if (identifiers.contains(key)) {
        emit identifierShown(key);
        prompts.error(QStringLiteral("This ID (") + formatID(keyNumber) +
                          QStringLiteral(") is present in CAN Data Base."),
                      addTitle);
        return std::nullopt;
    }
    const QString failed =
        QStringLiteral("Error addition ID=\"") + formatID(keyNumber) + QStringLiteral("\" to CAN Data Base.");
    // The device must be one of the data base's, and the number an
    // identifier's, or the row would be stored where no view can show it.
    Database &db = *context.db;
    if (!isIdentifierNumber(keyNumber) || !devices.contains(deviceId) ||
        !db.openRecordset(QString::fromLatin1(sql::selectIdOfDevice), {deviceId, keyNumber})) {
        prompts.error(failed, addTitle);
        return std::nullopt;
    }
    // The identifier is stored together with its data fields, or not at all.
    Database::Transaction transaction(db);
    const int id = transaction.isActive() ? nextId(db, *context.params, sql::idCounter) : -1;
    if (!transaction.isActive() ||
        !db.execute(QString::fromLatin1(sql::insertIdDetailed),
                    {id, deviceId, keyNumber, name, enable ? 1 : 0, cycleTime,
                     comment.isEmpty() ? QVariant() : QVariant(comment), QVariant()}) ||
        !storeDataFields(id, fields) || !transaction.commit()) {
        prompts.error(failed, addTitle);
        return std::nullopt;
    }
    identifiers.insert(key, {key, keyNumber, id, deviceId, name, enable, cycleTime, comment});
    devices[deviceId].identifiers << key;
    if (!fields.isEmpty())
        setSignals(keyNumber, fields);
    emit identifierAdded(key);
    emit identifierShown(key);
    nodeCheck(key, enable);
    return id;
}

WriteResult CanDbModel::changeIdentifier(const QString &key, const IdentifierChange &change)
{
    if (!identifiers.contains(key))
        return WriteResult::Failed;
    const int rowId = identifiers.value(key).idCanId;
    Database &db = *context.db;
    const int cycleTime = change.cycleTime.value_or(identifiers.value(key).cycleTime);
    const QString comment = change.comment.value_or(identifiers.value(key).comment);
    // Name, device and data fields are stored together: a failure keeps the old ones all.
    Database::Transaction transaction(db);
    const bool stored =
        transaction.isActive() &&
        (!change.name || db.execute(QString::fromLatin1(sql::updateIdName), {*change.name, rowId})) &&
        (!change.deviceId || db.execute(QString::fromLatin1(sql::updateIdDevice), {*change.deviceId, rowId})) &&
        (!change.fields ||
         (db.execute(QString::fromLatin1(sql::deleteData), {rowId}) && storeDataFields(rowId, *change.fields))) &&
        ((!change.cycleTime && !change.comment) ||
         db.execute(QString::fromLatin1(sql::updateIdDetails),
                    {cycleTime, comment.isEmpty() ? QVariant() : QVariant(comment), rowId})) &&
        transaction.commit();
    if (!stored)
        return WriteResult::Failed;
    CanIdentifier &changed = identifiers[key];
    changed.cycleTime = cycleTime;
    changed.comment = comment;
    if (change.fields)
        setSignals(changed.keyNumber, *change.fields);
    if (change.name) {
        changed.name = *change.name;
        emit identifierChanged(key);
    }
    if (change.deviceId && devices.contains(*change.deviceId) && *change.deviceId != changed.deviceId) {
        devices[changed.deviceId].identifiers.removeOne(key);
        devices[*change.deviceId].identifiers << key;
        changed.deviceId = *change.deviceId;
        emit identifierChanged(key);
    }
    if (change.deviceId)
        rebuildID();
    return WriteResult::Stored;
}

QList<DataField> CanDbModel::dataFields(int idCanId) const
{
    return signalstore::ofIdentifier(*context.db, idCanId);
}

void CanDbModel::forgetIdentifier(const QString &key)
{
    if (!identifiers.contains(key))
        return;
    devices[identifiers.value(key).deviceId].identifiers.removeOne(key);
    const qint32 keyNumber = identifiers.value(key).keyNumber;
    identifiers.remove(key);
    if (signalSets.remove(keyNumber))
        emit signalsChanged(keyNumber);
    emit nodeRemoved(key);
}

// ---- Devices and the data base ------------------------------------------------------

std::optional<int> CanDbModel::addDevice(const QString &name, bool ticked)
{
    Database &db = *context.db;
    Database::Transaction transaction(db);
    const int id = transaction.isActive() ? nextId(db, *context.params, sql::deviceCounter) : -1;
    if (!transaction.isActive() ||
        !db.execute(QString::fromLatin1(sql::insertDevice),
                    {id, context.params->getInt(QStringLiteral("id_CAN"), 0), name}) ||
        !transaction.commit())
        return std::nullopt;
    if (loaded && !devices.contains(id)) {
        devices.insert(id, {id, name, ticked, {}});
        deviceOrder << id;
        emit deviceAdded(id);
    }
    return id;
}

WriteResult CanDbModel::renameDevice(int deviceId, const QString &name)
{
    if (!context.db->execute(QString::fromLatin1(sql::updateDeviceName), {name, deviceId}))
        return WriteResult::Failed;
    if (devices.contains(deviceId)) {
        devices[deviceId].name = name;
        emit deviceChanged(deviceId);
    }
    return WriteResult::Stored;
}

void CanDbModel::forgetDevice(int deviceId)
{
    if (!devices.contains(deviceId))
        return;
    const QStringList below = devices.value(deviceId).identifiers;
    for (const QString &key : below) {
        if (signalSets.remove(identifiers.value(key).keyNumber))
            emit signalsChanged(identifiers.value(key).keyNumber);
        identifiers.remove(key);
    }
    devices.remove(deviceId);
    deviceOrder.removeOne(deviceId);
    emit nodeRemoved(deviceKey(deviceId));
}

std::optional<int> CanDbModel::createDataBase(const QString &name, const QString &defaultDeviceName, int speedId,
                                              int timerId)
{
    Database &db = *context.db;
    ParamStore &params = *context.params;
    Database::Transaction transaction(db);
    const int id = transaction.isActive() ? nextId(db, params, sql::canCounter) : -1;
    const int deviceId = transaction.isActive() ? nextId(db, params, sql::deviceCounter) : -1;
    if (!transaction.isActive() || !db.execute(QString::fromLatin1(sql::insertCan), {id, name, 0, speedId, timerId}) ||
        !db.execute(QString::fromLatin1(sql::insertDevice), {deviceId, id, defaultDeviceName}) ||
        !db.execute(QString::fromLatin1(sql::updateCanDevice), {deviceId, id}) || !transaction.commit())
        return std::nullopt;
    params.setParam(QStringLiteral("id_CAN"), id);
    params.setParam(QStringLiteral("id_CAN_Device"), deviceId);
    return id;
}

WriteResult CanDbModel::renameDataBase(int id, const QString &name)
{
    if (!context.db->execute(QString::fromLatin1(sql::updateCanName), {name, id}))
        return WriteResult::Failed;
    caption = name;
    if (list.selected > 0)
        list.items[list.selected] = name;
    emit dataBaseRenamed(name);
    return WriteResult::Stored;
}

WriteResult CanDbModel::setDefaultDevice(int id, int deviceId)
{
    if (!context.db->execute(QString::fromLatin1(sql::updateCanDevice), {deviceId, id}))
        return WriteResult::Failed;
    const int before = defaultDeviceId;
    defaultDeviceId = deviceId;
    context.params->setParam(QStringLiteral("id_CAN_Device"), deviceId);
    emit deviceChanged(before);
    emit deviceChanged(deviceId);
    reloadRequested = true;
    return WriteResult::Stored;
}

WriteResult CanDbModel::setSpeedId(int id, int speedId)
{
    if (!context.db->execute(QString::fromLatin1(sql::updateCanSpeed), {speedId, id}))
        return WriteResult::Failed;
    context.params->setParam(QStringLiteral("id_CAN_Speed"), speedId);
    emit linkResetRequested();
    return WriteResult::Stored;
}

WriteResult CanDbModel::setTimerId(int id, int timerId)
{
    if (!context.db->execute(QString::fromLatin1(sql::updateCanTimer), {timerId, id}))
        return WriteResult::Failed;
    context.params->setParam(QStringLiteral("id_CAN_Timer"), timerId);
    emit linkResetRequested();
    return WriteResult::Stored;
}
