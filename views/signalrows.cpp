#include "views/signalrows.h"

#include "core/clsframe.h"
#include "core/signaldecode.h"

#include <QVarLengthArray>

#include <algorithm>
#include <array>
#include <span>

namespace {

using signaldecode::Status;
using signaldecode::ValueType;

// The key of the field's value texts: the raw value as a number, signed
// fields sign-extended (a text for -1 names the all-ones pattern). Floats
// have no texts.
bool textKey(const DataField &field, quint64 raw, qint64 *key)
{
    switch (field.type) {
    case ValueType::Unsigned:
        *key = qint64(raw);
        return true;
    case ValueType::Signed: {
        const int length = field.length();
        if (length >= 64) {
            *key = qint64(raw);
            return true;
        }
        const quint64 sign = quint64(1) << (length - 1);
        *key = qint64((raw ^ sign) - sign);
        return true;
    }
    case ValueType::Float32:
    case ValueType::Float64:
        break;
    }
    return false;
}

// Decodes every field of `set` in `frame` and hands each one that is not
// absent to `take` as a row.
template <class Take> void eachRow(const SignalSet &set, const clsFrame &frame, Take take)
{
    if (frame.isLost || set.fields.isEmpty())
        return;
    std::array<quint8, 8> bytes{};
    const int n = frame.RTR() ? 0 : signaldecode::dataBytes(frame.DLC);
    for (int i = 0; i < n; ++i)
        bytes[size_t(i)] = frame.DataB(i);
    QVarLengthArray<signaldecode::Value, 32> values(qsizetype(set.decoder.size()));
    signaldecode::decodeAll(set.decoder, std::span<const quint8>(bytes.data(), size_t(n)),
                            std::span<signaldecode::Value>(values.data(), size_t(values.size())));
    const qsizetype count = std::min(set.fields.size(), values.size());
    for (qsizetype i = 0; i < count; ++i) {
        const signaldecode::Value &v = values[i];
        if (v.status == Status::Absent)
            continue;
        const DataField &field = set.fields[i];
        SignalRow row;
        row.name = field.name;
        row.field = int(i);
        row.length = field.length();
        row.unit = field.unit;
        if (v.status == Status::OutsideFrame) {
            row.state = SignalRow::State::OutsideFrame;
        } else if (v.status != Status::Ok) {
            row.state = SignalRow::State::Invalid;
        } else {
            row.raw = v.raw;
            row.value = v.value;
            qint64 key = 0;
            if (!field.valueTexts.isEmpty() && textKey(field, v.raw, &key))
                row.description = field.valueTexts.value(key);
        }
        take(std::move(row));
    }
}

} // namespace

QString SignalRow::rawText() const
{
    if (state != State::Value)
        return {};
    const int digits = std::max((length + 3) / 4, 1);
    return QString::number(raw, 16).toUpper().rightJustified(digits, QLatin1Char('0'));
}

QString SignalRow::valueText() const
{
    switch (state) {
    case State::OutsideFrame:
        return QStringLiteral("outside the frame");
    case State::Invalid:
        return QStringLiteral("invalid field");
    case State::Value:
        break;
    }
    const QString number = physicalText(value);
    return unit.isEmpty() ? number : number + QLatin1Char(' ') + unit;
}

QString SignalRow::compactText() const
{
    return name + QLatin1Char('=') + (description.isEmpty() ? valueText() : description);
}

namespace signalrows {

QList<SignalRow> build(const SignalSet &set, const clsFrame &frame)
{
    QList<SignalRow> rows;
    eachRow(set, frame, [&rows](SignalRow &&row) { rows.append(std::move(row)); });
    return rows;
}

QString compactText(const SignalSet &set, const clsFrame &frame)
{
    QString text;
    eachRow(set, frame, [&text](SignalRow &&row) {
        if (row.state != SignalRow::State::Value)
            return;
        if (!text.isEmpty())
            text += QLatin1String("; ");
        text += row.compactText();
    });
    return text;
}

} // namespace signalrows
