#include "threads/WaitForJobs.h"

#include "threads/OBThread.h"

#include <QCoreApplication>
#include <QEventLoop>

namespace pw {

void WaitForJobs(const TOBThread& worker) {
    // Every job's end posts an event here, so this sleeps until there is one.
    while (worker.OneThreadIsRunning())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

} // namespace pw
