#include "watch/WatchTypes.h"

#include <QCoreApplication>

namespace pw {

TWatchNotice MakeWatchNotice(TWatchNoticeKind kind, const QByteArray& path,
                             const QByteArray& reason) {
    QByteArray text;
    switch (kind) {
    case wnWatchLimit:
        text =
            QCoreApplication::translate(
                "TWatchNotice",
                "监控数量已达系统上限 (fs.inotify.max_user_watches)，部分文件夹未被监控，首个为: ")
                .toUtf8() +
            path;
        break;
    case wnInstanceLimit:
        text = QCoreApplication::translate(
                   "TWatchNotice",
                   "监控实例数量已达系统上限 (fs.inotify.max_user_instances)，无法监控: ")
                   .toUtf8() +
               path;
        break;
    case wnQueueOverflow:
        // With a reason, the files changed meanwhile were found again by a scan.
        text = reason.isEmpty()
                   ? QCoreApplication::translate(
                         "TWatchNotice",
                         "监控事件队列溢出 (fs.inotify.max_queued_events)，部分修改未被报告: ")
                             .toUtf8() +
                         path
                   : QCoreApplication::translate(
                         "TWatchNotice", "监控事件队列溢出 (%1)，已重新扫描近期修改的文件: ")
                             .arg(QString::fromUtf8(reason))
                             .toUtf8() +
                         path;
        break;
    case wnWatchFailed:
        text = QCoreApplication::translate("TWatchNotice", "无法监控文件夹: ").toUtf8() + path +
               " (" + reason + ")";
        break;
    case wnBackendChosen:
        text = QCoreApplication::translate("TWatchNotice",
                                           "使用 inotify 监控 (无法使用 fanotify: %1): ")
                   .arg(QString::fromUtf8(reason))
                   .toUtf8() +
               path;
        break;
    case wnThreadFailed:
        text = QCoreApplication::translate("TWatchNotice", "无法启动监控: ").toUtf8() + path +
               " (" + reason + ")";
        break;
    }
    return {kind, path, text};
}

} // namespace pw
