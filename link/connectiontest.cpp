#include "link/connectiontest.h"

#include "core/queries.h"
#include "link/analyser.h"
#include "link/packetlink.h"
#include "core/params.h"

using namespace analyser;

namespace {

// "#0.##0": at least one integer digit, three decimals.
QString kiloText(double v)
{
    return QString::number(v, 'f', 3);
}

} // namespace

ConnectionTest::ConnectionTest(PacketLink &link, Database &db, ParamStore &params, QObject *parent)
    : QObject(parent)
    , link(link)
    , db(db)
    , params(params)
{
    link.registerOwner(owner::connectWindow, this);
}

ConnectionTest::~ConnectionTest()
{
    link.registerOwner(owner::connectWindow, nullptr);
}

QString ConnectionTest::caption()
{
    return QStringLiteral("Connection to CAN Analyser on COM")
           + params.getParam(QStringLiteral("COMPort"), QStringLiteral("0"));
}

QString ConnectionTest::value(const QString &name) const
{
    for (const Row &r : list)
        if (r.name == name)
            return r.value;
    return {};
}

void ConnectionTest::start(bool showParams)
{
    show = showParams;
    button = QStringLiteral("Cancel");
    emit buttonChanged(button);
    setProgress(0, params.getInt(QStringLiteral("TestConnectPBMax"), pbMax));
    status = link.setLinkState(2);
    emit statusChanged(status);
    list.clear();
    answered.clear();
    emit rowsCleared();
    running = true;
    sendNext(payload({cmdHwVersion}), QStringLiteral("PARAM_HW_VER"), QString());
}

void ConnectionTest::storeProgressMax()
{
    params.setParam(QStringLiteral("TestConnectPBMax"), pbMax);
}

void ConnectionTest::setProgress(int value, int maximum)
{
    pbValue = value;
    pbMax = qMax(1, maximum);
    emit progressChanged(pbValue, pbMax);
}

void ConnectionTest::addLVParams(const QString &name, const QString &value, int step)
{
    const int v = pbValue + step;
    setProgress(v, qMax(v, pbMax));
    list.append({name, value});
    emit rowAdded(name, value);
}

void ConnectionTest::sendNext(const QByteArray &payload, const QString &step, const QString &onTimeOut)
{
    pending = link.sendCommand(payload, owner::connectWindow, step, onTimeOut, stepTimeOut);
    if (pending < 0)
        fail(); // the port is gone or every process is taken: nothing would ever answer
}

void ConnectionTest::readNext(quint8 parameter, const QString &step, const QString &onTimeOut)
{
    sendNext(payload({cmdReadParam, parameter}), step, onTimeOut);
}

void ConnectionTest::writeNext(quint8 parameter, quint8 value, const QString &step, const QString &onTimeOut)
{
    sendNext(payload({cmdWriteParam, parameter, value}), step, onTimeOut);
}

void ConnectionTest::succeed()
{
    running = false;
    button = QStringLiteral("Ok");
    emit buttonChanged(button);
    status = link.setLinkState(3);
    emit statusChanged(status);
    setProgress(pbValue, pbValue);
    emit finished(true);
}

void ConnectionTest::fail()
{
    running = false;
    pending = -1;
    status = link.setLinkState(1);
    emit statusChanged(status);
    setProgress(0, pbMax);
    emit finished(false);
}

bool ConnectionTest::speedRow(double *speed, quint8 *bt1, quint8 *bt2, quint8 *bt3)
{
    const int id = params.getParam(QStringLiteral("id_CAN_Speed"), QStringLiteral("0")).trimmed().toInt();
    auto q = db.openRecordset(QString::fromLatin1(sql::selectSpeedRow), {id});
    if (!q || !q->next())
        return false;
    *speed = q->value(QStringLiteral("Speed")).toDouble();
    *bt1 = quint8(q->value(QStringLiteral("valueCANBT1")).toInt());
    *bt2 = quint8(q->value(QStringLiteral("valueCANBT2")).toInt());
    *bt3 = quint8(q->value(QStringLiteral("valueCANBT3")).toInt());
    return true;
}

bool ConnectionTest::timerRow(double *timer, quint8 *divisor)
{
    const int id = params.getParam(QStringLiteral("id_CAN_Timer"), QStringLiteral("0")).trimmed().toInt();
    auto q = db.openRecordset(QString::fromLatin1(sql::selectTimerRow), {id});
    if (!q || !q->next())
        return false;
    *timer = q->value(QStringLiteral("Timer")).toDouble();
    *divisor = quint8(q->value(QStringLiteral("Divizor")).toInt());
    return true;
}

void ConnectionTest::treatTestConnection(int process, const QString &command)
{
    if (process == 0) {
        if (command.isEmpty() || command == QLatin1String("PARAM_HW_VER"))
            start(show);
        return;
    }
    const int index = process - 1;
    clsProcess &p = link.process(index);
    if (index != pending || !running) {
        // The answer or time-out of a test that was abandoned (window
        // cancelled, port closed): it must not decide the current one.
        p.Free();
        return;
    }
    pending = -1;
    const QString step = p.Command;
    const QString onTimeOut = p.OnTimeOut;
    answered << step;
    AnalyserValues &a = link.analyserValues;
    const quint8 b8 = link.packetByte(8);

    if (step == timeOutText || step == errorText) {
        fail();
    } else if (step == QLatin1String("PARAM_HW_VER")) {
        const int n = b8;
        a.analyserSignature = QString::fromLatin1(link.lastPacket().mid(8, n));
        addLVParams(QStringLiteral("Signature"), a.analyserSignature, n);
        readNext(paramHwVersion, QStringLiteral("PARAM_BUILD_NUMBER_LOW"), onTimeOut);
    } else if (step == QLatin1String("PARAM_BUILD_NUMBER_LOW")) {
        a.hwVersion = b8;
        addLVParams(QStringLiteral("HW Version"), QString::number(a.hwVersion), 1);
        readNext(paramBuildLow, QStringLiteral("PARAM_BUILD_NUMBER_HIGH"), onTimeOut);
    } else if (step == QLatin1String("PARAM_BUILD_NUMBER_HIGH")) {
        a.buildNumber = b8;
        readNext(paramBuildHigh, QStringLiteral("PARAM_SW_MAJOR"), onTimeOut);
    } else if (step == QLatin1String("PARAM_SW_MAJOR")) {
        a.buildNumber += b8 * 256;
        readNext(paramSwMajor, QStringLiteral("PARAM_SW_MINOR"), onTimeOut);
    } else if (step == QLatin1String("PARAM_SW_MINOR")) {
        a.swMajor = b8;
        readNext(paramSwMinor, QStringLiteral("PARAM_MY_XTAL_0"), onTimeOut);
    } else if (step == QLatin1String("PARAM_MY_XTAL_0")) {
        a.swMinor = b8;
        addLVParams(QStringLiteral("SW Version"),
                    QStringLiteral("%1.%2.%3")
                        .arg(a.swMajor)
                        .arg(a.swMinor, 2, 10, QLatin1Char('0'))
                        .arg(a.buildNumber, 4, 10, QLatin1Char('0')),
                    2);
        readNext(paramXtal0, QStringLiteral("PARAM_MY_XTAL_1"), onTimeOut);
    } else if (step == QLatin1String("PARAM_MY_XTAL_1")) {
        a.mcuClock = b8;
        readNext(paramXtal0 + 1, QStringLiteral("PARAM_MY_XTAL_2"), onTimeOut);
    } else if (step == QLatin1String("PARAM_MY_XTAL_2")) {
        a.mcuClock += b8 * 256;
        readNext(paramXtal0 + 2, QStringLiteral("PARAM_MY_XTAL_3"), onTimeOut);
    } else if (step == QLatin1String("PARAM_MY_XTAL_3")) {
        a.mcuClock += b8 * 65536;
        readNext(paramXtal0 + 3, QStringLiteral("PARAM_MY_CANBT1"), onTimeOut);
    } else if (step == QLatin1String("PARAM_MY_CANBT1")) {
        // A top byte of 128 or more would make the clock negative; no crystal is that fast.
        a.mcuClock = qint32(quint32(a.mcuClock) + quint32(b8) * 16777216u);
        addLVParams(QStringLiteral("MCU Frequency, MHz"), QString::number(a.mcuClock / 1000000.0, 'f', 6), 4);
        readNext(paramCanBT1, QStringLiteral("PARAM_MY_CANBT2"), onTimeOut);
    } else if (step == QLatin1String("PARAM_MY_CANBT2")) {
        a.canBT1 = b8;
        readNext(paramCanBT2, QStringLiteral("PARAM_MY_CANBT3"), onTimeOut);
    } else if (step == QLatin1String("PARAM_MY_CANBT3")) {
        a.canBT2 = b8;
        readNext(paramCanBT3, QStringLiteral("PARAM_MY_CANBTx_TEST"), onTimeOut);
    } else if (step == QLatin1String("PARAM_MY_CANBTx_TEST")) {
        a.canBT3 = b8;
        a.analyserBitRate = bitRate(a.mcuClock, a.canBT1, a.canBT2, a.canBT3);
        double speed = 0;
        quint8 bt1 = 0, bt2 = 0, bt3 = 0;
        // Without a speed row the analyser keeps its own bit timing.
        if (speedRow(&speed, &bt1, &bt2, &bt3) && speed != a.analyserBitRate) {
            a.canBT1 = bt1;
            a.canBT2 = bt2;
            a.canBT3 = bt3;
            a.analyserBitRate = bitRate(a.mcuClock, a.canBT1, a.canBT2, a.canBT3);
            writeNext(paramCanBT1, a.canBT1, QStringLiteral("PARAM_MY_CANBT1_SET"), onTimeOut);
        } else {
            addLVParams(QStringLiteral("CAN Speed, kbps"), kiloText(a.analyserBitRate / 1000), 3);
            readNext(paramTimerPrescaler, QStringLiteral("PARAM_MY_CAN_TIMER_TEST"), onTimeOut);
        }
    } else if (step == QLatin1String("PARAM_MY_CANBT1_SET")) {
        writeNext(paramCanBT2, a.canBT2, QStringLiteral("PARAM_MY_CANBT2_SET"), onTimeOut);
    } else if (step == QLatin1String("PARAM_MY_CANBT2_SET")) {
        writeNext(paramCanBT3, a.canBT3, QStringLiteral("PARAM_MY_CAN_TIMER"), onTimeOut);
    } else if (step == QLatin1String("PARAM_MY_CAN_TIMER")) {
        addLVParams(QStringLiteral("CAN Speed, kbps"), kiloText(a.analyserBitRate / 1000), 3);
        readNext(paramTimerPrescaler, QStringLiteral("PARAM_MY_CAN_TIMER_TEST"), onTimeOut);
    } else if (step == QLatin1String("PARAM_MY_CAN_TIMER_TEST")) {
        a.timerPrescaler = b8;
        a.timerFrequency = timerRate(a.mcuClock, a.timerPrescaler);
        double timer = 0;
        quint8 divisor = 0;
        // Without a timer row the analyser keeps its own prescaler.
        if (timerRow(&timer, &divisor) && timer != a.timerFrequency) {
            a.timerPrescaler = divisor;
            a.timerFrequency = timerRate(a.mcuClock, a.timerPrescaler);
            writeNext(paramTimerPrescaler, a.timerPrescaler, QStringLiteral("PARAM_MY_TX_TIMEOUT"), onTimeOut);
        } else {
            addLVParams(QStringLiteral("CAN Timer Frequency, kHz"),
                        kiloText(a.mcuClock / 8000.0 / (a.timerPrescaler + 1)), 3);
            readNext(paramTxTimeOut, QStringLiteral("PARAM_MY_MOBX_RX"), onTimeOut);
        }
    } else if (step == QLatin1String("PARAM_MY_TX_TIMEOUT")) {
        addLVParams(QStringLiteral("CAN Timer Frequency, kHz"),
                    kiloText(a.mcuClock / 8000.0 / (a.timerPrescaler + 1)), 3);
        readNext(paramTxTimeOut, QStringLiteral("PARAM_MY_MOBX_RX"), onTimeOut);
    } else if (step == QLatin1String("PARAM_MY_MOBX_RX")) {
        a.txTimeOut = b8;
        addLVParams(QStringLiteral("CAN TX TimeOut, ms"), QString::number(a.txTimeOut), 1);
        readNext(paramMObs, QStringLiteral("CMD_CAN_GET_STATUS"), onTimeOut);
    } else if (step == QLatin1String("CMD_CAN_GET_STATUS")) {
        a.rxMObs = b8;
        addLVParams(QStringLiteral("CAN MOb for TX"), QString::number(14 - int(a.rxMObs)), 3);
        addLVParams(QStringLiteral("CAN MOb for RX"), QString::number(a.rxMObs), 3);
        sendNext(payload({cmdGetStatus}), QStringLiteral("Show"), onTimeOut);
    } else if (step == QLatin1String("Show")) {
        const quint8 s = b8;
        link.setAnalyserStatus(s);
        addLVParams(QStringLiteral("CAN Mode"), modeText(s), 1);
        addLVParams(QStringLiteral("CAN Capture"), captureText(s), 1);
        succeed();
    } else {
        running = false; // not a step of the chain: nothing more will come
    }
    p.Free();
}
