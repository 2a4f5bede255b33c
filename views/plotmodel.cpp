#include "views/plotmodel.h"

#include "core/capturestore.h"
#include "core/dbindex.h"
#include "core/values.h"
#include "views/redrawthrottle.h"

#include <QSaveFile>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

QString identifierText(qint32 keyNumber)
{
    if (keyNumber & extendedKeyBit)
        return QString::number(quint32(keyNumber) & 0x1FFFFFFF, 16).toUpper() + QLatin1Char('x');
    return hexPad(keyNumber, 3);
}

// A CSV field: quoted when it holds a comma, quote or line end.
QByteArray csvField(const QString &text)
{
    QByteArray bytes = text.toUtf8();
    if (!bytes.contains(',') && !bytes.contains('"') && !bytes.contains('\n') && !bytes.contains('\r'))
        return bytes;
    bytes.replace("\"", "\"\"");
    return '"' + bytes + '"';
}

QMap<double, QString> physicalTexts(const DataField &field)
{
    QMap<double, QString> texts;
    for (auto it = field.valueTexts.cbegin(); it != field.valueTexts.cend(); ++it)
        texts.insert(double(it.key()) * field.factor + field.offset, it.value());
    return texts;
}

} // namespace

QString PlotModel::Curve::label() const
{
    return name + QStringLiteral(" (") + identifier + QLatin1Char(')');
}

PlotModel::PlotModel(const CaptureStore &store, QObject *parent)
    : QObject(parent)
    , store(store)
{
    throttle = new RedrawThrottle([this] { extendAll(); }, this);
}

void PlotModel::setIdIndex(const IdIndex *index)
{
    idIndex = index;
    reload();
}

void PlotModel::setTicksPerSecond(double ticksPerSecond)
{
    if (ticksPerSecond == ticks)
        return;
    ticks = ticksPerSecond;
    if (!plotted.empty())
        reload();
}

plotseries::Source PlotModel::sourceFor(qint32 keyNumber, int field) const
{
    plotseries::Source source;
    source.keyNumber = keyNumber;
    source.field = field;
    source.ticksPerSecond = ticks;
    if (idIndex)
        source.set = idIndex->signalSet(keyNumber);
    return source;
}

QString PlotModel::addSignal(qint32 keyNumber, int field)
{
    for (const Curve &c : plotted)
        if (c.source.keyNumber == keyNumber && c.source.field == field)
            return {};
    Curve curve;
    curve.source = sourceFor(keyNumber, field);
    if (const QString problem = plotseries::sourceProblem(curve.source); !problem.isEmpty())
        return problem;
    const DataField &f = curve.source.set->fields[field];
    curve.name = f.name;
    curve.identifier = identifierText(keyNumber);
    curve.unit = f.unit;
    curve.valueTexts = physicalTexts(f);
    plotseries::extend(curve.series, curve.source, store);
    plotted.push_back(std::move(curve));
    emit curvesChanged();
    return {};
}

void PlotModel::removeSignal(int index)
{
    if (index < 0 || index >= int(plotted.size()))
        return;
    plotted.erase(plotted.begin() + index);
    emit curvesChanged();
}

QStringList PlotModel::units() const
{
    QStringList list;
    for (const Curve &c : plotted)
        if (!list.contains(c.unit))
            list.append(c.unit);
    return list;
}

std::pair<double, double> PlotModel::valueRange(int index) const
{
    if (index < 0 || index >= int(plotted.size()) || plotted[size_t(index)].series.value.empty())
        return {0, 1};
    const auto &v = plotted[size_t(index)].series.value;
    const auto [low, high] = std::minmax_element(v.cbegin(), v.cend());
    if (*low == *high)
        return {*low - 0.5, *high + 0.5};
    return {*low, *high};
}

void PlotModel::markDrawn(int index)
{
    if (index >= 0 && index < int(plotted.size()))
        plotted[size_t(index)].drawn = plotted[size_t(index)].series.size();
}

void PlotModel::framesAdded()
{
    if (!plotted.empty())
        throttle->request();
}

void PlotModel::extendAll()
{
    bool grown = false;
    for (Curve &c : plotted) {
        const qsizetype before = c.series.size();
        plotseries::extend(c.series, c.source, store);
        grown = grown || c.series.size() != before;
    }
    if (grown)
        emit curvesGrown();
}

void PlotModel::storeCleared()
{
    throttle->cancel();
    for (Curve &c : plotted) {
        c.series = {};
        c.drawn = 0;
    }
    cursorShown = false;
    emit curvesChanged();
}

void PlotModel::reload()
{
    throttle->cancel();
    std::vector<Curve> kept;
    for (Curve &c : plotted) {
        Curve fresh = std::move(c);
        fresh.source = sourceFor(fresh.source.keyNumber, fresh.source.field);
        // The field must still be the one plotted, not whatever took its place.
        if (!plotseries::sourceProblem(fresh.source).isEmpty() ||
            fresh.source.set->fields[fresh.source.field].name != fresh.name)
            continue;
        const DataField &f = fresh.source.set->fields[fresh.source.field];
        fresh.unit = f.unit;
        fresh.valueTexts = physicalTexts(f);
        fresh.series = {};
        fresh.drawn = 0;
        plotseries::extend(fresh.series, fresh.source, store);
        kept.push_back(std::move(fresh));
    }
    plotted = std::move(kept);
    emit curvesChanged();
}

void PlotModel::setCursorFrame(qsizetype frameIndex)
{
    if (frameIndex < 0 || frameIndex >= store.count()) {
        cursorShown = false;
        return;
    }
    cursor = plotseries::frameSeconds(store, frameIndex, ticks);
    cursorShown = true;
    emit cursorMoved(cursor);
}

qsizetype PlotModel::frameNear(double seconds) const
{
    qsizetype best = -1;
    double distance = std::numeric_limits<double>::infinity();
    for (const Curve &c : plotted) {
        const qsizetype i = plotseries::nearestPoint(c.series, seconds);
        if (i < 0)
            continue;
        const double d = std::abs(c.series.time[size_t(i)] - seconds);
        if (d < distance) {
            distance = d;
            best = c.series.frame[size_t(i)];
        }
    }
    return best;
}

QByteArray PlotModel::csv() const
{
    struct Point
    {
        double time;
        int curve;
        qsizetype index;
    };
    std::vector<Point> points;
    for (int c = 0; c < int(plotted.size()); ++c)
        for (qsizetype i = 0; i < plotted[size_t(c)].series.size(); ++i)
            points.push_back({plotted[size_t(c)].series.time[size_t(i)], c, i});
    std::stable_sort(points.begin(), points.end(), [](const Point &a, const Point &b) { return a.time < b.time; });

    QByteArray out = "Time (s),Identifier,Signal,Value,Unit,Description\r\n";
    out.reserve(out.size() + qsizetype(points.size()) * 40);
    std::vector<QByteArray> heads; // identifier, name
    std::vector<QByteArray> units;
    for (const Curve &c : plotted) {
        heads.push_back(csvField(c.identifier) + ',' + csvField(c.name) + ',');
        units.push_back(csvField(c.unit));
    }
    for (const Point &p : points) {
        const Curve &c = plotted[size_t(p.curve)];
        const double value = c.series.value[size_t(p.index)];
        out += QByteArray::number(p.time, 'g', 17) + ',' + heads[size_t(p.curve)] + QByteArray::number(value, 'g', 17) +
               ',' + units[size_t(p.curve)] + ',';
        if (c.steps())
            out += csvField(c.valueTexts.value(value));
        out += "\r\n";
    }
    return out;
}

QString PlotModel::saveCsv(const QString &fileName) const
{
    QSaveFile file(fileName);
    const QByteArray text = csv();
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size() || !file.commit())
        return QStringLiteral("Cannot write \"%1\": %2").arg(fileName, file.errorString());
    return {};
}
