#include "cleaning/BatchCleaning.h"
#include "cleaning/MonitorCleaning.h"
#include "common/Defaults.h"
#include "history/BackupStore.h"
#include "history/HistoryJob.h"
#include "history/Journal.h"
#include "tests/support/TempTree.h"
#include "tests/support/WaitFor.h"
#include "threads/OBThread.h"
#include "watch/FileSystemWatcher.h"

#include <QElapsedTimer>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>

using namespace pw;
using namespace pw::test;

namespace {

const QByteArray Infected = "<p>x</p>\n<script src=\"http://evilstats.example/a.js\"></script>\n";
const QByteArray Clean = "<p>x</p>\r\n";

TEST(BatchCleaning, CleansEachFileOnceInOrderThenEnds) {
    TempTree tree;
    const QList<QByteArray> paths{tree.write("a.html", Infected), tree.path("folder"),
                                  tree.write("b.html", Infected)};
    tree.mkdir("folder");
    TOBThread worker;
    TBatchCleaning batch(worker);
    int rulesRead = 0;
    batch.Rule = [&] {
        ++rulesRead;
        return DefaultRule;
    };
    batch.Keyword = [] { return DefaultKeyword; };
    QList<QByteArray> done;
    QList<CleanOutcome> outcomes;
    batch.OnFileCleaned = [&](const QByteArray& path, const CleanReport& report) {
        EXPECT_TRUE(batch.Running());
        done.append(path);
        outcomes.append(report.outcome);
    };
    int finished = 0;
    batch.OnBatchFinished = [&](const QByteArray& error) {
        EXPECT_EQ(error, "");
        ++finished;
    };
    QList<CleanTarget> targets;
    for (const QByteArray& path : paths)
        targets.append({tree.path(), path});
    ASSERT_TRUE(batch.Start(targets));
    EXPECT_FALSE(batch.Start(targets)); // one batch at a time
    ASSERT_TRUE(waitFor([&] { return finished > 0; }));
    EXPECT_EQ(done, paths);
    EXPECT_EQ(outcomes,
              (QList{CleanOutcome::Cleaned, CleanOutcome::Failed, CleanOutcome::Cleaned}));
    EXPECT_EQ(rulesRead, 3);
    EXPECT_FALSE(batch.Running());
    EXPECT_EQ(batch.ClearIndex(), 0);
    EXPECT_EQ(readFile(paths[0]), Clean);
    EXPECT_EQ(readFile(paths[2]), Clean);
    EXPECT_FALSE(batch.Start({}));
    waitFor([] { return false; }, 50ms);
    EXPECT_EQ(finished, 1);
}

// Monitoring a real folder with the window's filter.
class Monitoring : public ::testing::Test {
protected:
    void SetUp() override {
        watcher.setNotifyFilters({nfAttributeChange});
        monitor.Rule = [this] { return rule; };
        monitor.Masks = [this] { return masks; };
        monitor.Keyword = [] { return DefaultKeyword; };
        monitor.OnLog = [this](const QByteArray& line, TMonitorCleaning::TLogLevel) {
            log.append(line);
        };
        monitor.OnFileCleaned = [this](const QByteArray& path, const CleanReport& report) {
            cleaned.append(path);
            outcomes.append(report.outcome);
            reasons.append(report.left);
        };
        monitor.Start("  " + tree.path() + "\t");
        ASSERT_TRUE(waitFor([&] { return watcher.watching(); }));
    }

    QByteArray logLine(const QByteArray& path) { return "文件修改: " + path; }

    // Waits until nothing more is logged for a while: the monitor has settled.
    void settle() {
        qsizetype seen = -1;
        while (seen != log.size()) {
            seen = log.size();
            waitFor([&] { return log.size() != seen; }, 400ms);
        }
        waitFor([&] { return !monitor.JobRunning() && monitor.Pending() == 0; });
    }

    // Declared before the monitor, which may still report while it is destroyed.
    QByteArray rule = DefaultRule;
    QByteArray masks = DefaultMasks;
    QList<QByteArray> log;
    QList<QByteArray> cleaned;
    QList<CleanOutcome> outcomes;
    QList<LeftReason> reasons;
    TempTree tree;
    TFileSystemWatcher watcher;
    TOBThread worker;
    TMonitorCleaning monitor{watcher, worker};
};

TEST_F(Monitoring, WritesAreLoggedAndCleanedAndTheOwnRewriteSettles) {
    const QByteArray inPlace = tree.write("index.html", "<p>x</p>\n");
    settle();
    log.clear();
    tree.write("index.html", Infected);                             // saved in place
    const QByteArray created = tree.write("sub/new.php", Infected); // created in a new folder
    const QByteArray elsewhere = tree.write(".edit.swp", Infected);
    const QByteArray moved = tree.path("moved.js");
    ASSERT_EQ(std::rename(elsewhere.constData(), moved.constData()), 0); // moved into place
    ASSERT_TRUE(waitFor([&] {
        return readFile(inPlace) == Clean && readFile(created) == Clean && readFile(moved) == Clean;
    }));
    settle();
    for (const QByteArray& path : {inPlace, created, moved}) {
        // The user's write, and at most the rename of the cleaned copy, which changes nothing.
        const auto lines = log.count(logLine(path));
        EXPECT_TRUE(lines >= 1 && lines <= 3) << path.constData() << " logged " << lines;
    }
    for (const QByteArray& line : log)
        EXPECT_FALSE(line.contains(".pagewarden-")) << line.constData();
    // Only the editor's swap file, gone by the time its job ran, can have failed.
    for (qsizetype i = 0; i < cleaned.size(); ++i)
        EXPECT_TRUE(outcomes[i] != CleanOutcome::Failed || cleaned[i] == elsewhere)
            << cleaned[i].constData();
}

TEST_F(Monitoring, FilesReportedDuringAJobAreQueuedNotLost) {
    QList<QByteArray> paths;
    for (int i = 0; i < 20; ++i)
        paths.append(tree.write("f" + QByteArray::number(i) + ".htm", Infected));
    ASSERT_TRUE(waitFor([&] {
        return std::all_of(paths.begin(), paths.end(),
                           [](const QByteArray& p) { return readFile(p) == Clean; });
    }));
    settle();
    for (const QByteArray& path : paths)
        EXPECT_GE(log.count(logLine(path)), 1);
}

TEST_F(Monitoring, NamesAloneAreNotModifications) {
    const QByteArray old = tree.write("old.html", Clean);
    settle();
    // Watched afresh: a file written while watched and renamed later counts as moved into place.
    monitor.Stop();
    monitor.Start(tree.path());
    ASSERT_TRUE(waitFor([&] { return watcher.watching(); }));
    log.clear();
    const QByteArray empty = tree.write("empty.html", "");
    ASSERT_EQ(std::rename(old.constData(), tree.path("renamed.html").constData()), 0);
    ASSERT_EQ(::unlink(empty.constData()), 0);
    settle();
    EXPECT_EQ(log.join('|').toStdString(), "");
}

TEST_F(Monitoring, AnInvalidRuleIsLoggedForEachRefusedJob) {
    rule = "(<script";
    const QByteArray path = tree.write("a.html", Infected);
    ASSERT_TRUE(waitFor([&] { return log.size() >= 2; }));
    settle();
    EXPECT_EQ(log.value(0), logLine(path));
    EXPECT_EQ(log.value(1),
              "正则匹配规则无效（位置 8）: missing closing parenthesis，未清理 " + path);
    EXPECT_EQ(readFile(path), Infected);
}

// Uploads, stylesheets, backups and archives written under the tree are logged and left alone;
// a web file that is really an archive is not rewritten either.
TEST_F(Monitoring, OnlyWebFilesAreCleanedButEveryModifiedFileIsLogged) {
    const QByteArray png = readFile(sourcePath("docs/window.png")) + Infected;
    const QByteArray zip = QByteArray("PK\3\4\n", 5) + Infected;
    const QList<QByteArray> left{tree.write("images/logo.png", png),
                                 tree.write("style.css", Infected),
                                 tree.write("index.html.bak", Infected)};
    const QByteArray archive = tree.write("bundle.js", zip);
    const QByteArray page = tree.write("index.html", Infected);
    ASSERT_TRUE(waitFor([&] { return readFile(page) == Clean; }));
    settle();
    for (const QByteArray& path : left + QList{archive, page})
        EXPECT_GE(log.count(logLine(path)), 1) << path.constData();
    EXPECT_EQ(readFile(left[0]), png);
    EXPECT_EQ(readFile(left[1]), Infected);
    EXPECT_EQ(readFile(left[2]), Infected);
    EXPECT_EQ(readFile(archive), zip);
    for (const QByteArray& path : left)
        EXPECT_FALSE(cleaned.contains(path)) << path.constData();
    ASSERT_TRUE(cleaned.contains(archive));
    EXPECT_EQ(reasons[cleaned.indexOf(archive)], LeftReason::Binary);

    // The masks in force when the job starts decide.
    masks = "*.css";
    tree.write("style.css", Infected);
    ASSERT_TRUE(waitFor([&] { return readFile(left[1]) == Clean; }));
}

// An infected plugin unpacked elsewhere and moved into the tree.
TEST_F(Monitoring, AFolderMovedInHasItsWebFilesCleaned) {
    TempTree elsewhere;
    elsewhere.write("plugin/main.php", Infected);
    elsewhere.write("plugin/js/admin.js", Infected);
    elsewhere.write("plugin/readme.md", Infected);
    ASSERT_EQ(std::rename(elsewhere.path("plugin").constData(), tree.path("plugin").constData()),
              0);
    const QByteArray php = tree.path("plugin/main.php"), js = tree.path("plugin/js/admin.js");
    ASSERT_TRUE(waitFor([&] { return readFile(php) == Clean && readFile(js) == Clean; }));
    settle();
    EXPECT_GE(log.count(logLine(php)), 1);
    EXPECT_GE(log.count(logLine(js)), 1);
    EXPECT_EQ(readFile(tree.path("plugin/readme.md")), Infected);
}

// Other programs' temporaries gone before their job runs, and folders whose attributes change:
// logged as the watcher reports them, but no job result and no error.
TEST_F(Monitoring, VanishedFilesAndFoldersPassQuietly) {
    tree.mkdir("sub.php");
    settle();
    log.clear();
    ASSERT_EQ(::chmod(tree.path("sub.php").constData(), 0700), 0);
    monitor.FileSystemWatcherChange(foModified, tree.path("gone.php"), {});
    monitor.FileSystemWatcherChange(foModified, tree.path("sub.php"), {});
    settle();
    EXPECT_TRUE(log.contains(logLine(tree.path("gone.php"))));
    EXPECT_TRUE(log.contains(logLine(tree.path("sub.php"))));
    EXPECT_EQ(cleaned, QList<QByteArray>{});
}

TEST_F(Monitoring, StoppedMonitorReportsNothing) {
    monitor.Stop();
    EXPECT_FALSE(monitor.Active());
    tree.write("a.html", Infected);
    waitFor([] { return false; }, 300ms);
    EXPECT_EQ(log, QList<QByteArray>{});
    EXPECT_EQ(readFile(tree.path("a.html")), Infected);
}

// The store inside the watched tree, made by the first rewrite after the watch started.
TEST_F(Monitoring, RewritesAreJournaledAndAFileWithoutBackupIsLoggedAndLeft) {
    const QByteArray before = qgetenv("PAGEWARDEN_HISTORY");
    qputenv("PAGEWARDEN_HISTORY", tree.path("history"));
    monitor.Stop();
    monitor.History =
        std::make_shared<HistoryJob>(tree.path("history"), origin::Watch, tree.path());
    monitor.Start(tree.path());
    ASSERT_TRUE(waitFor([&] { return watcher.watching(); }));

    const QByteArray first = tree.write("a.html", Infected);
    ASSERT_TRUE(waitFor([&] { return readFile(first) == Clean; }));
    settle();
    const QList<JournalRecord> records = Journal(tree.path("history")).read().records;
    ASSERT_EQ(records.size(), 1);
    EXPECT_EQ(records[0].origin, "watch");
    EXPECT_EQ(records[0].path, first);
    EXPECT_EQ(BackupStore(tree.path("history")).read(records[0].sha256), Infected);

    setBackupFailureForTests(EIO);
    const QByteArray second = tree.write("b.html", Infected);
    const QByteArray refused = "无法备份，未清理 " + second;
    ASSERT_TRUE(waitFor([&] {
        return std::any_of(log.begin(), log.end(),
                           [&](const QByteArray& line) { return line.startsWith(refused); });
    }));
    settle();
    setBackupFailureForTests(0);
    qputenv("PAGEWARDEN_HISTORY", before);
    EXPECT_EQ(readFile(second), Infected);
    for (const QByteArray& line : log)
        EXPECT_FALSE(line.contains("/history/")) << line.constData();
}

} // namespace
