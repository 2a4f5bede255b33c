#pragma once

#include "core/database.h"

#include <QList>
#include <QStringList>
#include <QVariant>

// Every statement the program sends to the database file, by table. Values
// are bound ("?" in order), so names holding quotes are stored as typed.
namespace sql {

// Params
inline constexpr const char *selectParams = "select * from Params";
inline constexpr const char *selectParam = "select * from Params where Name=?";
inline constexpr const char *selectParamValue = "select Value from Params where Name=?";
inline constexpr const char *saveParam = "insert into Params (Name, Value) values (?, ?) "
                                         "on conflict(Name) do update set Name=excluded.Name, Value=excluded.Value";

// CAN (one row per CAN data base)
inline constexpr const char *selectCanList = "select Name,id_CAN from CAN";
inline constexpr const char *selectCanByName = "select * from CAN where Name=?";
inline constexpr const char *selectCanSpeedId = "select id_CAN_Speed from CAN where id_CAN=?";
inline constexpr const char *selectCanTimerId = "select id_CAN_Timer from CAN where id_CAN=?";
inline constexpr const char *selectCanDeviceId = "select id_CAN_Device from CAN where id_CAN=?";
inline constexpr const char *insertCan =
    "insert into CAN (id_CAN, Name, id_CAN_Device, id_CAN_Speed, id_CAN_Timer) values (?, ?, ?, ?, ?)";
inline constexpr const char *updateCanName = "update CAN set Name=? where id_CAN=?";
inline constexpr const char *updateCanDevice = "update CAN set id_CAN_Device=? where id_CAN=?";
inline constexpr const char *updateCanSpeed = "update CAN set id_CAN_Speed=? where id_CAN=?";
inline constexpr const char *updateCanTimer = "update CAN set id_CAN_Timer=? where id_CAN=?";
inline constexpr const char *deleteCanByName = "delete from CAN where Name=?";

// CAN_Device
inline constexpr const char *selectDevices = "select * from CAN_Device where id_CAN=? order by rowid";
inline constexpr const char *selectDeviceList =
    "select Name,id_CAN_Device from CAN_Device where id_CAN=? order by rowid";
inline constexpr const char *selectDeviceByName = "select * from CAN_Device where ((id_CAN=?) and (Name=?))";
inline constexpr const char *insertDevice = "insert into CAN_Device (id_CAN_Device, id_CAN, Name) values (?, ?, ?)";
inline constexpr const char *updateDeviceName = "update CAN_Device set Name=? where id_CAN_Device=?";
inline constexpr const char *deleteDevice = "delete from CAN_Device where id_CAN_Device=?";

// CAN_ID
inline constexpr const char *selectIds = "select * from CAN_ID where (id_CAN_Device=?) order by rowid";
inline constexpr const char *selectIdOfDevice = "select * from CAN_ID where ((id_CAN_Device=?) and (ID=?))";
inline constexpr const char *selectIdRowByKey = "select id_CAN_ID from CAN_ID where ID=?";
inline constexpr const char *insertId =
    "insert into CAN_ID (id_CAN_ID, id_CAN_Device, ID, Name, Enable) values (?, ?, ?, ?, ?)";
// insertId with the expected cycle time and the comment.
inline constexpr const char *insertIdDetailed = "insert into CAN_ID (id_CAN_ID, id_CAN_Device, ID, Name, Enable, "
                                               "CycleTime, Comment, Dlc) values (?, ?, ?, ?, ?, ?, ?, ?)";
inline constexpr const char *updateIdDetails = "update CAN_ID set CycleTime=?, Comment=? where id_CAN_ID=?";
inline constexpr const char *updateIdEnableOfDevice = "update CAN_ID set Enable=? where id_CAN_Device=?";
inline constexpr const char *updateIdEnable = "update CAN_ID set Enable=? where id_CAN_ID=?";
inline constexpr const char *updateIdName = "update CAN_ID set Name=? where id_CAN_ID=?";
inline constexpr const char *updateIdDevice = "update CAN_ID set id_CAN_Device=? where id_CAN_ID=?";
inline constexpr const char *deleteId = "delete from CAN_ID where id_CAN_ID=?";

// CAN_Data
inline constexpr const char *selectData = "select * from CAN_Data where id_CAN_ID=? order by rowid";
inline constexpr const char *insertData =
    "insert into CAN_Data (id_CAN_Data, id_CAN_ID, Name, \"Begin\", \"Count\") values (?, ?, ?, ?, ?)";
// insertData with every property of a signal.
inline constexpr const char *insertSignal =
    "insert into CAN_Data (id_CAN_Data, id_CAN_ID, Name, \"Begin\", \"Count\", ByteOrder, ValueType, Factor, "
    "\"Offset\", Minimum, Maximum, Unit, Comment, Multiplexor, MultiplexValue) "
    "values (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)";
inline constexpr const char *deleteData = "delete from CAN_Data where id_CAN_ID=?";
// Every data field of a data base with its identifier's number, in stored order.
inline constexpr const char *selectDataOfCan =
    "select CAN_ID.ID, CAN_Data.* from CAN_Data join CAN_ID on CAN_ID.id_CAN_ID=CAN_Data.id_CAN_ID "
    "join CAN_Device on CAN_Device.id_CAN_Device=CAN_ID.id_CAN_Device where CAN_Device.id_CAN=? "
    "order by CAN_Data.rowid";

// CAN_Value
inline constexpr const char *selectValuesOfData = "select Value, Text from CAN_Value where id_CAN_Data=? order by Value";
inline constexpr const char *selectValuesOfCan =
    "select CAN_Value.id_CAN_Data, Value, Text from CAN_Value join CAN_Data on "
    "CAN_Data.id_CAN_Data=CAN_Value.id_CAN_Data join CAN_ID on CAN_ID.id_CAN_ID=CAN_Data.id_CAN_ID "
    "join CAN_Device on CAN_Device.id_CAN_Device=CAN_ID.id_CAN_Device where CAN_Device.id_CAN=?";
inline constexpr const char *insertValue = "insert into CAN_Value (id_CAN_Data, Value, Text) values (?, ?, ?)";

// CAN_Speed and CAN_Timer (reference rows, read only)
// Slowest first: the rows' order in the table says nothing.
inline constexpr const char *selectSpeedList =
    "select Speed,id_CAN_Speed from CAN_Speed where \"View\"<2 order by Speed, id_CAN_Speed";
inline constexpr const char *selectSpeed = "select Speed from CAN_Speed where id_CAN_Speed=?";
inline constexpr const char *selectSpeedRow = "select * from CAN_Speed where id_CAN_Speed=?";
inline constexpr const char *selectTimerList = "select Timer,id_CAN_Timer from CAN_Timer where \"View\"<2";
inline constexpr const char *selectTimer = "select Timer from CAN_Timer where id_CAN_Timer=?";
inline constexpr const char *selectTimerRow = "select * from CAN_Timer where id_CAN_Timer=?";

// From schema version 1 (the tables without signal properties) to 2.
inline constexpr const char *upgradeTo2[] = {
    "alter table CAN_ID add column CycleTime INTEGER NOT NULL DEFAULT 0",
    "alter table CAN_ID add column Comment TEXT",
    "alter table CAN_ID add column Dlc INTEGER",
    "alter table CAN_Data add column ByteOrder INTEGER NOT NULL DEFAULT 0",
    "alter table CAN_Data add column ValueType INTEGER NOT NULL DEFAULT 0",
    "alter table CAN_Data add column Factor REAL NOT NULL DEFAULT 1",
    "alter table CAN_Data add column \"Offset\" REAL NOT NULL DEFAULT 0",
    "alter table CAN_Data add column Minimum REAL NOT NULL DEFAULT 0",
    "alter table CAN_Data add column Maximum REAL NOT NULL DEFAULT 0",
    "alter table CAN_Data add column Unit TEXT",
    "alter table CAN_Data add column Comment TEXT",
    "alter table CAN_Data add column Multiplexor INTEGER NOT NULL DEFAULT 0",
    "alter table CAN_Data add column MultiplexValue INTEGER NOT NULL DEFAULT -1",
    "create table CAN_Value (id_CAN_Data INTEGER REFERENCES CAN_Data (id_CAN_Data) ON DELETE CASCADE, "
    "Value INTEGER NOT NULL, Text TEXT)",
    "create index CAN_Value_by_Data on CAN_Value (id_CAN_Data)",
};

// A row-id counter among the settings and the table whose ids it hands out.
struct IdCounter
{
    const char *name;
    const char *idTaken; // count of rows holding the id
    const char *highestId;
};
inline constexpr IdCounter canCounter{"counter_id_CAN", "select count(*) from CAN where id_CAN=?",
                                      "select max(id_CAN) from CAN"};
inline constexpr IdCounter deviceCounter{"counter_id_CAN_Device",
                                         "select count(*) from CAN_Device where id_CAN_Device=?",
                                         "select max(id_CAN_Device) from CAN_Device"};
inline constexpr IdCounter idCounter{"counter_id_CAN_ID", "select count(*) from CAN_ID where id_CAN_ID=?",
                                     "select max(id_CAN_ID) from CAN_ID"};
inline constexpr IdCounter dataCounter{"counter_id_CAN_Data", "select count(*) from CAN_Data where id_CAN_Data=?",
                                       "select max(id_CAN_Data) from CAN_Data"};

} // namespace sql

class ParamStore;

// The next id of a table, from its counter (ParamStore::nextCounter). An id
// that a row already holds (a counter behind its table) is passed over: the
// id after the table's highest is handed out and the counter moved past it.
// Run it inside the transaction that inserts the row.
[[nodiscard]] int nextId(Database &db, ParamStore &params, const sql::IdCounter &counter);

// Column `column` of the first row as an integer; -1 when the statement
// failed or found no row. A result of 1 or more tells that a row exists.
[[nodiscard]] int queryNumber(Database &db, const char *statement, const QVariantList &binds, int column = 0);

// The first column of the first row (which may be null); `fallback` when the
// statement failed or found no row.
[[nodiscard]] QVariant queryValue(Database &db, const char *statement, const QVariantList &binds,
                                  const QVariant &fallback);

// A column value as a list shows it: whole numbers without exponent.
[[nodiscard]] QString displayText(const QVariant &value);

// The contents of a list box filled from a query: texts, the row id of each
// item (element p for the item at position p) and the selected position.
struct ComboList
{
    QStringList items;
    QList<int> ids;
    int selected = -1;

    void clear() { *this = ComboList(); }
};

// Appends the rows of a statement whose column 0 is the text and column 1 the
// row id; rows with a null text are skipped. The item whose column `keyColumn`
// equals `selectValue` becomes the selection (the last one if several match).
// False, and nothing changed, when the statement failed.
bool loadCombo(Database &db, const char *statement, const QVariantList &binds, ComboList &list, int keyColumn,
               const QVariant &selectValue);

// Selects the item of the speed or timer row `id` in a list of them: the item
// of that id, else the first one of the same value (`valueStatement`, such as
// selectTimer, reads it), since a hidden row (View 2, like the default timer
// row 0) shares its value with a listed one. False, and the selection kept,
// when neither is in the list.
bool selectReferenceRow(Database &db, const char *valueStatement, int id, ComboList &list);
