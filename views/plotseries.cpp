#include "views/plotseries.h"

#include "core/capturestore.h"
#include "core/clsframe.h"
#include "core/values.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <span>

namespace plotseries {

namespace {

double rate(const Source &source)
{
    return source.ticksPerSecond > 0 ? source.ticksPerSecond : 1e6;
}

// The multiplexor of the set, or nullptr.
const signaldecode::Field *multiplexorOf(const SignalSet &set)
{
    for (const signaldecode::Field &f : set.decoder)
        if (f.multiplexor)
            return &f;
    return nullptr;
}

} // namespace

QString sourceProblem(const Source &source)
{
    if (!source.set || source.set->isEmpty())
        return QStringLiteral("The identifier has no data fields.");
    if (source.field < 0 || source.field >= qsizetype(source.set->decoder.size()))
        return QStringLiteral("No such data field.");
    if (signaldecode::check(source.set->decoder[size_t(source.field)]) != signaldecode::Status::Ok)
        return QStringLiteral("The data field \"%1\" can never be read.").arg(source.set->fields[source.field].name);
    return {};
}

bool valueOf(const Source &source, const clsFrame &frame, double *value)
{
    if (frame.isLost || frame.RTR() || !source.set || source.field < 0 ||
        source.field >= qsizetype(source.set->decoder.size()) || frameIdNumber(frame) != source.keyNumber)
        return false;
    std::array<quint8, 8> bytes{};
    const int n = signaldecode::dataBytes(frame.DLC);
    for (int i = 0; i < n; ++i)
        bytes[size_t(i)] = frame.DataB(i);
    const std::span<const quint8> data(bytes.data(), size_t(n));
    const signaldecode::Field &field = source.set->decoder[size_t(source.field)];
    if (field.multiplexValue >= 0 && !field.multiplexor) {
        const signaldecode::Field *selector = multiplexorOf(*source.set);
        if (!selector)
            return false;
        const signaldecode::Value mux = signaldecode::decode(*selector, data);
        if (mux.status != signaldecode::Status::Ok || mux.raw != quint64(field.multiplexValue))
            return false;
    }
    const signaldecode::Value v = signaldecode::decode(field, data);
    if (v.status != signaldecode::Status::Ok || !std::isfinite(v.value))
        return false;
    *value = v.value;
    return true;
}

void extend(Series &series, const Source &source, const CaptureStore &store)
{
    const qsizetype total = store.count();
    if (series.scanned > total) // the store was emptied and filled again
        series = Series{};
    const double perTick = 1.0 / rate(source);
    // Counting the identifier's frames first costs less than growing three
    // arrays of a million points step by step.
    qsizetype candidates = 0;
    for (qsizetype i = series.scanned; i < total; ++i)
        candidates += frameIdNumber(store.frame(i)) == source.keyNumber ? 1 : 0;
    const auto room = [candidates](auto &points) {
        const size_t needed = points.size() + size_t(candidates);
        if (needed > points.capacity()) // live growth still doubles
            points.reserve(std::max(needed, points.capacity() * 2));
    };
    room(series.time);
    room(series.value);
    room(series.frame);
    for (qsizetype i = series.scanned; i < total; ++i) {
        const clsFrame &frame = store.frame(i);
        double value = 0;
        if (!valueOf(source, frame, &value))
            continue;
        const double seconds = double(frame.Time.value_or(frame.TimeStamp)) * perTick;
        if (!series.time.empty() && seconds < series.time.back())
            series.ordered = false;
        series.time.push_back(seconds);
        series.value.push_back(value);
        series.frame.push_back(i);
    }
    series.scanned = total;
}

qsizetype nearestPoint(const Series &series, double seconds)
{
    if (series.time.empty())
        return -1;
    if (!series.ordered) {
        qsizetype best = 0;
        for (qsizetype i = 1; i < series.size(); ++i)
            if (std::abs(series.time[size_t(i)] - seconds) < std::abs(series.time[size_t(best)] - seconds))
                best = i;
        return best;
    }
    const auto after = std::lower_bound(series.time.cbegin(), series.time.cend(), seconds);
    if (after == series.time.cbegin())
        return 0;
    if (after == series.time.cend())
        return series.size() - 1;
    const auto before = after - 1;
    return (seconds - *before <= *after - seconds) ? before - series.time.cbegin() : after - series.time.cbegin();
}

double frameSeconds(const CaptureStore &store, qsizetype frameIndex, double ticksPerSecond)
{
    if (frameIndex < 0 || frameIndex >= store.count())
        return 0;
    const clsFrame &frame = store.frame(frameIndex);
    return double(frame.Time.value_or(frame.TimeStamp)) / (ticksPerSecond > 0 ? ticksPerSecond : 1e6);
}

} // namespace plotseries
