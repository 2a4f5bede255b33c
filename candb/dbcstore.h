#pragma once

#include "candb/dbc.h"

#include <QString>
#include <QStringList>

#include <optional>

class Database;
class ParamStore;

// CAN data bases to and from DBC networks: a network becomes a new data base
// in one transaction; a data base is read back as a network.
//
// Devices are the network's nodes; the first node is the data base's default
// device (one named "Default" is made for a network without nodes), and it
// receives every message without a known transmitter. Written back, the
// default device is the first node and every message names its device, so a
// network read from a data base and stored again gives an equal data base.
namespace dbcstore {

struct Stored
{
    std::optional<int> canId; // the new data base's id_CAN; nullopt: nothing was written
    QString name;             // the name it was given (made unique among the data bases)
    int devices = 0;
    int identifiers = 0;
    int fields = 0;
    // Messages that could not become identifiers, each with why.
    QStringList notes;
    QString error; // why nothing was written
};

// Stores `network` as a new data base named `name` (or "name (2)", ... when
// that is taken) with the given speed and timer rows. All or nothing.
[[nodiscard]] Stored store(Database &db, ParamStore &params, const dbc::Network &network, const QString &name,
                           int speedId, int timerId);

// The data base `idCan` as a network; nullopt (and *error) when it cannot be read.
[[nodiscard]] std::optional<dbc::Network> load(Database &db, int idCan, QString *error = nullptr);

// The id_CAN of the data base named `name`; nullopt when there is none.
[[nodiscard]] std::optional<int> findDataBase(Database &db, const QString &name);

// A report of an import for the user: what was stored, what the file held
// that was not kept (by kind, with counts and first lines) and the warnings.
[[nodiscard]] QString report(const QString &fileName, const dbc::ReadResult &read, const Stored &stored);

// Reads and stores a DBC file in one go: the report's text, and the data
// base's id (nullopt when the file could not be read or stored; the text says why).
struct ImportOutcome
{
    std::optional<int> canId;
    QString text;
};
[[nodiscard]] ImportOutcome importFile(Database &db, ParamStore &params, const QString &path, const QString &name,
                                       int speedId, int timerId);

} // namespace dbcstore
