#pragma once

#include "serial/serialport.h"
#include "sim/simdevice.h"

#include <QByteArray>
#include <QString>

#include <memory>

struct VirtualAnalyserOptions;
class VirtualAnalyser;

// A SerialPort whose far end is a SimDevice in this process (port 0 inside
// Tessel). What the program writes goes straight to the device; what the
// device sends becomes pending input at once, and readyRead follows from the
// event loop, never from inside write(), so an answer is never treated before
// the command that asked for it has been booked. Callers that poll (the
// link's tmrReceive, tests) see the answer right after write().
//
// When the device drops the line the port stays "open" but failed: readAll
// sets *ok to false, write returns false, portError is emitted once; close()
// and open() again bring the line back (the device keeps its state, like an
// analyser that stays powered).
class VirtualPort final : public SerialPort
{
    Q_OBJECT
public:
    explicit VirtualPort(std::unique_ptr<SimDevice> device, QObject *parent = nullptr);
    ~VirtualPort() override;

    bool open(const QString &settings) override;
    void close() override;
    [[nodiscard]] bool isOpen() const override { return opened; }
    [[nodiscard]] qint64 pendingCount() const override { return pending.size(); }
    QByteArray readAll(bool *ok = nullptr) override;
    bool write(const QByteArray &bytes) override;
    void clear() override { pending.clear(); }
    [[nodiscard]] QString deviceName() const override { return QStringLiteral("virtual analyser"); }
    [[nodiscard]] QString errorText() const override { return lastError; }

    // The device on the far end (owned by the port).
    [[nodiscard]] SimDevice *device() const { return dev.get(); }
    // The virtual analyser when that is the device on the line, else nullptr.
    [[nodiscard]] VirtualAnalyser *analyser() const;
    // Puts another device on the line (e.g. the boot loader after a firmware
    // update request); the old one is deleted later from the event loop, so
    // this may be called from one of its signals. The new device is started
    // when the port is open.
    void replaceDevice(std::unique_ptr<SimDevice> device);

    // True after the device dropped the line, until the port is reopened.
    [[nodiscard]] bool lineFailed() const { return failed; }

private:
    void attach();
    void onDeviceSend(const QByteArray &bytes);
    void onLineDropped();
    void onBootLoaderRequested();
    void notifyLater();

    std::unique_ptr<SimDevice> dev;
    QByteArray pending;
    QString lastError;
    bool opened = false;
    bool failed = false;
    bool notifyQueued = false;
};

// Port 0: the built-in virtual analyser with its default traffic, its clock
// running on a QTimer.
[[nodiscard]] std::unique_ptr<SerialPort> makeVirtualAnalyserPort(QObject *parent = nullptr);

// The same with options (tests, fault injection). With liveClock false the
// analyser's time only moves when the caller calls VirtualAnalyser::advance.
[[nodiscard]] std::unique_ptr<VirtualPort> makeVirtualAnalyserPort(const VirtualAnalyserOptions &options,
                                                                   bool liveClock, QObject *parent = nullptr);

// The program's ports: 0 is the virtual analyser built into the program;
// n >= 1 is the device portDeviceName(n) names (TESSEL_COM<n>, else the
// platform's default). What the program hands to the link.
[[nodiscard]] std::unique_ptr<SerialPort> makeLinkPort(int portNumber);
