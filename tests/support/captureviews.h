#pragma once

#include "core/dbindex.h"
#include "core/values.h"
#include "link/capturecontrol.h"
#include "core/capturestore.h"
#include "views/messagemodel.h"
#include "views/monitorlist.h"

#include <QHash>
#include <QStringList>

#include <memory>

// The data base tree as the capture views see it: identifiers by key with
// their check box and labels, and data fields by key number.
class FakeIdIndex final : public IdIndex
{
public:
    struct Node
    {
        bool ticked = true;
        QString device;
        QString description;
    };
    QHash<QString, Node> nodes;
    QHash<qint32, std::shared_ptr<const SignalSet>> sets;
    QHash<qint32, int> cycleTimes; // key number -> ms

    [[nodiscard]] int cycleTimeMs(qint32 keyNumber) const override { return cycleTimes.value(keyNumber); }

    void setFields(qint32 keyNumber, const QList<DataField> &fields)
    {
        sets.insert(keyNumber, std::make_shared<const SignalSet>(fields));
    }
    [[nodiscard]] std::shared_ptr<const SignalSet> signalSet(qint32 keyNumber) const override
    {
        return sets.value(keyNumber);
    }

    void add(qint32 keyNumber, bool ticked, const QString &device, const QString &description)
    {
        nodes.insert(idKey(keyNumber), {ticked, device, description});
    }

    bool getNodeChecked(const QString &key, bool *ticked) const override
    {
        const auto it = nodes.constFind(key);
        if (it == nodes.cend())
            return false;
        *ticked = it->ticked;
        return true;
    }
    bool idLabels(const QString &key, QString *device, QString *description) const override
    {
        const auto it = nodes.constFind(key);
        if (it == nodes.cend())
            return false;
        *device = it->device;
        *description = it->description;
        return true;
    }
};

// The main window's capture views without the window: store, monitor list
// and message list, fed the way frmMain feeds them.
struct CaptureViews final : public CaptureSink
{
    CaptureStore store;
    MonitorList monitor;
    MessageModel messages{store};
    FakeIdIndex index;
    int lastRow = -1;
    int selectedRow = -1;
    int batches = 0;
    int scrollResets = 0;
    int closes = 0;

    CaptureViews()
    {
        store.setFilter(&monitor);
        monitor.setIdIndex(&index);
        messages.setIdIndex(&index);
        messages.setLocale(QLocale::c());
    }

    // Rows one by one (false), or per decoding run as the main window
    // appends them (true).
    bool batched = false;
    std::vector<quint32> pending;

    bool captureFrame(const clsFrame &frame) override
    {
        if (!store.addCapturedFrame(frame))
            return false;
        if (batched)
            pending.push_back(quint32(store.count() - 1));
        else
            lastRow = messages.addCANFrame(store.count());
        return true;
    }
    void captureBatchDone() override
    {
        ++batches;
        if (batched && !pending.empty()) {
            lastRow = messages.addCANFrames(pending);
            pending.clear();
        }
        selectedRow = lastRow;
    }
    void resetViewScroll() override { ++scrollResets; }
    void captureClosed() override { ++closes; }

    // The texts of one message row, column by column.
    [[nodiscard]] QStringList rowTexts(int row) const
    {
        QStringList t;
        for (int c = 0; c < MessageModel::columnTotal; ++c)
            t << messages.text(row, c);
        return t;
    }
};

// A standard or extended data frame as the analyser would capture it.
inline clsFrame makeFrame(qint64 stamp, qint32 id, bool extended = false, int dlc = 0, double bitRate = 500000)
{
    clsFrame f;
    f.TimeStamp = stamp;
    f.Time = stamp;
    if (extended) {
        f.setIDE(1);
        f.ID.setID(id);
    } else {
        f.ID.StdPart = id;
    }
    f.DLC = quint8(dlc);
    for (int i = 0; i < qMin(dlc, 8); ++i)
        f.setDataB(i, quint8(0x11 * (i + 1)));
    f.computeDuration(bitRate);
    return f;
}

inline clsFrame makeLost(qint64 stamp, int count)
{
    clsFrame f;
    f.isLost = true;
    f.TimeStamp = stamp;
    f.ID.ExtPart = count;
    return f;
}
