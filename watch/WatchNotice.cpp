#include "watch/WatchTypes.h"

namespace pw {

TWatchNotice MakeWatchNotice(TWatchNoticeKind kind, const QByteArray& path,
                             const QByteArray& reason) {
    QByteArray text;
    switch (kind) {
    case wnWatchLimit:
        text = "监控数量已达系统上限 (fs.inotify.max_user_watches)，部分文件夹未被监控，首个为: " +
               path;
        break;
    case wnInstanceLimit:
        text = "监控实例数量已达系统上限 (fs.inotify.max_user_instances)，无法监控: " + path;
        break;
    case wnQueueOverflow:
        // With a reason, the files changed meanwhile were found again by a scan.
        text = reason.isEmpty()
                   ? "监控事件队列溢出 (fs.inotify.max_queued_events)，部分修改未被报告: " + path
                   : "监控事件队列溢出 (" + reason + ")，已重新扫描近期修改的文件: " + path;
        break;
    case wnWatchFailed:
        text = "无法监控文件夹: " + path + " (" + reason + ")";
        break;
    case wnBackendChosen:
        text = "使用 inotify 监控 (无法使用 fanotify: " + reason + "): " + path;
        break;
    case wnThreadFailed:
        text = "无法启动监控: " + path + " (" + reason + ")";
        break;
    }
    return {kind, path, text};
}

} // namespace pw
