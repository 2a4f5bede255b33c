#pragma once

class QAction;
class QComboBox;
class QMenu;
class QPushButton;
class QTreeWidget;

// The controls the data base tree works on: its panel and the CAN menu (which
// doubles as the tree's pop-up menus), plus the capture item it reads. The
// main window holds them as members, and the tree still reaches them there.
struct DbTreeControls
{
    QComboBox *cmbDB_Name = nullptr;
    QPushButton *cmdDB_Property = nullptr;
    QTreeWidget *tvDB_IDs = nullptr;

    QMenu *mnuCAN = nullptr;
    QAction *mnuCAN_New = nullptr;
    QAction *mnuCAN_Bar1 = nullptr;
    QMenu *mnuCAN_DB = nullptr;
    QAction *mnuCAN_DB_New = nullptr;
    QAction *mnuCAN_DB_Edit = nullptr;
    QAction *mnuCAN_DB_Delete = nullptr;
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
    // Its check mark shows the capture window is open.
    QAction *mnuRunCANCapture = nullptr;
};
