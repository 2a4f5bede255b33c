#include "core/signaldecode.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace signaldecode {

namespace {

// The first bit of the field counted from the high bit of byte 0 (big-endian
// fields only): bit 7 is 0, bit 0 is 7, bit 15 is 8.
constexpr int msbFromTop(int startBit)
{
    return (startBit / 8) * 8 + (7 - startBit % 8);
}

// Bytes the field needs, counted from byte 0.
int bytesNeeded(const Field &field)
{
    const int lastBit = field.order == ByteOrder::LittleEndian ? field.startBit + field.length - 1
                                                               : msbFromTop(field.startBit) + field.length - 1;
    return lastBit / 8 + 1;
}

quint64 mask(int length)
{
    return length >= 64 ? ~quint64(0) : (quint64(1) << length) - 1;
}

} // namespace

Status check(const Field &field)
{
    if (field.length < 1 || field.length > 64 || field.startBit < 0 || field.startBit > 63)
        return Status::Invalid;
    if ((field.type == ValueType::Float32 && field.length != 32) ||
        (field.type == ValueType::Float64 && field.length != 64))
        return Status::Invalid;
    if (bytesNeeded(field) > 8)
        return Status::Invalid;
    return Status::Ok;
}

Value decode(const Field &field, std::span<const quint8> data)
{
    Value result;
    result.status = check(field);
    if (result.status != Status::Ok)
        return result;
    if (bytesNeeded(field) > int(data.size())) {
        result.status = Status::OutsideFrame;
        return result;
    }

    // The bytes as one 64-bit number, missing bytes zero; they are never
    // part of the field, as bytesNeeded showed.
    quint8 bytes[8] = {};
    std::memcpy(bytes, data.data(), std::min<size_t>(data.size(), 8));
    quint64 raw = 0;
    if (field.order == ByteOrder::LittleEndian) {
        for (int i = 7; i >= 0; --i)
            raw = raw << 8 | bytes[i];
        raw = field.startBit == 0 ? raw : raw >> field.startBit;
    } else {
        for (int i = 0; i < 8; ++i)
            raw = raw << 8 | bytes[i];
        const int shift = 64 - msbFromTop(field.startBit) - field.length;
        raw = shift == 0 ? raw : raw >> shift;
    }
    raw &= mask(field.length);
    result.raw = raw;

    double number = 0;
    switch (field.type) {
    case ValueType::Unsigned:
        number = double(raw);
        break;
    case ValueType::Signed: {
        const quint64 sign = quint64(1) << (field.length - 1);
        number = double(qint64((raw ^ sign) - sign));
        break;
    }
    case ValueType::Float32:
        number = double(std::bit_cast<float>(quint32(raw)));
        break;
    case ValueType::Float64:
        number = std::bit_cast<double>(raw);
        break;
    }
    result.value = number * field.factor + field.offset;
    return result;
}

void decodeAll(std::span<const Field> fields, std::span<const quint8> data, std::span<Value> out)
{
    const size_t count = std::min(fields.size(), out.size());
    bool muxKnown = false;
    quint64 mux = 0;
    for (size_t i = 0; i < count; ++i) {
        if (fields[i].multiplexor) {
            const Value selector = decode(fields[i], data);
            muxKnown = selector.status == Status::Ok;
            mux = selector.raw;
            break;
        }
    }
    for (size_t i = 0; i < count; ++i) {
        const Field &field = fields[i];
        if (field.multiplexValue >= 0 && !field.multiplexor && (!muxKnown || mux != quint64(field.multiplexValue))) {
            out[i] = Value{check(field) == Status::Ok ? Status::Absent : Status::Invalid, 0, 0};
            continue;
        }
        out[i] = decode(field, data);
    }
}

} // namespace signaldecode
