#include "tests/support/RunProgram.h"
#include "tests/support/TempTree.h"
#include "tests/support/WaitFor.h"
#include "watch/FanotifyTree.h"

#include <QProcess>
#include <QProcessEnvironment>

#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

using namespace pw::test;

namespace {

const QByteArray Infected = "<p>x</p>\n<script src=\"http://evilstats.example/a.js\"></script>\n";

// The process environment with the language variables replaced by those given.
QProcessEnvironment languageEnvironment(const QList<std::pair<QString, QString>>& vars) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"})
        env.remove(QString::fromLatin1(name));
    for (const auto& [name, value] : vars)
        env.insert(name, value);
    return env;
}

// Several trees in one process, through each backend (fanotify where this process may use it).
TEST(WatchCommand, CleansModifiedFilesInEveryTreeUntilStopped) {
    for (const char* backend : {"auto", "inotify", "fanotify"}) {
        SCOPED_TRACE(backend);
        TempTree tree, other;
        if (backend == QByteArray("fanotify") && !pw::FanotifyUnavailable({tree.path()}).isEmpty())
            continue;
        QProcess watch;
        watch.setProcessEnvironment(languageEnvironment({{"LC_ALL", "C"}}));
        watch.start(QString::fromLocal8Bit(binaryPath("cli/pagewarden-cli")),
                    {"watch", "--backend", backend, QString::fromLocal8Bit(tree.path()),
                     QString::fromLocal8Bit(other.path())});
        ASSERT_TRUE(watch.waitForStarted());
        // Written until the watch has seen them: the watch starts at some point after the process.
        const QByteArray path = tree.path("index.html"), second = other.path("sub/b.htm");
        ASSERT_TRUE(waitWithoutEvents(
            [&] {
                const bool firstClean = readFile(path) == "<p>x</p>\r\n";
                const bool secondClean = readFile(second) == "<p>x</p>\r\n";
                if (firstClean && secondClean) return true;
                // A file already cleaned is not infected again, so a slow rewrite of one cannot
                // keep the two from ever being clean at once.
                if (!firstClean) tree.write("index.html", Infected);
                if (!secondClean) other.write("sub/b.htm", Infected);
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

// Only files of --masks are cleaned; every modified file is logged. A real image, a backup and
// (outside the masks given) a script stay as they were.
TEST(WatchCommand, CleansOnlyFilesOfTheMasks) {
    TempTree tree;
    QProcess watch;
    watch.setProcessEnvironment(languageEnvironment({{"LC_ALL", "C"}}));
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
    EXPECT_EQ(runCli({"watch", "--backend", "kqueue", tree.path()}).exitCode, 2);
}

// The window's rule: Chinese under a Chinese locale and under C/POSIX, English under any other,
// with the variables read as Qt reads them.
TEST(WatchCommand, PrintsLogLinesInTheWindowsLanguage) {
    const struct {
        QList<std::pair<QString, QString>> vars;
        QByteArray logLine;
    } cases[] = {
        {{}, "文件修改: "},
        {{{"LANG", "C"}}, "文件修改: "},
        {{{"LANG", "POSIX"}}, "文件修改: "},
        {{{"LANG", "zh_CN.UTF-8"}}, "文件修改: "},
        {{{"LANG", "en_US.UTF-8"}}, "File modified: "},
        {{{"LANG", "de_DE.UTF-8"}}, "File modified: "},
        {{{"LANG", "zh_CN.UTF-8"}, {"LANGUAGE", "en_GB"}}, "File modified: "},
        {{{"LANG", "en_US.UTF-8"}, {"LC_MESSAGES", "zh_TW.UTF-8"}}, "文件修改: "},
        {{{"LANG", "zh_CN.UTF-8"}, {"LC_ALL", "C"}}, "文件修改: "},
    };
    for (const auto& c : cases) {
        TempTree tree;
        QProcess watch;
        watch.setProcessEnvironment(languageEnvironment(c.vars));
        watch.start(QString::fromLocal8Bit(binaryPath("cli/pagewarden-cli")),
                    {"watch", QString::fromLocal8Bit(tree.path())});
        ASSERT_TRUE(watch.waitForStarted());
        const QByteArray path = tree.path("index.html");
        QByteArray out;
        ASSERT_TRUE(waitWithoutEvents([&] {
            watch.waitForReadyRead(100);
            out += watch.readAllStandardOutput();
            if (out.contains("cleaned\t")) return true;
            tree.write("index.html", Infected);
            return false;
        }));
        ::kill(static_cast<pid_t>(watch.processId()), SIGTERM);
        ASSERT_TRUE(watch.waitForFinished(20000));
        EXPECT_TRUE(out.startsWith(c.logLine + path + "\n")) << out.constData();
    }
}

// A datagram socket standing in for systemd's notification socket.
class NotifySocket {
public:
    explicit NotifySocket(const QByteArray& path)
        : m_path(path) {
        m_fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, path.constData(), sizeof address.sun_path - 1);
        EXPECT_EQ(::bind(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    }
    ~NotifySocket() { ::close(m_fd); }
    // The next message, or empty after the limit.
    QByteArray next(int limitMs = 20000) {
        pollfd p{m_fd, POLLIN, 0};
        if (::poll(&p, 1, limitMs) != 1) return {};
        char buffer[512];
        const ssize_t n = ::recv(m_fd, buffer, sizeof buffer, 0);
        return n > 0 ? QByteArray(buffer, n) : QByteArray();
    }

private:
    QByteArray m_path;
    int m_fd = -1;
};

// Under systemd: ready once the tree is watched (a file written once right after is cleaned),
// watchdog pings, stopping on SIGTERM, and each journal line marked with its priority.
TEST(WatchCommand, TalksToSystemdWhenRunByIt) {
    TempTree tree, run;
    NotifySocket notify(run.path("notify"));
    const QByteArray outFile = run.path("journal");
    QProcess watch;
    QProcessEnvironment env = languageEnvironment({{"LC_ALL", "C"}});
    env.insert("NOTIFY_SOCKET", QString::fromLocal8Bit(run.path("notify")));
    env.insert("WATCHDOG_USEC", "200000");
    // The journal's stream: the file standard output goes to.
    run.write("journal", "");
    const struct stat st = statOf(outFile);
    env.insert("JOURNAL_STREAM", QString("%1:%2").arg(st.st_dev).arg(st.st_ino));
    watch.setProcessEnvironment(env);
    watch.setStandardOutputFile(QString::fromLocal8Bit(outFile), QIODevice::Append);
    watch.start(QString::fromLocal8Bit(binaryPath("cli/pagewarden-cli")),
                {"watch", QString::fromLocal8Bit(tree.path())});
    ASSERT_TRUE(watch.waitForStarted());

    ASSERT_EQ(notify.next(), "READY=1");
    const QByteArray path = tree.write("sub/index.html", Infected);
    EXPECT_EQ(notify.next(), "WATCHDOG=1");
    EXPECT_TRUE(waitWithoutEvents([&] { return readFile(path) == "<p>x</p>\r\n"; }));
    ::kill(static_cast<pid_t>(watch.processId()), SIGTERM);
    QByteArray message;
    while ((message = notify.next()) == "WATCHDOG=1") {
    }
    EXPECT_EQ(message, "STOPPING=1");
    ASSERT_TRUE(watch.waitForFinished(20000));
    EXPECT_EQ(watch.exitCode(), 0);
    const QByteArray journal = readFile(outFile);
    EXPECT_TRUE(journal.contains("<6>文件修改: " + path + "\n")) << journal.constData();
    EXPECT_TRUE(journal.contains("<6>cleaned\t" + path + "\n")) << journal.constData();
}

// SIGHUP takes up the keyword the window saved since; the process goes on watching.
TEST(WatchCommand, TakesUpTheSavedKeywordOnHangUp) {
    TempTree tree, run;
    const QByteArray registry = run.path("registry.reg");
    auto saveKeyword = [&](const QByteArray& keyword) {
        run.write("registry.reg",
                  "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SoftWare\\Scrubline]\n\"SearchKey\"=\"" +
                      keyword + "\"\n");
    };
    saveKeyword("first.example");
    NotifySocket notify(run.path("notify"));
    QProcess watch;
    QProcessEnvironment env = languageEnvironment({{"LC_ALL", "C"}});
    env.insert("PAGEWARDEN_REGISTRY", QString::fromLocal8Bit(registry));
    env.insert("XDG_CONFIG_HOME", QString::fromLocal8Bit(run.path("config")));
    env.insert("NOTIFY_SOCKET", QString::fromLocal8Bit(run.path("notify")));
    watch.setProcessEnvironment(env);
    watch.start(QString::fromLocal8Bit(binaryPath("cli/pagewarden-cli")),
                {"watch", QString::fromLocal8Bit(tree.path())});
    ASSERT_TRUE(watch.waitForStarted());
    ASSERT_EQ(notify.next(), "READY=1");

    saveKeyword("second.example");
    ::kill(static_cast<pid_t>(watch.processId()), SIGHUP);
    QByteArray err;
    ASSERT_TRUE(waitWithoutEvents([&] {
        watch.waitForReadyRead(100);
        err += watch.readAllStandardError();
        return err.contains("keyword reloaded");
    })) << err.constData();
    const QByteArray path =
        tree.write("a.html", "<p>x</p>\n<script src=\"http://second.example/a.js\"></script>\n");
    EXPECT_TRUE(waitWithoutEvents([&] { return readFile(path) == "<p>x</p>\r\n"; }));
    ::kill(static_cast<pid_t>(watch.processId()), SIGTERM);
    ASSERT_TRUE(watch.waitForFinished(20000));
    EXPECT_EQ(watch.exitCode(), 0);
}

} // namespace
