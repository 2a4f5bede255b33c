#pragma once

#include "serial/serialport.h"

#include <QList>

#include <memory>
#include <utility>

// What is done to a fake port, kept apart from it so that it outlives the
// port (the link and Flashor's run drop their ports when done with them).
struct PortRecord
{
    int number = -1; // what the port factory was asked for, -1 when not known
    bool openOk = true;
    bool opened = false;
    bool failed = false;     // reads and writes fail, like a device that disappeared
    bool writeFails = false; // writes alone fail
    int openCount = 0;
    int clears = 0;
    QString settings;
    QString reason;      // what the system would say about a failure
    QByteArray incoming; // the device's bytes, put here by the test
    QList<QByteArray> writes;
};

// A serial port in memory: records what is written and hands out what the
// test feeds in.
class FakePort final : public SerialPort
{
public:
    explicit FakePort(std::shared_ptr<PortRecord> record = std::make_shared<PortRecord>())
        : r(std::move(record))
    {
    }
    ~FakePort() override { r->opened = false; }

    bool open(const QString &s) override
    {
        r->settings = s;
        ++r->openCount;
        r->opened = r->openOk;
        r->failed = false;
        return r->openOk;
    }
    void close() override { r->opened = false; }
    bool isOpen() const override { return r->opened; }
    qint64 pendingCount() const override { return r->opened ? r->incoming.size() : 0; }
    QByteArray readAll(bool *ok) override
    {
        if (ok)
            *ok = r->opened && !r->failed;
        if (!r->opened || r->failed)
            return {};
        return std::exchange(r->incoming, {});
    }
    bool write(const QByteArray &bytes) override
    {
        if (!r->opened || r->failed || r->writeFails)
            return false;
        r->writes << bytes;
        return true;
    }
    void clear() override
    {
        r->incoming.clear();
        ++r->clears;
    }
    QString deviceName() const override
    {
        return r->number < 0 ? QStringLiteral("fake") : QStringLiteral("fake%1").arg(r->number);
    }
    QString errorText() const override { return r->reason; }

    void feed(const QByteArray &bytes) { r->incoming += bytes; }

    const std::shared_ptr<PortRecord> r;
    // The record's fields under the port's own names.
    bool &openOk = r->openOk;
    bool &opened = r->opened;
    bool &failed = r->failed;
    int &openCount = r->openCount;
    QString &lastSettings = r->settings;
    QString &reason = r->reason;
    QByteArray &incoming = r->incoming;
    QList<QByteArray> &writes = r->writes;
};
