#pragma once

#include "candb/candbmodel.h"
#include "core/appcontext.h"

#include <QHash>
#include <QIcon>
#include <QObject>

#include <functional>

class QAction;
class QComboBox;
class QMenu;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

// The controls the data base panel works on (all of them must be given): the
// list of CAN data bases, the property button, the tree, and the "CAN" menu
// tree that doubles as the tree's pop-up menus. The panel switches the items'
// enabled states.
struct CanDbPanel
{
    QComboBox *cmbDB_Name = nullptr;
    QPushButton *cmdDB_Property = nullptr;
    QTreeWidget *tvDB_IDs = nullptr;

    QMenu *mnuCAN = nullptr;
    QAction *mnuCAN_New = nullptr;
    QAction *mnuCAN_Import = nullptr;
    QMenu *mnuCAN_DB = nullptr;
    QAction *mnuCAN_DB_New = nullptr;
    QAction *mnuCAN_DB_Edit = nullptr;
    QAction *mnuCAN_DB_Delete = nullptr;
    QAction *mnuCAN_DB_Export = nullptr;
    QAction *mnuCAN_DB_Expand = nullptr;
    QAction *mnuCAN_DB_Collapse = nullptr;
    QMenu *mnuCAN_Devices = nullptr;
    QAction *mnuCAN_Devices_New = nullptr;
    QAction *mnuCAN_Devices_Edit = nullptr;
    QAction *mnuCAN_Devices_Delete = nullptr;
    QAction *mnuCAN_Devices_Expand = nullptr;
    QAction *mnuCAN_Devices_Collapse = nullptr;
    QMenu *mnuCAN_IDs = nullptr;
    QAction *mnuCAN_IDs_New = nullptr;
    QAction *mnuCAN_IDs_Edit = nullptr;
    QAction *mnuCAN_IDs_Delete = nullptr;
};

// The data base panel of the main window, a view of the CAN database model:
// cmbDB_Name lists the data bases, cmdDB_Property edits the one in use ("?")
// or creates one ("+"), tvDB_IDs shows its devices and identifiers.
//
// Tree nodes: root "CAN", devices "DEV_<id>" and identifiers "ID_<8 hex
// digits>", sorted by text among their siblings; their boxes show the model's.
// Ticks, clicks, keys, drops and the CAN menu commands go to the model or to
// the editors, which change the model; the tree follows its signals.
class DbTree final : public QObject
{
    Q_OBJECT
public:
    // Takes over the panel's controls; dialogs open over the tree's window.
    DbTree(AppContext &context, const CanDbPanel &panel, QObject *parent = nullptr);

    [[nodiscard]] CanDbModel &model() { return dbModel; }
    // The identifier monitor list the data base keeps in step (may be null).
    void setMonitorRows(MonitorRows *rows) { dbModel.setMonitorRows(rows); }
    void setCaptureRunning(bool running) { dbModel.setCaptureRunning(running); }

    // Reloads the list and/or the tree of the data base "id_CAN" (CanDbModel::load).
    void loadCanDb(bool reloadList, bool reloadTree) { dbModel.load(reloadList, reloadTree); }
    // CanDbModel::rebuildID.
    bool rebuildID() { return dbModel.rebuildID(); }

    // Bus speed (bit/s) and time-stamp timer (ticks/s) of the data base in use.
    [[nodiscard]] double currentCanSpeed() const { return dbModel.canSpeed(); }
    [[nodiscard]] double currentCanTimer() const { return dbModel.canTimer(); }

    // The node with `key`, or null.
    [[nodiscard]] QTreeWidgetItem *node(const QString &key) const { return nodes.value(key); }
    // The image key of a node ("CAN", "Device", "DeviceDef" or its own key).
    [[nodiscard]] QString nodeImage(const QString &key) const;
    // Key of the node last clicked; "" after a mouse-down elsewhere.
    [[nodiscard]] QString currentNodeKey() const { return currentKey; }
    // The menu the last right-click popped up (for tests).
    [[nodiscard]] QMenu *lastPopup() const { return popup; }
    void setNodeExpanded(const QString &key, bool expand);

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
    // "CAN DB : <name>" is shown while a data base is in use (frmMain::setCanDbMenu).
    void canDbMenuChanged(bool current, const QString &name);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void connectModel();
    void connectMenus();
    void fillList();
    void buildTree();
    QTreeWidgetItem *addNode(QTreeWidgetItem *parent, const QString &key, const QString &text, const QString &image,
                             bool ticked);
    void addDeviceNode(int deviceId);
    void addIdentifierNode(const QString &key);
    void clearTree();
    void removeNode(const QString &key);
    void showBox(const QString &key, bool ticked);
    void setImage(QTreeWidgetItem *node, const QString &image);
    [[nodiscard]] QString deviceImage(int deviceId) const;
    void nodeTicked(QTreeWidgetItem *node);
    void selectNode(QTreeWidgetItem *node);
    void popupMenu(QMenu *menu, QAction *defaultItem);

    void mnuCAN_New_Click();
    // A DBC file becomes a new data base, the one in use; a report follows.
    void mnuCAN_Import_Click();
    // The data base in use written as a DBC file.
    void mnuCAN_DB_Export_Click();
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
    [[nodiscard]] QWidget *dialogParent() const;
    [[nodiscard]] QString currentItemKey() const;

    AppContext &context;
    CanDbPanel panel;
    CanDbModel dbModel;

    QHash<QString, QTreeWidgetItem *> nodes;
    QHash<QString, QIcon> ImageListTV;
    bool listLoading = false;
    QString currentKey;
    int programSelection = 0;
    QMenu *popup = nullptr;
    QObject *treeViewport = nullptr;
};
