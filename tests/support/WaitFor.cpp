#include "tests/support/WaitFor.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QTimer>

#include <thread>

namespace pw::test {

bool waitFor(const std::function<bool()>& condition, std::chrono::milliseconds limit) {
    const QDeadlineTimer deadline(limit);
    QTimer tick; // wakes the wait below now and then, so the condition is checked again
    tick.start(2);
    for (;;) {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        if (condition()) return true;
        if (deadline.hasExpired()) return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
}

bool waitWithoutEvents(const std::function<bool()>& condition, std::chrono::milliseconds limit) {
    const QDeadlineTimer deadline(limit);
    while (!condition()) {
        if (deadline.hasExpired()) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

} // namespace pw::test
