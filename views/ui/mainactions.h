#pragma once

#include <QHash>
#include <QIcon>
#include <QString>

class QAction;
class QMainWindow;
class QMenu;
class QToolBar;

// The main window's menu bar and tool bar, built from one table each (in
// menu-bar and tool-bar order). Every menu, item, separator and button gets
// its name as object name; tests and the window find them by it.
//
// Check marks of the Run items, of Monitor › ID › Viewed and the pressed
// state of the mode, capture and send buttons belong to the program: a click
// runs the command but does not flip the mark itself.
class MainActions final
{
public:
    // Fills the window's menu bar and adds the tool bar "tbToolBar".
    explicit MainActions(QMainWindow &window);

    // The item, separator or sub-menu action named `name`, or nullptr.
    [[nodiscard]] QAction *action(const QString &name) const { return actions.value(name); }
    [[nodiscard]] QMenu *menu(const QString &name) const { return menus.value(name); }
    // The tool-bar button with this key, or nullptr.
    [[nodiscard]] QAction *button(const QString &key) const;
    // The menu item a tool-bar button runs ("" for none). "CaptureSave" runs
    // Save; the window picks Save As while there is no file to save to.
    [[nodiscard]] static QString command(const QString &key);
    [[nodiscard]] QToolBar *toolBar() const { return bar; }
    // The pictures by key, including "CaptureCAN1" and "CaptureCAN2" (the
    // capture button's two states) and "Check".
    [[nodiscard]] QIcon icon(const QString &key) const { return icons.value(key); }

private:
    void createMenus(QMainWindow &window);
    // The standard keys and an access key (Alt) for every menu and item.
    void addShortcuts(QMainWindow &window);
    void createToolBar(QMainWindow &window);

    QHash<QString, QAction *> actions;
    QHash<QString, QMenu *> menus;
    QHash<QString, QIcon> icons;
    QToolBar *bar = nullptr;
};
