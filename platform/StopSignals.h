#pragma once

#include <QObject>

#include <memory>

class QSocketNotifier;

// The first SIGINT or SIGTERM of the process asks the program to stop: the
// handler writes to a pipe, and stopRequested() follows on the thread that
// made this object. The next one ends the program at once (the default
// action). System calls under way are restarted, so a copy is finished, not
// failed. The handlers stay once installed; what they record is process-wide.
class StopSignals : public QObject {
    Q_OBJECT

public:
    explicit StopSignals(QObject *parent = nullptr);
    ~StopSignals() override;

    // The signal that came first; 0 while none has.
    static int received();

Q_SIGNALS:
    void stopRequested(int signalNumber);

private:
    std::unique_ptr<QSocketNotifier> m_notifier;
};
