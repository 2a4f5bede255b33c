// The signal plot with a million points: taking a signal's series out of the
// store, and a redraw after a zoom or a pan, with each plotting library the
// program could use (the program uses the first; the second is measured when
// its development files are installed).
#include "core/capturestore.h"
#include "core/datafield.h"
#include "views/plotseries.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <qcustomplot.h>

#ifdef TESSEL_BENCH_CHARTS
#include <QtCharts/QChart>
#include <QtCharts/QChartView>
#include <QtCharts/QLineSeries>
#include <QtCharts/QValueAxis>
#endif

#include <cmath>

namespace {

constexpr int pointCount = 1'000'000;

// A million frames of 0x123 every 100 us at 1 MHz, a 16-bit sine in bytes 0-1.
const CaptureStore &millionFrames()
{
    static const CaptureStore store = [] {
        CaptureStore s;
        std::vector<clsFrame> frames(pointCount);
        for (int i = 0; i < pointCount; ++i) {
            clsFrame &f = frames[size_t(i)];
            f.ID.StdPart = 0x123;
            f.DLC = 8;
            f.TimeStamp = qint64(i) * 100;
            const auto raw = quint16(32768 + 30000 * std::sin(i * 0.001));
            f.setDataB(0, quint8(raw & 0xFF));
            f.setDataB(1, quint8(raw >> 8));
            f.Duration = 0.000222;
        }
        s.addListFrames(std::move(frames));
        return s;
    }();
    return store;
}

plotseries::Source sineSource()
{
    DataField field;
    field.name = QStringLiteral("Sine");
    field.begin = 0;
    field.end = 15;
    field.factor = 0.01;
    plotseries::Source source;
    source.keyNumber = 0x123;
    source.set = std::make_shared<const SignalSet>(QList<DataField>{field});
    source.field = 0;
    return source;
}

const plotseries::Series &sineSeries()
{
    static const plotseries::Series series = [] {
        plotseries::Series s;
        plotseries::extend(s, sineSource(), millionFrames());
        return s;
    }();
    return series;
}

void BM_PlotExtractSeries(benchmark::State &state)
{
    const CaptureStore &store = millionFrames();
    const plotseries::Source source = sineSource();
    for (auto _ : state) {
        plotseries::Series series;
        plotseries::extend(series, source, store);
        benchmark::DoNotOptimize(series.time.data());
    }
    state.counters["points"] = double(sineSeries().size());
}
BENCHMARK(BM_PlotExtractSeries)->Unit(benchmark::kMillisecond);

// Even iterations zoom to a tenth or back to the whole, odd ones pan by a
// fifth: every redraw shows another window of the million points.
void zoomOrPan(int iteration, double *low, double *high, double whole)
{
    if (iteration % 2 == 0) {
        const bool zoomIn = (iteration / 2) % 2 == 0;
        *low = zoomIn ? whole * 0.45 : 0;
        *high = zoomIn ? whole * 0.55 : whole;
    } else {
        const double shift = (*high - *low) * 0.2;
        *low += shift;
        *high += shift;
    }
}

void BM_QCustomPlotAddSignal(benchmark::State &state)
{
    const plotseries::Series &s = sineSeries();
    const QVector<double> keys(s.time.cbegin(), s.time.cend());
    const QVector<double> values(s.value.cbegin(), s.value.cend());
    for (auto _ : state) {
        QCustomPlot plot;
        plot.resize(1000, 400);
        plot.addGraph()->setData(keys, values, true);
        plot.rescaleAxes();
        plot.replot(QCustomPlot::rpImmediateRefresh);
    }
}
BENCHMARK(BM_QCustomPlotAddSignal)->Unit(benchmark::kMillisecond);

void BM_QCustomPlotRedraw(benchmark::State &state)
{
    const plotseries::Series &s = sineSeries();
    QCustomPlot plot;
    plot.resize(1000, 400);
    plot.show();
    plot.addGraph()->setData(QVector<double>(s.time.cbegin(), s.time.cend()),
                             QVector<double>(s.value.cbegin(), s.value.cend()), true);
    plot.rescaleAxes();
    const double whole = s.time.back();
    double low = 0, high = whole;
    int iteration = 0;
    for (auto _ : state) {
        zoomOrPan(iteration++, &low, &high, whole);
        plot.xAxis->setRange(low, high);
        plot.replot(QCustomPlot::rpImmediateRefresh);
    }
}
BENCHMARK(BM_QCustomPlotRedraw)->Unit(benchmark::kMillisecond);

#ifdef TESSEL_BENCH_CHARTS
// The series as Qt Charts takes it.
QList<QPointF> chartPoints(const plotseries::Series &s)
{
    QList<QPointF> points;
    points.reserve(qsizetype(s.time.size()));
    for (size_t i = 0; i < s.time.size(); ++i)
        points.append(QPointF(s.time[i], s.value[i]));
    return points;
}

void BM_QtChartsAddSignal(benchmark::State &state)
{
    const plotseries::Series &s = sineSeries();
    for (auto _ : state) {
        const QList<QPointF> points = chartPoints(s);
        QChartView view;
        view.resize(1000, 400);
        auto *series = new QLineSeries;
        series->replace(points);
        view.chart()->addSeries(series);
        view.chart()->createDefaultAxes();
        benchmark::DoNotOptimize(view.grab());
    }
}
BENCHMARK(BM_QtChartsAddSignal)->Unit(benchmark::kMillisecond)->Iterations(2);

void BM_QtChartsRedraw(benchmark::State &state)
{
    const plotseries::Series &s = sineSeries();
    const QList<QPointF> points = chartPoints(s);
    QChartView view;
    view.resize(1000, 400);
    view.show();
    auto *series = new QLineSeries;
    series->replace(points);
    view.chart()->addSeries(series);
    view.chart()->createDefaultAxes();
    auto *x = qobject_cast<QValueAxis *>(view.chart()->axes(Qt::Horizontal).constFirst());
    const double whole = s.time.back();
    double low = 0, high = whole;
    int iteration = 0;
    for (auto _ : state) {
        zoomOrPan(iteration++, &low, &high, whole);
        x->setRange(low, high);
        benchmark::DoNotOptimize(view.grab());
    }
}
BENCHMARK(BM_QtChartsRedraw)->Unit(benchmark::kMillisecond)->Iterations(4);
#endif

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
