#pragma once

#include "core/datafield.h"
#include "core/dbindex.h"
#include "core/queries.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <optional>

struct AppContext;

// How a write to the database file ended. A failed one changed nothing.
enum class WriteResult { Stored, Failed };

// A device of the current data base ("DEV_<id_CAN_Device>").
struct CanDevice
{
    int id = 0;
    QString name;
    // The box: ticked exactly when all its identifiers are; a device without
    // identifiers keeps the box it was given.
    bool ticked = false;
    QStringList identifiers; // keys, in the order they were added
};

// An identifier of the current data base: key "ID_<8 hex digits>", its row
// (id_CAN_ID), its device and CAN_ID.Enable.
struct CanIdentifier
{
    QString key;
    qint32 keyNumber = 0;
    int idCanId = 0;
    int deviceId = 0;
    QString name;
    bool enable = false;
    int cycleTime = 0; // expected period in ms; 0: none
    QString comment;

    // "123.04567 - Door": formatID(keyNumber) + " - " + name.
    [[nodiscard]] QString caption() const;
};

// The program's index of the CAN database: the list of data bases, the one in
// use (its name, speed, timer and default device) with its devices and
// identifiers, read from and written to the file through the queries module.
//
// Nodes are named by key: "CAN" (the data base), "DEV_<id>" and "ID_<8 hex
// digits>". Boxes: an identifier's is CAN_ID.Enable; a device or the data base
// is ticked exactly when everything below it is. The model keeps the
// identifier monitor list in step through MonitorRows and tells its views
// what changed through its signals.
class CanDbModel final : public QObject, public IdIndex
{
    Q_OBJECT
public:
    explicit CanDbModel(AppContext &context, QObject *parent = nullptr);

    // The identifier monitor list kept in step (may be null).
    void setMonitorRows(MonitorRows *rows) { monitor = rows; }
    [[nodiscard]] MonitorRows *monitorRows() const { return monitor; }
    // The check box of the monitor row of `key`; false when there is no row.
    bool monitorRowChecked(const QString &key, bool *ticked) const;
    // While a capture runs, a tick of the data base's box does not touch the
    // monitor rows.
    void setCaptureRunning(bool running) { capturing = running; }

    // ---- Loading ----------------------------------------------------------
    // Reloads the list of data bases and/or the data base "id_CAN"; sets
    // "id_CAN_Speed"/"id_CAN_Timer"/"id_CAN_Device", the speed and timer in
    // use, then asks for the message views to be rebuilt.
    void load(bool reloadList, bool reloadTree);
    // The user chose entry `index` of the list: when it names another data
    // base, that one is loaded and the link is reset.
    void chooseDataBase(int index);

    // ---- The list and the data base in use ---------------------------------
    // An empty first item, then every data base; .selected is the one in use.
    [[nodiscard]] const ComboList &dataBases() const { return list; }
    // A data base is in use (the property button edits it rather than adds one).
    [[nodiscard]] bool hasDataBase() const { return dbId != 0; }
    // The data base's devices and identifiers are loaded.
    [[nodiscard]] bool isLoaded() const { return loaded; }
    // The name of the list's entry in use.
    [[nodiscard]] QString dbName() const { return list.items.value(list.selected); }
    // The data base node's caption.
    [[nodiscard]] QString rootCaption() const { return caption; }
    [[nodiscard]] int defaultDevice() const { return defaultDeviceId; }
    // Bus speed (bit/s) and time-stamp timer (ticks/s) of the data base in use.
    [[nodiscard]] double canSpeed() const { return speed; }
    [[nodiscard]] double canTimer() const { return timer; }

    [[nodiscard]] QList<int> deviceIds() const { return deviceOrder; }
    // Null for an unknown id or key.
    [[nodiscard]] const CanDevice *device(int id) const;
    [[nodiscard]] const CanIdentifier *identifier(const QString &key) const;
    [[nodiscard]] bool contains(const QString &nodeKey) const;
    // The box of any node; false for an unknown key.
    [[nodiscard]] bool isTicked(const QString &nodeKey) const;

    // ---- IdIndex ----------------------------------------------------------
    bool getNodeChecked(const QString &key, bool *ticked) const override;
    bool idLabels(const QString &key, QString *device, QString *description) const override;
    [[nodiscard]] std::shared_ptr<const SignalSet> signalSet(qint32 keyNumber) const override;
    [[nodiscard]] int cycleTimeMs(qint32 keyNumber) const override;

    // ---- Boxes ------------------------------------------------------------
    // Ticks or unticks a node as the user does: Enable is written (for a
    // device all its identifiers, for the data base every device in one
    // transaction), then the boxes above and the monitor rows follow. On
    // Failed the message has been shown and every box shows what is stored.
    WriteResult checkNode(const QString &key, bool ticked);
    // Recomputes the boxes of devices and data base and brings the monitor
    // rows in line; true when a monitor row's box changed.
    bool rebuildID();

    // ---- Changes ----------------------------------------------------------
    // Adds a captured or typed identifier with its data fields, cycle time
    // and comment in one transaction; its id_CAN_ID, or nullopt after a
    // message when it cannot be added (lost-frame key, no data base, already
    // present, refused).
    std::optional<int> addIdentifier(int deviceId, qint32 keyNumber, const QString &name, bool enable,
                                     const QList<DataField> &fields, int cycleTime = 0,
                                     const QString &comment = QString());
    // False after the message "Error. CAN Data Base must be created, before..."
    // when no data base is current ("id_CAN" 0): nothing can be added.
    bool requireDataBase() const;
    // What an identifier editor stores at once: any of a new description, a
    // new device and a new list of data fields.
    struct IdentifierChange
    {
        std::optional<QString> name;
        std::optional<int> deviceId;
        std::optional<QList<DataField>> fields;
        std::optional<int> cycleTime;
        std::optional<QString> comment;
    };
    // All of it or nothing; a move brings the boxes and monitor rows in line.
    WriteResult changeIdentifier(const QString &key, const IdentifierChange &change);
    // The data fields stored for an identifier row, in the order stored, with their value texts.
    [[nodiscard]] QList<DataField> dataFields(int idCanId) const;

    // A new device of the data base in use, with its box; nullopt when refused.
    std::optional<int> addDevice(const QString &name, bool ticked);
    WriteResult renameDevice(int deviceId, const QString &name);

    // A new data base with its default device, stored together or not at all;
    // it is in use from now on ("id_CAN", "id_CAN_Device"). Its id, or
    // nullopt when the file refused it.
    std::optional<int> createDataBase(const QString &name, const QString &defaultDeviceName, int speedId, int timerId);
    // Changes of the data base row `id` (the one in use when its editor opened).
    WriteResult renameDataBase(int id, const QString &name);
    // The device that receives identifiers added without a choice. The view
    // of the data base must be reloaded once its editor closes.
    WriteResult setDefaultDevice(int id, int deviceId);
    // The speed or timer row: the analyser must be set up again, so the link is reset.
    WriteResult setSpeedId(int id, int speedId);
    WriteResult setTimerId(int id, int timerId);
    // Set by setDefaultDevice; cleared before an editor runs.
    [[nodiscard]] bool reloadWanted() const { return reloadRequested; }
    void clearReloadWanted() { reloadRequested = false; }

    // A device or identifier row was deleted from the file (with what lies
    // below it): it leaves the model.
    void forgetDevice(int deviceId);
    void forgetIdentifier(const QString &key);

signals:
    // The list of data bases was read again.
    void listReloaded();
    // Everything below the list was read again.
    void reset();
    // "CAN DB : <name>" shows while a data base is in use.
    void currentChanged(bool current, const QString &name);
    void dataBaseRenamed(const QString &name);
    void boxChanged(const QString &key, bool ticked);
    void deviceAdded(int deviceId);
    // A device's name or its default mark changed.
    void deviceChanged(int deviceId);
    void identifierAdded(const QString &key);
    // An identifier's description or device changed.
    void identifierChanged(const QString &key);
    void nodeRemoved(const QString &key);
    // An identifier the user should see: just added, or refused as present.
    void identifierShown(const QString &key);
    // The data fields of an identifier changed (or all of them, keyNumber -1).
    void signalsChanged(qint32 keyNumber);
    // canSpeed or canTimer changed.
    void timingChanged(double speed, double timer);
    // The message views must be rebuilt (rebuildLVM), which redraws the time line.
    void rebuildViews();
    // The data base in use or its speed/timer changed: the connection,
    // capture and send-frame windows close and the link is reset.
    void linkResetRequested();

private:
    void loadList(int id);
    void clearTree();
    void loadDevices(int id);
    void setBox(const QString &key, bool ticked);
    WriteResult nodeCheck(const QString &key, bool stored);
    WriteResult writeDevice(int deviceId);
    WriteResult writeIdentifier(const QString &key);
    WriteResult writeRootBox(bool *changed);
    bool storeDataFields(int idCanId, const QList<DataField> &fields);
    void resetIDRows();
    void setSignals(qint32 keyNumber, const QList<DataField> &fields);

    AppContext &context;
    MonitorRows *monitor = nullptr;
    bool capturing = false;
    bool quiet = false; // loading: no signal per node

    ComboList list;
    int dbId = 0;
    bool loaded = false;
    QString caption;
    bool rootTicked = false;
    int defaultDeviceId = 0;
    QList<int> deviceOrder;
    QHash<int, CanDevice> devices;
    QHash<QString, CanIdentifier> identifiers;
    QHash<qint32, std::shared_ptr<const SignalSet>> signalSets;
    double speed = 0;
    double timer = 0;
    bool reloadRequested = false;
};
