#pragma once

#include <QList>
#include <QPair>
#include <QString>

class MainLayout;
class ParamStore;
class QAction;
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

    // A part shown or hidden through the check item `item`, kept as "1" or
    // "0" under `key`; hidden at first start. restore() triggers the item
    // when the kept state differs from its check mark, save() writes the mark.
    void addShownState(const QString &key, QAction *item);
    // The columns of `header` that the user may hide (0-based), kept as the
    // 1-based numbers of the hidden ones, comma-separated, under `key`;
    // none hidden at first start.
    void addHiddenColumns(const QString &key, QHeaderView *header, const QList<int> &columns);

private:
    QMainWindow &window;
    ParamStore &params;
    MainLayout &layout;
    QHeaderView *messageColumns;
    QHeaderView *idColumns;
    QList<QPair<QString, QAction *>> shownStates;
    struct HiddenColumns
    {
        QString key;
        QHeaderView *header;
        QList<int> columns;
    };
    QList<HiddenColumns> hiddenColumns;
};
