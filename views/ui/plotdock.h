#pragma once

#include <QDockWidget>

class PlotModel;
class Prompts;
class QCheckBox;
class QCPItemStraightLine;
class QCustomPlot;
class QPushButton;

// The "Signal Plot" window docked below or beside the panes: the curves of
// the plot model against capture time, a cursor at the message list's current
// row, Fit, the normalised view and the exports. A wheel turn zooms the time
// axis around the pointer, a drag pans it; a click without a drag asks for the
// row of the nearest frame (frameChosen). Double-clicking a legend entry, or
// its context menu, removes the curve.
//
// Each unit has its own value axis (the first on the left, the others on the
// right); in the normalised view every curve runs from 0 (its smallest value)
// to 1 (its largest) on one axis.
class PlotDock final : public QDockWidget
{
    Q_OBJECT
public:
    PlotDock(PlotModel &model, Prompts &prompts, QWidget *parent = nullptr);

    // Fits both axes to every point.
    void fit();
    void setNormalised(bool normalised);
    // Exports; each reports a failure through the prompts and returns it.
    QString savePng(const QString &fileName);
    QString saveSvg(const QString &fileName);

    [[nodiscard]] QCustomPlot *plot() const { return cpPlot; }
    // The seconds under a widget x coordinate of the plot.
    [[nodiscard]] double secondsAt(double x) const;

    QPushButton *cmdPlotFit = nullptr;
    QCheckBox *chkPlotNormalised = nullptr;
    QPushButton *cmdPlotPng = nullptr;
    QPushButton *cmdPlotSvg = nullptr;
    QPushButton *cmdPlotCsv = nullptr;

signals:
    // The user clicked the plot: the stored frame nearest to the click.
    void frameChosen(qsizetype frameIndex);

private:
    void rebuild();
    void grow();
    void moveCursor(double seconds);
    void chooseAt(double x);
    void exportAs(const QString &title, const QString &filter, const QString &extension);
    void removeCurveOf(class QCPAbstractLegendItem *item);

    PlotModel &model;
    Prompts &prompts;
    QCustomPlot *cpPlot = nullptr;
    QCPItemStraightLine *cursorLine = nullptr;
    bool normalised = false;
    QPoint pressedAt;
};
