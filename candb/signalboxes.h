#pragma once

#include "core/datafield.h"

#include <QLocale>
#include <QMap>
#include <QString>

#include <optional>

// The boxes of the identifier editor that show a data field's signal
// properties, as typed, and how they read back into a field.
struct SignalBoxes
{
    enum Multiplexing { NotMultiplexed, Multiplexor, Multiplexed };

    int cmbDataOrder = 0; // signaldecode::ByteOrder
    int cmbDataType = 0;  // signaldecode::ValueType
    QString txtDataFactor = QStringLiteral("1");
    QString txtDataOffset = QStringLiteral("0");
    QString txtDataMinimum = QStringLiteral("0");
    QString txtDataMaximum = QStringLiteral("0");
    QString txtDataUnit;
    QString txtDataComment;
    int cmbDataMultiplex = NotMultiplexed;
    // The multiplexor's value that carries the field (Multiplexed only).
    QString txtDataMultiplexValue;
    // One "value text" a line: "0 Off", "1 On".
    QString txtDataValueTexts;

    // The boxes showing `field`.
    [[nodiscard]] static SignalBoxes of(const DataField &field);
    [[nodiscard]] bool bigEndian() const { return cmbDataOrder == int(signaldecode::ByteOrder::BigEndian); }
    [[nodiscard]] bool multiplexValueUsed() const { return cmbDataMultiplex == Multiplexed; }

    // The signal properties of `shown` with those of every box typed in since
    // it showed `shown`; begin, end and name are not the boxes' business.
    // Boxes left as they were keep the exact values of `shown`.
    struct Read
    {
        DataField field;
        QString error; // the message for the user; empty when everything was read
    };
    [[nodiscard]] Read read(const DataField &shown, const QLocale &locale = QLocale()) const;

    bool operator==(const SignalBoxes &) const = default;
};

// A finite number in the C locale's notation; the locale's decimal separator
// is taken for the point too ("1,5" in German reads as 1.5). Group separators,
// NaN and infinities are refused.
[[nodiscard]] std::optional<double> parseNumber(const QString &text, const QLocale &locale = QLocale());
// The shortest C-locale text that reads back as exactly `value`: 0.1 -> "0.1".
[[nodiscard]] QString numberText(double value);

// Value texts, one "value text" a line, the value decimal or 0x-hex and the
// text the rest of the line (surrounding quotes dropped); blank lines are
// skipped. Example: "0 Off\n1 \"On\"\n0xFF Error" -> {0: Off, 1: On, 255: Error}.
struct ValueTextsRead
{
    QMap<qint64, QString> texts;
    QString error; // naming the line; empty when every line was read
};
[[nodiscard]] ValueTextsRead parseValueTexts(const QString &text);
// The lines parseValueTexts reads back, in order of value.
[[nodiscard]] QString valueTextsText(const QMap<qint64, QString> &texts);
