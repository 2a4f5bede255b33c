#pragma once

#include "core/datafield.h"

#include <QHash>
#include <QList>

class Database;
class QSqlQuery;

// Data fields in the database file: CAN_Data rows with their CAN_Value texts.
namespace signalstore {

// Stores one field (and its value texts) as row `id` of identifier row
// `idCanId`; false when a statement failed. Run it inside a transaction.
bool insert(Database &db, int id, int idCanId, const DataField &field);

// The field held by the current row of a query over CAN_Data, without its
// value texts. Unknown byte orders and value types read as the defaults.
[[nodiscard]] DataField fromRow(const QSqlQuery &row);

// The fields of one identifier row, with their value texts, in stored order.
[[nodiscard]] QList<DataField> ofIdentifier(Database &db, int idCanId);

// The fields of every identifier row of data base `idCan`, with their value
// texts, by id_CAN_ID, each in stored order.
[[nodiscard]] QHash<int, QList<DataField>> ofDataBase(Database &db, int idCan);

} // namespace signalstore
