#include "link/analyser.h"

namespace analyser {

QString modeText(quint8 status)
{
    switch (mode(status)) {
    case modeReset: return QStringLiteral("Reset");
    case modeStandby: return QStringLiteral("Disable");
    case modeListen: return QStringLiteral("Listen");
    case modeEnable: return QStringLiteral("Enable");
    default: return {};
    }
}

QString captureText(quint8 status)
{
    return isCapturing(status) ? QStringLiteral("On") : QStringLiteral("Off");
}

double bitRate(qint64 mcuClock, quint8 canBT1, quint8 canBT2, quint8 canBT3)
{
    const qint64 brp = (canBT1 >> 1) & 0x3F;
    const qint64 prop = ((canBT2 >> 1) & 0x07) + 1;
    const qint64 phase1 = ((canBT3 >> 1) & 0x07) + 1;
    const qint64 phase2 = ((canBT3 >> 4) & 0x07) + 1;
    const qint64 quanta = 1 + prop + phase1 + phase2;
    return double(mcuClock) / double((brp + 1) * quanta);
}

double timerRate(qint64 mcuClock, quint8 prescaler)
{
    return double(mcuClock) / double((qint64(prescaler) + 1) * 8);
}

} // namespace analyser
