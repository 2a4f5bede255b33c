#pragma once

#include "views/displayfilter.h"

#include <QHash>
#include <QString>

#include <vector>

class IdIndex;
class MessageModel;

// Find in the message list (Ctrl+F, F3, Shift+F3): a search over the shown
// rows from the current one, wrapping around the end, by
//   identifier   any identifier list of the filter bar ("7E8", "700-7FF", "7E0/7F0")
//   data bytes   two hex digits per byte, "?" for any digit, anywhere in the
//                data ("12 ?? 34" finds 01 12 FF 34)
//   text         part of the device or description from the CAN data base,
//                letters in any case
class TraceFind final
{
public:
    enum class Mode { identifier, data, text };
    enum class Direction { next, previous };

    // Sets what to look for; false with error() for text that says nothing
    // or cannot be read.
    bool setQuery(Mode mode, const QString &text);
    [[nodiscard]] const QString &error() const { return lastError; }
    [[nodiscard]] bool hasQuery() const { return ready; }

    // Whether the frame matches (labels from `index`, may be nullptr).
    [[nodiscard]] bool matches(const clsFrame &frame, const IdIndex *index);

    // The next matching row after `from` (before it, going back), wrapping
    // around; `from` itself is looked at last, and -1 (start before the first
    // row) is fine. -1 when no row matches.
    [[nodiscard]] int find(const MessageModel &messages, int from, Direction direction);

private:
    [[nodiscard]] bool labelMatches(qint32 keyNumber, const IdIndex *index);

    Mode mode = Mode::identifier;
    bool ready = false;
    QString lastError;
    displayfilter::IdList ids;
    displayfilter::DataPattern pattern;
    QString text;
    // Whether the labels of an identifier hold the text: once per identifier
    // and search, as a million rows hold only a few hundred identifiers.
    std::vector<qint8> standardLabels; // by standard identifier: -1 unknown
    QHash<qint32, bool> otherLabels;
    const IdIndex *cachedFor = nullptr;
};
