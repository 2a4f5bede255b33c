#include "sim/pty.h"

#include <QSocketNotifier>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

PtyHost::PtyHost(QObject *parent)
    : QObject(parent)
{}

PtyHost::~PtyHost()
{
    close();
}

bool PtyHost::open(QString *why)
{
    close();
    auto fail = [&](const char *step) {
        if (why)
            *why = QStringLiteral("%1: %2").arg(QLatin1String(step), QString::fromLocal8Bit(std::strerror(errno)));
        close();
        return false;
    };
    fd = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        return fail("posix_openpt");
    if (::grantpt(fd) != 0 || ::unlockpt(fd) != 0)
        return fail("unlockpt");
    const char *name = ::ptsname(fd);
    if (!name)
        return fail("ptsname");
    slave = QString::fromLocal8Bit(name);
    // Raw line: no echo, no line editing, no translation of CR/LF or of 0x03.
    slaveKeeper = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (slaveKeeper < 0)
        return fail("open slave");
    termios tio{};
    if (::tcgetattr(slaveKeeper, &tio) == 0) {
        ::cfmakeraw(&tio);
        ::tcsetattr(slaveKeeper, TCSANOW, &tio);
    }
    notifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, &PtyHost::onReadable);
    return true;
}

void PtyHost::close()
{
    delete notifier;
    notifier = nullptr;
    if (slaveKeeper >= 0)
        ::close(slaveKeeper);
    slaveKeeper = -1;
    if (fd >= 0)
        ::close(fd);
    fd = -1;
    slave.clear();
}

bool PtyHost::write(const QByteArray &bytes)
{
    if (fd < 0)
        return false;
    qsizetype done = 0;
    int idleWaits = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n > 0) {
            done += n;
            idleWaits = 0;
            stalled = false;
        } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
            // The slave's input queue is full: let the reader catch up, but
            // not forever: nobody may have the slave open (the program closed
            // its port). Once stalled, later writes give up at once until the
            // reader takes bytes again.
            if (stalled || ++idleWaits > 1000) {
                stalled = true;
                return false;
            }
            ::usleep(200);
        } else {
            return false;
        }
    }
    return true;
}

QByteArray PtyHost::readPending()
{
    QByteArray out;
    if (fd < 0)
        return out;
    char buf[4096];
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n > 0)
            out.append(buf, n);
        else
            break;
    }
    return out;
}

void PtyHost::onReadable()
{
    const QByteArray bytes = readPending();
    if (!bytes.isEmpty())
        emit received(bytes);
}
