#pragma once

#include "core/clsframe.h"

#include <QList>
#include <QString>

#include <functional>
#include <optional>

// What the message list shows of the stored frames. A display filter only
// hides rows: every frame stays in the store and comes back when the filter
// changes. (The monitor list's tick boxes are another thing: they decide
// which frames are stored at all.)
namespace displayfilter {

// One identifier term. Standard identifiers are written with 1 to 3 hex
// digits, extended ones with 4 to 8 (at most 1FFFFFFF) or as "SSS.EEEEE",
// the way the monitor list shows them; each term matches only frames of its
// own kind.
//   "7E8"        the standard identifier 7E8
//   "100-1FF"    standard 100 to 1FF, both ends included
//   "7E0/7F0"    identifier/mask: the bits set in the mask must equal
//   "18DAF110"   the extended identifier 18DAF110
//   "!7DF"       every identifier but 7DF (any term may be negated)
struct IdTerm
{
    bool extended = false;
    bool exclude = false;
    quint32 low = 0;  // the identifier, or the range's start
    quint32 high = 0; // the range's end (== low for one identifier)
    std::optional<quint32> mask;

    [[nodiscard]] bool matches(bool frameExtended, quint32 id) const;
};

// A list of identifier terms separated by commas or spaces:
//   "100-1FF, 7E8, !123"  standard 100 to 1FF and 7E8, but never 123
// A frame is shown when it matches one of the terms without "!" (or there is
// none) and none of the "!" terms.
struct IdList
{
    QList<IdTerm> terms;

    [[nodiscard]] bool isEmpty() const { return terms.isEmpty(); }
    [[nodiscard]] bool hasIncludes() const;
    [[nodiscard]] bool matches(bool frameExtended, quint32 id) const;
};

// Data bytes from byte 0, each two hex digits where "?" stands for any digit:
//   "12 ?? 34"  byte 0 is 12, byte 1 anything, byte 2 is 34 (so at least 3 bytes)
//   "1? F0"     byte 0 from 10 to 1F, byte 1 is F0
// A remote frame has no data and never matches a pattern.
struct DataPattern
{
    QList<quint8> values;
    QList<quint8> masks; // per byte: the bits that must equal

    [[nodiscard]] bool isEmpty() const { return values.isEmpty(); }
    // The pattern at byte `offset` of the frame's data.
    [[nodiscard]] bool matchesAt(const clsFrame &frame, int offset) const;
    [[nodiscard]] bool matches(const clsFrame &frame) const { return matchesAt(frame, 0); }
    // The pattern anywhere in the frame's data.
    [[nodiscard]] bool occursIn(const clsFrame &frame) const;
};

template <typename T> struct Parsed
{
    T value;
    QString error; // empty when the text was good
    [[nodiscard]] bool ok() const { return error.isEmpty(); }
};

// Empty text gives an empty list; bad text an error naming the term, e.g.
// "\"1G0\" is not a hex identifier".
[[nodiscard]] Parsed<IdList> parseIds(const QString &text);
[[nodiscard]] Parsed<DataPattern> parsePattern(const QString &text);

// The whole filter as the filter bar sets it.
struct Filter
{
    IdList ids;
    DataPattern data;
    bool onlyNew = false;  // identifiers the CAN data base does not hold
    bool onlyLost = false; // lost-frame records only

    [[nodiscard]] bool isActive() const { return !ids.isEmpty() || !data.isEmpty() || onlyNew || onlyLost; }
    // Whether the frame is shown. `isNew` tells whether an identifier key
    // (frameIdNumber) is missing from the data base; asked only with onlyNew.
    // A lost-frame record is no frame of any identifier: identifier terms
    // that name identifiers, data patterns and onlyNew hide it, "!" terms do not.
    [[nodiscard]] bool matches(const clsFrame &frame, const std::function<bool(qint32)> &isNew) const;
};

// Parses both texts; the first error wins (prefixed with the field it is in).
[[nodiscard]] Parsed<Filter> parseFilter(const QString &ids, const QString &data, bool onlyNew, bool onlyLost);

// The identifier text of a frame as an identifier term reads it ("7E8",
// "18DAF110"); empty for a lost-frame record.
[[nodiscard]] QString idTermText(const clsFrame &frame);

} // namespace displayfilter
