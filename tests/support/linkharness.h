#pragma once

#include "link/analyser.h"
#include "link/connectiontest.h"
#include "link/packetlink.h"
#include "sim/virtualanalyser.h"
#include "sim/virtualport.h"
#include "support/seeddatabase.h"

#include <QtTest>

// Records what the link shows in the main window.
class FakeDisplay final : public LinkDisplay
{
public:
    QString panel[5];
    int status = -1; // the last status byte shown

    void setStatusPanel(int p, const QString &text) override
    {
        if (p >= 1 && p <= 4)
            panel[p] = text;
    }
    void showCAN_Status(quint8 analyserStatus) override { status = analyserStatus; }

    [[nodiscard]] QString mode() const { return status < 0 ? QStringLiteral("-") : analyser::modeText(quint8(status)); }
    [[nodiscard]] QString capture() const
    {
        return status < 0 ? QStringLiteral("-") : analyser::captureText(quint8(status));
    }
};

// A connection test that only leaves the link state it is told to and
// counts its runs.
struct ScriptedTester final : public ConnectionTester
{
    PacketLink &link;
    int leavesState = 3;
    int runs = 0;
    bool showParams = false;

    explicit ScriptedTester(PacketLink &link)
        : link(link)
    {
        link.setConnectionTester(this);
    }
    ~ScriptedTester() override
    {
        if (link.connectionTester() == this)
            link.setConnectionTester(nullptr);
    }
    void runConnectionTest(bool show, QObject *) override
    {
        ++runs;
        showParams = show;
        link.setLinkState(leavesState);
    }
};

// Runs the connection test without a window: drives the link's poll and
// time-out scan until the chain is over (each scan is one 10 ms tick).
inline void runConnectHeadless(PacketLink &link, ConnectionTest &test, bool showParams)
{
    test.start(showParams);
    for (int tick = 0; tick < 100000 && test.isRunning(); ++tick) {
        QCoreApplication::processEvents();
        link.poll();
        if (test.isRunning())
            link.timeoutScan();
    }
}

// Runs a ConnectionTest headless whenever the link asks for a connection test.
struct HeadlessTester final : public ConnectionTester
{
    PacketLink &link;
    ConnectionTest &test;

    HeadlessTester(PacketLink &link, ConnectionTest &test)
        : link(link)
        , test(test)
    {
        link.setConnectionTester(this);
    }
    ~HeadlessTester() override
    {
        if (link.connectionTester() == this)
            link.setConnectionTester(nullptr);
    }
    void runConnectionTest(bool showParams, QObject *) override { runConnectHeadless(link, test, showParams); }
};

// Puts a link on the in-process virtual analyser (a new one at each opening,
// its clock moved only by the test), with the connection test run headless.
struct VirtualAnalyserRig
{
    ConnectionTest test;
    HeadlessTester tester;
    VirtualPort *port = nullptr;
    VirtualAnalyser *analyser = nullptr;

    VirtualAnalyserRig(PacketLink &link, Database &db, ParamStore &params,
                       const VirtualAnalyserOptions &options = VirtualAnalyserOptions())
        : test(link, db, params)
        , tester(link, test)
    {
        link.setPortFactory([this, options](int) -> std::unique_ptr<SerialPort> {
            auto p = makeVirtualAnalyserPort(options, false);
            port = p.get();
            analyser = p->analyser();
            return p;
        });
    }
};
