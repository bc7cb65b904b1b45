#include "platform/StopSignals.h"

#include <QSocketNotifier>

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

int stopSignalPipe[2] = {-1, -1};
volatile std::sig_atomic_t stopSignal = 0;

void onStopSignal(int signalNumber)
{
    if (stopSignal != 0)
        return;
    stopSignal = signalNumber;
    struct sigaction defaults {};
    defaults.sa_handler = SIG_DFL;
    sigemptyset(&defaults.sa_mask);
    ::sigaction(SIGINT, &defaults, nullptr);
    ::sigaction(SIGTERM, &defaults, nullptr);
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(stopSignalPipe[1], &byte, 1);
}

} // namespace

StopSignals::StopSignals(QObject *parent) : QObject(parent)
{
    if (stopSignalPipe[0] < 0 && ::pipe2(stopSignalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    m_notifier = std::make_unique<QSocketNotifier>(stopSignalPipe[0], QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, [this] {
        char byte = 0;
        while (::read(stopSignalPipe[0], &byte, 1) > 0) {
        }
        Q_EMIT stopRequested(int(stopSignal));
    });
    // After the first signal the defaults stay (a byte it wrote, if unread,
    // still reaches this object).
    if (stopSignal == 0) {
        struct sigaction action {};
        action.sa_handler = onStopSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        ::sigaction(SIGINT, &action, nullptr);
        ::sigaction(SIGTERM, &action, nullptr);
    }
}

StopSignals::~StopSignals() = default;

int StopSignals::received()
{
    return int(stopSignal);
}
