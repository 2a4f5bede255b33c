#include "core/datafield.h"

#include "core/values.h"

#include <cmath>

QString DataField::text() const
{
    if (order == signaldecode::ByteOrder::BigEndian)
        return padLeft(begin, 2) + QStringLiteral("/%1 BE").arg(length());
    return padLeft(begin, 2) + QStringLiteral("..") + padLeft(end, 2);
}

signaldecode::Field DataField::decoderField() const
{
    signaldecode::Field f;
    f.startBit = begin;
    f.length = length();
    f.order = order;
    f.type = type;
    f.factor = factor;
    f.offset = offset;
    f.multiplexor = multiplexor;
    f.multiplexValue = multiplexValue;
    return f;
}

SignalSet::SignalSet(QList<DataField> list)
    : fields(std::move(list))
{
    decoder.reserve(size_t(fields.size()));
    for (const DataField &field : std::as_const(fields))
        decoder.push_back(field.decoderField());
}

QString physicalText(double value)
{
    if (std::isnan(value))
        return QStringLiteral("NaN");
    if (value == std::trunc(value) && std::fabs(value) < 1e15)
        return QString::number(qint64(value));
    return QString::number(value, 'g', 15);
}
