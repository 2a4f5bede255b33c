#pragma once

class MainLayout;
class ParamStore;
class QHeaderView;
class QMainWindow;

// The main window's settings, in twips: its state and normal rectangle, the
// splitter width and positions, and the column widths of the message and
// monitor lists. Read on the load tick, written on close.
class WindowSettings final
{
public:
    WindowSettings(QMainWindow &window, ParamStore &params, MainLayout &layout, QHeaderView *messageColumns,
                   QHeaderView *idColumns);

    // Puts the window where it was, on a screen and no smaller than its
    // minimum, however odd the stored values; first-start splitters divide
    // the restored window evenly.
    void restore();
    // Writes every value that changed (each write goes to the data base file).
    void save();

private:
    QMainWindow &window;
    ParamStore &params;
    MainLayout &layout;
    QHeaderView *messageColumns;
    QHeaderView *idColumns;
};
