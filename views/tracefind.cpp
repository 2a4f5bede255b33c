#include "views/tracefind.h"

#include "core/dbindex.h"
#include "core/values.h"
#include "views/messagemodel.h"

bool TraceFind::setQuery(Mode m, const QString &query)
{
    mode = m;
    ready = false;
    lastError.clear();
    ids = {};
    pattern = {};
    text = query.trimmed();
    standardLabels.assign(0x800, -1);
    otherLabels.clear();
    cachedFor = nullptr;
    if (text.isEmpty()) {
        lastError = QStringLiteral("Type what to find.");
        return false;
    }
    switch (mode) {
    case Mode::identifier: {
        auto parsed = displayfilter::parseIds(text);
        lastError = parsed.error;
        ids = parsed.value;
        break;
    }
    case Mode::data: {
        auto parsed = displayfilter::parsePattern(text);
        lastError = parsed.error;
        pattern = parsed.value;
        break;
    }
    case Mode::text:
        break;
    }
    ready = lastError.isEmpty();
    return ready;
}

bool TraceFind::labelMatches(qint32 keyNumber, const IdIndex *index)
{
    if (index != cachedFor) {
        standardLabels.assign(0x800, -1);
        otherLabels.clear();
        cachedFor = index;
    }
    const bool standard = keyNumber >= 0 && keyNumber < 0x800;
    if (standard && standardLabels[size_t(keyNumber)] >= 0)
        return standardLabels[size_t(keyNumber)] != 0;
    if (!standard) {
        const auto it = otherLabels.constFind(keyNumber);
        if (it != otherLabels.cend())
            return *it;
    }
    QString device;
    QString description;
    const bool found = index && index->idLabels(idKey(keyNumber), &device, &description) &&
                       (device.contains(text, Qt::CaseInsensitive) || description.contains(text, Qt::CaseInsensitive));
    if (standard)
        standardLabels[size_t(keyNumber)] = found ? 1 : 0;
    else
        otherLabels.insert(keyNumber, found);
    return found;
}

bool TraceFind::matches(const clsFrame &frame, const IdIndex *index)
{
    if (!ready || frame.isLost)
        return false;
    switch (mode) {
    case Mode::identifier:
        return ids.matches(frame.IDE() != 0,
                           frame.IDE() ? quint32(frame.ID.ID()) & 0x1FFFFFFF : quint32(frame.ID.StdPart) & 0x7FF);
    case Mode::data:
        return pattern.occursIn(frame);
    case Mode::text:
        return labelMatches(frameIdNumber(frame), index);
    }
    return false;
}

int TraceFind::find(const MessageModel &messages, int from, Direction direction)
{
    const int n = messages.count();
    if (!ready || n == 0)
        return -1;
    const IdIndex *index = messages.labels();
    const int step = direction == Direction::next ? 1 : -1;
    if (from < -1 || from >= n)
        from = -1;
    // With no row to start from, going back starts at the end.
    int r = from < 0 && step < 0 ? n : from;
    for (int visited = 0; visited < n; ++visited) {
        r += step;
        if (r >= n)
            r = 0;
        else if (r < 0)
            r = n - 1;
        if (matches(messages.rowFrame(r), index))
            return r;
    }
    return -1;
}
