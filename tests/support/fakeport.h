#pragma once

#include "serial/serialport.h"

#include <QList>
#include <utility>

// A serial port in memory: records what is written and hands out what the
// test feeds in. `failed` makes it behave like a device that disappeared.
class FakePort final : public SerialPort
{
public:
    bool openOk = true;
    bool opened = false;
    bool failed = false;
    int openCount = 0;
    QString lastSettings;
    QList<QByteArray> writes;
    QByteArray incoming;
    QString reason; // what the system would say about a failure

    bool open(const QString &settings) override
    {
        lastSettings = settings;
        ++openCount;
        opened = openOk;
        failed = false;
        return openOk;
    }
    void close() override { opened = false; }
    bool isOpen() const override { return opened; }
    qint64 pendingCount() const override { return incoming.size(); }
    QByteArray readAll(bool *ok) override
    {
        if (ok)
            *ok = opened && !failed;
        if (!opened || failed)
            return {};
        return std::exchange(incoming, {});
    }
    bool write(const QByteArray &bytes) override
    {
        if (!opened || failed)
            return false;
        writes << bytes;
        return true;
    }
    void clear() override { incoming.clear(); }
    QString deviceName() const override { return QStringLiteral("fake"); }
    QString errorText() const override { return reason; }

    void feed(const QByteArray &bytes) { incoming += bytes; }
};
