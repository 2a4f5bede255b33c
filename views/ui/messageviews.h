#pragma once

#include "link/capturecontrol.h"
#include "views/capturestatistics.h"

#include <QElapsedTimer>
#include <QObject>

#include <functional>
#include <vector>

class CaptureDocument;
class IdIndex;
class MainActions;
class MainPanes;
class MessageModel;
class MonitorList;
class PlotModel;
class SignalPane;
class TimeLinePanel;
class TraceFollow;
class TraceNavigator;
class QHeaderView;
class QTimer;
class QWidget;
namespace displayfilter {
struct Filter;
}

// The capture as the main window shows it: the message list and the
// identifier monitor list over the document's store, the time line, and the
// Monitor › ID pop-up menu. Takes the capture window's decoded frames. The
// signal pane follows the selected message row or monitor row.
class MessageViews final : public QObject, public CaptureSink
{
    Q_OBJECT
public:
    MessageViews(CaptureDocument &document, MainPanes &panes, const MainActions &actions, QWidget *window);
    ~MessageViews() override;

    [[nodiscard]] MessageModel *messages() const { return messageModel; }
    [[nodiscard]] MonitorList *monitor() const { return monitorList; }
    [[nodiscard]] TimeLinePanel *timeLine() const { return pictOscilograph; }
    [[nodiscard]] SignalPane *signalPane() const { return signalValues; }
    [[nodiscard]] TraceFollow *follow() const { return following; }
    [[nodiscard]] TraceNavigator *navigator() const { return navigation; }
    [[nodiscard]] PlotModel *plotModel() const { return plotValues; }

    // The data base tree as the lists see it (labels, check boxes); nullptr: none.
    void setIdIndex(const IdIndex *index);
    // Rebuilds the message list through frmRebuildLVM and selects the row at
    // or after the selected time; the time line follows.
    void rebuildLVM();
    // Selects a message row (0-based) and scrolls it into view; -1 clears.
    void selectMessageRow(int row);
    // A row the user went to (find, context menu): selected and shown as a
    // click shows it; the list stops following the newest row.
    void showUserRow(int row);
    // Shows only the rows `filter` matches (the selected one stays when it
    // passes, the newest while a followed capture runs); the time line follows.
    void applyDisplayFilter(const displayfilter::Filter &filter);
    // The user picked stored frame `frameIndex` elsewhere (the plot): its
    // message row is selected as a click would; nothing when it has none.
    void showFrame(qsizetype frameIndex);
    // Both lists empty, the time line's bars at 0.
    void clear();
    // A freshly read file: the time line goes to the start and the list is rebuilt.
    void showLoaded();

    // The statistics tick (every 250 ms; tests call it): takes the frames
    // stored since the last tick into the statistics, refreshes the monitor's
    // statistics columns and the times' rate, and tells statisticsUpdated.
    void statisticsTimer_Timer();
    [[nodiscard]] const CaptureStatistics &captureStatistics() const { return statistics; }
    [[nodiscard]] QTimer *statisticsTimer() const { return statsTimer; }

    // The pop-up menu of a list's column headers: one check item per column
    // (shown or hidden); `toggle` runs for a column the list manages itself.
    static void showColumnMenu(QHeaderView *header, const QPoint &globalPos,
                               const std::function<bool(int column, bool shown)> &toggle = {});

    // CaptureSink.
    void captureStarted() override;
    bool captureFrame(const clsFrame &frame) override;
    void captureBatchDone() override;
    void resetViewScroll() override;
    void captureClosed() override;

signals:
    // Monitor › ID › Add to Plot: every data field of the identifier.
    void plotIdRequested(qint32 keyNumber);
    // The statistics moved on (or were emptied).
    void statisticsUpdated();

private:
    void redrawTimeLine();
    void setDefaultColumnWidths();

    CaptureDocument &document;
    MainPanes &panes;
    QWidget *window;
    MessageModel *messageModel = nullptr;
    MonitorList *monitorList = nullptr;
    TimeLinePanel *pictOscilograph = nullptr;
    SignalPane *signalValues = nullptr;
    TraceFollow *following = nullptr;
    TraceNavigator *navigation = nullptr;
    PlotModel *plotValues = nullptr;
    // The program is moving the message list's selection (selectMessageRow).
    bool selecting = false;
    // The selection moves to where the time line already is (its scroll bar,
    // a rebuild): the selected time stays as the time line set it.
    bool keepTimeLine = false;
    // Frames stored during the running decode; their rows are appended in
    // one go when it ends.
    std::vector<quint32> capturedRows;
    CaptureStatistics statistics;
    QTimer *statsTimer = nullptr;
    // Wall time since the statistics last took a frame, while capturing.
    QElapsedTimer quiet;
    qint64 quietFrom = 0; // the newest frame's time then
};
