#include "candb/ui/dbtree.h"

#include "candb/deleteops.h"
#include "candb/ideditor.h"
#include "core/queries.h"
#include "candb/ui/frmcan_db.h"
#include "candb/ui/frmcan_db_new.h"
#include "candb/ui/frmdevice.h"
#include "candb/ui/frmtv_id.h"
#include "views/qcolour.h"
#include "core/values.h"
#include "core/database.h"
#include "core/params.h"
#include "core/prompts.h"
#include "widgets/drawnicon.h"
#include "views/ui/frmmain.h"

#include <QAction>
#include <QComboBox>
#include <QCursor>
#include <QDropEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTimer>
#include <QTreeWidget>

const QString DbTree::idKeyMimeType = QStringLiteral("application/x-tessel-idkey");

namespace {

constexpr int keyRole = Qt::UserRole;
constexpr int tagRole = Qt::UserRole + 1;
constexpr int imageRole = Qt::UserRole + 2;
constexpr int boxRole = Qt::UserRole + 3; // the box as the program last saw it

const QString rootKey = QStringLiteral("CAN");
const QString updateError = QStringLiteral("Error of updating CAN Data Base.");
const QString addTitle = QStringLiteral("Adding ID to CAN Data Base...");

QString keyOf(const QTreeWidgetItem *node)
{
    return node ? node->data(0, keyRole).toString() : QString();
}

bool isTicked(const QTreeWidgetItem *node)
{
    return node && node->checkState(0) == Qt::Checked;
}

// A value read from the file, or `fallback` when it is null.
QVariant orDefault(const QVariant &value, const QVariant &fallback)
{
    return value.isNull() ? fallback : value;
}

// An identifier key number as the file may hold it: a whole number naming a
// standard (11-bit) or extended (bit 29 + 29 bits) identifier. Anything else
// (text, fractions, negatives, the lost-frame marker, stray high bits) is not
// an identifier the tree can show.
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

// ---- Pictures of the tree, drawn on a 16 x 16 grid -------------------------

// A data base: a cylinder.
void drawCan(QPainter &p)
{
    const QColor body(0x4a, 0x7a, 0xb5);
    p.setPen(QPen(QColor(0x22, 0x3d, 0x66), 1));
    p.setBrush(body);
    QPainterPath side;
    side.moveTo(2.5, 4);
    side.lineTo(2.5, 12.5);
    side.arcTo(QRectF(2.5, 10.5, 11, 4), 180, 180);
    side.lineTo(13.5, 4);
    side.closeSubpath();
    p.drawPath(side);
    p.setBrush(QColor(0xa9, 0xc8, 0xef));
    p.drawEllipse(QRectF(2.5, 2, 11, 4));
    p.setPen(QPen(QColor(0xd8, 0xe6, 0xf7), 0.9));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(2.5, 6, 11, 4), 180 * 16, 180 * 16);
}

// A device: a chip with pins.
void drawChip(QPainter &p, const QColor &body)
{
    p.setPen(QPen(QColor(0x55, 0x55, 0x55), 1));
    for (const qreal y : {4.5, 8.0, 11.5}) {
        p.drawLine(QPointF(1, y), QPointF(3.5, y));
        p.drawLine(QPointF(12.5, y), QPointF(15, y));
    }
    p.setPen(QPen(QColor(0x20, 0x20, 0x20), 1));
    p.setBrush(body);
    p.drawRoundedRect(QRectF(3.5, 2.5, 9, 11), 1.2, 1.2);
    p.setBrush(QColor(0xee, 0xee, 0xee));
    p.setPen(Qt::NoPen);
    p.drawEllipse(QPointF(5.6, 4.6), 0.9, 0.9);
}

void drawDevice(QPainter &p)
{
    drawChip(p, QColor(0x60, 0x60, 0x60));
}

// The default device, which receives identifiers added without a choice:
// the chip with an arrow going in.
void drawDeviceDef(QPainter &p)
{
    drawChip(p, QColor(0x2e, 0x7d, 0x32));
    QPainterPath arrow;
    arrow.moveTo(8, 11.5);
    arrow.lineTo(5.5, 8);
    arrow.lineTo(7, 8);
    arrow.lineTo(7, 5);
    arrow.lineTo(9, 5);
    arrow.lineTo(9, 8);
    arrow.lineTo(10.5, 8);
    arrow.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0xff, 0xee, 0x58));
    p.drawPath(arrow);
}

// A swatch of the identifier colour.
QIcon swatch(quint32 colour)
{
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setPen(QColor(0x40, 0x40, 0x40));
    painter.setBrush(toQColor(colour));
    painter.drawRect(QRect(1, 2, 13, 12));
    painter.end();
    return QIcon(pixmap);
}

} // namespace

DbTree::DbTree(AppContext &context, frmMain &main)
    : QObject(&main)
    , context(context)
    , main(main)
{
    setObjectName(QStringLiteral("dbTree"));
    ImageListTV.insert(QStringLiteral("CAN"), drawnIcon(drawCan, {16, 24, 32}));
    ImageListTV.insert(QStringLiteral("Device"), drawnIcon(drawDevice, {16, 24, 32}));
    ImageListTV.insert(QStringLiteral("DeviceDef"), drawnIcon(drawDeviceDef, {16, 24, 32}));

    QTreeWidget *tree = main.tvDB_IDs;
    tree->setColumnCount(1);
    tree->setSortingEnabled(true);
    tree->sortByColumn(0, Qt::AscendingOrder);
    tree->setSelectionMode(QAbstractItemView::SingleSelection);
    tree->setAcceptDrops(true);
    tree->viewport()->setAcceptDrops(true);
    tree->setDropIndicatorShown(false);
    treeViewport = tree->viewport();
    tree->installEventFilter(this);
    treeViewport->installEventFilter(this);

    connect(tree, &QTreeWidget::itemChanged, this, [this](QTreeWidgetItem *item, int) { tvDB_IDs_NodeCheck(item); });
    connect(tree, &QTreeWidget::itemExpanded, this,
            [this](QTreeWidgetItem *item) { setNodeExpanded(keyOf(item), true); });
    connect(tree, &QTreeWidget::itemCollapsed, this,
            [this](QTreeWidgetItem *item) { setNodeExpanded(keyOf(item), false); });
    // Moving through the tree with the keyboard picks nodes as a click does.
    connect(tree, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem *current) {
        if (current && programSelection == 0) {
            tvDB_IDs_MouseDown();
            tvDB_IDs_NodeClick(current);
        }
    });

    connect(main.cmbDB_Name, &QComboBox::activated, this, [this] { cmbDB_Name_Click(); });
    connect(main.cmdDB_Property, &QPushButton::clicked, this, [this] { cmdDB_Property_Click(); });
    connectMenus();
}

void DbTree::connectMenus()
{
    connect(main.mnuCAN_New, &QAction::triggered, this, [this] { mnuCAN_New_Click(); });
    connect(main.mnuCAN_DB_New, &QAction::triggered, this, [this] { mnuCAN_New_Click(); });
    connect(main.mnuCAN_DB_Edit, &QAction::triggered, this, [this] { mnuCAN_DB_Edit_Click(); });
    connect(main.mnuCAN_DB_Delete, &QAction::triggered, this, [this] { mnuCAN_DB_Delete_Click(); });
    connect(main.mnuCAN_DB_Expand, &QAction::triggered, this, [this] { setNodeExpanded(rootKey, true); });
    connect(main.mnuCAN_DB_Collapse, &QAction::triggered, this, [this] { setNodeExpanded(rootKey, false); });
    connect(main.mnuCAN_Devices_New, &QAction::triggered, this, [this] { mnuCAN_Devices_New_Click(); });
    connect(main.mnuCAN_Devices_Edit, &QAction::triggered, this, [this] { mnuCAN_Devices_Edit_Click(); });
    connect(main.mnuCAN_Devices_Delete, &QAction::triggered, this, [this] { mnuCAN_Devices_Delete_Click(); });
    connect(main.mnuCAN_Devices_Expand, &QAction::triggered, this, [this] { setNodeExpanded(currentKey, true); });
    connect(main.mnuCAN_Devices_Collapse, &QAction::triggered, this, [this] { setNodeExpanded(currentKey, false); });
    connect(main.mnuCAN_IDs_New, &QAction::triggered, this, [this] { mnuCAN_IDs_New_Click(); });
    connect(main.mnuCAN_IDs_Edit, &QAction::triggered, this, [this] { mnuCAN_IDs_Edit_Click(); });
    connect(main.mnuCAN_IDs_Delete, &QAction::triggered, this, [this] { mnuCAN_IDs_Delete_Click(); });
}

// ---- Loading -----------------------------------------------------------------

void DbTree::loadCMB(int id)
{
    listLoading = true;
    QComboBox *list = main.cmbDB_Name;
    list->clear();
    ComboList items;
    items.items << QString();
    items.ids << 0;
    loadCombo(*context.db, sql::selectCanList, {}, items, 1, id);
    list->addItems(items.items);
    dbIds = items.ids;
    list->setCurrentIndex(items.selected >= 0 ? items.selected : 0);
    listLoading = false;
}

void DbTree::loadCanDb(bool reloadList, bool reloadTree)
{
    ParamStore &params = *context.params;
    Database &db = *context.db;
    const int id = params.getInt(QStringLiteral("id_CAN"), 0);
    if (reloadList) {
        loadCMB(id);
        clearTree();
    }
    if (reloadTree) {
        clearTree();
        resetIDRows();
    }
    if (id != 0) {
        const QVariant defSpeed = params.getParam(QStringLiteral("def_CAN_Speed"), QStringLiteral("2"));
        params.setParam(QStringLiteral("id_CAN_Speed"),
                        displayText(orDefault(queryValue(db, sql::selectCanSpeedId, {id}, defSpeed), defSpeed)));
        const QVariant defTimer = params.getParam(QStringLiteral("def_CAN_Timer"), QStringLiteral("0"));
        params.setParam(QStringLiteral("id_CAN_Timer"),
                        displayText(orDefault(queryValue(db, sql::selectCanTimerId, {id}, defTimer), defTimer)));
        main.setCanDbMenu(true, dbName());
        main.cmdDB_Property->setText(QStringLiteral("?"));
        if (reloadTree) {
            const int defaultDevice = orDefault(queryValue(db, sql::selectCanDeviceId, {id}, 0), 0).toInt();
            params.setParam(QStringLiteral("id_CAN_Device"), defaultDevice);
            addNode(nullptr, rootKey, dbName(), QStringLiteral("CAN"));
            setNodeExpanded(rootKey, true);
            if (auto devices = db.openRecordset(QString::fromLatin1(sql::selectDevices), {id})) {
                while (devices->next()) {
                    const int deviceId = devices->value(QStringLiteral("id_CAN_Device")).toInt();
                    const QString key = deviceKey(deviceId);
                    if (nodes.contains(key))
                        continue;
                    QTreeWidgetItem *device =
                        addNode(nodes.value(rootKey), key, devices->value(QStringLiteral("Name")).toString(),
                                deviceId == defaultDevice ? QStringLiteral("DeviceDef") : QStringLiteral("Device"));
                    setTag(device, deviceId);
                    {
                        const QSignalBlocker block(main.tvDB_IDs);
                        device->setExpanded(true);
                    }
                    auto ids = db.openRecordset(QString::fromLatin1(sql::selectIds), {deviceId});
                    while (ids && ids->next()) {
                        qint32 keyNumber = 0;
                        if (!readKeyNumber(ids->value(QStringLiteral("ID")), &keyNumber))
                            continue;
                        addIDNode(ids->value(QStringLiteral("id_CAN_ID")).toInt(), deviceId, keyNumber,
                                  ids->value(QStringLiteral("Name")).toString(),
                                  ids->value(QStringLiteral("Enable")).toInt() != 0);
                    }
                }
            }
        }
        rebuildID();
    } else {
        params.setParam(QStringLiteral("id_CAN_Speed"),
                        params.getParam(QStringLiteral("def_CAN_Speed"), QStringLiteral("2")));
        params.setParam(QStringLiteral("id_CAN_Timer"),
                        params.getParam(QStringLiteral("def_CAN_Timer"), QStringLiteral("0")));
        main.setCanDbMenu(false);
        main.cmdDB_Property->setText(QStringLiteral("+"));
    }
    const double speed =
        queryValue(db, sql::selectSpeed, {params.getInt(QStringLiteral("id_CAN_Speed"), 0)}, 0).toDouble();
    const double timer =
        queryValue(db, sql::selectTimer, {params.getInt(QStringLiteral("id_CAN_Timer"), 0)}, 0).toDouble();
    if (speed != canSpeed || timer != canTimer) {
        canSpeed = speed;
        canTimer = timer;
        emit canTimingChanged(canSpeed, canTimer);
    }
    emit rebuildViews();
}

void DbTree::clearTree()
{
    const QSignalBlocker block(main.tvDB_IDs);
    main.tvDB_IDs->clear();
    nodes.clear();
    currentKey.clear();
}

QTreeWidgetItem *DbTree::addNode(QTreeWidgetItem *parent, const QString &key, const QString &text, const QString &image)
{
    const QSignalBlocker block(main.tvDB_IDs);
    auto *node = new QTreeWidgetItem;
    node->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
    node->setData(0, keyRole, key);
    node->setText(0, text);
    setBox(node, false);
    setImage(node, image);
    if (parent)
        parent->addChild(node);
    else
        main.tvDB_IDs->addTopLevelItem(node);
    nodes.insert(key, node);
    return node;
}

QTreeWidgetItem *DbTree::addIDNode(int idCanId, int deviceId, qint32 keyNumber, const QString &name, bool enable)
{
    const QString key = idKey(keyNumber);
    QTreeWidgetItem *device = nodes.value(deviceKey(deviceId));
    // One node per identifier: a second row with the same ID is not shown.
    if (!device || nodes.contains(key))
        return nullptr;
    addIDImage(key);
    QTreeWidgetItem *node = addNode(device, key, idNodeText(keyNumber, name), key);
    setBox(node, enable);
    setTag(node, idCanId);
    return node;
}

void DbTree::addIDImage(const QString &key)
{
    tvAddImage(key, swatch(idColour(key)));
}

bool DbTree::tvAddImage(const QString &key, const QIcon &picture)
{
    if (ImageListTV.contains(key))
        return false;
    ImageListTV.insert(key, picture);
    return true;
}

void DbTree::setImage(QTreeWidgetItem *node, const QString &image)
{
    const QSignalBlocker block(main.tvDB_IDs);
    node->setData(0, imageRole, image);
    node->setIcon(0, ImageListTV.value(image));
}

void DbTree::setBox(QTreeWidgetItem *node, bool ticked)
{
    const QSignalBlocker block(main.tvDB_IDs);
    node->setCheckState(0, ticked ? Qt::Checked : Qt::Unchecked);
    node->setData(0, boxRole, ticked);
}

void DbTree::setTag(QTreeWidgetItem *node, int tag)
{
    const QSignalBlocker block(main.tvDB_IDs);
    node->setData(0, tagRole, tag);
}

// ---- Check boxes -----------------------------------------------------------------

bool DbTree::rebuildID()
{
    QTreeWidgetItem *root = nodes.value(rootKey);
    if (!root)
        return false;
    bool changed = false;
    bool all = true;
    for (int d = 0; d < root->childCount(); ++d) {
        QTreeWidgetItem *device = root->child(d);
        bool state = isTicked(device);
        if (device->childCount() > 0) {
            state = true;
            for (int i = 0; i < device->childCount(); ++i) {
                QTreeWidgetItem *identifier = device->child(i);
                state = state && isTicked(identifier);
                changed = syncIDRow(keyOf(identifier), QString(), isTicked(identifier)) || changed;
            }
            setBox(device, state);
        }
        all = all && state;
    }
    setBox(root, all);
    return changed;
}

bool DbTree::deviceNodeCheck(QTreeWidgetItem *device)
{
    const bool ticked = isTicked(device);
    if (!context.db->execute(QString::fromLatin1(sql::updateIdEnableOfDevice),
                             {ticked ? 1 : 0, device->data(0, tagRole).toInt()})) {
        context.prompts->error(updateError);
        return false;
    }
    for (int i = 0; i < device->childCount(); ++i)
        if (isTicked(device->child(i)) != ticked)
            setBox(device->child(i), ticked);
    return true;
}

bool DbTree::ID_NodeCheck(QTreeWidgetItem *identifier)
{
    if (!context.db->execute(QString::fromLatin1(sql::updateIdEnable),
                             {isTicked(identifier) ? 1 : 0, identifier->data(0, tagRole).toInt()})) {
        context.prompts->error(updateError);
        return false;
    }
    return true;
}

bool DbTree::writeRootBox(bool *changed)
{
    QTreeWidgetItem *root = nodes.value(rootKey);
    if (!root)
        return false;
    const bool ticked = isTicked(root);
    // Every device or none: a failed write leaves the whole file as it was.
    Database::Transaction transaction(*context.db);
    bool written = transaction.isActive();
    bool reported = false;
    for (int d = 0; written && d < root->childCount(); ++d) {
        QTreeWidgetItem *device = root->child(d);
        if (isTicked(device) != ticked)
            setBox(device, ticked);
        // Every device is written, also one already ticked, so the file
        // follows the root even where it disagreed with the tree.
        written = deviceNodeCheck(device);
        reported = !written;
        *changed = *changed || written;
    }
    if (written && transaction.commit())
        return true;
    if (!reported)
        context.prompts->error(updateError);
    return false;
}

bool DbTree::CAN_NodeCheck()
{
    bool changed = false;
    return writeRootBox(&changed) && changed && !captureRunning();
}

void DbTree::tvDB_IDs_NodeCheck(QTreeWidgetItem *node)
{
    // The view reports every change of a node; only a toggled box counts.
    const bool stored = node->data(0, boxRole).toBool();
    if (isTicked(node) == stored)
        return;
    setBox(node, isTicked(node));
    nodeCheck(node, stored);
}

bool DbTree::nodeCheck(QTreeWidgetItem *node, bool stored)
{
    const QString key = keyOf(node);
    bool written = false;
    bool rebuild = true;
    if (key.startsWith(QLatin1String("DEV")) || key.startsWith(QLatin1String("ID_"))) {
        written = key.startsWith(QLatin1String("DEV")) ? deviceNodeCheck(node) : ID_NodeCheck(node);
        if (!written)
            setBox(node, stored);
    } else {
        QList<QPair<QTreeWidgetItem *, bool>> before;
        for (QTreeWidgetItem *each : std::as_const(nodes))
            before.append({each, isTicked(each)});
        bool changed = false;
        written = writeRootBox(&changed);
        if (!written) {
            for (const auto &[each, ticked] : std::as_const(before))
                setBox(each, ticked);
            setBox(node, stored);
        }
        rebuild = changed && !captureRunning();
    }
    // A failed write leaves every box showing what the file holds.
    if (written && rebuild && rebuildID())
        emit rebuildViews();
    return written;
}

bool DbTree::checkNode(const QString &key, bool ticked)
{
    QTreeWidgetItem *target = nodes.value(key);
    if (!target)
        return false;
    const bool stored = isTicked(target);
    setBox(target, ticked);
    return nodeCheck(target, stored);
}

bool DbTree::syncIDRow(const QString &key, const QString &suffix, bool ticked)
{
    return monitor ? monitor->syncIDRow(key, suffix, ticked) : false;
}

void DbTree::resetIDRows()
{
    if (monitor)
        monitor->resetIDRows();
}

bool DbTree::captureRunning() const
{
    return main.mnuRunCANCapture->isChecked();
}

// ---- Adding a captured identifier ---------------------------------------------------

int DbTree::tvAddCAN_ID(int deviceId, qint32 keyNumber, const QString &name, bool enable,
                        const std::function<bool(int idCanId)> &alsoStore)
{
    Prompts &prompts = *context.prompts;
    if (keyNumber < 0 || (keyNumber & lostFrameKeyBit)) {
        prompts.error(QStringLiteral("Lost IDs is not adding to CAN Data Base."), addTitle);
        return -1;
    }
    if (context.params->getInt(QStringLiteral("id_CAN"), 0) == 0) {
        prompts.error(QStringLiteral("Error. CAN Data Base must be created, before..."), addTitle);
        return -1;
    }
    const QString key = idKey(keyNumber);
    if (QTreeWidgetItem *present = nodes.value(key)) {
        selectNode(present);
        prompts.error(QStringLiteral("This ID (") + formatID(keyNumber) +
                          QStringLiteral(") is present in CAN Data Base."),
                      addTitle);
        return -1;
    }
    const QString failed =
        QStringLiteral("Error addition ID=\"") + formatID(keyNumber) + QStringLiteral("\" to CAN Data Base.");
    // The device must be one of the tree's, and the number an identifier's,
    // or the row would be stored where no node can show it.
    if (!isIdentifierNumber(keyNumber) || !nodes.contains(deviceKey(deviceId)) ||
        !context.db->openRecordset(QString::fromLatin1(sql::selectIdOfDevice), {deviceId, keyNumber})) {
        prompts.error(failed, addTitle);
        return -1;
    }
    Database::Transaction transaction(*context.db);
    const int id = transaction.isActive() ? nextId(*context.db, *context.params, sql::idCounter) : -1;
    if (!transaction.isActive() ||
        !context.db->execute(QString::fromLatin1(sql::insertId), {id, deviceId, keyNumber, name, enable ? 1 : 0}) ||
        (alsoStore && !alsoStore(id)) || !transaction.commit()) {
        prompts.error(failed, addTitle);
        return -1;
    }
    QTreeWidgetItem *added = addIDNode(id, deviceId, keyNumber, name, enable);
    selectNode(added);
    setBox(added, enable);
    nodeCheck(added, enable);
    return id;
}

void DbTree::selectNode(QTreeWidgetItem *target)
{
    if (!target)
        return;
    ++programSelection; // a selection by the program is no click
    for (QTreeWidgetItem *up = target->parent(); up; up = up->parent())
        up->setExpanded(true);
    main.tvDB_IDs->setCurrentItem(target);
    main.tvDB_IDs->scrollToItem(target);
    --programSelection;
}

// ---- Expanding and collapsing -------------------------------------------------------

void DbTree::setNodeExpanded(const QString &key, bool expand)
{
    QTreeWidgetItem *target = nodes.value(key);
    auto apply = [&](QAction *expandItem, QAction *collapseItem) {
        if (target && target->isExpanded() != expand) {
            const QSignalBlocker block(main.tvDB_IDs);
            target->setExpanded(expand);
        }
        expandItem->setEnabled(!expand);
        collapseItem->setEnabled(expand);
    };
    if (key.startsWith(QLatin1String("CAN"))) {
        apply(main.mnuCAN_DB_Expand, main.mnuCAN_DB_Collapse);
        if (!expand) {
            main.mnuCAN_Devices_Expand->setEnabled(false);
            main.mnuCAN_Devices_Collapse->setEnabled(false);
        }
    } else if (key.startsWith(QLatin1String("DEV"))) {
        apply(main.mnuCAN_Devices_Expand, main.mnuCAN_Devices_Collapse);
    } else if (!key.startsWith(QLatin1String("ID_"))) {
        main.mnuCAN_Devices_Expand->setEnabled(false);
        main.mnuCAN_Devices_Collapse->setEnabled(false);
    }
}

// ---- Mouse, keys and drops ------------------------------------------------------------

void DbTree::tvDB_IDs_MouseDown()
{
    currentKey.clear();
    main.mnuCAN_Devices_Edit->setVisible(true);
    main.mnuCAN_Devices_Edit->setEnabled(false);
    main.mnuCAN_Devices_Delete->setEnabled(false);
    main.mnuCAN_IDs_Edit->setVisible(true);
    main.mnuCAN_IDs_Edit->setEnabled(false);
    main.mnuCAN_IDs_Delete->setEnabled(false);
}

void DbTree::tvDB_IDs_NodeClick(QTreeWidgetItem *clicked)
{
    currentKey = keyOf(clicked);
    setNodeExpanded(currentKey, clicked->isExpanded());
    if (currentKey.startsWith(QLatin1String("DEV"))) {
        main.mnuCAN_Devices_Edit->setEnabled(true);
        // The default device cannot be deleted.
        main.mnuCAN_Devices_Delete->setEnabled(clicked->data(0, imageRole).toString() != QLatin1String("DeviceDef"));
    } else if (currentKey.startsWith(QLatin1String("ID_"))) {
        main.mnuCAN_IDs_Edit->setEnabled(true);
        main.mnuCAN_IDs_Delete->setEnabled(true);
    }
}

void DbTree::tvDB_IDs_MouseUp(Qt::MouseButton button)
{
    if (button != Qt::RightButton)
        return;
    const QString level = currentKey.left(3);
    if (level == QLatin1String("CAN"))
        popupMenu(main.mnuCAN_DB, main.mnuCAN_DB_Edit);
    else if (level == QLatin1String("DEV"))
        popupMenu(main.mnuCAN_Devices, nullptr);
    else if (level == QLatin1String("ID_"))
        popupMenu(main.mnuCAN_IDs, main.mnuCAN_IDs_Edit);
    else
        popupMenu(main.mnuCAN, nullptr);
}

void DbTree::popupMenu(QMenu *menu, QAction *defaultItem)
{
    // The bold item belongs to the pop-up only, not to the same menu in the menu bar.
    menu->setDefaultAction(defaultItem);
    connect(
        menu, &QMenu::aboutToHide, menu, [menu] { menu->setDefaultAction(nullptr); }, Qt::SingleShotConnection);
    popup = menu;
    menu->popup(QCursor::pos());
}

void DbTree::tvDB_IDs_DblClick()
{
    if (currentKey.startsWith(QLatin1String("ID_")))
        mnuCAN_IDs_Edit_Click();
}

void DbTree::tvDB_IDs_KeyDown(int key)
{
    const QString level = currentKey.left(3);
    QAction *item = nullptr;
    if (key == Qt::Key_Delete) {
        if (level == QLatin1String("CAN"))
            item = main.mnuCAN_DB_Delete;
        else if (level == QLatin1String("DEV"))
            item = main.mnuCAN_Devices_Delete;
        else if (level == QLatin1String("ID_"))
            item = main.mnuCAN_IDs_Delete;
    } else if (key == Qt::Key_Insert) {
        if (level == QLatin1String("CAN"))
            item = main.mnuCAN_DB_New;
        else if (level == QLatin1String("DEV"))
            item = main.mnuCAN_Devices_New;
        else if (level == QLatin1String("ID_"))
            item = main.mnuCAN_IDs_New;
    }
    if (item && item->isEnabled())
        item->trigger();
}

void DbTree::tvDB_IDs_DragDrop(const QString &key)
{
    if (key.startsWith(QLatin1String("ID_")))
        addID(true, key);
}

bool DbTree::eventFilter(QObject *watched, QEvent *event)
{
    // Compared by address only: the tree may be on its way out when the window closes.
    QTreeWidget *tree = main.tvDB_IDs;
    if (watched == treeViewport) {
        switch (event->type()) {
        case QEvent::MouseButtonPress: {
            auto *mouse = static_cast<QMouseEvent *>(event);
            tvDB_IDs_MouseDown();
            // The view then makes the node current, which repeats the same click.
            if (QTreeWidgetItem *item = tree->itemAt(mouse->position().toPoint())) {
                tvDB_IDs_NodeClick(item);
                if (mouse->button() == Qt::RightButton)
                    tree->setCurrentItem(item);
            }
            break;
        }
        case QEvent::MouseButtonRelease:
            tvDB_IDs_MouseUp(static_cast<QMouseEvent *>(event)->button());
            break;
        case QEvent::MouseButtonDblClick:
            if (static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton)
                tvDB_IDs_DblClick();
            break;
        case QEvent::DragEnter:
        case QEvent::DragMove: {
            auto *drag = static_cast<QDropEvent *>(event);
            if (drag->mimeData()->hasFormat(idKeyMimeType))
                drag->acceptProposedAction();
            else
                drag->ignore();
            return true;
        }
        case QEvent::Drop: {
            auto *drop = static_cast<QDropEvent *>(event);
            if (!drop->mimeData()->hasFormat(idKeyMimeType))
                return true;
            const QString key = QString::fromUtf8(drop->mimeData()->data(idKeyMimeType)).trimmed();
            drop->acceptProposedAction();
            // The editor is modal: open it once the drag has finished.
            QTimer::singleShot(0, this, [this, key] { tvDB_IDs_DragDrop(key); });
            return true;
        }
        default:
            break;
        }
    } else if (watched == tree && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Delete || key == Qt::Key_Insert) {
            tvDB_IDs_KeyDown(key);
            return true;
        }
    }
    return QObject::eventFilter(watched, event);
}

// ---- The list of data bases and the property button -----------------------------------

void DbTree::cmbDB_Name_Click()
{
    if (listLoading)
        return;
    const int id = dbIds.value(main.cmbDB_Name->currentIndex(), 0);
    if (QString::number(id) == context.params->getParam(QStringLiteral("id_CAN"), QStringLiteral("0")))
        return;
    context.params->setParam(QStringLiteral("id_CAN"), id);
    loadCanDb(false, true);
    emit linkResetRequested();
}

void DbTree::cmdDB_Property_Click()
{
    if (main.cmdDB_Property->text() == QLatin1String("+"))
        mnuCAN_New_Click();
    else
        mnuCAN_DB_Edit_Click();
}

// ---- IdIndex and the tree's nodes -----------------------------------------------------

bool DbTree::getNodeChecked(const QString &key, bool *ticked) const
{
    const QTreeWidgetItem *found = nodes.value(key);
    if (!found)
        return false;
    if (ticked)
        *ticked = isTicked(found);
    return true;
}

bool DbTree::idLabels(const QString &key, QString *device, QString *description) const
{
    const QTreeWidgetItem *found = nodes.value(key);
    if (!found || !key.startsWith(QLatin1String("ID_")))
        return false;
    if (device)
        *device = found->parent() ? found->parent()->text(0) : QString();
    if (description)
        *description = idNodeName(found->text(0));
    return true;
}

QString DbTree::dbName() const
{
    return main.cmbDB_Name->currentText();
}

void DbTree::renameDb(const QString &name)
{
    if (QTreeWidgetItem *root = nodes.value(rootKey)) {
        const QSignalBlocker block(main.tvDB_IDs);
        root->setText(0, name);
    }
    const int index = main.cmbDB_Name->currentIndex();
    if (index > 0)
        main.cmbDB_Name->setItemText(index, name);
    main.setCanDbMenu(true, name);
}

QString DbTree::nodeText(const QString &key) const
{
    const QTreeWidgetItem *found = nodes.value(key);
    return found ? found->text(0) : QString();
}

void DbTree::setNodeText(const QString &key, const QString &text)
{
    if (QTreeWidgetItem *found = nodes.value(key)) {
        const QSignalBlocker block(main.tvDB_IDs);
        found->setText(0, text);
    }
}

int DbTree::nodeTag(const QString &key) const
{
    const QTreeWidgetItem *found = nodes.value(key);
    const QVariant tag = found ? found->data(0, tagRole) : QVariant();
    return tag.isValid() ? tag.toInt() : -1;
}

QString DbTree::nodeImage(const QString &key) const
{
    const QTreeWidgetItem *found = nodes.value(key);
    return found ? found->data(0, imageRole).toString() : QString();
}

bool DbTree::nodeChecked(const QString &key) const
{
    return isTicked(nodes.value(key));
}

QString DbTree::parentKey(const QString &key) const
{
    const QTreeWidgetItem *found = nodes.value(key);
    return found ? keyOf(found->parent()) : QString();
}

QStringList DbTree::childKeys(const QString &key) const
{
    QStringList keys;
    if (const QTreeWidgetItem *found = nodes.value(key))
        for (int i = 0; i < found->childCount(); ++i)
            keys << keyOf(found->child(i));
    return keys;
}

void DbTree::forgetKeys(QTreeWidgetItem *gone)
{
    for (int i = 0; i < gone->childCount(); ++i)
        forgetKeys(gone->child(i));
    nodes.remove(keyOf(gone));
}

void DbTree::removeNode(const QString &key)
{
    QTreeWidgetItem *found = nodes.value(key);
    if (!found)
        return;
    const QSignalBlocker block(main.tvDB_IDs);
    forgetKeys(found);
    if (!nodes.contains(currentKey))
        currentKey.clear();
    delete found;
}

void DbTree::setDeviceImage(int deviceId, bool isDefault)
{
    if (QTreeWidgetItem *device = nodes.value(deviceKey(deviceId)))
        setImage(device, isDefault ? QStringLiteral("DeviceDef") : QStringLiteral("Device"));
}

void DbTree::addDeviceNode(int deviceId, const QString &name, bool ticked)
{
    QTreeWidgetItem *root = nodes.value(rootKey);
    const QString key = deviceKey(deviceId);
    if (!root || nodes.contains(key))
        return;
    QTreeWidgetItem *device = addNode(root, key, name, QStringLiteral("Device"));
    setTag(device, deviceId);
    setBox(device, ticked);
    main.tvDB_IDs->scrollToItem(device);
}

void DbTree::moveIdNode(const QString &key, int deviceId)
{
    QTreeWidgetItem *moved = nodes.value(key);
    QTreeWidgetItem *device = nodes.value(deviceKey(deviceId));
    if (!moved || !device || moved->parent() == device)
        return;
    const QSignalBlocker block(main.tvDB_IDs);
    moved->parent()->removeChild(moved);
    device->addChild(moved);
}

bool DbTree::monitorRowChecked(const QString &key, bool *ticked) const
{
    return monitorRowReader ? monitorRowReader(key, ticked) : false;
}

// ---- Menu commands ------------------------------------------------------------------------

void DbTree::runDbDialog(const std::function<void()> &show)
{
    const QString before = context.params->getParam(QStringLiteral("id_CAN"), QStringLiteral("0"));
    canDbChanged = false;
    show();
    if (context.params->getParam(QStringLiteral("id_CAN"), QStringLiteral("0")) != before || canDbChanged)
        loadCanDb(true, true);
}

void DbTree::mnuCAN_New_Click()
{
    runDbDialog([this] {
        frmCAN_DB_New dialog(context, &main);
        dialog.exec();
    });
}

void DbTree::mnuCAN_DB_Edit_Click()
{
    runDbDialog([this] {
        frmCAN_DB dialog(context, *this, &main);
        dialog.exec();
    });
}

void DbTree::mnuCAN_DB_Delete_Click()
{
    if (deleteCanDb(context, dbName()))
        loadCanDb(true, true);
}

void DbTree::mnuCAN_Devices_New_Click()
{
    addDevice();
    rebuildID();
}

void DbTree::mnuCAN_Devices_Edit_Click()
{
    editDevice(currentKey);
}

void DbTree::mnuCAN_Devices_Delete_Click()
{
    currentKey = keyOf(main.tvDB_IDs->currentItem());
    if (currentKey.startsWith(QLatin1String("DEV")) && deleteDevice(context, *this, currentKey))
        emit rebuildViews();
}

void DbTree::mnuCAN_IDs_New_Click()
{
    newID(currentKey);
}

void DbTree::mnuCAN_IDs_Edit_Click()
{
    editID(currentKey);
}

void DbTree::mnuCAN_IDs_Delete_Click()
{
    currentKey = keyOf(main.tvDB_IDs->currentItem());
    if (currentKey.startsWith(QLatin1String("ID_")) && deleteID(context, *this, currentKey))
        emit rebuildViews();
}

// ---- Identifier and device editors ---------------------------------------------------------

bool DbTree::addID(bool show, const QString &key)
{
    if (!show) {
        IdEditor editor(context, *this);
        return editor.openAdd(key) && editor.silentAdd();
    }
    frmTV_ID dialog(context, *this, &main);
    return dialog.addID(key);
}

bool DbTree::editID(const QString &key)
{
    frmTV_ID dialog(context, *this, &main);
    const bool saved = dialog.editID(key);
    if (dialog.logic.viewsNeedRebuild)
        emit rebuildViews();
    return saved;
}

bool DbTree::newID(const QString &key)
{
    frmTV_ID dialog(context, *this, &main);
    return dialog.newID(key);
}

int DbTree::addDevice()
{
    frmDevice dialog(context, *this, &main);
    return dialog.addDevice();
}

bool DbTree::editDevice(const QString &key)
{
    frmDevice dialog(context, *this, &main);
    const bool saved = dialog.editDevice(key);
    // A device deleted from its editor takes its identifiers' rows along.
    if (!nodes.contains(key))
        emit rebuildViews();
    return saved;
}
