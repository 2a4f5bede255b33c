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
#include "sim/simcommandline.h"
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
            ok = ok && every >= 0 && every <= 1000000;
            if (ok)
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
    parser.setApplicationDescription(
        QStringLiteral("A virtual CAN analyser on a pseudo-terminal. Prints the terminal's path on stdout;\n"
                       "use it as a serial port, e.g. TESSEL_COM1=<path>.\n"
                       "Standard input takes commands while it runs, one a line: stats (prints the analyser's\n"
                       "frame counters), silent <code|all|off>, error-flag <code|all|off>, corrupt <n>,\n"
                       "garbage <hex|off>, drop."));
    parser.addHelpOption();
    addSimOptions(parser);
    parser.process(app);

    const SimCommandLine options = readSimOptions(parser);
    if (!options.error.isEmpty())
        fail(options.error);
    const VirtualAnalyserOptions &opt = options.analyser;
    const BootLoaderOptions &boot = options.boot;

    PtyHost host;
    QString why;
    if (!host.open(&why))
        fail(QStringLiteral("cannot open a pseudo-terminal: %1").arg(why));

    if (!options.linkPath.isEmpty()) {
        const QString path = options.linkPath;
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
    if (options.bootLoaderFirst) {
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
