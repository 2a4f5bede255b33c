#include "sim/simcommandline.h"

#include <QFileInfo>
#include <QSaveFile>

#include <cmath>

namespace {

constexpr double maxFrameRate = 1000000;

// An option taking a value named `valueName`, or a flag when that is empty.
QCommandLineOption option(const char *name, const char *valueName, const char *help)
{
    return QCommandLineOption(QLatin1String(name), QLatin1String(help), QLatin1String(valueName));
}

// Why the boot loader could not store its firmware at `path`, or "" when it can.
// Probed the way it is written later, through a save file beside it.
QString firmwareOutProblem(const QString &path)
{
    if (path.isEmpty())
        return QStringLiteral("no path given");
    if (QFileInfo(path).isDir())
        return QStringLiteral("%1 is a folder").arg(path);
    QSaveFile probe(path);
    if (!probe.open(QIODevice::WriteOnly))
        return QStringLiteral("cannot write %1: %2").arg(path, probe.errorString());
    probe.cancelWriting();
    return {};
}

class Reader
{
public:
    Reader(const QCommandLineParser &parser, QString &error)
        : parser(parser)
        , error(error)
    {
    }

    // Sets *target from option `name` when it is given and lies in min..max.
    template <typename T> void number(const char *name, T *target, quint64 min, quint64 max, int base = 10)
    {
        const QString key = QLatin1String(name);
        if (!error.isEmpty() || !parser.isSet(key))
            return;
        const QString text = parser.value(key);
        bool ok = false;
        const quint64 v = text.trimmed().toULongLong(&ok, base);
        if (!ok || v < min || v > max) {
            const QString range =
                base == 16 ? QStringLiteral("%1..%2").arg(min, 2, 16, QChar('0')).arg(max, 2, 16, QChar('0')).toUpper()
                           : QStringLiteral("%1..%2").arg(min).arg(max);
            fail(key, text, range);
            return;
        }
        *target = T(v);
    }

    void fail(const QString &key, const QString &text, const QString &range)
    {
        error = QStringLiteral("bad value for --%1: %2 (%3)").arg(key, text, range);
    }

private:
    const QCommandLineParser &parser;
    QString &error;
};

} // namespace

void addSimOptions(QCommandLineParser &parser)
{
    parser.addOptions({
        option("link", "path", "Make a symbolic link <path> to the terminal."),
        option("rate", "n", "Bus frames per second while capturing (0..1000000, default 200, 0 = silent bus)."),
        option("ids", "list",
               "Identifiers on the bus: comma-separated [x]HEX[r][/DLC]; x = extended, r = remote,\n"
               "/DLC = fixed length (e.g. 123,7FF/8,x18FEF100,3C5r/4). Default: a mixed set."),
        option("seed", "n", "Seed of the frame contents (0..4294967295, default 1)."),
        option("baud", "n", "Line speed the capture must fit through (1..100000000, default 921600)."),
        option("buffer", "n",
               "Analyser receive queue in frames (1..1000000, default 64); overflow is reported in lost-frame "
               "records."),
        option("flood", "", "Send every frame at once, faster than the line could carry."),
        option("stamp-offset", "hex", "Start the time stamps here (hex, 0..FFFFFFFF), e.g. FFF00000 to see the wrap."),
        option("status", "hex", "Status byte at power-up (hex, 00..FF, default 04 = Enable)."),
        option("error-flag", "code|all", "Answer command <code> (hex) or all with the error flag."),
        option("silent", "code|all", "Never answer command <code> (hex) or all."),
        option("corrupt", "n", "Give every n-th packet a bad checksum (0..1000000, 0 = none)."),
        option("chunk", "n", "Send at most n bytes per 10 ms tick (0..1000000, 0 = no limit)."),
        option("garbage", "hex", "Send these bytes (hex) before every packet."),
        option("drop-after", "n",
               "Drop the line (close the terminal, exit 3) when command n+1 arrives (0..1000000000)."),
        option("bootloader", "", "Start with the boot loader on the line instead of the analyser."),
        option("firmware-out", "path", "Boot loader: write the firmware it receives to <path>."),
        option("boot-refuse", "n", "Boot loader: answer \"-\" to the first n pages (0..1000000)."),
        option("boot-block", "n", "Boot loader: block size to report (0..65535, default 256; 0 = broken)."),
        option("boot-silent", "", "Boot loader: announce itself, then never answer."),
    });
}

SimCommandLine readSimOptions(const QCommandLineParser &parser)
{
    SimCommandLine r;
    QString &error = r.error;
    Reader read(parser, error);
    VirtualAnalyserOptions &opt = r.analyser;

    if (!parser.positionalArguments().isEmpty()) {
        error = QStringLiteral("unexpected argument \"%1\"").arg(parser.positionalArguments().constFirst());
        return r;
    }
    if (parser.isSet(QStringLiteral("rate"))) {
        const QString text = parser.value(QStringLiteral("rate"));
        bool ok = false;
        const double rate = text.trimmed().toDouble(&ok);
        if (!ok || !std::isfinite(rate) || rate < 0 || rate > maxFrameRate)
            read.fail(QStringLiteral("rate"), text, QStringLiteral("0..1000000"));
        else
            opt.frameRate = rate;
    }
    if (error.isEmpty() && parser.isSet(QStringLiteral("ids"))) {
        QString why;
        if (!parseTrafficIds(parser.value(QStringLiteral("ids")), &opt.ids, &why))
            error = why;
    }
    read.number("seed", &opt.seed, 0, 0xFFFFFFFFull);
    read.number("baud", &opt.lineBaud, 1, 100000000);
    read.number("buffer", &opt.rxBufferFrames, 1, 1000000);
    opt.flood = parser.isSet(QStringLiteral("flood"));
    read.number("stamp-offset", &opt.stampOffset, 0, 0xFFFFFFFFull, 16);
    read.number("status", &opt.status, 0, 0xFF, 16);
    for (const char *name : {"error-flag", "silent"}) {
        const QString key = QLatin1String(name);
        int *target = key == QLatin1String("silent") ? &opt.silentFor : &opt.errorFlagFor;
        if (error.isEmpty() && parser.isSet(key) && !parseCommandSelector(parser.value(key), target))
            read.fail(key, parser.value(key), QStringLiteral("a command code in hex, or all"));
    }
    read.number("corrupt", &opt.corruptEvery, 0, 1000000);
    read.number("chunk", &opt.chunkSize, 0, 1000000);
    if (error.isEmpty() && parser.isSet(QStringLiteral("garbage"))) {
        const QString text = parser.value(QStringLiteral("garbage"));
        opt.garbage = QByteArray::fromHex(text.toLatin1());
        if (opt.garbage.isEmpty())
            read.fail(QStringLiteral("garbage"), text, QStringLiteral("hex bytes"));
    }
    read.number("drop-after", &opt.dropLineAfter, 0, 1000000000);

    BootLoaderOptions &boot = r.boot;
    read.number("boot-refuse", &boot.negativeAnswers, 0, 1000000);
    read.number("boot-block", &boot.blockSize, 0, 0xFFFF);
    boot.answering = !parser.isSet(QStringLiteral("boot-silent"));
    if (error.isEmpty() && parser.isSet(QStringLiteral("firmware-out"))) {
        boot.firmwarePath = parser.value(QStringLiteral("firmware-out"));
        const QString problem = firmwareOutProblem(boot.firmwarePath);
        if (!problem.isEmpty())
            error = QStringLiteral("bad value for --firmware-out: %1").arg(problem);
    }

    r.linkPath = parser.value(QStringLiteral("link"));
    if (error.isEmpty() && parser.isSet(QStringLiteral("link")) && r.linkPath.isEmpty())
        error = QStringLiteral("bad value for --link: no path given");
    r.bootLoaderFirst = parser.isSet(QStringLiteral("bootloader"));
    return r;
}
