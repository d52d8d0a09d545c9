#include "desktop/QuitOnSignals.h"

#include "Logging.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <array>
#include <cerrno>
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr std::array quitSignals{SIGTERM, SIGINT, SIGHUP};

// The handler only writes a byte to this pair; the event loop reads it.
int signalPipe[2] = {-1, -1};

void onSignal(int signal)
{
    const int savedErrno = errno;
    const char byte = char(signal);
    [[maybe_unused]] const ssize_t written = ::write(signalPipe[1], &byte, 1);
    errno = savedErrno;
}

void setHandler(void (*handler)(int))
{
    struct sigaction action = {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : quitSignals)
        ::sigaction(signal, &action, nullptr);
}

} // namespace

QuitOnSignals::QuitOnSignals(QObject *parent)
    : QObject(parent)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, signalPipe) != 0) {
        qCWarning(lcDesktop) << "no signal pipe: SIGTERM ends the app without finishing its work";
        return;
    }
    m_notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &QuitOnSignals::received);
    setHandler(&onSignal);
}

QuitOnSignals::~QuitOnSignals()
{
    if (!m_notifier)
        return;
    setHandler(SIG_DFL);
    ::close(signalPipe[0]);
    ::close(signalPipe[1]);
}

void QuitOnSignals::received()
{
    char byte = 0;
    if (::read(signalPipe[0], &byte, 1) != 1)
        return;
    qCInfo(lcDesktop) << "signal" << int(byte) << "received: quitting";
    setHandler(SIG_DFL);
    QCoreApplication::quit();
}
