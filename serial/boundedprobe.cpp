#include "serial/boundedprobe.h"

#include <QVector>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

#ifdef Q_OS_WIN
#include <qt_windows.h>
#endif

namespace {

// Outlives the call: the last probe to end, late or not, frees it.
struct Answers
{
    std::mutex mutex;
    std::condition_variable allIn;
    QVector<int> busy; // -1 until answered
    int pending = 0;
};

#ifdef Q_OS_WIN
DWORD WINAPI runProbe(void *probe)
{
    const std::unique_ptr<std::function<void()>> run(static_cast<std::function<void()> *>(probe));
    (*run)();
    return 0;
}

// winpthreads (MinGW-w64 10) corrupts the heap now and then when a detached thread ends at once:
// a native thread whose handle is closed at once is detached the Windows way.
bool startDetached(std::function<void()> probe)
{
    auto run = std::make_unique<std::function<void()>>(std::move(probe));
    const HANDLE thread = ::CreateThread(nullptr, 0, runProbe, run.get(), 0, nullptr);
    if (!thread)
        return false;
    run.release();
    ::CloseHandle(thread);
    return true;
}
#else
bool startDetached(std::function<void()> probe)
{
    try {
        std::thread(std::move(probe)).detach();
        return true;
    } catch (const std::system_error &) {
        return false;
    }
}
#endif

} // namespace

QList<bool> boundedProbe(const QStringList &systemLocations,
                         const std::function<bool(const QString &)> &isBusy,
                         std::chrono::milliseconds bound)
{
    const auto answers = std::make_shared<Answers>();
    answers->busy.fill(-1, systemLocations.size());
    answers->pending = systemLocations.size();
    for (int i = 0; i < systemLocations.size(); ++i) {
        auto probe = [answers, i, location = systemLocations.at(i), isBusy] {
            const bool busy = isBusy(location);
            const std::lock_guard<std::mutex> lock(answers->mutex);
            answers->busy[i] = busy;
            if (--answers->pending == 0)
                answers->allIn.notify_one();
        };
        if (!startDetached(std::move(probe))) { // no thread to be had: unanswered
            const std::lock_guard<std::mutex> lock(answers->mutex);
            --answers->pending;
        }
    }
    std::unique_lock<std::mutex> lock(answers->mutex);
    answers->allIn.wait_for(lock, bound, [&] { return answers->pending == 0; });
    QList<bool> busy;
    for (const int answer : qAsConst(answers->busy))
        busy.append(answer != 0);
    return busy;
}
