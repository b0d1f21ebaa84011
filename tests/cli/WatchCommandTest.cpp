#include "tests/support/RunProgram.h"
#include "tests/support/TempTree.h"
#include "tests/support/WaitFor.h"

#include <QProcess>

#include <gtest/gtest.h>

#include <csignal>

using namespace pw::test;

namespace {

const QByteArray Infected = "<p>x</p>\n<script src=\"http://evilstats.example/a.js\"></script>\n";

TEST(WatchCommand, CleansModifiedFilesUntilStopped) {
    TempTree tree;
    QProcess watch;
    watch.start(QString::fromLocal8Bit(binaryPath("cli/pagewarden-cli")),
                {"watch", QString::fromLocal8Bit(tree.path())});
    ASSERT_TRUE(watch.waitForStarted());
    // Written until the watch has seen it: the watch starts at some point after the process.
    const QByteArray path = tree.path("index.html");
    ASSERT_TRUE(waitWithoutEvents(
        [&] {
            if (readFile(path) == "<p>x</p>\r\n") return true;
            tree.write("index.html", Infected);
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
}

// Only files of --masks are cleaned; every modified file is logged. A real image, a backup and
// (outside the masks given) a script stay as they were.
TEST(WatchCommand, CleansOnlyFilesOfTheMasks) {
    TempTree tree;
    QProcess watch;
    watch.start(QString::fromLocal8Bit(binaryPath("cli/pagewarden-cli")),
                {"watch", "--masks", "*.html; *.css", QString::fromLocal8Bit(tree.path())});
    ASSERT_TRUE(watch.waitForStarted());
    const QByteArray page = tree.path("index.html");
    ASSERT_TRUE(waitWithoutEvents(
        [&] {
            if (readFile(page) == "<p>x</p>\r\n") return true;
            tree.write("index.html", Infected);
            return false;
        },
        20s));
    const QByteArray png = readFile(sourcePath("docs/window.png")) + Infected;
    const QList<QByteArray> left{tree.write("uploads/photo.png", png),
                                 tree.write("index.html.bak", Infected),
                                 tree.write("menu.js", Infected)};
    const QByteArray css = tree.write("style.css", Infected);
    ASSERT_TRUE(waitWithoutEvents([&] { return readFile(css) == "<p>x</p>\r\n"; }, 20s));
    ::kill(static_cast<pid_t>(watch.processId()), SIGTERM);
    ASSERT_TRUE(watch.waitForFinished(20000));
    const QByteArray out = watch.readAllStandardOutput();
    const QByteArray err = watch.readAllStandardError();
    for (const QByteArray& path : left) {
        EXPECT_TRUE(out.contains("文件修改: " + path + "\n")) << out.constData();
        EXPECT_FALSE(out.contains("\t" + path + "\n")) << out.constData();
        EXPECT_FALSE(err.contains(path)) << err.constData();
    }
    EXPECT_EQ(readFile(left[0]), png);
    EXPECT_EQ(readFile(left[1]), Infected);
    EXPECT_EQ(readFile(left[2]), Infected);
}

TEST(WatchCommand, RefusesWhatCannotBeWatched) {
    TempTree tree;
    const QByteArray file = tree.write("a.html", "x");
    EXPECT_EQ(runCli({"watch", "--rule", "(", tree.path()}).exitCode, 2);
    EXPECT_EQ(runCli({"watch", file}).err,
              "pagewarden-cli: " + file + ": not a folder that can be watched\n");
    EXPECT_EQ(runCli({"watch", tree.path("missing")}).exitCode, 2);
    EXPECT_EQ(runCli({"watch"}).exitCode, 2);
    EXPECT_EQ(runCli({"watch", "--masks", "sub/*.php", tree.path()}).exitCode, 2);
}

} // namespace
