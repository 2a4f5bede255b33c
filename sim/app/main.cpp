// tessel-sim: the virtual analyser on a pseudo-terminal. It prints the
// terminal's path on one line; point a port at it (TESSEL_COM1=<path>) and
// Tessel talks to it exactly as to a device.
//
// While it runs, standard input takes one command a line, so a script or a
// test can change the faults in the middle of a session and read the
// analyser's own counters:
//   stats                    -> "generated G sent S lost L corrupted C commands N"
//   silent <code|all|off>    as --silent, from now on
//   error-flag <code|all|off>
//   corrupt <n>              as --corrupt (0 = off)
//   garbage <hex|off>        as --garbage
//   drop                     drops the line now (as --drop-after)

#include "sim/bootloader.h"
#include "sim/pty.h"
#include "sim/simdevice.h"
#include "sim/virtualanalyser.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <memory>
#include <unistd.h>

namespace {

char linkPath[4096] = {};

void removeLinkAndExit(int)
{
    if (linkPath[0])
        ::unlink(linkPath);
    ::_exit(0);
}

void fail(const QString &text)
{
    std::fprintf(stderr, "tessel-sim: %s\n", qPrintable(text));
    std::exit(2);
}

// An option taking a value named `valueName`, or a flag when that is empty.
QCommandLineOption option(const char *name, const char *valueName, const char *help)
{
    return QCommandLineOption(QLatin1String(name), QLatin1String(help), QLatin1String(valueName));
}

// The device on the line and its wiring to the pseudo-terminal.
class Line final : public QObject
{
public:
    Line(PtyHost &host, const BootLoaderOptions &bootOptions)
        : host(host)
        , bootOptions(bootOptions)
    {
        connect(&host, &PtyHost::received, this, [this](const QByteArray &bytes) {
            if (device)
                device->receive(bytes);
        });
    }

    void put(std::unique_ptr<SimDevice> next)
    {
        if (device) {
            disconnect(device.get(), nullptr, this, nullptr);
            device->blockSignals(true);
            device.release()->deleteLater(); // we may be inside one of its signals
        }
        device = std::move(next);
        connect(device.get(), &SimDevice::send, this, [this](const QByteArray &bytes) {
            if (this->host.write(bytes)) {
                warnedStall = false;
            } else if (!warnedStall) {
                warnedStall = true;
                std::fprintf(stderr, "tessel-sim: nobody reads the line; output is dropped\n");
            }
        });
        connect(device.get(), &SimDevice::lineDropped, this, [this] {
            std::fprintf(stderr, "tessel-sim: line dropped\n");
            this->host.close();
            QCoreApplication::exit(3);
        });
        connect(device.get(), &SimDevice::bootLoaderRequested, this, [this] {
            // The analyser's answer to the firmware-update command has gone
            // out; from now on the boot loader answers on the same line.
            std::fprintf(stderr, "tessel-sim: boot loader on the line\n");
            put(makeBootLoader(this->bootOptions));
        });
        device->start();
    }

    // The analyser on the line, or nullptr while the boot loader is there.
    [[nodiscard]] VirtualAnalyser *analyser() const { return qobject_cast<VirtualAnalyser *>(device.get()); }

private:
    PtyHost &host;
    BootLoaderOptions bootOptions;
    std::unique_ptr<SimDevice> device;
    bool warnedStall = false;
};

// Commands on standard input (see the top of this file).
class Console final : public QObject
{
public:
    explicit Console(Line &line)
        : line(line)
        , notifier(STDIN_FILENO, QSocketNotifier::Read)
    {
        connect(&notifier, &QSocketNotifier::activated, this, &Console::onReadable);
    }

private:
    void onReadable()
    {
        char buf[1024];
        const ssize_t n = ::read(STDIN_FILENO, buf, sizeof buf);
        if (n <= 0) {
            notifier.setEnabled(false); // end of input (or none): nothing more to steer
            return;
        }
        pending.append(buf, n);
        qsizetype end;
        while ((end = pending.indexOf('\n')) >= 0) {
            const QString command = QString::fromLatin1(pending.left(end)).trimmed();
            pending.remove(0, end + 1);
            if (!command.isEmpty())
                treat(command);
        }
    }

    void treat(const QString &command)
    {
        VirtualAnalyser *a = line.analyser();
        const QStringList words = command.split(' ', Qt::SkipEmptyParts);
        const QString verb = words.first().toLower();
        const QString arg = words.size() > 1 ? words.at(1) : QString();
        const auto selector = [&](int *target) {
            if (arg.compare(QLatin1String("off"), Qt::CaseInsensitive) == 0)
                *target = simfault::none;
            else if (!parseCommandSelector(arg, target))
                return false;
            return true;
        };
        bool ok = a != nullptr;
        if (ok && verb == QLatin1String("stats")) {
            std::printf("generated %llu sent %llu lost %llu corrupted %llu commands %d\n",
                        static_cast<unsigned long long>(a->framesGenerated()),
                        static_cast<unsigned long long>(a->framesSent()),
                        static_cast<unsigned long long>(a->framesLost()),
                        static_cast<unsigned long long>(a->framesCorrupted()), a->commandsReceived());
            std::fflush(stdout);
        } else if (ok && verb == QLatin1String("silent")) {
            ok = selector(&a->options().silentFor);
        } else if (ok && verb == QLatin1String("error-flag")) {
            ok = selector(&a->options().errorFlagFor);
        } else if (ok && verb == QLatin1String("corrupt")) {
            const int every = arg.toInt(&ok);
            if (ok && every >= 0)
                a->options().corruptEvery = every;
        } else if (ok && verb == QLatin1String("garbage")) {
            a->options().garbage = arg.compare(QLatin1String("off"), Qt::CaseInsensitive) == 0
                                       ? QByteArray()
                                       : QByteArray::fromHex(arg.toLatin1());
        } else if (ok && verb == QLatin1String("drop")) {
            a->dropLine();
        } else {
            ok = false;
        }
        if (!ok)
            std::fprintf(stderr, "tessel-sim: cannot do \"%s\"\n", qPrintable(command));
    }

    Line &line;
    QSocketNotifier notifier;
    QByteArray pending;
};

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tessel-sim"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "A virtual CAN analyser on a pseudo-terminal. Prints the terminal's path on stdout;\n"
        "use it as a serial port, e.g. TESSEL_COM1=<path>.\n"
        "Standard input takes commands while it runs, one a line: stats (prints the analyser's\n"
        "frame counters), silent <code|all|off>, error-flag <code|all|off>, corrupt <n>,\n"
        "garbage <hex|off>, drop."));
    parser.addHelpOption();
    const auto linkOpt = option("link", "path", "Make a symbolic link <path> to the terminal.");
    const auto rateOpt = option("rate", "n", "Bus frames per second while capturing (default 200, 0 = silent bus).");
    const auto idsOpt = option("ids", "list",
                               "Identifiers on the bus: comma-separated [x]HEX[r][/DLC]; x = extended, r = remote,\n"
                               "/DLC = fixed length (e.g. 123,7FF/8,x18FEF100,3C5r/4). Default: a mixed set.");
    const auto seedOpt = option("seed", "n", "Seed of the frame contents (default 1).");
    const auto baudOpt = option("baud", "n", "Line speed the capture must fit through (default 921600).");
    const auto bufferOpt = option(
        "buffer", "n", "Analyser receive queue in frames (default 64); overflow is reported in lost-frame records.");
    const auto floodOpt = option("flood", "", "Send every frame at once, faster than the line could carry.");
    const auto stampOpt =
        option("stamp-offset", "hex", "Start the time stamps here (hex), e.g. FFF00000 to see the wrap.");
    const auto statusOpt = option("status", "hex", "Status byte at power-up (hex, default 04 = Enable).");
    const auto errorOpt = option("error-flag", "code|all", "Answer command <code> (hex) or all with the error flag.");
    const auto silentOpt = option("silent", "code|all", "Never answer command <code> (hex) or all.");
    const auto corruptOpt = option("corrupt", "n", "Give every n-th packet a bad checksum.");
    const auto chunkOpt = option("chunk", "n", "Send at most n bytes per 10 ms tick (packets arrive in pieces).");
    const auto garbageOpt = option("garbage", "hex", "Send these bytes (hex) before every packet.");
    const auto dropOpt =
        option("drop-after", "n", "Drop the line (close the terminal, exit 3) when command n+1 arrives.");
    const auto bootOpt = option("bootloader", "", "Start with the boot loader on the line instead of the analyser.");
    const auto firmwareOpt = option("firmware-out", "path", "Boot loader: write the firmware it receives to <path>.");
    const auto refuseOpt = option("boot-refuse", "n", "Boot loader: answer \"-\" to the first n pages.");
    const auto blockOpt = option("boot-block", "n", "Boot loader: block size to report (default 256; 0 = broken).");
    const auto bootSilentOpt = option("boot-silent", "", "Boot loader: announce itself, then never answer.");
    parser.addOptions({linkOpt, rateOpt, idsOpt, seedOpt, baudOpt, bufferOpt, floodOpt, stampOpt, statusOpt, errorOpt,
                       silentOpt, corruptOpt, chunkOpt, garbageOpt, dropOpt, bootOpt, firmwareOpt, refuseOpt,
                       blockOpt, bootSilentOpt});
    parser.process(app);

    VirtualAnalyserOptions opt;
    const auto number = [&](const QCommandLineOption &o, int base = 10) {
        bool ok = false;
        const qulonglong v = parser.value(o).toULongLong(&ok, base);
        if (!ok || v > 0xFFFFFFFFull)
            fail(QStringLiteral("bad value for --%1").arg(o.names().constFirst()));
        return quint32(v);
    };
    if (parser.isSet(rateOpt)) {
        bool ok = false;
        opt.frameRate = parser.value(rateOpt).toDouble(&ok);
        if (!ok || opt.frameRate < 0)
            fail(QStringLiteral("bad value for --rate"));
    }
    if (parser.isSet(idsOpt)) {
        QString why;
        if (!parseTrafficIds(parser.value(idsOpt), &opt.ids, &why))
            fail(why);
    }
    if (parser.isSet(seedOpt))
        opt.seed = number(seedOpt);
    if (parser.isSet(baudOpt))
        opt.lineBaud = qint32(std::max<quint32>(1, std::min<quint32>(number(baudOpt), 100000000)));
    if (parser.isSet(bufferOpt))
        opt.rxBufferFrames = int(std::max<quint32>(1, std::min<quint32>(number(bufferOpt), 1000000)));
    opt.flood = parser.isSet(floodOpt);
    if (parser.isSet(stampOpt))
        opt.stampOffset = number(stampOpt, 16);
    if (parser.isSet(statusOpt))
        opt.status = quint8(number(statusOpt, 16));
    if (parser.isSet(errorOpt) && !parseCommandSelector(parser.value(errorOpt), &opt.errorFlagFor))
        fail(QStringLiteral("bad value for --error-flag"));
    if (parser.isSet(silentOpt) && !parseCommandSelector(parser.value(silentOpt), &opt.silentFor))
        fail(QStringLiteral("bad value for --silent"));
    if (parser.isSet(corruptOpt))
        opt.corruptEvery = int(std::min<quint32>(number(corruptOpt), 1000000));
    if (parser.isSet(chunkOpt))
        opt.chunkSize = int(std::min<quint32>(number(chunkOpt), 1000000));
    if (parser.isSet(garbageOpt)) {
        opt.garbage = QByteArray::fromHex(parser.value(garbageOpt).toLatin1());
        if (opt.garbage.isEmpty())
            fail(QStringLiteral("bad value for --garbage"));
    }
    if (parser.isSet(dropOpt))
        opt.dropLineAfter = int(std::min<quint32>(number(dropOpt), 1000000000));

    BootLoaderOptions boot;
    boot.firmwarePath = parser.value(firmwareOpt);
    if (parser.isSet(refuseOpt))
        boot.negativeAnswers = int(std::min<quint32>(number(refuseOpt), 1000000));
    if (parser.isSet(blockOpt))
        boot.blockSize = int(std::min<quint32>(number(blockOpt), 0xFFFF));
    boot.answering = !parser.isSet(bootSilentOpt);

    PtyHost host;
    QString why;
    if (!host.open(&why))
        fail(QStringLiteral("cannot open a pseudo-terminal: %1").arg(why));

    if (parser.isSet(linkOpt)) {
        const QString path = parser.value(linkOpt);
        const QFileInfo existing(path);
        if (existing.isSymLink())
            QFile::remove(path); // a link of an earlier run
        else if (existing.exists())
            fail(QStringLiteral("%1 exists and is not a symbolic link").arg(path));
        if (!QFile::link(host.slavePath(), path))
            fail(QStringLiteral("cannot make the link %1").arg(path));
        std::strncpy(linkPath, QFile::encodeName(path).constData(), sizeof linkPath - 1);
    }
    std::signal(SIGINT, removeLinkAndExit);
    std::signal(SIGTERM, removeLinkAndExit);
    std::signal(SIGHUP, removeLinkAndExit);
    // Started in the background of a shell, a read of the terminal would stop
    // the process (and the line with it); ignored, the read fails and the
    // console simply switches itself off.
    std::signal(SIGTTIN, SIG_IGN);

    Line line(host, boot);
    if (parser.isSet(bootOpt)) {
        line.put(makeBootLoader(boot));
    } else {
        auto analyser = std::make_unique<VirtualAnalyser>(opt);
        analyser->startClock();
        line.put(std::move(analyser));
    }

    Console console(line);

    std::printf("%s\n", qPrintable(host.slavePath()));
    std::fflush(stdout);

    const int code = app.exec();
    if (linkPath[0])
        ::unlink(linkPath);
    return code;
}
