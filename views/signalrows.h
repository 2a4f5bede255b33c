#pragma once

#include "core/datafield.h"

#include <QList>
#include <QString>

class clsFrame;

// One data field of a frame as a person reads it: its name, raw bits and
// physical value, or why it has none.
//
// Example: field "Speed", bits 0..15 little-endian, factor 0.1, unit "km/h",
// frame data F4 01 -> raw "01F4", value "50 km/h"; as a Signals cell
// "Speed=50 km/h". With the value text {0x1F4: "Limit"} the cell reads
// "Speed=Limit" and the description column "Limit".
struct SignalRow
{
    enum class State {
        Value,
        // The field reaches past the frame's data bytes.
        OutsideFrame,
        // The field can never be read (length or bits out of range).
        Invalid,
    };

    QString name;
    int field = -1; // index of the field in its SignalSet
    State state = State::Value;
    int length = 0;   // bits
    quint64 raw = 0;  // right-aligned bits
    double value = 0; // physical
    QString unit;
    // The text of the raw value, when the field has one for it.
    QString description;

    // The raw bits in upper-case hex, one digit per started nibble of the
    // field ("01F4" for 16 bits); empty without a value.
    [[nodiscard]] QString rawText() const;
    // "50 km/h"; "outside the frame"; "invalid field".
    [[nodiscard]] QString valueText() const;
    // "Speed=50 km/h", or "Gear=Reverse" when the raw value has a text.
    [[nodiscard]] QString compactText() const;
};

namespace signalrows {

// The fields of `set` in `frame`, in the set's order. A multiplexed field
// that the frame's multiplexor does not select is left out. A lost-frame
// record has no fields; a remote frame carries no data, so each of its
// fields reads as outside the frame.
[[nodiscard]] QList<SignalRow> build(const SignalSet &set, const clsFrame &frame);

// The Signals cell of a frame: compactText of each field that has a value,
// joined by "; ". Empty when none has.
[[nodiscard]] QString compactText(const SignalSet &set, const clsFrame &frame);

} // namespace signalrows
