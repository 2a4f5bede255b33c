#pragma once

#include "candb/candbtree.h"
#include "core/dbindex.h"
#include "core/appcontext.h"

#include <QHash>
#include <QIcon>
#include <QObject>

#include <functional>

class frmMain;
class QAction;
class QMenu;
class QTreeWidgetItem;

// The data base panel of the main window: the list of CAN data bases
// (cmbDB_Name), the property button (cmdDB_Property) and the tree of the
// current data base (tvDB_IDs), with the "CAN" menu tree that doubles as the
// tree's pop-up menus.
//
// Nodes: root "CAN" (the data base), devices "DEV_<id_CAN_Device>" (tag: the
// device id) and identifiers "ID_<8 hex digits>" (tag: id_CAN_ID), sorted by
// text among their siblings. The identifier boxes are CAN_ID.Enable; a device
// or the root is ticked exactly when everything below it is.
//
// The tree is the program's index of the data base: the capture views read it
// through IdIndex, and it keeps the monitor list in step through MonitorRows.
class DbTree final : public QObject, public IdIndex, public CanDbTree
{
    Q_OBJECT
public:
    // Takes over the panel's controls and the CAN menu items of `main`.
    DbTree(AppContext &context, frmMain &main);

    // The identifier monitor list the tree keeps in step (may be null).
    void setMonitorRows(MonitorRows *rows) { monitor = rows; }
    // How the identifier editor reads a monitor row's check box when it adds
    // a captured identifier; without one a row reads as ticked.
    void setMonitorRowReader(std::function<bool(const QString &key, bool *ticked)> reader)
    {
        monitorRowReader = std::move(reader);
    }

    // ---- Loading ----------------------------------------------------------
    // Refills cmbDB_Name (an empty first item, then the data bases) and
    // selects the data base `id`.
    void loadCMB(int id);
    // Reloads the list and/or the tree of the current data base ("id_CAN"),
    // sets "id_CAN_Speed"/"id_CAN_Timer"/"id_CAN_Device", the CAN DB menu and
    // the property button, the current speed and timer, then asks for the
    // message views to be rebuilt.
    void loadCanDb(bool reloadList, bool reloadTree);

    // Bus speed (bit/s) and time-stamp timer (ticks/s) of the data base in use.
    [[nodiscard]] double currentCanSpeed() const { return canSpeed; }
    [[nodiscard]] double currentCanTimer() const { return canTimer; }

    // ---- Check boxes --------------------------------------------------------
    bool rebuildID() override;
    bool CAN_NodeCheck() override;
    bool deviceNodeCheck(QTreeWidgetItem *device);
    bool ID_NodeCheck(QTreeWidgetItem *identifier);
    // The user toggled the box of `node`: write it, then bring the boxes above
    // and the monitor rows in line.
    void tvDB_IDs_NodeCheck(QTreeWidgetItem *node);

    int tvAddCAN_ID(int deviceId, qint32 keyNumber, const QString &name, bool enable,
                    const std::function<bool(int idCanId)> &alsoStore = {}) override;
    // Adds a picture under `key`; false when the key is already there.
    bool tvAddImage(const QString &key, const QIcon &picture);
    void setNodeExpanded(const QString &key, bool expand);

    // ---- IdIndex --------------------------------------------------------------
    bool getNodeChecked(const QString &key, bool *ticked) const override;
    bool idLabels(const QString &key, QString *device, QString *description) const override;

    // ---- CanDbTree --------------------------------------------------------------
    [[nodiscard]] QString dbName() const override;
    void renameDb(const QString &name) override;
    [[nodiscard]] bool nodeExists(const QString &key) const override { return nodes.contains(key); }
    [[nodiscard]] QString nodeText(const QString &key) const override;
    void setNodeText(const QString &key, const QString &text) override;
    [[nodiscard]] int nodeTag(const QString &key) const override;
    [[nodiscard]] bool nodeChecked(const QString &key) const override;
    bool checkNode(const QString &key, bool ticked) override;
    [[nodiscard]] QString parentKey(const QString &key) const override;
    [[nodiscard]] QStringList childKeys(const QString &key) const override;
    void removeNode(const QString &key) override;
    void setDeviceImage(int deviceId, bool isDefault) override;
    void addDeviceNode(int deviceId, const QString &name, bool ticked) override;
    void moveIdNode(const QString &key, int deviceId) override;
    [[nodiscard]] MonitorRows *monitorRows() const override { return monitor; }
    [[nodiscard]] bool monitorRowChecked(const QString &key, bool *ticked) const override;
    void setCanDbChanged() override { canDbChanged = true; }
    void requestLinkReset() override { emit linkResetRequested(); }

    // The node with `key`, or null.
    [[nodiscard]] QTreeWidgetItem *node(const QString &key) const { return nodes.value(key); }
    // The image key of a node ("CAN", "Device", "DeviceDef" or its own key).
    [[nodiscard]] QString nodeImage(const QString &key) const;
    // Key of the node last clicked; "" after a mouse-down elsewhere.
    [[nodiscard]] QString currentNodeKey() const { return currentKey; }
    // The menu the last right-click popped up (for tests).
    [[nodiscard]] QMenu *lastPopup() const { return popup; }

    // ---- Identifier and device editors ------------------------------------------
    // Add mode for a captured identifier `key`: with `show` the editor is shown,
    // without it the identifier is added at once with one data field 0..63.
    bool addID(bool show, const QString &key);
    bool editID(const QString &key);
    bool newID(const QString &key);
    int addDevice();
    bool editDevice(const QString &key);

    // ---- Events, as the user causes them ---------------------------------------
    void cmbDB_Name_Click();
    void cmdDB_Property_Click();
    void tvDB_IDs_MouseDown();
    void tvDB_IDs_NodeClick(QTreeWidgetItem *node);
    void tvDB_IDs_MouseUp(Qt::MouseButton button);
    void tvDB_IDs_DblClick();
    void tvDB_IDs_KeyDown(int key);
    // An identifier key dropped on the tree (drag from the monitor list).
    void tvDB_IDs_DragDrop(const QString &key);

    // The MIME type of a dragged identifier key ("ID_" + 8 hex digits).
    static const QString idKeyMimeType;

signals:
    // The message views must be rebuilt (rebuildLVM), which redraws the time line.
    void rebuildViews();
    // The current data base or its speed/timer changed: the connection,
    // capture and send-frame windows close and the link is reset.
    void linkResetRequested();
    // currentCanSpeed or currentCanTimer changed.
    void canTimingChanged(double speed, double timer);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void connectMenus();
    QTreeWidgetItem *addNode(QTreeWidgetItem *parent, const QString &key, const QString &text, const QString &image);
    QTreeWidgetItem *addIDNode(int idCanId, int deviceId, qint32 keyNumber, const QString &name, bool enable);
    void addIDImage(const QString &key);
    void clearTree();
    void setBox(QTreeWidgetItem *node, bool ticked);
    // Writes the box the node now shows; `stored` is what the file held before,
    // shown again when the write fails.
    bool nodeCheck(QTreeWidgetItem *node, bool stored);
    // The root's box written to every device in one transaction; *changed
    // tells whether a device was written.
    bool writeRootBox(bool *changed);
    void setTag(QTreeWidgetItem *node, int tag);
    void setImage(QTreeWidgetItem *node, const QString &image);
    void forgetKeys(QTreeWidgetItem *node);
    void selectNode(QTreeWidgetItem *node);
    void popupMenu(QMenu *menu, QAction *defaultItem);
    bool syncIDRow(const QString &key, const QString &suffix, bool ticked);
    void resetIDRows();
    [[nodiscard]] bool captureRunning() const;

    void mnuCAN_New_Click();
    void mnuCAN_DB_Edit_Click();
    void mnuCAN_DB_Delete_Click();
    void mnuCAN_Devices_New_Click();
    void mnuCAN_Devices_Edit_Click();
    void mnuCAN_Devices_Delete_Click();
    void mnuCAN_IDs_New_Click();
    void mnuCAN_IDs_Edit_Click();
    void mnuCAN_IDs_Delete_Click();
    // Runs a data base dialog; reloads when it made another data base current
    // or changed this one's default device.
    void runDbDialog(const std::function<void()> &show);

    AppContext &context;
    frmMain &main;
    MonitorRows *monitor = nullptr;
    std::function<bool(const QString &, bool *)> monitorRowReader;

    QHash<QString, QTreeWidgetItem *> nodes;
    QHash<QString, QIcon> ImageListTV;
    QList<int> dbIds;
    bool listLoading = false;
    bool canDbChanged = false;
    QString currentKey;
    int programSelection = 0;
    QMenu *popup = nullptr;
    QObject *treeViewport = nullptr;
    double canSpeed = 0;
    double canTimer = 0;
};
