#pragma once

#include <QByteArray>
#include <QObject>

// Something on the far end of the serial line: the virtual analyser or the
// virtual boot loader. The host (the in-process port, tessel-sim's
// pseudo-terminal, a test) hands it what the program wrote and forwards what
// it sends back.
class SimDevice : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;
    ~SimDevice() override = default;

    // Bytes the program wrote to the line, in any chunking.
    virtual void receive(const QByteArray &bytes) = 0;

    // Called when the host takes the device onto the line (e.g. the boot
    // loader announces itself here).
    virtual void start() {}

signals:
    // Bytes for the program.
    void send(const QByteArray &bytes);
    // The analyser accepted the firmware-update command: the host should put
    // the boot loader on the line once the answer has been sent.
    void bootLoaderRequested();
    // The device drops the line (a fault injected by a test).
    void lineDropped();
};
