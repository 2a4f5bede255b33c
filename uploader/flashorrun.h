#pragma once

#include "serial/serialport.h"
#include "uploader/bootprotocol.h"
#include "uploader/commandline.h"
#include "uploader/flashorprompts.h"

#include <QObject>
#include <QStringList>
#include <QTimer>

#include <functional>
#include <memory>

// What the window's input controls hold; the run flow reads it when it needs it.
struct RunInput
{
    int portIndex = 0;                                                // cmbCOMPort: list index, port number = index + 1
    QString firmwarePath;                                             // txtUpload_In
    bool noWait = false;                                              // chkWait "Do not wait for begin"
    QString initString = QStringLiteral("!ZQMVBRT_GlimmerPassage_K"); // txtInit_Out
    QString initSpeed = QStringLiteral("19200");                      // cmbInit_Speed
    bool initEnabled = true;                                          // chkInit "Enable"
};

// The port numbers' devices: TESSEL_COM<n>, else the platform's device.
[[nodiscard]] PortFactory devicePortFactory();

// True for a path that names one existing file: not empty, not a folder and
// not a wildcard pattern such as "/home/me/fw/*.rfw".
[[nodiscard]] bool firmwareFileExists(const QString &path);

// "RFW" -> "RFW-files|*.rfw|All files|*.*"
[[nodiscard]] QString fileFilter(const QString &extension);

// The program's temporary folder step: tempPath must exist (else the message
// "Error! Path "<tempPath>" not found." and false); "<tempPath>/Flashor" is created.
bool prepareTempFolder(const QString &tempPath, FlashorPrompts &prompts);
// The platform's temporary folder, named even when it does not exist, so the
// message above can say which folder is missing.
[[nodiscard]] QString platformTempFolder();

// Flashor's run flow: the command line, browse, Run and Stop, the init string on
// its own port and speed, the boot port at 115200 and its receive polling, all
// without a window. The window mirrors input() and the signals; tests call the
// timer functions directly.
class FlashorRun final : public QObject
{
    Q_OBJECT
public:
    static constexpr int portCount = 16;
    static constexpr int receiveInterval = 10; // ms
    static constexpr int initDelay = 2000;     // ms, init string sent
    static constexpr int shortInitDelay = 100; // ms, no init string
    static constexpr int autoStartDelay = 100; // ms
    static inline const QString bootSettings = QStringLiteral("115200,N,8,1");

    explicit FlashorRun(FlashorPrompts &prompts, PortFactory ports = devicePortFactory(), QObject *parent = nullptr);
    ~FlashorRun() override;

    [[nodiscard]] static QStringList portNames();  // "COM1" .. "COM16"
    [[nodiscard]] static QStringList initSpeeds(); // "300" .. "921600"

    RunInput &input() { return in; }
    // Changes made by the flow itself (command line, browse) are announced.
    void setFirmwarePath(const QString &path);
    void setPortIndex(int index);

    // Window load: takes the command line's port and file; "/r" arms the automatic start.
    void applyCommandLine(const FlashorOptions &options);

    void cmdUpload_In_Click(); // browse
    void cmdRun_Click();       // "Run" or "Stop", by the button's caption
    void tmrInit_Timer();
    void tmrReceive_Timer();
    void tmrTimeout_Timer();
    // Appends what the boot port holds to the protocol's buffer.
    void treatCOMBuffer();

    [[nodiscard]] bool isRunning() const { return running; }
    [[nodiscard]] const QString &status() const { return statusText; }
    [[nodiscard]] BootProtocol &protocol() { return boot; }
    [[nodiscard]] const QTimer &initTimer() const { return tmrInit; }
    [[nodiscard]] const QTimer &timeoutTimer() const { return tmrTimeout; }
    [[nodiscard]] SerialPort *bootPort() const { return MSCommUL.get(); }
    [[nodiscard]] SerialPort *initPort() const { return MSCommInit.get(); }

signals:
    void firmwarePathChanged(const QString &path);
    void portIndexChanged(int index);
    void statusChanged(const QString &status);
    void initInputChanged(const QString &text); // txtInit_In
    // Running: button "Stop", input group disabled; stopped: "Run", enabled.
    void runningChanged(bool running);

private:
    void startRun();
    void stopRun();
    bool sendInitString();
    void writeToDevice(const QByteArray &bytes);
    void setStatus(const QString &text);
    // The message names the port's device and the system's reason after its own text.
    void communicationFailed(const SerialPort *port);

    FlashorPrompts &prompts;
    PortFactory makePort;
    RunInput in;
    FirmwareImage pendingImage; // read at Run, sent once the boot port is open
    BootProtocol boot;
    std::unique_ptr<SerialPort> MSCommInit;
    std::unique_ptr<SerialPort> MSCommUL;
    QTimer tmrInit;
    QTimer tmrReceive;
    QTimer tmrTimeout;
    QString statusText;
    bool running = false;
};
