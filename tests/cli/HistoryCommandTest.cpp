#include "tests/support/RunProgram.h"
#include "tests/support/TempTree.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace pw::test;

namespace {

const QByteArray Infected = "a\n<script src=\"http://evilstats.example/x.js\"></script>\nb\n";

// The history of one test, in its own folder, for the test and the programs it starts.
class ScopedHistory {
public:
    explicit ScopedHistory(const QByteArray& folder)
        : m_before(qgetenv("PAGEWARDEN_HISTORY")) {
        qputenv("PAGEWARDEN_HISTORY", folder);
    }
    ~ScopedHistory() { qputenv("PAGEWARDEN_HISTORY", m_before); }

private:
    QByteArray m_before;
};

struct FileState {
    QByteArray bytes;
    mode_t mode;
    struct timespec mtime;
};

// Every regular file under root by relative path, with its bytes, mode and modification time.
QMap<QByteArray, FileState> snapshot(const QByteArray& root) {
    QMap<QByteArray, FileState> files;
    QDirIterator it(QFile::decodeName(root), QDir::Files | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QByteArray path = QFile::encodeName(it.next());
        const struct stat st = statOf(path);
        files.insert(path.mid(root.size()), {readFile(path), st.st_mode, st.st_mtim});
    }
    return files;
}

void expectSameFiles(const QMap<QByteArray, FileState>& a, const QMap<QByteArray, FileState>& b) {
    ASSERT_EQ(a.keys(), b.keys());
    for (auto i = a.cbegin(); i != a.cend(); ++i) {
        SCOPED_TRACE(i.key().toStdString());
        const FileState& other = b[i.key()];
        EXPECT_EQ(i->bytes, other.bytes);
        EXPECT_EQ(i->mode, other.mode);
        EXPECT_EQ(i->mtime.tv_sec, other.mtime.tv_sec);
        EXPECT_EQ(i->mtime.tv_nsec, other.mtime.tv_nsec);
    }
}

void copyTree(const QByteArray& from, const QByteArray& to) {
    ASSERT_EQ(runProgram("/bin/cp", {"-a", from, to}).exitCode, 0);
}

TEST(HistoryCommand, CleaningTheSampleSiteIsUndoneByRestoreLast) {
    TempTree tree;
    const ScopedHistory history(tree.path("history"));
    const QByteArray site = tree.path("site");
    copyTree(sourcePath("examples/infected-site"), site);
    // Modes and times other than a copy's, and a file with a second name.
    ASSERT_EQ(::chmod((site + "/news.php").constData(), 0640), 0);
    const struct timespec old[2] = {{0, UTIME_OMIT}, {1500000000, 123456789}};
    ASSERT_EQ(::utimensat(AT_FDCWD, (site + "/index.html").constData(), old, 0), 0);
    ASSERT_EQ(::link((site + "/about.htm").constData(), tree.path("about-link.htm").constData()),
              0);
    const QMap<QByteArray, FileState> before = snapshot(site);
    const QByteArray linkBefore = readFile(tree.path("about-link.htm"));

    const ProgramResult clean = runCli({"clean", site});
    ASSERT_EQ(clean.exitCode, 0) << clean.err.constData();
    ASSERT_TRUE(clean.out.contains("cleaned\t" + site + "/news.php"));
    EXPECT_NE(readFile(site + "/index.html"), before[QByteArray("/index.html")].bytes);

    const ProgramResult list = runCli({"history", "--json"});
    const QJsonObject job = QJsonDocument::fromJson(list.out.split('\n').first()).object();
    EXPECT_EQ(job["origin"].toString(), "clean");
    EXPECT_EQ(job["folder"].toString(), QString::fromUtf8(site));
    EXPECT_EQ(job["files"].toInt(), clean.out.count("cleaned\t"));
    const ProgramResult files = runCli({"history", job["job"].toString().toUtf8()});
    EXPECT_TRUE(
        files.out.contains("\t<script src=\"http://EvilStats.example/counter.js\"></script>"))
        << files.out.constData();

    const ProgramResult restore = runCli({"restore", "--last"});
    ASSERT_EQ(restore.exitCode, 0) << restore.err.constData();
    EXPECT_EQ(restore.out.count("restored\t"), clean.out.count("cleaned\t"));
    expectSameFiles(before, snapshot(site));
    EXPECT_EQ(readFile(tree.path("about-link.htm")), linkBefore);
    EXPECT_EQ(statOf(tree.path("about-link.htm")).st_nlink, 2u);

    // The restore is a job of its own: undoing it cleans the files again.
    EXPECT_TRUE(runCli({"history"}).out.split('\n').first().contains("\trestore\t"));
    EXPECT_EQ(runCli({"restore", "--last"}).exitCode, 0);
    EXPECT_FALSE(readFile(site + "/news.php").contains("evilstats.example/n.js"));
}

TEST(HistoryCommand, RestoreLeavesFilesThatChangedOrAreNoLongerFilesAndSaysWhy) {
    TempTree tree;
    const ScopedHistory history(tree.path("history"));
    QList<QByteArray> paths;
    for (const char* name : {"edited.html", "link.html", "folder.html", "gone.html", "ok.html"})
        paths.append(tree.write(name, Infected));
    ASSERT_EQ(
        runCli({"clean", "--files", paths[0], paths[1], paths[2], paths[3], paths[4]}).exitCode, 0);
    tree.write("edited.html", "edited again\r\n");
    ASSERT_EQ(::unlink(paths[1].constData()), 0);
    ASSERT_EQ(::symlink(paths[4].constData(), paths[1].constData()), 0);
    ASSERT_EQ(::unlink(paths[2].constData()), 0);
    tree.mkdir("folder.html");
    ASSERT_EQ(::unlink(paths[3].constData()), 0);

    const ProgramResult r = runCli({"restore", "--last"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains(paths[0] + ": changed since it was cleaned")) << r.err.constData();
    EXPECT_TRUE(r.err.contains(paths[1] + ": is a symbolic link")) << r.err.constData();
    EXPECT_TRUE(r.err.contains(paths[2] + ": is a folder")) << r.err.constData();
    EXPECT_TRUE(r.err.contains(paths[3] + ": no such file")) << r.err.constData();
    EXPECT_EQ(readFile(paths[0]), "edited again\r\n");
    EXPECT_TRUE(S_ISLNK(statOf(paths[1]).st_mode));
    EXPECT_EQ(readFile(paths[4]), Infected);

    // --force puts back the original over the later edit; named PATHs limit the restore.
    const QByteArray cleanJob = runCli({"history"}).out.split('\n').at(1).split('\t').first();
    const ProgramResult forced = runCli({"restore", cleanJob, paths[0], "--force"});
    EXPECT_EQ(forced.exitCode, 0) << forced.err.constData();
    EXPECT_EQ(forced.out, "restored\t" + paths[0] + "\n");
    EXPECT_EQ(readFile(paths[0]), Infected);
}

TEST(HistoryCommand, TornAndGarbageJournalLinesAreSkippedAndCounted) {
    TempTree tree;
    const ScopedHistory history(tree.path("history"));
    const QByteArray file = tree.write("a.html", Infected);
    ASSERT_EQ(runCli({"clean", "--files", file}).exitCode, 0);
    const QByteArray journal = tree.path("history/journal.jsonl");
    QFile out(QFile::decodeName(journal));
    ASSERT_TRUE(out.open(QIODevice::Append));
    out.write("not json at all\n{\"time\":\"2026-01-01T00:00:00Z\",\"job\":\"x\",\"pa");
    out.close();

    const ProgramResult list = runCli({"history"});
    EXPECT_EQ(list.exitCode, 0);
    EXPECT_EQ(list.out.count('\n'), 1);
    EXPECT_TRUE(list.err.contains("2 lines could not be read")) << list.err.constData();
    const ProgramResult restore = runCli({"restore", "--last"});
    EXPECT_EQ(restore.exitCode, 0) << restore.err.constData();
    EXPECT_EQ(readFile(file), Infected);
}

TEST(HistoryCommand, AFileWhoseBackupCannotBeWrittenIsNotCleaned) {
    TempTree tree;
    const ScopedHistory history(tree.path("history"));
    const QByteArray big = tree.write("big.html", Infected + QByteArray(8000, 'x'));
    // A second name: the file is rewritten in place, so its backup must be a copy, not a link.
    ASSERT_EQ(::link(big.constData(), tree.path("big-link.html").constData()), 0);
    // A file size limit, inherited by the program, makes the backup's writes fail as a full
    // disk would; the program's own output stays well below it.
    struct rlimit old {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = old;
    small.rlim_cur = 4096;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const ProgramResult r = runCli({"clean", "--files", big});
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains(big + ": its backup could not be written")) << r.err.constData();
    EXPECT_EQ(r.out, "skipped\t" + big + "\tcould not be backed up\n");
    EXPECT_EQ(readFile(big), Infected + QByteArray(8000, 'x'));

    // Without a backup the same file is cleaned, and the history has nothing to restore.
    EXPECT_EQ(runCli({"clean", "--no-backup", "--files", big}).exitCode, 0);
    EXPECT_FALSE(readFile(big).contains("evilstats"));
    EXPECT_EQ(runCli({"restore", "--last"}).exitCode, 2);
}

TEST(HistoryCommand, TheStoreInsideASearchedTreeIsLeftOut) {
    TempTree tree;
    const ScopedHistory history(tree.path("site/history"));
    tree.write("site/history/notes.txt", "evilstats.example\n");
    const QByteArray page = tree.write("site/a.html", Infected);
    const ProgramResult r = runCli({"search", tree.path("site")});
    EXPECT_EQ(r.out, page + "\n");
}

TEST(HistoryCommand, PruneRemovesOldJobsAndTheBackupsOnlyTheyNeed) {
    TempTree tree;
    const ScopedHistory history(tree.path("history"));
    const QByteArray first = tree.write("first.html", Infected);
    ASSERT_EQ(runCli({"clean", "--files", first}).exitCode, 0);
    // The first job is made old, with its backup.
    const QByteArray journal = tree.path("history/journal.jsonl");
    QByteArray lines = readFile(journal);
    lines.replace(QDateTime::currentDateTimeUtc().toString("yyyy-MM-dd").toUtf8(), "2020-01-01");
    tree.write("history/journal.jsonl", lines, 0600);
    const struct timespec old[2] = {{0, UTIME_OMIT}, {1500000000, 0}};
    QDirIterator objects(QFile::decodeName(tree.path("history/objects")), QDir::Files,
                         QDirIterator::Subdirectories);
    while (objects.hasNext())
        ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(objects.next()).constData(), old, 0), 0);
    const QByteArray second = tree.write("second.html", Infected + "second\n");
    ASSERT_EQ(runCli({"clean", "--files", second}).exitCode, 0);

    const ProgramResult r = runCli({"prune", "--older-than", "30"});
    EXPECT_EQ(r.exitCode, 0) << r.err.constData();
    EXPECT_EQ(r.out,
              "removed 1 jobs and 1 backups (" + QByteArray::number(Infected.size()) + " bytes)\n");
    EXPECT_EQ(runCli({"history"}).out.count('\n'), 1);
    EXPECT_EQ(runCli({"restore", "--last"}).exitCode, 0);
    EXPECT_EQ(readFile(second), Infected + "second\n");
    EXPECT_EQ(runCli({"prune"}).exitCode, 2);
}

} // namespace
