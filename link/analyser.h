#pragma once

#include <QByteArray>
#include <QString>

#include <initializer_list>

// The analyser's command vocabulary, its status byte and the values the
// connection test leaves for the rest of the program.
namespace analyser {

// Command and answer codes (first payload byte).
inline constexpr quint8 cmdHwVersion = 0x01;     // read the signature text
inline constexpr quint8 cmdWriteParam = 0x02;    // 0x02, parameter, value
inline constexpr quint8 cmdReadParam = 0x03;     // 0x03, parameter
inline constexpr quint8 cmdFirmwareUpgrade = 0x07;
inline constexpr quint8 cmdGetStatus = 0x81;
inline constexpr quint8 cmdSetStatus = 0x82; // 0x82, status byte
inline constexpr quint8 cmdSendFrame = 0x83;
inline constexpr quint8 cmdSendFrameLoopBack = 0x84;
inline constexpr quint8 codeCapturedFrame = 0x85; // sent unasked while capturing
inline constexpr quint8 codeLostFrames = 0x86;    // sent unasked while capturing

// A payload from its bytes: payload({cmdReadParam, paramCanBT1}).
[[nodiscard]] inline QByteArray payload(std::initializer_list<quint8> bytes)
{
    QByteArray p;
    p.reserve(qsizetype(bytes.size()));
    for (quint8 b : bytes)
        p.append(char(b));
    return p;
}

// Parameter numbers (read with 0x03, written with 0x02).
inline constexpr quint8 paramBuildLow = 0x80;
inline constexpr quint8 paramBuildHigh = 0x81;
inline constexpr quint8 paramHwVersion = 0x90;
inline constexpr quint8 paramSwMajor = 0x91;
inline constexpr quint8 paramSwMinor = 0x92;
inline constexpr quint8 paramXtal0 = 0xA0; // ..0xA3, least significant first
inline constexpr quint8 paramCanBT1 = 0xA8;
inline constexpr quint8 paramCanBT2 = 0xA9;
inline constexpr quint8 paramCanBT3 = 0xAA;
inline constexpr quint8 paramTimerPrescaler = 0xAB;
inline constexpr quint8 paramTxTimeOut = 0xAC;
inline constexpr quint8 paramMObs = 0xAD;

// Status byte: bits 0-5 the CAN mode, bit 7 capture on.
inline constexpr quint8 modeReset = 1;
inline constexpr quint8 modeStandby = 2; // shown as "Disable"
inline constexpr quint8 modeListen = 3;
inline constexpr quint8 modeEnable = 4;
inline constexpr quint8 captureBit = 0x80;

[[nodiscard]] constexpr int mode(quint8 status) { return status & 0x3F; }
[[nodiscard]] constexpr bool isCapturing(quint8 status) { return (status & captureBit) != 0; }
// "Reset", "Disable", "Listen", "Enable", or "" for any other mode.
[[nodiscard]] QString modeText(quint8 status);
// "On" or "Off".
[[nodiscard]] QString captureText(quint8 status);

// Bus bit rate of the CAN controller's bit timing, in bits per second:
// mcuClock / ((BRP + 1) * quanta), BRP = bits 1-6 of CANBT1, quanta = sync +
// propagation (CANBT2 bits 1-3) + phase 1 (CANBT3 bits 1-3) + phase 2
// (CANBT3 bits 4-6), each segment its field + 1. Computed as one division so
// that a database row's registers give exactly its speed (16 MHz, 02 0C 37 →
// 500000).
[[nodiscard]] double bitRate(qint64 mcuClock, quint8 canBT1, quint8 canBT2, quint8 canBT3);
// Time-stamp tick frequency: mcuClock / ((prescaler + 1) * 8).
[[nodiscard]] double timerRate(qint64 mcuClock, quint8 prescaler);

} // namespace analyser

// What the connection test learnt about the analyser; all 0 until then.
struct AnalyserValues
{
    QString analyserSignature;
    quint8 hwVersion = 0;
    qint32 buildNumber = 0;
    quint8 swMajor = 0;
    quint8 swMinor = 0;
    qint32 mcuClock = 0;
    quint8 canBT1 = 0;
    quint8 canBT2 = 0;
    quint8 canBT3 = 0;
    quint8 timerPrescaler = 0;
    quint8 txTimeOut = 0;
    quint8 rxMObs = 0;
    double analyserBitRate = 0;
    double timerFrequency = 0;
};
