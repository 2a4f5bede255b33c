#pragma once

#include <QString>
#include <QStringList>

#include <functional>

class MonitorRows;

// What the delete operations and the data base editors need of the database
// tree: its nodes by key ("CAN", "DEV_<id>", "ID_<8 hex digits>"), the name of
// the current data base and the check-box handling that writes CAN_ID.Enable.
// The tree window implements it; the editors' logic stays free of widgets.
class CanDbTree
{
public:
    virtual ~CanDbTree() = default;

    // The current data base's name as the list above the tree shows it.
    [[nodiscard]] virtual QString dbName() const = 0;
    // A rename was stored: the root node and the list item take the new name.
    virtual void renameDb(const QString &name) = 0;

    [[nodiscard]] virtual bool nodeExists(const QString &key) const = 0;
    [[nodiscard]] virtual QString nodeText(const QString &key) const = 0;
    virtual void setNodeText(const QString &key, const QString &text) = 0;
    // The row id kept in the node (id_CAN_Device, id_CAN_ID); -1 without one.
    [[nodiscard]] virtual int nodeTag(const QString &key) const = 0;
    [[nodiscard]] virtual bool nodeChecked(const QString &key) const = 0;
    // Sets the node's box and handles it as a tick of the user: Enable is
    // written and the boxes above and the monitor rows follow. False when the
    // write failed (the message has been shown; the boxes show what is stored).
    virtual bool checkNode(const QString &key, bool ticked) = 0;
    // The key of the node above; "" for the root or an unknown key.
    [[nodiscard]] virtual QString parentKey(const QString &key) const = 0;
    // The keys of the nodes below, in tree order.
    [[nodiscard]] virtual QStringList childKeys(const QString &key) const = 0;
    // Removes the node with everything below it.
    virtual void removeNode(const QString &key) = 0;

    // Device nodes: the default device shows "DeviceDef", the others "Device".
    virtual void setDeviceImage(int deviceId, bool isDefault) = 0;
    // A device row was stored: its node goes under the root, sorted, visible.
    virtual void addDeviceNode(int deviceId, const QString &name, bool ticked) = 0;
    // An identifier was moved to another device in the file: so is its node.
    virtual void moveIdNode(const QString &key, int deviceId) = 0;

    // Adds an identifier to the data base and the tree; the new id_CAN_ID, or
    // -1 after a message when it cannot be added. `alsoStore` writes what
    // belongs to the new row (its data fields) in the same transaction: when
    // it fails, nothing is added.
    virtual int tvAddCAN_ID(int deviceId, qint32 keyNumber, const QString &name, bool enable,
                            const std::function<bool(int idCanId)> &alsoStore = {}) = 0;
    // Recomputes the boxes of devices and root and brings the monitor rows in
    // line; true when a monitor row's box changed.
    virtual bool rebuildID() = 0;
    // Ticks or unticks every identifier of the data base (root box handling).
    virtual bool CAN_NodeCheck() = 0;

    // The identifier monitor list (may be absent).
    [[nodiscard]] virtual MonitorRows *monitorRows() const = 0;
    // The check box of the monitor row of `key`; false when there is no row.
    [[nodiscard]] virtual bool monitorRowChecked(const QString &key, bool *ticked) const = 0;

    // The default device changed: the tree must be reloaded when the editor closes.
    virtual void setCanDbChanged() = 0;
    // The bus speed or timer changed: the analyser must be set up again, so the
    // link's windows close and the link is reset.
    virtual void requestLinkReset() = 0;
};
