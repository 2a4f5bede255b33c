#include "serial/serialport.h"

#include <QSerialPort>
#include <QStringList>

namespace {

class DevicePort final : public SerialPort
{
public:
    DevicePort(const QString &device, QObject *parent)
        : SerialPort(parent)
        , device(device)
    {
        port.setPortName(device);
        connect(&port, &QSerialPort::readyRead, this, &SerialPort::readyRead);
        connect(&port, &QSerialPort::errorOccurred, this, [this](QSerialPort::SerialPortError e) {
            if (e == QSerialPort::NoError || e == QSerialPort::TimeoutError)
                return;
            lastError = port.errorString();
            emit portError(lastError);
        });
    }

    bool open(const QString &settings) override
    {
        const PortSettings ps = parsePortSettings(settings);
        if (!ps.valid) {
            lastError = QStringLiteral("unsupported settings \"%1\"").arg(settings);
            return false;
        }
        lastError.clear();
        if (port.isOpen())
            port.close();
        port.setBaudRate(ps.baudRate);
        port.setDataBits(QSerialPort::Data8);
        port.setParity(QSerialPort::NoParity);
        port.setStopBits(QSerialPort::OneStop);
        port.setFlowControl(QSerialPort::NoFlowControl);
        return port.open(QIODevice::ReadWrite);
    }

    void close() override
    {
        if (port.isOpen())
            port.close();
    }

    bool isOpen() const override { return port.isOpen(); }

    qint64 pendingCount() const override
    {
        if (!port.isOpen())
            return 0;
        // QSerialPort only learns of new bytes from its notifier; make it look.
        auto &p = const_cast<QSerialPort &>(port);
        p.waitForReadyRead(0);
        return p.bytesAvailable();
    }

    QByteArray readAll(bool *ok) override
    {
        if (ok)
            *ok = port.isOpen();
        if (!port.isOpen())
            return {};
        QByteArray bytes = port.readAll();
        if (ok && port.error() != QSerialPort::NoError && port.error() != QSerialPort::TimeoutError)
            *ok = false;
        return bytes;
    }

    bool write(const QByteArray &bytes) override
    {
        if (!port.isOpen())
            return false;
        const qint64 n = port.write(bytes);
        port.flush();
        return n == bytes.size();
    }

    void clear() override
    {
        if (port.isOpen())
            port.clear(QSerialPort::Input);
    }

    // The path as given: the port's own name drops the "/dev/" that a message needs.
    QString deviceName() const override { return device; }

    // Kept from the error event, so the reason outlives the close that follows a failure.
    QString errorText() const override { return lastError; }

private:
    QSerialPort port;
    QString device;
    QString lastError;
};

} // namespace

PortSettings parsePortSettings(const QString &settings)
{
    PortSettings ps;
    const QStringList parts = settings.split(',');
    if (parts.size() != 4)
        return ps;
    bool ok = false;
    ps.baudRate = parts[0].trimmed().toInt(&ok);
    ps.valid = ok && ps.baudRate > 0 && parts[1].trimmed().compare("N", Qt::CaseInsensitive) == 0
               && parts[2].trimmed() == "8" && parts[3].trimmed() == "1";
    return ps;
}

QString portDeviceName(int portNumber)
{
    if (portNumber <= 0)
        return {};
    const QByteArray override = qgetenv(QByteArray("TESSEL_COM") + QByteArray::number(portNumber));
    if (!override.isEmpty())
        return QString::fromLocal8Bit(override);
#ifdef Q_OS_WIN
    return QStringLiteral("COM%1").arg(portNumber);
#else
    return QStringLiteral("/dev/ttyUSB%1").arg(portNumber - 1);
#endif
}

QString portDescription(int portNumber)
{
    if (portNumber == 0)
        return QStringLiteral("0 - virtual analyser");
    return QStringLiteral("%1 - %2").arg(portNumber).arg(portDeviceName(portNumber));
}

QString withPortReason(const QString &message, const SerialPort *port)
{
    if (!port)
        return message;
    const QString reason = port->errorText();
    if (reason.isEmpty())
        return QStringLiteral("%1 (%2)").arg(message, port->deviceName());
    return QStringLiteral("%1 (%2: %3)").arg(message, port->deviceName(), reason);
}

std::unique_ptr<SerialPort> makeDevicePort(const QString &deviceName, QObject *parent)
{
    return std::make_unique<DevicePort>(deviceName, parent);
}
