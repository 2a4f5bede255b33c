#pragma once

#include <QByteArray>
#include <QString>

#include <array>
#include <optional>

// A CAN identifier split the way the bus carries it: the 11-bit base part and
// the 18-bit extension. In a lost-frame record ExtPart holds the number of
// frames lost.
class clsID
{
public:
    qint32 StdPart = 0; // 0 to 0x7FF
    qint32 ExtPart = 0; // 0 to 0x3FFFF

    // The 29-bit identifier StdPart * 2^18 + ExtPart (wraps, never overflows).
    [[nodiscard]] qint32 ID() const;
    // StdPart := v / 2^18 (truncated toward zero), ExtPart := the remainder
    // (sign of v). Example: 0x12345678 gives StdPart 0x48D, ExtPart 0x05678.
    void setID(qint32 v);

    [[nodiscard]] QString toString() const;
    bool operator==(const clsID &) const = default;
};

// The one record of a CAN frame: captured, read from a capture file or
// composed for sending. A plain value; copy it freely.
//
// Send layout (getAsBinary), multi-byte numbers little-endian:
//   bytes 0-3 identifier (the 29-bit ID when IDE is set, else StdPart alone),
//   byte 4 Flags, byte 5 DLC, then min(DLC, 8) data bytes (none when RTR is set).
//   Example: standard frame ID 0x123, Flags 0, DLC 2, data AA 55
//            -> 23 01 00 00 00 02 AA 55
//
// Capture layout (setFromBinary):
//   bytes 0-3 time stamp, byte 4 the analyser's buffer level (ignored),
//   bytes 5-8 identifier, byte 9 Flags, byte 10 DLC, then min(DLC, 8) data bytes.
//   Example: 40 E2 01 00 | 05 | 23 01 00 00 | 00 | 02 | AA 55
//            -> TimeStamp 0x1E240, StdPart 0x123, DLC 2, data AA 55
//
// Lost-frame layout (setLostFrame): bytes 0-3 time stamp, byte 4 frames lost.
//
// Text line (setFromString), fields split at the delimiter:
//   stamp(hex) std(hex | "---") ext(hex | lost count, decimal) RTR IDE RB1 RB0 DLC data(hex)...
//   Example: "0001E240 123 ----- 0 0 0 0 3 11 22 33"
//            "0002A000 --- 3 - - - - 0 "   (3 frames lost)
class clsFrame
{
public:
    enum FlagBit : quint8 { rtrBit = 0x01, ideBit = 0x02, rb0Bit = 0x04, rb1Bit = 0x08 };

    // The fields are ordered so the record packs into 56 bytes: the capture
    // store keeps millions of them in its file.
    qint64 TimeStamp = 0; // raw stamp of the analyser's timer, 0 to 2^32-1 ticks
    // Ticks since the start of the capture; empty (nullopt) until a reader or
    // the capture store sets it.
    std::optional<qint64> Time;
    clsID ID;
    double Duration = 0.0; // seconds on the bus; 0 until computed
    bool isLost = false;
    quint8 DLC = 0; // kept as received, may exceed 8; data never exceeds 8 bytes
    quint8 Flags = 0; // bit 0 RTR, 1 IDE, 2 RB0, 3 RB1; bits 4-7 carried as received
    quint8 Bus = 0;   // the bus (channel) of a log with several; 0 = the first

    // Flag accessors: 1 when the bit is set, else 0. Writing any non-zero value
    // sets the bit, 0 clears it; other bits are kept.
    [[nodiscard]] int RTR() const { return (Flags & rtrBit) ? 1 : 0; }
    [[nodiscard]] int IDE() const { return (Flags & ideBit) ? 1 : 0; }
    [[nodiscard]] int RB0() const { return (Flags & rb0Bit) ? 1 : 0; }
    [[nodiscard]] int RB1() const { return (Flags & rb1Bit) ? 1 : 0; }
    void setRTR(int value) { setFlag(rtrBit, value); }
    void setIDE(int value) { setFlag(ideBit, value); }
    void setRB0(int value) { setFlag(rb0Bit, value); }
    void setRB1(int value) { setFlag(rb1Bit, value); }

    // Number of data bytes that exist for the DLC: min(DLC, 8).
    [[nodiscard]] int dataLength() const { return DLC > 8 ? 8 : DLC; }

    // Data bytes 0 to dataLength()-1 (at most 8, also when DLC is above 8).
    [[nodiscard]] QByteArray Data() const;
    // data[i] := s[i] for i < s.size(), else 0, for i = 0..7; longer input is cut.
    void setData(const QByteArray &s);

    // One data byte, index 0 to 7. An index outside that range is a
    // programming error: it asserts in debug builds, reads 0 and writes
    // nothing in release builds.
    [[nodiscard]] quint8 DataB(int index) const
    {
        Q_ASSERT(index >= 0 && index < 8);
        return (index >= 0 && index < 8) ? data[size_t(index)] : 0;
    }
    void setDataB(int index, quint8 value)
    {
        Q_ASSERT(index >= 0 && index < 8);
        if (index >= 0 && index < 8)
            data[size_t(index)] = value;
    }

    // The send layout (see above).
    [[nodiscard]] QByteArray getAsBinary() const;

    // Fills the record from a capture record; isLost := false, Time :=
    // TimeStamp, Duration from bitRate (bits per second). The identifier is
    // masked to 29 bits when IDE is set, else to 11 bits into StdPart alone
    // (ExtPart unchanged). With RTR set the data are cleared. Bytes missing
    // from a short record read as 0 and the result is false, so the caller can
    // drop it; true when every byte the layout needs was there.
    bool setFromBinary(const QByteArray &bytes, double bitRate);

    // Marks the record lost: TimeStamp from bytes 0-3, ID.ExtPart := byte 4.
    // Time, DLC, Flags, data and Duration are left as they were. A record
    // shorter than 5 bytes reads the missing bytes as 0 and returns false.
    bool setLostFrame(const QByteArray &bytes);

    // Fills the record from one capture-file line split at `delimiter`
    // (letters compared without regard to case; an empty delimiter leaves the
    // line one field). Duration is computed with bitRate last.
    //
    // A malformed line never stops the reader halfway: every field is applied
    // in its normal order, and a field that is missing, empty, not a number of
    // its base or out of its range (stamp above 32 bits, StdPart above 0x7FF,
    // ExtPart above 0x3FFFF, DLC above 255) reads as 0. The result is false
    // when any field the line needed was such a field, so the file reader can
    // skip the line. Fields are taken trimmed of spaces. When a data field
    // holds bytes separated by spaces (a non-space delimiter), each byte
    // counts as one data field, so files written with any delimiter read back.
    bool setFromString(const QString &line, const QString &delimiter, double bitRate);

    // Duration := frameDuration(DLC, IDE, bitRate).
    void computeDuration(double bitRate);
    // Seconds a data frame occupies the bus, without stuff bits and
    // interframe space: (8 * min(dlc, 8) + 64 extended / 44 standard) / bitRate.
    // A bit rate of 0 (or below, or not finite) gives 0.
    [[nodiscard]] static double frameDuration(int dlc, bool ide, double bitRate);

    // Every field in one line, for test failures and logs.
    [[nodiscard]] QString toString() const;

    bool operator==(const clsFrame &) const = default;

private:
    void setFlag(quint8 bit, int value) { Flags = value ? quint8(Flags | bit) : quint8(Flags & ~bit); }

    std::array<quint8, 8> data{};
};
