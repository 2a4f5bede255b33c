#include "sim/virtualport.h"

#include "sim/virtualanalyser.h"

#include <QMetaObject>

#include <utility>

VirtualPort::VirtualPort(std::unique_ptr<SimDevice> device, QObject *parent)
    : SerialPort(parent)
    , dev(std::move(device))
{
    attach();
}

VirtualPort::~VirtualPort() = default;

VirtualAnalyser *VirtualPort::analyser() const
{
    return qobject_cast<VirtualAnalyser *>(dev.get());
}

void VirtualPort::attach()
{
    if (!dev)
        return;
    connect(dev.get(), &SimDevice::send, this, &VirtualPort::onDeviceSend);
    connect(dev.get(), &SimDevice::lineDropped, this, &VirtualPort::onLineDropped);
    connect(dev.get(), &SimDevice::bootLoaderRequested, this, &VirtualPort::onBootLoaderRequested);
}

void VirtualPort::replaceDevice(std::unique_ptr<SimDevice> device)
{
    if (dev) {
        disconnect(dev.get(), nullptr, this, nullptr);
        dev.release()->deleteLater();
    }
    dev = std::move(device);
    attach();
    if (opened && dev)
        dev->start();
}

bool VirtualPort::open(const QString &settings)
{
    if (!parsePortSettings(settings).valid) {
        lastError = QStringLiteral("unsupported settings \"%1\"").arg(settings);
        return false;
    }
    lastError.clear();
    opened = true;
    failed = false;
    pending.clear();
    if (dev)
        dev->start();
    return true;
}

void VirtualPort::close()
{
    opened = false;
    failed = false;
    pending.clear();
}

QByteArray VirtualPort::readAll(bool *ok)
{
    if (ok)
        *ok = opened && !failed;
    if (!opened || failed)
        return {};
    return std::exchange(pending, {});
}

bool VirtualPort::write(const QByteArray &bytes)
{
    if (!opened || failed || !dev)
        return false;
    dev->receive(bytes);
    return !failed;
}

void VirtualPort::onDeviceSend(const QByteArray &bytes)
{
    // A closed port hears nothing: what the device says meanwhile is lost,
    // as on a real line.
    if (!opened || failed)
        return;
    pending.append(bytes);
    notifyLater();
}

void VirtualPort::notifyLater()
{
    if (notifyQueued)
        return;
    notifyQueued = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            notifyQueued = false;
            if (opened && !failed && !pending.isEmpty())
                emit readyRead();
        },
        Qt::QueuedConnection);
}

void VirtualPort::onLineDropped()
{
    if (!opened || failed)
        return;
    failed = true;
    pending.clear();
    lastError = QStringLiteral("The virtual analyser dropped the line.");
    // Reported from the event loop: the drop may happen inside write().
    QMetaObject::invokeMethod(
        this, [this, why = lastError] { emit portError(why); }, Qt::QueuedConnection);
}

void VirtualPort::onBootLoaderRequested()
{
    // The built-in line stays with the analyser: Flashor runs as its own
    // process and cannot reach a boot loader inside Tessel, so switching here
    // would only leave Tessel without an analyser until it is restarted.
    // tessel-sim puts its boot loader on the line instead.
}

std::unique_ptr<SerialPort> makeVirtualAnalyserPort(QObject *parent)
{
    return makeVirtualAnalyserPort(VirtualAnalyserOptions{}, true, parent);
}

std::unique_ptr<VirtualPort> makeVirtualAnalyserPort(const VirtualAnalyserOptions &options, bool liveClock,
                                                     QObject *parent)
{
    auto analyser = std::make_unique<VirtualAnalyser>(options);
    if (liveClock)
        analyser->startClock();
    return std::make_unique<VirtualPort>(std::move(analyser), parent);
}

std::unique_ptr<SerialPort> makeLinkPort(int portNumber)
{
    if (portNumber == 0)
        return makeVirtualAnalyserPort();
    return makeDevicePort(portDeviceName(portNumber));
}
