#pragma once

#include <QByteArray>

#include <chrono>

namespace pw::cli {

// What systemd reads from a service. Outside systemd (no NOTIFY_SOCKET, no JOURNAL_STREAM)
// every call here does nothing and every prefix is empty.

// Tells systemd the service is ready (every folder watched) or stopping.
void NotifyReady();
void NotifyStopping();
// The watchdog interval systemd asks pings within, or zero when it asks none; and one ping.
std::chrono::microseconds WatchdogInterval();
void NotifyWatchdog();

// Syslog priorities, as the journal reads them from a "<N>" line prefix.
enum class Priority { Error = 3, Warning = 4, Info = 6 };
// "<N>" when the descriptor is the journal's stream (JOURNAL_STREAM names its device and inode),
// otherwise empty.
QByteArray JournalPrefix(int fd, Priority priority);

} // namespace pw::cli
