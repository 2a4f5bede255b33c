#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

class QSocketNotifier;

// The master side of a pseudo-terminal: the virtual analyser reads what a
// program writes to the slave device and answers through it.
class PtyHost final : public QObject
{
    Q_OBJECT
public:
    explicit PtyHost(QObject *parent = nullptr);
    ~PtyHost() override;

    // Opens a new pseudo-terminal; false (with *why) when the system refuses.
    bool open(QString *why = nullptr);
    void close();
    [[nodiscard]] bool isOpen() const { return fd >= 0; }
    // The slave device a program opens as its serial port, e.g. "/dev/pts/3".
    [[nodiscard]] QString slavePath() const { return slave; }

    // Writes to the program on the slave side; false when the line is gone,
    // or when the program has not taken bytes for about 0.2 s (the rest of
    // the bytes are then dropped, as a UART would overrun).
    bool write(const QByteArray &bytes);
    // Reads what is pending without waiting (for callers that poll).
    QByteArray readPending();

signals:
    // Bytes the program wrote to the slave device.
    void received(const QByteArray &bytes);

private:
    void onReadable();

    int fd = -1;
    int slaveKeeper = -1; // keeps the line up while no program has it open
    QString slave;
    bool stalled = false;
    QSocketNotifier *notifier = nullptr;
};
