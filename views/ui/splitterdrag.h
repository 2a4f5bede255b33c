#pragma once

#include "views/mainlayout.h"

#include <QObject>
#include <QPoint>

#include <functional>

class QMenu;
class QWidget;
class SplitterBar;

// Dragging the main window's splitters: a left button press shows a drag bar
// (picSplitter, picSplitterH) over the splitter, which follows the mouse
// within the layout's drag limits; the release moves the splitter there and
// lays the panes out again. The right button pops up the splitter's preset menu.
class SplitterDrag final : public QObject
{
    Q_OBJECT
public:
    // Creates the splitter bars and drag bars in `central`.
    SplitterDrag(MainLayout &layout, QWidget *central, QMenu *verticalMenu, QMenu *horizontalMenu,
                 std::function<void()> relayout);

    [[nodiscard]] SplitterBar *vertical(int k) const { return imgSplitter[k]; }
    [[nodiscard]] SplitterBar *horizontal(int k) const { return imgSplitterH[k]; }
    [[nodiscard]] bool isMoving() const { return moving; }

private:
    void mouseDown(SplitterBar *bar, Qt::MouseButton button, QPoint position, QPoint globalPosition);
    void mouseMove(SplitterBar *bar, QPoint position);
    void mouseUp(SplitterBar *bar);
    void connectBar(SplitterBar *bar);
    [[nodiscard]] QWidget *dragBar(const SplitterBar *bar) const;
    [[nodiscard]] static MainLayout::Splitter splitterOf(const SplitterBar *bar);

    MainLayout &layout;
    QMenu *verticalMenu;
    QMenu *horizontalMenu;
    std::function<void()> relayout;
    SplitterBar *imgSplitter[MainLayout::verticalSplitters] = {};
    SplitterBar *imgSplitterH[MainLayout::horizontalSplitters] = {};
    QWidget *picSplitter = nullptr;
    QWidget *picSplitterH = nullptr;
    QPoint dragOffset;
    bool moving = false;
};
