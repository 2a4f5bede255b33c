#pragma once

#include <QtGlobal>

#include <span>

// Turns the data bytes of a frame into signal values: the raw bits of a data
// field and its physical value, raw * factor + offset.
//
// Bit positions are those of signal databases. Little-endian fields name their
// least significant bit, counting bit 0 as the low bit of data byte 0 and bit
// 63 as the high bit of byte 7. Big-endian fields name their most significant
// bit in the same numbering and continue to the low bit of that byte, then
// from bit 7 of the next byte down. Worked example, data 12 34 56 78:
//   start 8, length 16, little-endian  -> raw 0x5634
//   start 7, length 16, big-endian     -> raw 0x1234
//   start 3, length 12, big-endian     -> raw 0x234 (low nibble of 0x12, then 0x34)
namespace signaldecode {

enum class ByteOrder { LittleEndian, BigEndian };
enum class ValueType { Unsigned, Signed, Float32, Float64 };

struct Field
{
    int startBit = 0;
    int length = 64;
    ByteOrder order = ByteOrder::LittleEndian;
    ValueType type = ValueType::Unsigned;
    double factor = 1;
    double offset = 0;
    // The field that selects which multiplexed fields a frame carries.
    bool multiplexor = false;
    // Present only when the multiplexor's raw value equals this; -1: always.
    qint64 multiplexValue = -1;
};

enum class Status {
    Ok,
    // The field reaches past the frame's data bytes; nothing was read.
    OutsideFrame,
    // Length outside 1..64, a float of the wrong length, or bits outside 0..63.
    Invalid,
    // A multiplexed field whose multiplexor selects another value.
    Absent,
};

struct Value
{
    Status status = Status::Invalid;
    quint64 raw = 0;  // the field's bits, right-aligned
    double value = 0; // physical: raw (sign-extended or as float) * factor + offset
};

// Why `field` can never be decoded, or Status::Ok.
[[nodiscard]] Status check(const Field &field);

// The number of data bytes a frame with data length code `dlc` carries (9 to
// 15 mean 8).
[[nodiscard]] constexpr int dataBytes(int dlc)
{
    return dlc < 0 ? 0 : (dlc > 8 ? 8 : dlc);
}

// Decodes one field from the frame's `data` (its data bytes, dataBytes(dlc)
// of them), ignoring multiplexing.
[[nodiscard]] Value decode(const Field &field, std::span<const quint8> data);

// Decodes the fields of one identifier: the multiplexor first, then every
// field, marking multiplexed fields of other multiplexor values Absent.
// `out` gets one value per field, in the same order.
void decodeAll(std::span<const Field> fields, std::span<const quint8> data, std::span<Value> out);

} // namespace signaldecode
