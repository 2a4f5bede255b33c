#include "views/ui/plotdock.h"

#include "core/prompts.h"
#include "views/plotmodel.h"

#include <QBuffer>
#include <QCheckBox>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QMenu>
#include <QPushButton>
#include <QSaveFile>
#include <QSvgGenerator>
#include <QVBoxLayout>
#include <qcustomplot.h>

namespace {

const QColor curveColours[] = {QColor(0x1f, 0x77, 0xb4), QColor(0xd6, 0x27, 0x28), QColor(0x2c, 0xa0, 0x2c),
                               QColor(0xff, 0x7f, 0x0e), QColor(0x94, 0x67, 0xbd), QColor(0x8c, 0x56, 0x4b),
                               QColor(0xe3, 0x77, 0xc2), QColor(0x17, 0xbe, 0xcf)};

QString withExtension(const QString &fileName, const QString &extension)
{
    return QFileInfo(fileName).suffix().isEmpty() ? fileName + QLatin1Char('.') + extension : fileName;
}

} // namespace

PlotDock::PlotDock(PlotModel &model, Prompts &prompts, QWidget *parent)
    : QDockWidget(QStringLiteral("Signal Plot"), parent)
    , model(model)
    , prompts(prompts)
{
    setObjectName(QStringLiteral("dockPlot"));
    setAllowedAreas(Qt::RightDockWidgetArea | Qt::BottomDockWidgetArea);

    auto *body = new QWidget(this);
    cmdPlotFit = new QPushButton(QStringLiteral("Fit"), body);
    cmdPlotFit->setObjectName(QStringLiteral("cmdPlotFit"));
    chkPlotNormalised = new QCheckBox(QStringLiteral("Normalised"), body);
    chkPlotNormalised->setObjectName(QStringLiteral("chkPlotNormalised"));
    cmdPlotPng = new QPushButton(QStringLiteral("PNG..."), body);
    cmdPlotPng->setObjectName(QStringLiteral("cmdPlotPng"));
    cmdPlotSvg = new QPushButton(QStringLiteral("SVG..."), body);
    cmdPlotSvg->setObjectName(QStringLiteral("cmdPlotSvg"));
    cmdPlotCsv = new QPushButton(QStringLiteral("CSV..."), body);
    cmdPlotCsv->setObjectName(QStringLiteral("cmdPlotCsv"));

    cpPlot = new QCustomPlot(body);
    cpPlot->setObjectName(QStringLiteral("cpPlot"));
    cpPlot->setMinimumHeight(120);
    cpPlot->setInteractions(QCP::iRangeDrag | QCP::iRangeZoom);
    cpPlot->axisRect()->setRangeDrag(Qt::Horizontal);
    cpPlot->axisRect()->setRangeZoom(Qt::Horizontal);
    cpPlot->axisRect()->setRangeDragAxes(cpPlot->xAxis, nullptr);
    cpPlot->axisRect()->setRangeZoomAxes(cpPlot->xAxis, nullptr);
    cpPlot->setNoAntialiasingOnDrag(true);
    cpPlot->xAxis->setLabel(QStringLiteral("Time (s)"));
    cpPlot->legend->setVisible(true);
    cpPlot->legend->setFont(font());
    cpPlot->setContextMenuPolicy(Qt::CustomContextMenu);
    cursorLine = new QCPItemStraightLine(cpPlot);
    cursorLine->setPen(QPen(Qt::darkGray, 0, Qt::DashLine));
    cursorLine->setVisible(false);

    auto *buttons = new QHBoxLayout;
    buttons->setSpacing(4);
    buttons->addWidget(cmdPlotFit);
    buttons->addWidget(chkPlotNormalised);
    buttons->addStretch(1);
    buttons->addWidget(cmdPlotPng);
    buttons->addWidget(cmdPlotSvg);
    buttons->addWidget(cmdPlotCsv);
    auto *layout = new QVBoxLayout(body);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->setSpacing(2);
    layout->addLayout(buttons);
    layout->addWidget(cpPlot, 1);
    setWidget(body);

    connect(cmdPlotFit, &QPushButton::clicked, this, &PlotDock::fit);
    connect(chkPlotNormalised, &QCheckBox::toggled, this, &PlotDock::setNormalised);
    connect(cmdPlotPng, &QPushButton::clicked, this, [this] {
        exportAs(QStringLiteral("Export Plot"), QStringLiteral("PNG picture (*.png)"), QStringLiteral("png"));
    });
    connect(cmdPlotSvg, &QPushButton::clicked, this, [this] {
        exportAs(QStringLiteral("Export Plot"), QStringLiteral("SVG drawing (*.svg)"), QStringLiteral("svg"));
    });
    connect(cmdPlotCsv, &QPushButton::clicked, this, [this] {
        exportAs(QStringLiteral("Export Plot Data"), QStringLiteral("CSV (*.csv)"), QStringLiteral("csv"));
    });

    connect(&model, &PlotModel::curvesChanged, this, &PlotDock::rebuild);
    connect(&model, &PlotModel::curvesGrown, this, &PlotDock::grow);
    connect(&model, &PlotModel::cursorMoved, this, &PlotDock::moveCursor);
    connect(cpPlot, &QCustomPlot::mousePress, this, [this](QMouseEvent *event) { pressedAt = event->pos(); });
    connect(cpPlot, &QCustomPlot::mouseRelease, this, [this](QMouseEvent *event) {
        // A drag pans; only a click picks a frame.
        if (event->button() != Qt::LeftButton || (event->pos() - pressedAt).manhattanLength() > 3)
            return;
        if (cpPlot->legend->visible() && cpPlot->legend->selectTest(event->pos(), false) >= 0)
            return;
        chooseAt(event->pos().x());
    });
    connect(cpPlot, &QCustomPlot::legendDoubleClick, this,
            [this](QCPLegend *, QCPAbstractLegendItem *item, QMouseEvent *) { removeCurveOf(item); });
    connect(cpPlot, &QCustomPlot::customContextMenuRequested, this, [this](const QPoint &at) {
        for (int i = 0; i < cpPlot->legend->itemCount(); ++i) {
            QCPAbstractLegendItem *item = cpPlot->legend->item(i);
            if (item && item->selectTest(at, false) >= 0) {
                QMenu menu(this);
                QAction *remove = menu.addAction(QStringLiteral("Remove from Plot"));
                if (menu.exec(cpPlot->mapToGlobal(at)) == remove)
                    removeCurveOf(item);
                return;
            }
        }
    });
    rebuild();
}

double PlotDock::secondsAt(double x) const
{
    return cpPlot->xAxis->pixelToCoord(x);
}

void PlotDock::chooseAt(double x)
{
    const qsizetype frame = model.frameNear(secondsAt(x));
    if (frame >= 0)
        emit frameChosen(frame);
}

void PlotDock::removeCurveOf(QCPAbstractLegendItem *item)
{
    auto *entry = qobject_cast<QCPPlottableLegendItem *>(item);
    if (!entry)
        return;
    for (int i = 0; i < cpPlot->graphCount(); ++i)
        if (cpPlot->graph(i) == entry->plottable()) {
            model.removeSignal(i);
            return;
        }
}

void PlotDock::setNormalised(bool on)
{
    if (normalised == on)
        return;
    normalised = on;
    if (chkPlotNormalised->isChecked() != on)
        chkPlotNormalised->setChecked(on);
    rebuild();
    fit();
}

void PlotDock::rebuild()
{
    const QCPRange time = cpPlot->xAxis->range();
    const bool hadGraphs = cpPlot->graphCount() > 0;
    cpPlot->clearGraphs();
    QCPAxisRect *rect = cpPlot->axisRect();
    for (QCPAxis *axis : rect->axes(QCPAxis::atLeft | QCPAxis::atRight))
        if (axis != cpPlot->yAxis && axis != cpPlot->yAxis2)
            rect->removeAxis(axis);
    cpPlot->yAxis->setTicker(QSharedPointer<QCPAxisTicker>(new QCPAxisTicker));
    cpPlot->yAxis2->setTicker(QSharedPointer<QCPAxisTicker>(new QCPAxisTicker));
    cpPlot->yAxis2->setVisible(false);

    const auto &curves = model.curves();
    const QStringList units = normalised ? QStringList{QString()} : model.units();
    QList<QCPAxis *> axes;
    for (int u = 0; u < units.size(); ++u) {
        QCPAxis *axis = u == 0 ? cpPlot->yAxis : u == 1 ? cpPlot->yAxis2 : rect->addAxis(QCPAxis::atRight);
        axis->setVisible(true);
        axis->setLabel(normalised ? QStringLiteral("normalised") : units[u]);
        axes.append(axis);
        // An axis of curves that all have value texts is labelled with them.
        QMap<double, QString> texts;
        bool allSteps = !normalised;
        for (const PlotModel::Curve &c : curves) {
            if (c.unit != units[u] && !normalised)
                continue;
            allSteps = allSteps && c.steps();
            texts.insert(c.valueTexts);
        }
        if (allSteps && !texts.isEmpty()) {
            QSharedPointer<QCPAxisTickerText> ticker(new QCPAxisTickerText);
            ticker->addTicks(texts);
            axis->setTicker(ticker);
        }
    }
    for (int i = 0; i < int(curves.size()); ++i) {
        const PlotModel::Curve &c = curves[size_t(i)];
        QCPAxis *axis = axes.value(normalised ? 0 : int(units.indexOf(c.unit)), cpPlot->yAxis);
        QCPGraph *graph = cpPlot->addGraph(cpPlot->xAxis, axis);
        graph->setName(c.unit.isEmpty() || normalised ? c.label()
                                                      : c.label() + QStringLiteral(" [") + c.unit + QLatin1Char(']'));
        graph->setPen(QPen(curveColours[i % std::size(curveColours)], 0));
        if (c.steps())
            graph->setLineStyle(QCPGraph::lsStepLeft);
        QVector<double> values(c.series.value.cbegin(), c.series.value.cend());
        if (normalised) {
            const auto [low, high] = model.valueRange(i);
            for (double &v : values)
                v = (v - low) / (high - low);
        }
        graph->setData(QVector<double>(c.series.time.cbegin(), c.series.time.cend()), values, true);
        model.markDrawn(i);
    }
    cursorLine->point1->setAxes(cpPlot->xAxis, cpPlot->yAxis);
    cursorLine->point2->setAxes(cpPlot->xAxis, cpPlot->yAxis);
    if (!hadGraphs || curves.empty())
        fit();
    else {
        cpPlot->xAxis->setRange(time);
        for (QCPAxis *axis : axes)
            axis->rescale();
        cpPlot->replot(QCustomPlot::rpQueuedReplot);
    }
}

void PlotDock::grow()
{
    if (normalised) { // the ranges may have changed: every point moves
        rebuild();
        return;
    }
    // A view that shows the newest point keeps showing it.
    double newest = -std::numeric_limits<double>::infinity();
    for (int i = 0; i < cpPlot->graphCount(); ++i)
        if (!cpPlot->graph(i)->data()->isEmpty())
            newest = std::max(newest, (cpPlot->graph(i)->data()->constEnd() - 1)->key);
    const bool following = cpPlot->graphCount() == 0 || cpPlot->xAxis->range().upper >= newest;
    const auto &curves = model.curves();
    for (int i = 0; i < int(curves.size()) && i < cpPlot->graphCount(); ++i) {
        const PlotModel::Curve &c = curves[size_t(i)];
        const auto from = size_t(c.drawn);
        if (from >= c.series.time.size())
            continue;
        cpPlot->graph(i)->addData(QVector<double>(c.series.time.cbegin() + qsizetype(from), c.series.time.cend()),
                                  QVector<double>(c.series.value.cbegin() + qsizetype(from), c.series.value.cend()),
                                  true);
        model.markDrawn(i);
    }
    if (following)
        fit();
    else
        cpPlot->replot(QCustomPlot::rpQueuedReplot);
}

void PlotDock::fit()
{
    cpPlot->rescaleAxes();
    if (cpPlot->xAxis->range().size() <= 0)
        cpPlot->xAxis->setRange(cpPlot->xAxis->range().lower - 0.5, cpPlot->xAxis->range().upper + 0.5);
    cpPlot->replot(QCustomPlot::rpQueuedReplot);
}

void PlotDock::moveCursor(double seconds)
{
    cursorLine->point1->setCoords(seconds, 0);
    cursorLine->point2->setCoords(seconds, 1);
    cursorLine->setVisible(true);
    cpPlot->replot(QCustomPlot::rpQueuedReplot);
}

QString PlotDock::savePng(const QString &fileName)
{
    if (cpPlot->savePng(fileName, cpPlot->width(), cpPlot->height()))
        return {};
    return QStringLiteral("Cannot write \"%1\".").arg(fileName);
}

QString PlotDock::saveSvg(const QString &fileName)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QSvgGenerator generator;
    generator.setOutputDevice(&buffer);
    generator.setSize(cpPlot->size());
    generator.setViewBox(QRect(QPoint(0, 0), cpPlot->size()));
    generator.setTitle(QStringLiteral("Signal plot"));
    QCPPainter painter;
    painter.begin(&generator);
    cpPlot->toPainter(&painter, cpPlot->width(), cpPlot->height());
    painter.end();
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly) || file.write(buffer.data()) != buffer.size() || !file.commit())
        return QStringLiteral("Cannot write \"%1\": %2").arg(fileName, file.errorString());
    return {};
}

void PlotDock::exportAs(const QString &title, const QString &filter, const QString &extension)
{
    QString name = prompts.saveFileName(title, filter, QString(), QStringLiteral("plot.") + extension);
    if (name.isEmpty())
        return;
    name = withExtension(name, extension);
    QString problem;
    if (extension == QLatin1String("png"))
        problem = savePng(name);
    else if (extension == QLatin1String("svg"))
        problem = saveSvg(name);
    else
        problem = model.saveCsv(name);
    if (!problem.isEmpty())
        prompts.error(problem);
}
