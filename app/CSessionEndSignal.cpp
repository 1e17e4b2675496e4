#include "app/CSessionEndSignal.h"

#include <QSocketNotifier>

#include <atomic>
#include <cerrno>

#include <fcntl.h>
#include <unistd.h>

namespace {

// The write end of the installed instance's pipe; -1 without one. An atomic
// int is lock-free, so the handler may read it.
std::atomic<int> s_writeFd { -1 };

void OnSignal(int signal)
{
    const int savedErrno = errno;
    const int fd = s_writeFd.load();
    if (fd >= 0) {
        const auto byte = static_cast<unsigned char>(signal);
        // A full pipe already holds a wake-up; the byte is not needed.
        (void)!::write(fd, &byte, 1);
    }
    errno = savedErrno;
}

sigset_t SessionEndSignals()
{
    sigset_t endSignals;
    sigemptyset(&endSignals);
    sigaddset(&endSignals, SIGTERM);
    sigaddset(&endSignals, SIGHUP);
    return endSignals;
}

} // namespace

void CSessionEndSignal::HoldUntilInstalled()
{
    const sigset_t endSignals = SessionEndSignals();
    (void)::pthread_sigmask(SIG_BLOCK, &endSignals, nullptr);
}

CSessionEndSignal::CSessionEndSignal(std::function<void(int signal)> onSignal)
    : m_onSignal(std::move(onSignal))
{
    Install();
    const sigset_t endSignals = SessionEndSignals();
    (void)::pthread_sigmask(SIG_UNBLOCK, &endSignals, nullptr);
}

void CSessionEndSignal::Install()
{
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    m_readFd = fds[0];
    m_writeFd = fds[1];
    int expected = -1;
    if (!s_writeFd.compare_exchange_strong(expected, m_writeFd))
        return;

    struct sigaction action { };
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    if (::sigaction(SIGTERM, &action, &m_previousTerm) != 0) {
        s_writeFd = -1;
        return;
    }
    if (::sigaction(SIGHUP, &action, &m_previousHup) != 0) {
        (void)::sigaction(SIGTERM, &m_previousTerm, nullptr);
        s_writeFd = -1;
        return;
    }
    m_pNotifier = std::make_unique<QSocketNotifier>(m_readFd, QSocketNotifier::Read);
    QObject::connect(m_pNotifier.get(), &QSocketNotifier::activated, m_pNotifier.get(), [this] { OnReadable(); });
    m_bInstalled = true;
}

CSessionEndSignal::~CSessionEndSignal()
{
    if (m_bInstalled) {
        (void)::sigaction(SIGHUP, &m_previousHup, nullptr);
        (void)::sigaction(SIGTERM, &m_previousTerm, nullptr);
        s_writeFd = -1;
    }
    m_pNotifier.reset();
    if (m_readFd >= 0)
        ::close(m_readFd);
    if (m_writeFd >= 0)
        ::close(m_writeFd);
}

void CSessionEndSignal::OnReadable()
{
    unsigned char bytes[64];
    int first = 0;
    for (;;) {
        const ssize_t n = ::read(m_readFd, bytes, sizeof bytes);
        if (n <= 0)
            break;
        if (first == 0)
            first = bytes[0];
    }
    if (first != 0 && m_onSignal)
        m_onSignal(first);
}
