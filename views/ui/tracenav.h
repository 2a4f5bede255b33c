#pragma once

#include "core/clsframe.h"
#include "views/tracefind.h"

#include <QObject>
#include <QList>

class CaptureDocument;
class MessageModel;
class MessageViews;
class MonitorList;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QTreeView;
class QWidget;
class TraceFollow;

// Finding one's way in the message list: the filter bar above it (display
// filter, shown/all count, the Follow button), the find bar (Ctrl+F), the
// rows' context menu and the keys End, F3 and Shift+F3. The logic lives in
// MessageModel (filter), TraceFind and TraceFollow; this only shows it.
class TraceNavigator final : public QObject
{
    Q_OBJECT
public:
    TraceNavigator(MessageViews &views, CaptureDocument &document, QTreeView &list, QWidget *parent);

    // Both bars, one above the other; MainPanes places them over the list.
    [[nodiscard]] QWidget *bars() const { return barBox; }

    // Reads the filter bar and applies it; a bad text is shown in the bar
    // and the filter in force stays. False for a bad text.
    bool applyFilter();
    // Adds "!id" of the row's identifier to the bar's identifiers.
    void hideIdentifier(int row);
    // Edit commands on the selected rows.
    void copyRows();
    void copyCandump();
    // Ctrl+F; F3 and Shift+F3 (the find bar opens when there is nothing to find yet).
    void showFind();
    void findAgain(TraceFind::Direction direction);
    // The newest row again (End, Follow).
    void followNewest();

    // The selected message rows, top to bottom.
    [[nodiscard]] QList<int> selectedRows() const;
    // The columns the list shows, left to right.
    [[nodiscard]] QList<int> visibleColumns() const;

    QLineEdit *txtFilterIDs = nullptr;
    QLineEdit *txtFilterData = nullptr;
    QCheckBox *chkOnlyNew = nullptr;
    QCheckBox *chkOnlyLost = nullptr;
    QLabel *lblFilterMessage = nullptr;
    QLabel *lblRowCount = nullptr;
    QPushButton *cmdFollow = nullptr;
    QWidget *findBar = nullptr;
    QComboBox *cmbFindMode = nullptr;
    QLineEdit *txtFind = nullptr;
    QLabel *lblFindMessage = nullptr;
    QMenu *rowMenu = nullptr;

signals:
    // "Send again...": the send window, filled with this frame.
    void sendAgainRequested(const clsFrame &frame);
    // The bars changed height.
    void barsResized();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void createFilterBar();
    void createFindBar();
    void createRowMenu();
    void showRowCount();
    void relayoutBars();
    void setFindMessage(const QString &text);
    void showRowMenu(const QPoint &at);
    [[nodiscard]] int menuRow() const;

    MessageViews &views;
    CaptureDocument &document;
    QTreeView &list;
    MessageModel &messages;
    MonitorList &monitor;
    TraceFollow &follow;
    QWidget *barBox = nullptr;
    TraceFind finder;
    qsizetype menuFrame = -1; // the frame of the row the context menu was opened on
};
