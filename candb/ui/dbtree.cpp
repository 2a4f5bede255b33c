#include "candb/ui/dbtree.h"

#include "widgets/treeicons.h"
#include "core/values.h"

#include <QAction>
#include <QComboBox>
#include <QCursor>
#include <QDropEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTimer>
#include <QTreeWidget>

const QString DbTree::idKeyMimeType = QStringLiteral("application/x-tessel-idkey");

namespace {

constexpr int keyRole = Qt::UserRole;
constexpr int imageRole = Qt::UserRole + 1;

const QString rootKey = QStringLiteral("CAN");

QString keyOf(const QTreeWidgetItem *node)
{
    return node ? node->data(0, keyRole).toString() : QString();
}

} // namespace

DbTree::DbTree(AppContext &context, const CanDbPanel &panel, QObject *parent)
    : QObject(parent)
    , context(context)
    , panel(panel)
    , dbModel(context)
{
    setObjectName(QStringLiteral("dbTree"));
    ImageListTV.insert(QStringLiteral("CAN"), treeicons::dataBase());
    ImageListTV.insert(QStringLiteral("Device"), treeicons::device());
    ImageListTV.insert(QStringLiteral("DeviceDef"), treeicons::defaultDevice());

    QTreeWidget *tree = panel.tvDB_IDs;
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

    connect(tree, &QTreeWidget::itemChanged, this, [this](QTreeWidgetItem *item, int) { nodeTicked(item); });
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

    connect(panel.cmbDB_Name, &QComboBox::activated, this, [this] { cmbDB_Name_Click(); });
    connect(panel.cmdDB_Property, &QPushButton::clicked, this, [this] { cmdDB_Property_Click(); });
    connectMenus();
    connectModel();
}

void DbTree::connectModel()
{
    CanDbModel *model = &dbModel;
    connect(model, &CanDbModel::listReloaded, this, &DbTree::fillList);
    connect(model, &CanDbModel::reset, this, &DbTree::buildTree);
    connect(model, &CanDbModel::currentChanged, this, [this](bool current, const QString &name) {
        panel.cmdDB_Property->setText(current ? QStringLiteral("?") : QStringLiteral("+"));
        emit canDbMenuChanged(current, name);
    });
    connect(model, &CanDbModel::dataBaseRenamed, this, [this](const QString &name) {
        if (QTreeWidgetItem *root = nodes.value(rootKey)) {
            const QSignalBlocker block(panel.tvDB_IDs);
            root->setText(0, name);
        }
        const int index = panel.cmbDB_Name->currentIndex();
        if (index > 0)
            panel.cmbDB_Name->setItemText(index, name);
        emit canDbMenuChanged(true, name);
    });
    connect(model, &CanDbModel::boxChanged, this, &DbTree::showBox);
    connect(model, &CanDbModel::deviceAdded, this, [this](int deviceId) {
        addDeviceNode(deviceId);
        if (QTreeWidgetItem *device = nodes.value(deviceKey(deviceId)))
            panel.tvDB_IDs->scrollToItem(device);
    });
    connect(model, &CanDbModel::deviceChanged, this, [this](int deviceId) {
        QTreeWidgetItem *device = nodes.value(deviceKey(deviceId));
        if (device && dbModel.device(deviceId)) {
            const QSignalBlocker block(panel.tvDB_IDs);
            device->setText(0, dbModel.device(deviceId)->name);
            setImage(device, deviceImage(deviceId));
        }
    });
    connect(model, &CanDbModel::identifierAdded, this, &DbTree::addIdentifierNode);
    connect(model, &CanDbModel::identifierChanged, this, [this](const QString &key) {
        QTreeWidgetItem *moved = nodes.value(key);
        const CanIdentifier *identifier = dbModel.identifier(key);
        if (!moved || !identifier)
            return;
        const QSignalBlocker block(panel.tvDB_IDs);
        moved->setText(0, identifier->caption());
        QTreeWidgetItem *device = nodes.value(deviceKey(identifier->deviceId));
        if (device && moved->parent() != device) {
            moved->parent()->removeChild(moved);
            device->addChild(moved);
        }
    });
    connect(model, &CanDbModel::nodeRemoved, this, &DbTree::removeNode);
    connect(model, &CanDbModel::identifierShown, this, [this](const QString &key) { selectNode(nodes.value(key)); });
    connect(model, &CanDbModel::timingChanged, this, &DbTree::canTimingChanged);
    connect(model, &CanDbModel::rebuildViews, this, &DbTree::rebuildViews);
    connect(model, &CanDbModel::linkResetRequested, this, &DbTree::linkResetRequested);
}

void DbTree::connectMenus()
{
    const CanDbPanel &m = panel;
    connect(m.mnuCAN_New, &QAction::triggered, this, [this] { mnuCAN_New_Click(); });
    connect(m.mnuCAN_DB_New, &QAction::triggered, this, [this] { mnuCAN_New_Click(); });
    if (m.mnuCAN_Import)
        connect(m.mnuCAN_Import, &QAction::triggered, this, [this] { mnuCAN_Import_Click(); });
    if (m.mnuCAN_DB_Export)
        connect(m.mnuCAN_DB_Export, &QAction::triggered, this, [this] { mnuCAN_DB_Export_Click(); });
    connect(m.mnuCAN_DB_Edit, &QAction::triggered, this, [this] { mnuCAN_DB_Edit_Click(); });
    connect(m.mnuCAN_DB_Delete, &QAction::triggered, this, [this] { mnuCAN_DB_Delete_Click(); });
    connect(m.mnuCAN_DB_Expand, &QAction::triggered, this, [this] { setNodeExpanded(rootKey, true); });
    connect(m.mnuCAN_DB_Collapse, &QAction::triggered, this, [this] { setNodeExpanded(rootKey, false); });
    connect(m.mnuCAN_Devices_New, &QAction::triggered, this, [this] { mnuCAN_Devices_New_Click(); });
    connect(m.mnuCAN_Devices_Edit, &QAction::triggered, this, [this] { mnuCAN_Devices_Edit_Click(); });
    connect(m.mnuCAN_Devices_Delete, &QAction::triggered, this, [this] { mnuCAN_Devices_Delete_Click(); });
    connect(m.mnuCAN_Devices_Expand, &QAction::triggered, this, [this] { setNodeExpanded(currentKey, true); });
    connect(m.mnuCAN_Devices_Collapse, &QAction::triggered, this, [this] { setNodeExpanded(currentKey, false); });
    connect(m.mnuCAN_IDs_New, &QAction::triggered, this, [this] { mnuCAN_IDs_New_Click(); });
    connect(m.mnuCAN_IDs_Edit, &QAction::triggered, this, [this] { mnuCAN_IDs_Edit_Click(); });
    connect(m.mnuCAN_IDs_Delete, &QAction::triggered, this, [this] { mnuCAN_IDs_Delete_Click(); });
}

// ---- Building the tree from the model ------------------------------------------

void DbTree::fillList()
{
    listLoading = true;
    QComboBox *list = panel.cmbDB_Name;
    list->clear();
    list->addItems(dbModel.dataBases().items);
    list->setCurrentIndex(dbModel.dataBases().selected);
    listLoading = false;
}

void DbTree::buildTree()
{
    clearTree();
    if (!dbModel.isLoaded())
        return;
    addNode(nullptr, rootKey, dbModel.rootCaption(), QStringLiteral("CAN"), dbModel.isTicked(rootKey));
    setNodeExpanded(rootKey, true);
    const QList<int> devices = dbModel.deviceIds();
    for (const int id : devices) {
        addDeviceNode(id);
        if (QTreeWidgetItem *device = nodes.value(deviceKey(id))) {
            const QSignalBlocker block(panel.tvDB_IDs);
            device->setExpanded(true);
        }
        for (const QString &key : dbModel.device(id)->identifiers)
            addIdentifierNode(key);
    }
}

void DbTree::clearTree()
{
    const QSignalBlocker block(panel.tvDB_IDs);
    panel.tvDB_IDs->clear();
    nodes.clear();
    currentKey.clear();
}

QTreeWidgetItem *DbTree::addNode(QTreeWidgetItem *parent, const QString &key, const QString &text, const QString &image,
                                 bool ticked)
{
    const QSignalBlocker block(panel.tvDB_IDs);
    auto *node = new QTreeWidgetItem;
    node->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
    node->setData(0, keyRole, key);
    node->setText(0, text);
    node->setCheckState(0, ticked ? Qt::Checked : Qt::Unchecked);
    setImage(node, image);
    if (parent)
        parent->addChild(node);
    else
        panel.tvDB_IDs->addTopLevelItem(node);
    nodes.insert(key, node);
    return node;
}

QString DbTree::deviceImage(int deviceId) const
{
    return deviceId == dbModel.defaultDevice() ? QStringLiteral("DeviceDef") : QStringLiteral("Device");
}

void DbTree::addDeviceNode(int deviceId)
{
    QTreeWidgetItem *root = nodes.value(rootKey);
    const CanDevice *device = dbModel.device(deviceId);
    const QString key = deviceKey(deviceId);
    if (!root || !device || nodes.contains(key))
        return;
    addNode(root, key, device->name, deviceImage(deviceId), device->ticked);
}

void DbTree::addIdentifierNode(const QString &key)
{
    const CanIdentifier *identifier = dbModel.identifier(key);
    QTreeWidgetItem *device = identifier ? nodes.value(deviceKey(identifier->deviceId)) : nullptr;
    if (!device || nodes.contains(key))
        return;
    if (!ImageListTV.contains(key))
        ImageListTV.insert(key, treeicons::swatch(idColour(key)));
    addNode(device, key, identifier->caption(), key, identifier->enable);
}

void DbTree::setImage(QTreeWidgetItem *node, const QString &image)
{
    const QSignalBlocker block(panel.tvDB_IDs);
    node->setData(0, imageRole, image);
    node->setIcon(0, ImageListTV.value(image));
}

QString DbTree::nodeImage(const QString &key) const
{
    const QTreeWidgetItem *found = nodes.value(key);
    return found ? found->data(0, imageRole).toString() : QString();
}

void DbTree::showBox(const QString &key, bool ticked)
{
    if (QTreeWidgetItem *found = nodes.value(key)) {
        const QSignalBlocker block(panel.tvDB_IDs);
        found->setCheckState(0, ticked ? Qt::Checked : Qt::Unchecked);
    }
}

void DbTree::removeNode(const QString &key)
{
    QTreeWidgetItem *found = nodes.value(key);
    if (!found)
        return;
    const QSignalBlocker block(panel.tvDB_IDs);
    const std::function<void(QTreeWidgetItem *)> forget = [&](QTreeWidgetItem *gone) {
        for (int i = 0; i < gone->childCount(); ++i)
            forget(gone->child(i));
        nodes.remove(keyOf(gone));
    };
    forget(found);
    if (!nodes.contains(currentKey))
        currentKey.clear();
    delete found;
}

void DbTree::nodeTicked(QTreeWidgetItem *node)
{
    // The view reports every change of a node; only a toggled box counts.
    const QString key = keyOf(node);
    const bool ticked = node->checkState(0) == Qt::Checked;
    if (ticked != dbModel.isTicked(key))
        dbModel.checkNode(key, ticked);
}

void DbTree::selectNode(QTreeWidgetItem *target)
{
    if (!target)
        return;
    ++programSelection; // a selection by the program is no click
    for (QTreeWidgetItem *up = target->parent(); up; up = up->parent())
        up->setExpanded(true);
    panel.tvDB_IDs->setCurrentItem(target);
    panel.tvDB_IDs->scrollToItem(target);
    --programSelection;
}

// ---- Expanding and collapsing -------------------------------------------------------

void DbTree::setNodeExpanded(const QString &key, bool expand)
{
    QTreeWidgetItem *target = nodes.value(key);
    auto apply = [&](QAction *expandItem, QAction *collapseItem) {
        if (target && target->isExpanded() != expand) {
            const QSignalBlocker block(panel.tvDB_IDs);
            target->setExpanded(expand);
        }
        expandItem->setEnabled(!expand);
        collapseItem->setEnabled(expand);
    };
    if (key.startsWith(QLatin1String("CAN"))) {
        apply(panel.mnuCAN_DB_Expand, panel.mnuCAN_DB_Collapse);
        if (!expand) {
            panel.mnuCAN_Devices_Expand->setEnabled(false);
            panel.mnuCAN_Devices_Collapse->setEnabled(false);
        }
    } else if (key.startsWith(QLatin1String("DEV"))) {
        apply(panel.mnuCAN_Devices_Expand, panel.mnuCAN_Devices_Collapse);
    } else if (!key.startsWith(QLatin1String("ID_"))) {
        panel.mnuCAN_Devices_Expand->setEnabled(false);
        panel.mnuCAN_Devices_Collapse->setEnabled(false);
    }
}

// ---- Mouse, keys and drops ------------------------------------------------------------

void DbTree::tvDB_IDs_MouseDown()
{
    currentKey.clear();
    panel.mnuCAN_Devices_Edit->setVisible(true);
    panel.mnuCAN_Devices_Edit->setEnabled(false);
    panel.mnuCAN_Devices_Delete->setEnabled(false);
    panel.mnuCAN_IDs_Edit->setVisible(true);
    panel.mnuCAN_IDs_Edit->setEnabled(false);
    panel.mnuCAN_IDs_Delete->setEnabled(false);
}

void DbTree::tvDB_IDs_NodeClick(QTreeWidgetItem *clicked)
{
    currentKey = keyOf(clicked);
    setNodeExpanded(currentKey, clicked->isExpanded());
    if (currentKey.startsWith(QLatin1String("DEV"))) {
        panel.mnuCAN_Devices_Edit->setEnabled(true);
        // The default device cannot be deleted.
        panel.mnuCAN_Devices_Delete->setEnabled(deviceKeyId(currentKey) != dbModel.defaultDevice());
    } else if (currentKey.startsWith(QLatin1String("ID_"))) {
        panel.mnuCAN_IDs_Edit->setEnabled(true);
        panel.mnuCAN_IDs_Delete->setEnabled(true);
    }
}

void DbTree::tvDB_IDs_MouseUp(Qt::MouseButton button)
{
    if (button != Qt::RightButton)
        return;
    const QString level = currentKey.left(3);
    if (level == QLatin1String("CAN"))
        popupMenu(panel.mnuCAN_DB, panel.mnuCAN_DB_Edit);
    else if (level == QLatin1String("DEV"))
        popupMenu(panel.mnuCAN_Devices, nullptr);
    else if (level == QLatin1String("ID_"))
        popupMenu(panel.mnuCAN_IDs, panel.mnuCAN_IDs_Edit);
    else
        popupMenu(panel.mnuCAN, nullptr);
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
            item = panel.mnuCAN_DB_Delete;
        else if (level == QLatin1String("DEV"))
            item = panel.mnuCAN_Devices_Delete;
        else if (level == QLatin1String("ID_"))
            item = panel.mnuCAN_IDs_Delete;
    } else if (key == Qt::Key_Insert) {
        if (level == QLatin1String("CAN"))
            item = panel.mnuCAN_DB_New;
        else if (level == QLatin1String("DEV"))
            item = panel.mnuCAN_Devices_New;
        else if (level == QLatin1String("ID_"))
            item = panel.mnuCAN_IDs_New;
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
    QTreeWidget *tree = panel.tvDB_IDs;
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
    if (!listLoading)
        dbModel.chooseDataBase(panel.cmbDB_Name->currentIndex());
}

void DbTree::cmdDB_Property_Click()
{
    if (dbModel.hasDataBase())
        mnuCAN_DB_Edit_Click();
    else
        mnuCAN_New_Click();
}

QString DbTree::currentItemKey() const
{
    return keyOf(panel.tvDB_IDs->currentItem());
}
