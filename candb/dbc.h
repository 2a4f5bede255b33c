#pragma once

#include "core/datafield.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

// Signal databases in the DBC text format, read into and written from plain
// values: no database file, no widgets. Worked example:
//   BO_ 2147484244 Engine: 8 ECU
//    SG_ Speed : 7|16@0+ (0.01,0) [0|655.35] "km/h" Vector__XXX
// is the extended message 0x254 "Engine" sent by node ECU, with one unsigned
// big-endian field whose most significant bit is bit 7: begin 7, end 22.
namespace dbc {

// A message (BO_) with its signals (SG_).
struct Message
{
    quint32 id = 0;        // 11 or 29 bits, without the extended mark
    bool extended = false; // bit 31 of the file's message id
    QString name;
    int dlc = 8;
    // The node that sends it; empty for none ("Vector__XXX") or unknown.
    QString transmitter;
    QString comment;
    int cycleTime = 0; // "GenMsgCycleTime" in ms; 0: none
    QList<DataField> fields;
    int line = 0; // where it was read (0 when built in memory)

    bool operator==(const Message &other) const; // every property but `line`
};

struct Network
{
    QStringList nodes; // BU_, in the file's order
    QList<Message> messages;

    bool operator==(const Network &) const = default;
};

// A construct of the file that was not taken over, counted by kind.
struct Skipped
{
    QString kind;      // "SG_MUL_VAL_", "SIG_GROUP_", "BA_ GenSigStartValue", ...
    int count = 0;
    int firstLine = 0; // 1-based
};

struct ReadResult
{
    bool ok = false;
    Network network;
    // What was read but not kept, in order of first appearance.
    QList<Skipped> skipped;
    // Problems that did not stop the read (a signal past 64 bits, a duplicate
    // name, factor 0, ...), each naming its line.
    QStringList warnings;
    // When !ok: why the file cannot be read, naming the line.
    QString error;
    int errorLine = 0;
};

// Reads a DBC file's bytes: UTF-8 when they are valid UTF-8, Windows-1252 otherwise.
[[nodiscard]] ReadResult read(const QByteArray &bytes);

// Writes a network as DBC text (UTF-8). Names that are not DBC identifiers
// are made valid; the original name is kept in the comment of its object, as
// its last line "Tessel name: <name>", so that read() gives it back.
[[nodiscard]] QByteArray write(const Network &network);

} // namespace dbc
