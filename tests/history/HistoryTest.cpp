#include "cleaning/FileCleaner.h"
#include "cleaning/FileRewrite.h"
#include "cleaning/Leftovers.h"
#include "common/Defaults.h"
#include "history/BackupStore.h"
#include "history/HistoryJob.h"
#include "history/JobList.h"
#include "history/Journal.h"
#include "history/Restore.h"
#include "platform/FlushTogether.h"
#include "tests/support/TempTree.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace pw;
using namespace pw::test;

namespace {

const QByteArray Infected = "a\r\n<script src=\"http://evilstats.example/x.js\"></script>\r\nb\r\n";

KeywordSource keyword(const QByteArray& text) {
    return [text] { return text; };
}

TEST(History, ABackupThatCannotBeWrittenLeavesTheFileAndTheJournalAlone) {
    TempTree tree;
    const QByteArray file = tree.write("a.html", Infected);
    FileCleaner cleaner;
    cleaner.setHistory(std::make_shared<HistoryJob>(tree.path("history"), "clean", tree.path()));
    setBackupFailureForTests(ENOSPC);
    const CleanReport report =
        cleaner.clean(CleanTarget::inOwnFolder(file), DefaultRule, keyword(DefaultKeyword));
    setBackupFailureForTests(0);
    EXPECT_EQ(report.outcome, CleanOutcome::Failed);
    EXPECT_EQ(report.problem, FileProblem::NoBackup);
    EXPECT_TRUE(report.reason().contains("No space left on device")) << report.reason().constData();
    EXPECT_EQ(readFile(file), Infected);
    EXPECT_TRUE(Journal(tree.path("history")).read().records.isEmpty());
}

// A flush that fails, of the originals kept in the store or of the new bytes: no file of the
// group is replaced, nothing is journaled, and no temporary file stays behind.
TEST(History, AFlushThatFailsLeavesEveryFileOfTheGroupAsItWas) {
    struct FlushCase {
        const char* name;
        int (*fault)(const QByteArray& path);
        FileProblem problem;
    };
    const FlushCase cases[] = {
        {"the store's objects and folders",
         [](const QByteArray& path) { return path.contains("/objects/") ? EIO : 0; },
         FileProblem::NoBackup},
        {"the new files", [](const QByteArray& path) { return path.isEmpty() ? ENOSPC : 0; },
         FileProblem::Io},
    };
    for (const FlushCase& c : cases) {
        SCOPED_TRACE(c.name);
        TempTree tree;
        QList<CleanTarget> targets;
        for (const char* name : {"a.html", "b.html", "c.html"})
            targets.append(CleanTarget::inOwnFolder(
                tree.write(name, Infected + "<p>" + QByteArray(name) + "</p>\r\n")));
        FileCleaner cleaner;
        cleaner.setHistory(
            std::make_shared<HistoryJob>(tree.path("history"), "clean", tree.path()));
        setFlushFaultForTests(c.fault);
        const QList<CleanReport> reports =
            cleaner.cleanTogether(targets, DefaultRule, keyword(DefaultKeyword));
        setFlushFaultForTests(nullptr);
        ASSERT_EQ(reports.size(), 3);
        for (qsizetype i = 0; i < 3; ++i) {
            EXPECT_EQ(reports[i].outcome, CleanOutcome::Failed) << i;
            EXPECT_EQ(reports[i].problem, c.problem) << reports[i].reason().constData();
            EXPECT_TRUE(readFile(targets[i].path).startsWith(Infected)) << i;
            EXPECT_EQ(statOf(targets[i].path).st_nlink, 1u) << "no second name left in the store";
        }
        EXPECT_TRUE(Journal(tree.path("history")).read().records.isEmpty());
        EXPECT_EQ(QDir(QString::fromUtf8(tree.path())).entryList(QDir::Files | QDir::Hidden),
                  QStringList({"a.html", "b.html", "c.html"}));
    }
}

TEST(History, IdenticalOriginalsAreStoredOnceAndReadBackChecked) {
    TempTree tree;
    BackupStore store(tree.path("store"));
    const QByteArray sha = sha256Hex(Infected);
    ASSERT_EQ(store.keep(Infected, sha), 0);
    ASSERT_EQ(store.keep(Infected, sha), 0);
    EXPECT_EQ(store.read(sha), Infected);
    EXPECT_EQ(statOf(store.objectPath(sha)).st_mode & 0777, 0600u);
    tree.write("store/objects/" + sha.left(2) + '/' + sha, "damaged", 0600);
    EXPECT_FALSE(store.read(sha).has_value());
}

// The store keeps a file about to be replaced as a second name of it; when the replace does not
// happen, the kept original must not follow the file's later writes.
TEST(History, AReplaceThatDidNotHappenLeavesTheBackupApartFromTheFile) {
    TempTree tree;
    static QByteArray file;
    file = tree.write("a.html", Infected);
    FileCleaner cleaner;
    cleaner.setHistory(std::make_shared<HistoryJob>(tree.path("history"), "clean", tree.path()));
    setBeforeReplaceHook([](const QByteArray&) {
        QFile out(QFile::decodeName(file));
        ASSERT_TRUE(out.open(QIODevice::Append));
        out.write("written meanwhile\r\n");
    });
    const CleanReport report =
        cleaner.clean(CleanTarget::inOwnFolder(file), DefaultRule, keyword(DefaultKeyword));
    setBeforeReplaceHook(nullptr);
    EXPECT_EQ(report.problem, FileProblem::Changed);
    EXPECT_EQ(readFile(file), Infected + "written meanwhile\r\n");
    BackupStore store(tree.path("history"));
    const QByteArray sha = sha256Hex(Infected);
    EXPECT_EQ(store.read(sha), Infected);
    EXPECT_EQ(statOf(store.objectPath(sha)).st_nlink, 1u);
    EXPECT_EQ(statOf(file).st_nlink, 1u);
}

// A file cleaned twice in one job (a watch) gets its first original back.
TEST(History, RestoringAJobThatRewroteAFileTwiceGivesItsFirstOriginal) {
    TempTree tree;
    const QByteArray file = tree.write("a.html", Infected + "<script>second.example</script>\r\n");
    auto job = std::make_shared<HistoryJob>(tree.path("history"), "watch", tree.path());
    FileCleaner cleaner;
    cleaner.setHistory(job);
    const CleanTarget target = CleanTarget::inOwnFolder(file);
    ASSERT_EQ(cleaner.clean(target, DefaultRule, keyword(DefaultKeyword)).outcome,
              CleanOutcome::Cleaned);
    ASSERT_EQ(cleaner.clean(target, DefaultRule, keyword("second.example")).outcome,
              CleanOutcome::Cleaned);
    ASSERT_EQ(readFile(file), "a\r\nb\r\n");

    const QList<JournalRecord> records =
        recordsOfJob(Journal(tree.path("history")).read().records, job->id());
    ASSERT_EQ(records.size(), 2);
    RestoreOptions dryRun;
    dryRun.dryRun = true;
    for (const RestoreReport& r : restoreJob(tree.path("history"), records, dryRun, nullptr))
        EXPECT_EQ(r.outcome, RestoreOutcome::Restored) << r.reason.constData();
    EXPECT_EQ(readFile(file), "a\r\nb\r\n");
    for (const RestoreReport& r : restoreJob(tree.path("history"), records, {}, nullptr))
        EXPECT_EQ(r.outcome, RestoreOutcome::Restored) << r.reason.constData();
    EXPECT_EQ(readFile(file), Infected + "<script>second.example</script>\r\n");
}

// Two processes appending at once, two records per append, larger than a pipe's atomic write.
TEST(History, RecordsAppendedByTwoProcessesAtOnceAreAllWholeLines) {
    TempTree tree;
    const Journal journal(tree.path("history"));
    constexpr int PerProcess = 200;
    // Each process opens the journal itself, as two programs do.
    auto appendAll = [&](const QByteArray& job) {
        const Journal own(tree.path("history"));
        JournalRecord r;
        r.time = QDateTime::currentDateTimeUtc();
        r.job = job;
        r.path = "/site/" + job + ".html";
        r.sha256 = r.newSha256 = QByteArray(64, 'a');
        r.removed = {QByteArray(JournalRecord::RemovedCap, 'x'), QByteArray(3000, 'y')};
        for (int i = 0; i < PerProcess / 2; ++i)
            if (own.append({r, r}) != 0) return false;
        return true;
    };
    // Makes the folder before the race.
    ASSERT_EQ(Journal(tree.path("history")).append({JournalRecord{}}), 0);
    const pid_t child = ::fork();
    if (child == 0) ::_exit(appendAll("child") ? 0 : 1);
    const bool parentOk = appendAll("parent");
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(parentOk);
    EXPECT_EQ(WEXITSTATUS(status), 0);

    const JournalContents contents = journal.read();
    EXPECT_EQ(contents.records.size(), 2 * PerProcess);
    EXPECT_EQ(contents.skipped, 1); // the empty record written first
    const QList<JobSummary> jobs = summarizeJobs(contents.records);
    ASSERT_EQ(jobs.size(), 2);
    EXPECT_EQ(jobs[0].files, PerProcess);
    EXPECT_EQ(jobs[1].files, PerProcess);
}

TEST(History, RecordsKeepPathsAndRemovedTextsThatAreNotUtf8Exactly) {
    JournalRecord r;
    r.time = QDateTime::currentDateTimeUtc();
    r.job = "j";
    r.path = "/site/caf\xe9.html";
    r.sha256 = r.newSha256 = QByteArray(64, 'b');
    r.removed = {"<script>\xff\xfe</script>",
                 QByteArray(5000, 'z').left(JournalRecord::RemovedCap)};
    const QByteArray line = journalLine(r);
    EXPECT_FALSE(line.contains('\n'));
    const std::optional<JournalRecord> back = parseJournalLine(line);
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(back->path, r.path);
    EXPECT_EQ(back->removed, r.removed);
    EXPECT_FALSE(parseJournalLine(line.left(line.size() / 2)).has_value());
}

// A crash's leftovers: what a later run does with each, and that a live one is left alone.
TEST(History, ACrashsTemporariesGoUnlessALiveRewriteHoldsThemAndOriginalsAreNeverLost) {
    TempTree tree;
    const QByteArray torn = tree.write("torn.html", "half of the new by");
    const QByteArray done = tree.write("done.html", "the clean bytes\r\n");
    const QByteArray edited = tree.write("edited.html", "edited after the crash\r\n");
    auto copyName = [&](const QByteArray& path, const char* suffix) {
        return ".pagewarden-i" + QByteArray::number(qulonglong(statOf(path).st_ino)) + '-' +
               suffix + ".tmp";
    };
    tree.write(copyName(torn, "AAAAAA"), Infected, 0600);
    tree.write(copyName(done, "BBBBBB"), "the clean bytes\r\n", 0600);
    const QByteArray editedCopy = tree.write(copyName(edited, "CCCCCC"), Infected, 0600);
    const struct timespec old[2] = {{0, UTIME_OMIT}, {1500000000, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, editedCopy.constData(), old, 0), 0);
    const QByteArray dead = tree.write(".pagewarden-DDDDDD.tmp", "partial");
    const QByteArray live = tree.write(".pagewarden-EEEEEE.tmp", "in use");
    const int liveFd = ::open(live.constData(), O_RDONLY | O_CLOEXEC);
    ASSERT_EQ(::flock(liveFd, LOCK_EX), 0);

    const int folder = ::open(tree.path().constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    const LeftoverSweep sweep = sweepLeftovers(folder, tree.path(), tree.path("history"));
    ::close(folder);
    ::close(liveFd);

    EXPECT_EQ(readFile(torn), Infected);
    EXPECT_EQ(sweep.putBack, QByteArrayList{torn});
    EXPECT_EQ(readFile(done), "the clean bytes\r\n");
    EXPECT_EQ(readFile(edited), "edited after the crash\r\n");
    EXPECT_EQ(readFile(editedCopy), Infected);
    ASSERT_EQ(sweep.kept.size(), 1);
    EXPECT_TRUE(sweep.kept[0].startsWith(editedCopy));
    EXPECT_EQ(sweep.removed.size(), 3);
    EXPECT_EQ(::access(dead.constData(), F_OK), -1);
    EXPECT_EQ(readFile(live), "in use");
}

} // namespace
