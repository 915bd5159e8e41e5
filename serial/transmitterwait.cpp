#include "serial/transmitterwait.h"

#ifdef Q_OS_UNIX
#include <cerrno>
#include <csignal>
#include <pthread.h>
#include <termios.h>

namespace {

// Wakes a thread blocked in tcdrain(): the handler does nothing, but without SA_RESTART the wait
// returns with EINTR.
constexpr int WakeSignal = SIGUSR2;

void installWakeHandler()
{
    static const bool installed = [] {
        struct sigaction action {};
        action.sa_handler = [](int) {};
        sigemptyset(&action.sa_mask);
        return ::sigaction(WakeSignal, &action, nullptr) == 0;
    }();
    Q_UNUSED(installed);
}

} // namespace
#endif

TransmitterWait::TransmitterWait(QObject *parent)
    : QObject(parent)
{
}

TransmitterWait::~TransmitterWait()
{
    // The port closes after this: never under a thread still waiting on its descriptor.
    stop();
}

void TransmitterWait::start(const QSerialPort &port)
{
    stop();
    const auto handle = port.handle();
    m_running = true;
#ifdef Q_OS_UNIX
    installWakeHandler();
    m_stopping = false;
    m_returned = false;
    m_thread = std::thread([this, handle] {
        while (::tcdrain(handle) != 0 && errno == EINTR && !m_stopping) {
        }
        m_returned = true;
        QMetaObject::invokeMethod(this, &TransmitterWait::waitReturned, Qt::QueuedConnection);
    });
#else
    Q_UNUSED(handle);
    QMetaObject::invokeMethod(this, &TransmitterWait::waitReturned, Qt::QueuedConnection);
#endif
}

void TransmitterWait::waitReturned()
{
    // stop() may have come first, and another start() after it.
    if (!m_running || (m_thread.joinable() && !m_returned))
        return;
    stop();
    emit finished();
}

void TransmitterWait::stop()
{
    m_running = false;
    if (!m_thread.joinable())
        return;
    m_stopping = true;
#ifdef Q_OS_UNIX
    // A signal that comes just before the thread enters the wait is lost: repeat it.
    while (!m_returned) {
        ::pthread_kill(m_thread.native_handle(), WakeSignal);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
#endif
    m_thread.join();
}
