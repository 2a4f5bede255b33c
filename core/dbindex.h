#pragma once

#include "core/datafield.h"

#include <QString>

#include <memory>

// What the capture views ask of the current CAN data base, which the CAN
// database model holds in memory: one node per identifier key ("ID_" + 8 hex digits).
class IdIndex
{
public:
    virtual ~IdIndex() = default;

    // The check box of the identifier; false (and *ticked untouched) when the
    // data base has no such identifier.
    virtual bool getNodeChecked(const QString &key, bool *ticked) const = 0;

    // The device's name and the description of the identifier; false when
    // the data base has no such identifier.
    virtual bool idLabels(const QString &key, QString *device, QString *description) const = 0;

    // The data fields of the identifier `keyNumber`, ready to decode; null
    // when the data base has no such identifier or it has no fields.
    [[nodiscard]] virtual std::shared_ptr<const SignalSet> signalSet(qint32 keyNumber) const
    {
        Q_UNUSED(keyNumber);
        return {};
    }

    // The identifier's expected cycle time in milliseconds; 0 when the data
    // base has none or does not hold the identifier.
    [[nodiscard]] virtual int cycleTimeMs(qint32 keyNumber) const
    {
        Q_UNUSED(keyNumber);
        return 0;
    }
};

// What the CAN database model asks of the identifier monitor list.
class MonitorRows
{
public:
    virtual ~MonitorRows() = default;

    // Brings the row of `key` in line with the data base: an unticked row without
    // counted frames is removed; otherwise its icon becomes key + suffix and
    // its check box `ticked`. True when a check box changed. No row: nothing.
    virtual bool syncIDRow(const QString &key, const QString &suffix, bool ticked) = 0;

    // Leaving the data base: rows with frames get the "_new" icon, the others go.
    virtual void resetIDRows() = 0;

    // An identifier was deleted from the data base; true when its row stays
    // (it has counted frames: unchecked, "_new" icon), false when removed.
    virtual bool deleteCANID(qint32 keyNumber) = 0;

    // The check box of the row of `key`; false (and *ticked untouched) when
    // there is no row.
    virtual bool rowChecked(const QString &key, bool *ticked) const = 0;
};
