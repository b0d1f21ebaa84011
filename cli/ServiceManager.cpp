#include "cli/ServiceManager.h"

#include <QByteArrayList>

#include <sys/stat.h>
#include <systemd/sd-daemon.h>

namespace pw::cli {

void NotifyReady() {
    sd_notify(0, "READY=1");
}

void NotifyStopping() {
    sd_notify(0, "STOPPING=1");
}

std::chrono::microseconds WatchdogInterval() {
    uint64_t usec = 0;
    if (sd_watchdog_enabled(0, &usec) <= 0) return {};
    return std::chrono::microseconds(usec);
}

void NotifyWatchdog() {
    sd_notify(0, "WATCHDOG=1");
}

namespace {

bool isJournalStream(int fd) {
    const QByteArrayList parts = qgetenv("JOURNAL_STREAM").split(':');
    if (parts.size() != 2) return false;
    struct stat st {};
    if (::fstat(fd, &st) != 0) return false;
    bool devOk = false, inoOk = false;
    const qulonglong dev = parts[0].toULongLong(&devOk);
    const qulonglong ino = parts[1].toULongLong(&inoOk);
    return devOk && inoOk && dev == st.st_dev && ino == st.st_ino;
}

} // namespace

QByteArray JournalPrefix(int fd, Priority priority) {
    if (!isJournalStream(fd)) return {};
    return '<' + QByteArray::number(static_cast<int>(priority)) + '>';
}

} // namespace pw::cli
