#include "core/signalstore.h"

#include "core/database.h"
#include "core/queries.h"

#include <QSqlQuery>

namespace signalstore {

namespace {
QVariant textOrNull(const QString &text)
{
    return text.isEmpty() ? QVariant() : QVariant(text);
}
} // namespace

bool insert(Database &db, int id, int idCanId, const DataField &field)
{
    if (!db.execute(QString::fromLatin1(sql::insertSignal),
                    {id, idCanId, field.name, field.begin, field.length(), int(field.order), int(field.type),
                     field.factor, field.offset, field.minimum, field.maximum, textOrNull(field.unit),
                     textOrNull(field.comment), field.multiplexor ? 1 : 0, field.multiplexValue}))
        return false;
    for (auto it = field.valueTexts.cbegin(); it != field.valueTexts.cend(); ++it)
        if (!db.execute(QString::fromLatin1(sql::insertValue), {id, it.key(), it.value()}))
            return false;
    return true;
}

DataField fromRow(const QSqlQuery &row)
{
    DataField field;
    field.begin = row.value(QStringLiteral("Begin")).toInt();
    field.end = field.begin + row.value(QStringLiteral("Count")).toInt() - 1;
    field.name = row.value(QStringLiteral("Name")).toString();
    if (row.value(QStringLiteral("ByteOrder")).toInt() == 1)
        field.order = signaldecode::ByteOrder::BigEndian;
    const int type = row.value(QStringLiteral("ValueType")).toInt();
    if (type >= 0 && type <= int(signaldecode::ValueType::Float64))
        field.type = signaldecode::ValueType(type);
    field.factor = row.value(QStringLiteral("Factor")).toDouble();
    field.offset = row.value(QStringLiteral("Offset")).toDouble();
    field.minimum = row.value(QStringLiteral("Minimum")).toDouble();
    field.maximum = row.value(QStringLiteral("Maximum")).toDouble();
    field.unit = row.value(QStringLiteral("Unit")).toString();
    field.comment = row.value(QStringLiteral("Comment")).toString();
    field.multiplexor = row.value(QStringLiteral("Multiplexor")).toInt() != 0;
    field.multiplexValue = row.value(QStringLiteral("MultiplexValue")).toLongLong();
    return field;
}

QList<DataField> ofIdentifier(Database &db, int idCanId)
{
    QList<DataField> fields;
    QList<int> rowIds;
    auto rows = db.openRecordset(QString::fromLatin1(sql::selectData), {idCanId});
    while (rows && rows->next()) {
        fields << fromRow(*rows);
        rowIds << rows->value(QStringLiteral("id_CAN_Data")).toInt();
    }
    for (qsizetype i = 0; i < fields.size(); ++i) {
        auto values = db.openRecordset(QString::fromLatin1(sql::selectValuesOfData), {rowIds.at(i)});
        while (values && values->next())
            fields[i].valueTexts.insert(values->value(0).toLongLong(), values->value(1).toString());
    }
    return fields;
}

QHash<int, QList<DataField>> ofDataBase(Database &db, int idCan)
{
    QHash<int, QMap<qint64, QString>> texts;
    auto values = db.openRecordset(QString::fromLatin1(sql::selectValuesOfCan), {idCan});
    while (values && values->next())
        texts[values->value(0).toInt()].insert(values->value(1).toLongLong(), values->value(2).toString());
    QHash<int, QList<DataField>> fields;
    auto rows = db.openRecordset(QString::fromLatin1(sql::selectDataOfCan), {idCan});
    while (rows && rows->next()) {
        DataField field = fromRow(*rows);
        field.valueTexts = texts.value(rows->value(QStringLiteral("id_CAN_Data")).toInt());
        fields[rows->value(QStringLiteral("id_CAN_ID")).toInt()] << field;
    }
    return fields;
}

} // namespace signalstore
