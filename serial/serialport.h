#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>

// The few serial-port operations the link and the uploader need. The real
// port, the in-process virtual analyser and test doubles all implement it.
class SerialPort : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;
    ~SerialPort() override = default;

    // settings: baud rate followed by ",N,8,1", e.g. "921600,N,8,1".
    virtual bool open(const QString &settings) = 0;
    virtual void close() = 0;
    [[nodiscard]] virtual bool isOpen() const = 0;
    [[nodiscard]] virtual qint64 pendingCount() const = 0;
    // Reads everything pending. Sets *ok to false when the port failed.
    virtual QByteArray readAll(bool *ok = nullptr) = 0;
    virtual bool write(const QByteArray &bytes) = 0;
    // Discards pending input.
    virtual void clear() = 0;
    // The device the port stands for, for messages and port lists.
    [[nodiscard]] virtual QString deviceName() const = 0;
    // Why the last open, read or write failed, in the system's words; "" when unknown.
    [[nodiscard]] virtual QString errorText() const { return {}; }

signals:
    void readyRead();
    void portError(const QString &description);
};

// Makes the serial port for a stored port number; the link and Flashor take
// one of these, so tests and the program can put their own port on the line.
using PortFactory = std::function<std::unique_ptr<SerialPort>(int portNumber)>;

struct PortSettings
{
    qint32 baudRate = 921600;
    bool valid = false;
};

// Parses "921600,N,8,1". Only no parity, 8 data bits and 1 stop bit are valid.
[[nodiscard]] PortSettings parsePortSettings(const QString &settings);

// The device a port number means: TESSEL_COM<n> when set, otherwise COM<n> on
// Windows and /dev/ttyUSB<n-1> elsewhere. Number 0 is the built-in virtual
// analyser and has no device; this returns "" for it and for negative numbers.
[[nodiscard]] QString portDeviceName(int portNumber);

// A human-readable description of what a port number means, for port lists:
// "0 - virtual analyser", "1 - /dev/ttyUSB0".
[[nodiscard]] QString portDescription(int portNumber);

// A message about a port failure with the device and the reason after it:
// "Communication port is not opened! (/dev/ttyUSB0: Permission denied)".
// Without a reason only the device is added; without a port the message stays as it is.
[[nodiscard]] QString withPortReason(const QString &message, const SerialPort *port);

// A SerialPort on a real device (a tty, a pseudo-terminal or a COM port).
[[nodiscard]] std::unique_ptr<SerialPort> makeDevicePort(const QString &deviceName, QObject *parent = nullptr);
