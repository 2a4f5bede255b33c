#pragma once

#include "core/signaldecode.h"

#include <QList>
#include <QMap>
#include <QString>

#include <vector>

// One data field of an identifier, a signal: a name, a range of the frame's
// 64 data bits and how those bits read as a value.
//
// `begin` is the start bit as stored (CAN_Data.Begin); `end` is begin + length
// - 1. For a little-endian field that is the range of bits it covers, shown as
// " 8..15". For a big-endian field `begin` names its most significant bit and
// the bits run down through each byte, so `end` only carries the length.
struct DataField
{
    int begin = 0;
    int end = 63;
    QString name;

    signaldecode::ByteOrder order = signaldecode::ByteOrder::LittleEndian;
    signaldecode::ValueType type = signaldecode::ValueType::Unsigned;
    double factor = 1;
    double offset = 0;
    double minimum = 0;
    double maximum = 0;
    QString unit;
    QString comment;
    // This field selects which multiplexed fields a frame carries.
    bool multiplexor = false;
    // Present only when the multiplexor's raw value equals this; -1: always.
    qint64 multiplexValue = -1;
    // Texts of raw values ("value descriptions").
    QMap<qint64, QString> valueTexts;

    [[nodiscard]] int length() const { return end - begin + 1; }
    // " 8..15" for a little-endian field; " 7/16 BE" (start bit, length) for a big-endian one.
    [[nodiscard]] QString text() const;
    // What the decoder needs of this field.
    [[nodiscard]] signaldecode::Field decoderField() const;

    bool operator==(const DataField &) const = default;
};

// The data fields of one identifier, ready to decode frames with: the
// decoder's view of each field, in the same order.
struct SignalSet
{
    QList<DataField> fields;
    std::vector<signaldecode::Field> decoder;

    explicit SignalSet(QList<DataField> list = {});
    [[nodiscard]] bool isEmpty() const { return fields.isEmpty(); }
};

// A decoded value as a person reads it: the physical value with up to 15
// significant digits, no exponent for ordinary magnitudes.
[[nodiscard]] QString physicalText(double value);
