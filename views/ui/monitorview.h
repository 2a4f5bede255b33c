#pragma once

#include <QColor>
#include <QTreeView>

class MonitorList;

// lvListViewID: the view over the identifier monitor list. It keeps the key of
// the last clicked row (picDragID's tag) and its colour, starts the drag of
// that key onto the data base tree (one drag per click), and reports the
// right-button release and the double click on a row.
class MonitorView final : public QTreeView
{
    Q_OBJECT
public:
    explicit MonitorView(QWidget *parent = nullptr);

    void setMonitorList(MonitorList *list);
    [[nodiscard]] MonitorList *monitorList() const { return list; }

    // The key of the last clicked row; empty when no row is current.
    [[nodiscard]] QString dragKey() const { return key; }
    [[nodiscard]] QColor dragColour() const { return colour; }
    [[nodiscard]] int currentKeyRow() const;

signals:
    // Right button released while a row is current: show mnuMonitor_ID.
    void popupRequested(int row, const QPoint &globalPos);

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;

private:
    void startKeyDrag();

    MonitorList *list = nullptr;
    QString key;
    QColor colour;
    bool dragArmed = false;
};
