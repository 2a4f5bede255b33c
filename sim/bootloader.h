#pragma once

#include "sim/simdevice.h"

#include <QByteArray>
#include <QString>
#include <QTimer>

#include <memory>

// How the virtual boot loader behaves; the defaults make a healthy device.
struct BootLoaderOptions
{
    int blockSize = 256;                              // reported in the header answer (0: a broken device)
    QByteArray serialNumber = "TSL00001";             // 8 bytes
    QByteArray signature = "Tessel virtual boot v1.0"; // 24 bytes
    int negativeAnswers = 0;  // answer "-" to this many page messages before taking any
    bool answering = true;    // false: a device that has stopped answering
    QString firmwarePath;     // the received body is written here on the end marker ("" = nowhere)
    // ms between ">" announcements while no uploader is connected; 0 = only at start()
    int beaconInterval = 1000;
};

// The device's serial boot loader, as the uploader sees it on the line:
//   ">"                         ready: at start(), then every beaconInterval until "<", and
//                               again once the line has been quiet for two intervals (the
//                               uploader was stopped and may come back)
//   "<"                 -> "+" 00
//   "#" cs(2) header(80) -> "+" 22 block(2) serial(8) signature(24), then "." 00 00
//   "@" p(2) cs(2) data(block) -> "+" 02 p(2), then "." p+1   (bad checksum: "-", then "." p)
//   "@" FF FF           -> "+" 02 FF FF, firmware written to firmwarePath ("-" when it cannot be)
// Numbers are little-endian, checksums the byte sum modulo 65536.
class SimBootLoader final : public SimDevice
{
    Q_OBJECT
public:
    explicit SimBootLoader(BootLoaderOptions options = {}, QObject *parent = nullptr);

    void receive(const QByteArray &bytes) override;
    void start() override;

    BootLoaderOptions &options() { return opts; }
    void setAnswering(bool on) { opts.answering = on; }

    [[nodiscard]] bool isConnected() const { return connected; }
    [[nodiscard]] const QByteArray &header() const { return receivedHeader; }
    // The pages taken so far, in order: pagesTaken() × blockSize bytes.
    [[nodiscard]] const QByteArray &firmware() const { return receivedBody; }
    [[nodiscard]] int pagesTaken() const { return taken; }
    [[nodiscard]] bool isFinished() const { return finished; }
    [[nodiscard]] int negativesSent() const { return negatives; }

private:
    bool treatNext();
    void requestPage(int page);
    void takePage(int page, const QByteArray &data, quint16 sum);
    void finish();
    void answer(const QByteArray &bytes) { emit send(bytes); }
    void announce();

    BootLoaderOptions opts;
    QByteArray buffer;
    QByteArray receivedHeader;
    QByteArray receivedBody;
    QTimer beacon;
    bool connected = false;
    bool finished = false;
    int requested = 0;
    int taken = 0;
    int negatives = 0;
    int negativesLeft = 0;
    int quietTicks = 0;
};

// The boot loader as a device a host puts on the line:
//   auto loader = makeBootLoader(options);
//   QObject::connect(&pty, &PtyHost::received, loader.get(), &SimDevice::receive);
//   QObject::connect(loader.get(), &SimDevice::send, &pty, &PtyHost::write);
//   loader->start();
[[nodiscard]] std::unique_ptr<SimDevice> makeBootLoader(const BootLoaderOptions &options = {},
                                                        QObject *parent = nullptr);
