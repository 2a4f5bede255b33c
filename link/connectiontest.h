#pragma once

#include "link/linkowner.h"

#include <QList>
#include <QObject>
#include <QString>

class Database;
class PacketLink;
class ParamStore;

// The connection test (owner 1): a fixed chain of commands that reads the
// analyser's identity, versions and settings, makes its bit timing and
// time-stamp timer agree with the CAN_Speed and CAN_Timer rows the settings
// "id_CAN_Speed" and "id_CAN_Timer" name, and ends with its status byte.
// What it learns goes into PacketLink::analyser.
//
// It keeps what the connection window shows (rows, progress, status text,
// button caption) and announces every change, so the window only mirrors it.
class ConnectionTest final : public QObject, private LinkOwner
{
    Q_OBJECT
public:
    struct Row
    {
        QString name;
        QString value;
    };

    static constexpr int designedProgressMax = 50;
    static constexpr int stepTimeOut = 500;

    ConnectionTest(PacketLink &link, Database &db, ParamStore &params, QObject *parent = nullptr);
    ~ConnectionTest() override;

    // "Connection to CAN Analyser on COM" and the stored port number.
    [[nodiscard]] QString caption();

    // Clears the list, sets the progress bar up from "TestConnectPBMax",
    // shows "Connecting..." and sends the first command of the chain.
    void start(bool showParams);
    // Stores the progress bar's maximum as "TestConnectPBMax" (the window
    // calls it when it has been hidden).
    void storeProgressMax();

    // One step of the chain for process `process` - 1, which it frees;
    // process 0 starts the chain.
    void treatTestConnection(int process, const QString &command);

    // Advances the progress bar by `step` (raising the maximum when it would
    // be passed) and adds a row.
    void addLVParams(const QString &name, const QString &value, int step);

    [[nodiscard]] bool isRunning() const { return running; }
    [[nodiscard]] bool showParams() const { return show; }
    [[nodiscard]] const QList<Row> &rows() const { return list; }
    [[nodiscard]] QString value(const QString &name) const;
    [[nodiscard]] int progressValue() const { return pbValue; }
    [[nodiscard]] int progressMax() const { return pbMax; }
    [[nodiscard]] QString statusText() const { return status; }
    [[nodiscard]] QString buttonCaption() const { return button; }
    // Steps answered in this run, in order (for tests and diagnostics).
    [[nodiscard]] const QStringList &answeredSteps() const { return answered; }

signals:
    void rowsCleared();
    void rowAdded(const QString &name, const QString &value);
    void progressChanged(int value, int maximum);
    void statusChanged(const QString &text);
    void buttonChanged(const QString &caption);
    // The chain ended: connected, or not.
    void finished(bool connected);

private:
    void treatAnswer(int process, const QString &command) override { treatTestConnection(process, command); }
    void sendNext(const QByteArray &payload, const QString &step, const QString &onTimeOut);
    void readNext(quint8 parameter, const QString &step, const QString &onTimeOut);
    void writeNext(quint8 parameter, quint8 value, const QString &step, const QString &onTimeOut);
    void succeed();
    void fail();
    void setProgress(int value, int maximum);
    // false when the row is missing: the analyser's own setting is then kept.
    bool speedRow(double *speed, quint8 *bt1, quint8 *bt2, quint8 *bt3);
    bool timerRow(double *timer, quint8 *divisor);

    PacketLink &link;
    Database &db;
    ParamStore &params;

    bool show = false;
    bool running = false;
    int pending = -1; // the process of the command the chain waits on
    QList<Row> list;
    QStringList answered;
    int pbValue = 0;
    int pbMax = designedProgressMax;
    QString status;
    QString button = QStringLiteral("Cancel");
};
