// Hostile trees: no cleaning path may read or write outside the folder it cleans beneath, whatever
// is swapped for a symbolic link on the way. Every case runs with openat2 and with the
// component-by-component walk of kernels that lack it.
#include "platform/BeneathRoot.h"
#include "cleaning/FileCleaner.h"
#include "cleaning/MonitorCleaning.h"
#include "common/Defaults.h"
#include "tests/support/RunProgram.h"
#include "tests/support/TempTree.h"
#include "tests/support/WaitFor.h"
#include "threads/OBThread.h"
#include "watch/FileSystemWatcher.h"

#include <QDir>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <functional>
#include <sys/mount.h>
#include <thread>
#include <unistd.h>

using namespace pw;
using namespace pw::test;

namespace {

const QByteArray Infected = "<p>x</p>\n<script src=\"http://evilstats.example/a.js\"></script>\n";
const QByteArray Clean = "<p>x</p>\r\n";

// A stand-in for /etc outside the tree: its bytes and times must never change.
class Outside {
public:
    Outside() {
        for (const QByteArray name : {"passwd", "passwd.html", "x.html"})
            m_files.append(m_dir.write(name, name == "passwd" ? "root:x:0:0\n" : Infected));
        for (const QByteArray& file : m_files)
            m_before.append(statOf(file));
    }
    QByteArray path() const { return m_dir.path(); }
    void expectUntouched() const {
        for (qsizetype i = 0; i < m_files.size(); ++i) {
            const struct stat now = statOf(m_files[i]);
            EXPECT_EQ(now.st_mtim.tv_nsec, m_before[i].st_mtim.tv_nsec) << m_files[i].constData();
            EXPECT_EQ(now.st_mtim.tv_sec, m_before[i].st_mtim.tv_sec) << m_files[i].constData();
            EXPECT_EQ(now.st_ino, m_before[i].st_ino) << m_files[i].constData();
        }
        EXPECT_EQ(readFile(m_files[0]), "root:x:0:0\n");
        EXPECT_EQ(readFile(m_files[1]), Infected);
        EXPECT_EQ(readFile(m_files[2]), Infected);
        const QList<QByteArray> names =
            QDir(QString::fromUtf8(path()))
                .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot)
                .join('\n')
                .toUtf8()
                .split('\n');
        EXPECT_EQ(names.size(), 3) << "no temporary file is left outside";
    }

private:
    TempTree m_dir;
    QList<QByteArray> m_files;
    QList<struct stat> m_before;
};

void link(const QByteArray& target, const QByteArray& at) {
    ASSERT_EQ(::symlink(target.constData(), at.constData()), 0) << at.constData();
}

class BeneathRoot : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override { setComponentWalkForTests(GetParam()); }
    void TearDown() override {
        setComponentWalkForTests(false);
        outside.expectUntouched();
    }

    CleanReport clean(const QByteArray& root, const QByteArray& path) {
        return cleanFile({root, path}, DefaultRule, [] { return DefaultKeyword; });
    }

    TempTree tree;
    Outside outside;
};

struct HostileCase {
    const char* name;
    std::function<void(const TempTree& tree, const QByteArray& outside)> layout;
    const char* path; // below the tree
    FileProblem problem;
};

TEST_P(BeneathRoot, WhatLiesOffTheTreeIsLeftAlone) {
    const HostileCase cases[] = {
        {"link in the middle",
         [](const TempTree& t, const QByteArray& out) { link(out, t.path("d")); }, "d/passwd.html",
         FileProblem::NotBeneath},
        {"link two folders down",
         [](const TempTree& t, const QByteArray& out) {
             t.mkdir("a/b");
             link(out, t.path("a/b/c"));
         },
         "a/b/c/x.html", FileProblem::NotBeneath},
        {"relative link up and out",
         [](const TempTree& t, const QByteArray& out) {
             link("../" + out.mid(out.lastIndexOf('/') + 1), t.path("up"));
         },
         "up/x.html", FileProblem::NotBeneath},
        {"link as the file",
         [](const TempTree& t, const QByteArray& out) { link(out + "/x.html", t.path("x.html")); },
         "x.html", FileProblem::SymbolicLink},
        {"climbs out by name", [](const TempTree&, const QByteArray&) {}, "../x.html",
         FileProblem::NotBeneath},
        {"a folder that is now a file",
         [](const TempTree& t, const QByteArray&) { t.write("f", Infected); }, "f/x.html",
         FileProblem::NotBeneath},
        {"a folder gone", [](const TempTree&, const QByteArray&) {}, "gone/x.html",
         FileProblem::Missing},
    };
    for (const HostileCase& c : cases) {
        SCOPED_TRACE(c.name);
        TempTree site;
        c.layout(site, outside.path());
        const CleanReport report = clean(site.path(), site.path() + '/' + c.path);
        EXPECT_EQ(report.outcome, CleanOutcome::Failed);
        EXPECT_EQ(report.problem, c.problem) << report.reason().constData();
    }
    // Not beneath the root at all.
    EXPECT_EQ(clean(tree.path(), outside.path() + "/x.html").problem, FileProblem::NotBeneath);
    EXPECT_EQ(clean(tree.path() + "/sub", tree.path() + "/subx.html").problem,
              FileProblem::NotBeneath);
}

// The root is what the user named: a link at or above it is followed, nothing below it is.
TEST_P(BeneathRoot, LinksAtOrAboveTheRootAreTheUsersChoice) {
    const QByteArray real = tree.write("real/site/d/a.html", Infected);
    link(tree.path("real"), tree.path("above"));
    link(tree.path("real/site"), tree.path("root"));
    EXPECT_EQ(clean(tree.path("above/site"), tree.path("above/site/d/a.html")).outcome,
              CleanOutcome::Cleaned);
    EXPECT_EQ(readFile(real), Clean);
    tree.write("real/site/d/a.html", Infected);
    EXPECT_EQ(clean(tree.path("root/"), tree.path("root/d/a.html")).outcome, CleanOutcome::Cleaned);
    EXPECT_EQ(readFile(real), Clean);
    // A file named alone is cleaned beneath its own folder, links on the way included.
    tree.write("real/site/d/a.html", Infected);
    EXPECT_EQ(cleanFile(CleanTarget::inOwnFolder(tree.path("root/d/a.html")), DefaultRule,
                        [] { return DefaultKeyword; })
                  .outcome,
              CleanOutcome::Cleaned);
    EXPECT_EQ(readFile(real), Clean);
}

// The same folder mounted twice inside the tree: a mount point on the way is no link.
TEST_P(BeneathRoot, ABindOfTheSameFolderTwiceIsCleanedOnce) {
    const QByteArray file = tree.write("a/x.html", Infected);
    tree.mkdir("b");
    if (::mount(tree.path("a").constData(), tree.path("b").constData(), nullptr, MS_BIND,
                nullptr) != 0)
        GTEST_SKIP() << "bind mounts need root";
    EXPECT_EQ(clean(tree.path(), tree.path("b/x.html")).outcome, CleanOutcome::Cleaned);
    EXPECT_EQ(clean(tree.path(), tree.path("a/x.html")).outcome, CleanOutcome::Unchanged);
    EXPECT_EQ(readFile(file), Clean);
    ::umount(tree.path("b").constData());
}

// A folder on a reported path is swapped for a link while the file waits in the queue: the job
// that comes to it must not follow the link out of the watched tree.
TEST_P(BeneathRoot, MonitoringDoesNotFollowAFolderSwappedWhileQueued) {
    TFileSystemWatcher watcher;
    watcher.setNotifyFilters({nfAttributeChange});
    TOBThread worker;
    TMonitorCleaning monitor(watcher, worker);
    std::atomic<bool> hold{true};
    monitor.Rule = [] { return DefaultRule; };
    monitor.Keyword = [&] {
        while (hold)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return DefaultKeyword;
    };
    QList<QByteArray> done;
    QList<FileProblem> problems;
    monitor.OnFileCleaned = [&](const QByteArray& path, const CleanReport& report) {
        done.append(path);
        problems.append(report.problem);
    };
    tree.mkdir("d");
    monitor.Start(tree.path());
    ASSERT_TRUE(waitFor([&] { return watcher.watching(); }));

    const QByteArray first = tree.write("first.html", Infected); // its job holds the queue
    ASSERT_TRUE(waitFor([&] { return monitor.JobRunning(); }));
    const QByteArray queued = tree.write("d/passwd.html", Infected);
    ASSERT_TRUE(waitFor([&] { return monitor.Pending() >= 1; }));
    ASSERT_EQ(std::rename(tree.path("d").constData(), tree.path("d.old").constData()), 0);
    link(outside.path(), tree.path("d"));
    hold = false;

    ASSERT_TRUE(waitFor([&] { return done.contains(queued); }));
    waitFor([&] { return !monitor.JobRunning() && monitor.Pending() == 0; });
    EXPECT_EQ(readFile(first), Clean);
    EXPECT_EQ(problems[done.indexOf(queued)], FileProblem::NotBeneath);
    EXPECT_EQ(readFile(tree.path("d.old/passwd.html")), Infected);
}

INSTANTIATE_TEST_SUITE_P(Lookup, BeneathRoot, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Walk" : "Openat2"; });

// From the command line: a file named through a link is the user's choice; a folder searched and
// cleaned is cleaned beneath itself.
TEST(BeneathRootCli, FilesNamedThroughALinkAreCleanedAsNamed) {
    TempTree tree;
    const QByteArray real = tree.write("real/a.html", Infected);
    link(tree.path("real"), tree.path("via"));
    const ProgramResult r = runCli({"clean", "--quiet", "--files", tree.path("via/a.html")});
    EXPECT_EQ(r.exitCode, 0) << r.err.constData();
    EXPECT_EQ(readFile(real), Clean);
}

} // namespace
