#pragma once

#include <QLocale>
#include <QString>

class Prompts;
class clsFrame;

// Small value and key utilities shared by every window: validation of typed
// numbers, identifier key numbers and the text keys of the tree and lists,
// identifier text and colour, padded formatting.
//
// Identifier key number (qint32): the 11-bit identifier of a standard frame;
// standard part * 2^18 + extension + 0x20000000 for an extended frame;
// 0x40000000 alone for a lost-frame record.
// Example: extended, standard part 0x123, extension 0x4567
//          -> 0x248C4567, key "ID_248C4567", text "123.04567".

inline constexpr qint32 lostFrameKeyBit = 0x40000000;
inline constexpr qint32 extendedKeyBit = 0x20000000;

// ---- Validation -------------------------------------------------------------
//
// The results of the last check live in a ValueCheck the caller owns (there is
// no program-wide state); pass one to read the value back. A check fills it as
// far as it gets: parsedValue once the text has been read as a number (also
// when it then proves too big), parsedHexText only when checkHex passes.
struct ValueCheck
{
    qint64 parsedValue = 0; // exact value of the text, never negative
    QString parsedHexText;  // checkHex: the value as zero-padded upper-case hex
};

inline constexpr int checkOk = 0;
inline constexpr int checkBadDigit = -1; // "Value must be digit!" / "Value must be in hex!"
inline constexpr int checkTooBig = -2;   // "Value is big!"

// Decimal text: an empty text becomes "0" (the caller's text is changed);
// any character but 0-9 shows "Value must be digit!" and returns -1; a value
// above `maximum` or above 2^31-1 shows "Value is big!" and returns -2; else 0.
// Messages use the critical icon and the application title; one per failure.
int checkDecimal(Prompts &prompts, QString &text, qint64 maximum, ValueCheck *out = nullptr);

// Hexadecimal text (either case): an empty text becomes "0"; a character that
// is not a hex digit shows "Value must be in hex!" and returns -1; a value
// above `maximum` or above 0xFFFFFFFF, or one that needs more than `digits`
// digits, shows "Value is big!" and returns -2. On success the caller's text
// becomes the value padded to `digits` upper-case digits (also parsedHexText)
// and 0 is returned. Leading zeros do not count against `digits`:
// ("0800", 3, 0xFFFF) passes as "800"; ("1000", 3, 0xFFFF) returns -2.
// A failed check leaves the caller's text as typed.
int checkHex(Prompts &prompts, QString &text, int digits, qint64 maximum, ValueCheck *out = nullptr);

// True when a name holds a character that is no text: a control character
// (line break, tab, ...) or a line or paragraph separator. Such a name would
// break the line-based files the name is written to.
[[nodiscard]] bool hasControlCharacter(const QString &name);

// ---- Keys ---------------------------------------------------------------------

// "DEV_" + id in decimal.
[[nodiscard]] QString deviceKey(qint64 id);
// The decimal number after "DEV_"; 0 when it is not a number.
[[nodiscard]] qint32 deviceKeyId(const QString &key);

// "ID_" + 8 upper-case hex digits of the key number (its 32-bit pattern).
[[nodiscard]] QString idKey(qint32 keyNumber);
// The hex number after "ID_"; 8 digits with the top bit set give a negative
// number; 0 when the text is not a hex number of at most 32 bits.
[[nodiscard]] qint32 idKeyNumber(const QString &key);

// "xxx" for a lost-frame key; "SSS.EEEEE" for an extended identifier; else
// the identifier padded to 3 hex digits.
[[nodiscard]] QString formatID(qint32 keyNumber);
// formatID(keyNumber) + " - " + name: the caption of an identifier node.
[[nodiscard]] QString idNodeText(qint32 keyNumber, const QString &name);
// The part of a node caption after its first " - "; empty when the caption
// holds no " - ".
[[nodiscard]] QString idNodeName(const QString &nodeText);

// Splits an identifier key into its editor fields. Returns the key number;
// for a lost-frame key returns -1 and leaves the outputs unchanged. Standard:
// ide false, stdText 3 hex digits, extText "-----". Extended: ide true,
// stdText 3 hex digits of the standard part, extText 5 hex digits.
qint32 splitIdKey(const QString &key, bool &ide, QString &stdText, QString &extText);
// The key number from the editor fields (hex texts; a text that is not a hex
// number reads as 0).
[[nodiscard]] qint32 makeIdNumber(bool ide, const QString &stdText, const QString &extText);
// The key number of a frame: 0x40000000 for a lost-frame record; the 29-bit
// identifier | 0x20000000 for an extended frame; the 11-bit standard part
// otherwise. Bits beyond the identifier's width are dropped, so a frame never
// yields a lost-frame or negative key.
[[nodiscard]] qint32 frameIdNumber(const clsFrame &frame);

// ---- Colours (0x00BBGGRR, red in the low byte) --------------------------------

// From three hex digits d1 d2 d3: red (2*d1+1)*16, green d2*16, blue d3*16.
// Missing or non-hex digits count as 0. Example: "123" -> 0x00302030.
[[nodiscard]] quint32 hexColour(const QString &text);
// The colour of an identifier key: that of its 11-bit standard part (so
// extended identifiers share their standard part's colour); grey 0x808080
// for the lost-frame key.
[[nodiscard]] quint32 idColour(const QString &key);
// A 0x00BBGGRR colour as an opaque 0xAARRGGBB value (QRgb, for QColor).
[[nodiscard]] constexpr quint32 rgbFromColour(quint32 colour)
{
    return 0xFF000000u | ((colour & 0xFF) << 16) | (colour & 0xFF00) | ((colour >> 16) & 0xFF);
}

// ---- Formatting ---------------------------------------------------------------

// Upper-case hex, left-padded with "0" to `width`, never shortened. A negative
// value is formatted as its 32-bit pattern. hexPad(0xFFFFFFFF, 8) = "FFFFFFFF".
[[nodiscard]] QString hexPad(qint64 value, int width);
// Decimal, left-padded with spaces to `width`, never shortened.
[[nodiscard]] QString padLeft(qint64 number, int width);
// The value with exactly three decimals and the locale's decimal separator,
// no group separators, left-padded with spaces to `width`. Values below 1
// keep their leading "0" ("0.500"). formatSeconds(1234.5f, 10) = "  1234.500".
[[nodiscard]] QString formatSeconds(float value, int width, const QLocale &locale = QLocale());
// Nearest whole number, halves away from zero (2.5 -> 3, -2.5 -> -3); never
// -0; NaN gives 0; values beyond the 64-bit range saturate.
[[nodiscard]] qint64 roundWhole(double value);
