#include "cleaning/FileCleaner.h"
#include "cleaning/FileRewrite.h"
#include "common/Defaults.h"
#include "history/HistoryJob.h"
#include "history/JobList.h"
#include "history/Restore.h"
#include "tests/cleaning/CleaningCases.h"
#include "tests/support/TempTree.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace pw;
using pw::test::readFile;
using pw::test::statOf;
using pw::test::TempTree;

namespace {

const QByteArray Infected = "<p>hi</p>\n<script src=\"http://evilstats.example/a.js\"></script>\n";
const QByteArray Cleaned = "<p>hi</p>\r\n";

KeywordSource fixed(const QByteArray& keyword) {
    return [keyword] { return keyword; };
}

CleanReport clean(const QByteArray& path, const QByteArray& rule = DefaultRule) {
    return cleanFile(CleanTarget::inOwnFolder(path), rule, fixed(DefaultKeyword));
}

bool sameInodeAndTime(const struct stat& a, const struct stat& b) {
    return a.st_ino == b.st_ino && a.st_mtim.tv_sec == b.st_mtim.tv_sec &&
           a.st_mtim.tv_nsec == b.st_mtim.tv_nsec;
}

QStringList entries(const TempTree& tree) {
    return QDir(QString::fromLocal8Bit(tree.path()))
        .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
}

TEST(CleanFile, CaseTableThroughTheFileRoutine) {
    TempTree tree;
    for (const auto& c : test::cleaningCases()) {
        SCOPED_TRACE(c.name);
        const QByteArray path = tree.write("case.html", c.input);
        const struct stat before = statOf(path);
        const CleanReport report =
            cleanFile(CleanTarget::inOwnFolder(path), c.rule.isEmpty() ? DefaultRule : c.rule,
                      fixed(c.keyword));
        EXPECT_EQ(readFile(path), c.expected);
        const bool written = c.expected != c.input;
        EXPECT_EQ(report.outcome, written ? CleanOutcome::Cleaned : CleanOutcome::Unchanged);
        // Unchanged bytes are never rewritten: same inode, same modification time.
        EXPECT_EQ(sameInodeAndTime(before, statOf(path)), !written);
    }
    EXPECT_EQ(entries(tree), QStringList{"case.html"}); // no temporary file left behind
}

TEST(CleanFile, CaseTableThroughTheCommandLine) {
    TempTree tree;
    const QString cli = QString::fromLocal8Bit(test::binaryPath("cli/pagewarden-cli"));
    for (const auto& c : test::cleaningCases()) {
        SCOPED_TRACE(c.name);
        const QByteArray path = tree.write("case.php", c.input);
        QStringList args{"clean", "--keyword", QString::fromUtf8(c.keyword)};
        if (!c.rule.isEmpty()) args << "--rule" << QString::fromUtf8(c.rule);
        args << "--files" << QString::fromLocal8Bit(path);
        QProcess process;
        process.start(cli, args);
        ASSERT_TRUE(process.waitForFinished(30000));
        EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardError().constData();
        EXPECT_EQ(readFile(path), c.expected);
        const QByteArray word = c.expected != c.input ? "cleaned\t" : "unchanged\t";
        EXPECT_EQ(process.readAllStandardOutput(), word + path + "\n");
    }
}

TEST(CleanFile, FilesItCannotHandleStayExactlyAsTheyWere) {
    TempTree tree;
    const QByteArray target = tree.write("target.html", Infected);
    const QByteArray readOnly = tree.write("readonly.html", Infected, 0444);
    const QByteArray link = tree.path("link.html");
    ASSERT_EQ(::symlink(target.constData(), link.constData()), 0);
    const QByteArray fifo = tree.path("pipe.html");
    ASSERT_EQ(::mkfifo(fifo.constData(), 0644), 0);
    tree.mkdir("folder.html");
    const QByteArray huge = tree.write("huge.txt", "");
    ASSERT_EQ(::truncate(huge.constData(), RegularFile::MaxSize + 1), 0); // sparse: no disk used

    const struct {
        QByteArray path;
        FileProblem problem;
        LeftReason left;
    } cases[] = {
        {readOnly, FileProblem::ReadOnly, LeftReason::ReadOnly},
        {link, FileProblem::SymbolicLink, LeftReason::SymbolicLink},
        {fifo, FileProblem::Special, LeftReason::NotRegular}, // must not block
        {tree.path("folder.html"), FileProblem::Folder, LeftReason::NotRegular},
        {tree.path("missing.html"), FileProblem::Missing, LeftReason::Missing},
        {huge, FileProblem::TooLarge, LeftReason::TooLarge},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path.constData());
        const struct stat before = statOf(c.problem == FileProblem::Missing ? target : c.path);
        const CleanReport report = clean(c.path);
        EXPECT_EQ(report.outcome, CleanOutcome::Failed);
        EXPECT_EQ(report.problem, c.problem) << report.reason().constData();
        EXPECT_EQ(report.left, c.left);
        if (c.problem != FileProblem::Missing) {
            const struct stat after = statOf(c.path);
            EXPECT_TRUE(sameInodeAndTime(before, after));
            EXPECT_EQ(before.st_mode, after.st_mode);
        }
    }
    EXPECT_EQ(readFile(target), Infected);
    EXPECT_EQ(readFile(readOnly), Infected);
    EXPECT_TRUE(S_ISLNK(statOf(link).st_mode));
}

TEST(CleanFile, InvalidRuleTouchesNothing) {
    TempTree tree;
    const QByteArray path = tree.write("a.html", "a\nb\n");
    const struct stat before = statOf(path);
    for (const QByteArray& rule : {QByteArray("(<script"), QByteArray("  ")}) {
        const CleanReport report = clean(path, rule);
        EXPECT_EQ(report.outcome, CleanOutcome::Failed);
        EXPECT_TRUE(report.reason().startsWith("invalid rule")) << report.reason().data();
    }
    EXPECT_TRUE(sameInodeAndTime(before, statOf(path)));
    EXPECT_EQ(readFile(path), "a\nb\n");
}

TEST(CleanFile, ModeAndOwnerAreKept) {
    TempTree tree;
    const QByteArray path = tree.write("a.asp", Infected, 0640);
    const bool root = ::geteuid() == 0;
    if (root) {
        ASSERT_EQ(::chown(path.constData(), 4321, 8765), 0);
    }
    ASSERT_EQ(clean(path).outcome, CleanOutcome::Cleaned);
    const struct stat after = statOf(path);
    EXPECT_EQ(after.st_mode & 07777, 0640u);
    if (root) {
        EXPECT_EQ(after.st_uid, 4321u);
        EXPECT_EQ(after.st_gid, 8765u);
    }
    EXPECT_EQ(readFile(path), Cleaned);
}

TEST(CleanFile, HardLinkedFileIsRewrittenInPlaceForEveryName) {
    TempTree tree;
    const QByteArray path = tree.write("a.htm", Infected);
    const QByteArray other = tree.path("b.htm");
    ASSERT_EQ(::link(path.constData(), other.constData()), 0);
    const ino_t inode = statOf(path).st_ino;
    ASSERT_EQ(clean(path).outcome, CleanOutcome::Cleaned);
    EXPECT_EQ(statOf(path).st_ino, inode);
    EXPECT_EQ(readFile(other), Cleaned);
    EXPECT_EQ(entries(tree), (QStringList{"a.htm", "b.htm"}));
}

TEST(CleanFile, DryRunReportsAndChangesNothing) {
    TempTree tree;
    const QByteArray path = tree.write("a.js", Infected);
    const struct stat before = statOf(path);
    const CleanReport report = cleanFile(CleanTarget::inOwnFolder(path), DefaultRule,
                                         fixed(DefaultKeyword), CleanMode::DryRun);
    EXPECT_EQ(report.outcome, CleanOutcome::Cleaned);
    EXPECT_EQ(report.removed,
              QList<QByteArray>{"<script src=\"http://evilstats.example/a.js\"></script>"});
    EXPECT_TRUE(sameInodeAndTime(before, statOf(path)));
}

// A file with a binary signature is never rewritten as text unless the caller allows it; a NUL
// byte alone is an ordinary byte.
TEST(CleanFile, BinaryFilesAreLeftUnlessAllowed) {
    TempTree tree;
    const QByteArray png = readFile(test::sourcePath("docs/window.png")) + Infected;
    const QByteArray image = tree.write("logo.js", png);
    const QByteArray withNul = tree.write("nul.js", QByteArray("a\0b\n", 4) + Infected);
    const struct stat before = statOf(image);
    FileCleaner cleaner;
    const CleanReport report = cleaner.clean(CleanTarget::inOwnFolder(image), DefaultRule,
                                             fixed(DefaultKeyword), CleanMode::DryRun);
    EXPECT_EQ(report.outcome, CleanOutcome::Failed);
    EXPECT_EQ(report.left, LeftReason::Binary);
    EXPECT_EQ(report.reason(), "binary");
    EXPECT_EQ(clean(image).left, LeftReason::Binary);
    EXPECT_TRUE(sameInodeAndTime(before, statOf(image)));
    EXPECT_EQ(readFile(image), png);

    EXPECT_EQ(clean(withNul).outcome, CleanOutcome::Cleaned);
    EXPECT_EQ(readFile(withNul), QByteArray("a\0b\r\n<p>hi</p>\r\n", 16));

    cleaner.setBinaryAllowed(true);
    EXPECT_EQ(
        cleaner.clean(CleanTarget::inOwnFolder(image), DefaultRule, fixed(DefaultKeyword)).outcome,
        CleanOutcome::Cleaned);
    EXPECT_FALSE(readFile(image).contains("evilstats"));
}

// Another program writing the file while it is cleaned wins: its bytes are kept.
TEST(CleanFile, AWriteByAnotherProgramIsNotOverwritten) {
    TempTree tree;
    static QByteArray path;
    path = tree.write("a.inc", Infected);
    setBeforeReplaceHook([](const QByteArray&) {
        const int fd = ::open(path.constData(), O_WRONLY | O_APPEND);
        ASSERT_EQ(::write(fd, "more\n", 5), 5);
        ::close(fd);
    });
    const CleanReport report = clean(path);
    setBeforeReplaceHook(nullptr);
    EXPECT_EQ(report.problem, FileProblem::Changed);
    EXPECT_EQ(readFile(path), Infected + "more\n");
    EXPECT_EQ(entries(tree), QStringList{"a.inc"});
}

// A crash between writing the new bytes and replacing the file leaves the original intact; the
// leftover is a hidden ".tmp" file that no web mask lists.
TEST(CleanFileDeathTest, CrashBeforeReplaceLeavesTheOriginalIntact) {
    // Forked, so the child works on this test's own folder.
    GTEST_FLAG_SET(death_test_style, "fast");
    TempTree tree;
    const QByteArray path = tree.write("index.html", Infected);
    EXPECT_EXIT(
        {
            setBeforeReplaceHook([](const QByteArray&) { ::_exit(7); });
            clean(path);
        },
        ::testing::ExitedWithCode(7), "");
    EXPECT_EQ(readFile(path), Infected);
    const QStringList names = entries(tree);
    ASSERT_EQ(names.size(), 2);
    const QString leftover = names.filter(".pagewarden-").value(0);
    EXPECT_TRUE(leftover.startsWith(".pagewarden-") && leftover.endsWith(".tmp"))
        << names.join(',').toStdString();
    EXPECT_EQ(readFile(tree.path(leftover.toLocal8Bit())), Cleaned); // complete new bytes
}

// Files cleaned together: each one's outcome as if cleaned alone, in the order given.
TEST(CleanTogether, EachFileAsIfCleanedAlone) {
    TempTree tree;
    const QByteArray infected = tree.write("a.htm", Infected);
    const QByteArray clean = tree.write("b.htm", Cleaned);
    const QByteArray linked = tree.write("c.htm", Infected);
    ASSERT_EQ(::link(linked.constData(), tree.path("c2.htm").constData()), 0);
    const QByteArray readOnly = tree.write("d.htm", Infected, 0444);
    ASSERT_EQ(::symlink(infected.constData(), tree.path("e.htm").constData()), 0);
    const QByteArray second = tree.write("sub/f.htm", Infected);
    QList<CleanTarget> targets;
    for (const char* name : {"a.htm", "b.htm", "c.htm", "d.htm", "e.htm", "sub/f.htm"})
        targets.append(CleanTarget::beneath({tree.path() + "/"}, tree.path(name)));
    const QList<CleanReport> reports =
        FileCleaner().cleanTogether(targets, DefaultRule, fixed(DefaultKeyword));
    ASSERT_EQ(reports.size(), 6);
    const CleanOutcome outcomes[] = {CleanOutcome::Cleaned, CleanOutcome::Unchanged,
                                     CleanOutcome::Cleaned, CleanOutcome::Failed,
                                     CleanOutcome::Failed,  CleanOutcome::Cleaned};
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(reports[i].outcome, outcomes[i]) << i;
    EXPECT_EQ(readFile(infected), Cleaned);
    EXPECT_EQ(readFile(tree.path("c2.htm")), Cleaned); // the other name of the linked file
    EXPECT_EQ(readFile(readOnly), Infected);
    EXPECT_EQ(readFile(second), Cleaned);
    EXPECT_EQ(entries(tree),
              (QStringList{"a.htm", "b.htm", "c.htm", "c2.htm", "d.htm", "e.htm", "sub"}));
}

// A file written by another program after the group was flushed keeps that program's bytes;
// the others of the group are replaced.
TEST(CleanTogether, AFileWrittenMeanwhileIsLeftAsItsWriterLeftIt) {
    TempTree tree;
    static QByteArray changed;
    static int calls;
    calls = 0;
    QList<CleanTarget> targets;
    for (const char* name : {"a.htm", "b.htm", "c.htm"})
        targets.append(CleanTarget::inOwnFolder(tree.write(name, Infected)));
    changed = tree.path("b.htm");
    setBeforeReplaceHook([](const QByteArray&) {
        if (++calls != 1) return; // once every new file is on disk, before any replacement
        const int fd = ::open(changed.constData(), O_WRONLY | O_APPEND);
        ASSERT_EQ(::write(fd, "more\n", 5), 5);
        ::close(fd);
    });
    const QList<CleanReport> reports =
        FileCleaner().cleanTogether(targets, DefaultRule, fixed(DefaultKeyword));
    setBeforeReplaceHook(nullptr);
    EXPECT_EQ(calls, 3);
    EXPECT_EQ(reports[1].problem, FileProblem::Changed);
    EXPECT_EQ(readFile(changed), Infected + "more\n");
    EXPECT_EQ(readFile(tree.path("a.htm")), Cleaned);
    EXPECT_EQ(readFile(tree.path("c.htm")), Cleaned);
    EXPECT_EQ(entries(tree), (QStringList{"a.htm", "b.htm", "c.htm"}));
}

// A crash once the group is flushed but before the first replacement: every original intact,
// and beside each a leftover holding its complete new bytes.
TEST(CleanTogetherDeathTest, CrashBeforeReplaceLeavesEveryOriginalIntact) {
    GTEST_FLAG_SET(death_test_style, "fast");
    TempTree tree;
    QList<CleanTarget> targets;
    for (const char* name : {"a.htm", "b.htm", "c.htm"})
        targets.append(CleanTarget::inOwnFolder(tree.write(name, Infected)));
    EXPECT_EXIT(
        {
            setBeforeReplaceHook([](const QByteArray&) { ::_exit(7); });
            FileCleaner().cleanTogether(targets, DefaultRule, fixed(DefaultKeyword));
        },
        ::testing::ExitedWithCode(7), "");
    const QStringList names = entries(tree);
    ASSERT_EQ(names.size(), 6) << names.join(',').toStdString();
    for (const QString& name : names) {
        const QByteArray bytes = readFile(tree.path(name.toLocal8Bit()));
        EXPECT_EQ(bytes, name.startsWith(".pagewarden-") ? Cleaned : Infected)
            << name.toStdString();
    }
}

// Many files with a distinct original each, spread over a few folders.
QList<QByteArray> manyInfected(const TempTree& tree, int count) {
    QList<QByteArray> paths;
    for (int i = 0; i < count; ++i)
        paths.append(
            tree.write("d" + QByteArray::number(i % 7) + "/p" + QByteArray::number(i) + ".htm",
                       "<p>" + QByteArray::number(i) + "</p>\n" + Infected));
    return paths;
}

// More than a group of files, some given only once the job runs: each group is committed beside
// the next one's preparation and reported once final, and every original comes back.
TEST(CleanTogether, ALongJobCleansRecordsAndCanGiveEveryFileBack) {
    TempTree tree;
    const QList<QByteArray> paths = manyInfected(tree, 700);
    QList<CleanTarget> first, later;
    for (qsizetype i = 0; i < paths.size(); ++i)
        (i < 600 ? first : later).append(CleanTarget::beneath({tree.path()}, paths[i]));
    auto job = std::make_shared<HistoryJob>(tree.path("history"), origin::Watch, tree.path());
    FileCleaner cleaner;
    cleaner.setHistory(job);
    QList<qsizetype> settled;
    bool given = false;
    const QList<CleanReport> reports = cleaner.cleanTogether(
        first, DefaultRule, fixed(DefaultKeyword),
        [&](const QList<CleanReport>& soFar, qsizetype count) {
            for (qsizetype i = settled.isEmpty() ? 0 : settled.last(); i < count; ++i)
                EXPECT_EQ(soFar[i].outcome, CleanOutcome::Cleaned) << i;
            EXPECT_TRUE(settled.isEmpty() || count > settled.last());
            settled.append(count);
        },
        [&] { return std::exchange(given, true) ? QList<CleanTarget>() : later; });
    ASSERT_EQ(reports.size(), 700);
    EXPECT_GE(settled.size(), 2);
    for (qsizetype i = 0; i < paths.size(); ++i) {
        EXPECT_EQ(reports[i].outcome, CleanOutcome::Cleaned) << i;
        EXPECT_EQ(readFile(paths[i]), "<p>" + QByteArray::number(i) + "</p>\r\n" + Cleaned) << i;
    }

    const QList<JournalRecord> records =
        recordsOfJob(Journal(tree.path("history")).read().records, job->id());
    ASSERT_EQ(records.size(), 700);
    for (const RestoreReport& r : restoreJob(tree.path("history"), records, {}, nullptr))
        EXPECT_EQ(r.outcome, RestoreOutcome::Restored) << r.reason.constData();
    for (qsizetype i = 0; i < paths.size(); ++i)
        EXPECT_EQ(readFile(paths[i]), "<p>" + QByteArray::number(i) + "</p>\n" + Infected) << i;
}

// Under a low limit on open files, groups get smaller rather than their files failing to open.
TEST(CleanTogetherDeathTest, GroupsFitTheLimitOnOpenFiles) {
    GTEST_FLAG_SET(death_test_style, "fast");
    TempTree tree;
    QList<CleanTarget> targets;
    for (const QByteArray& path : manyInfected(tree, 200))
        targets.append(CleanTarget::inOwnFolder(path));
    const auto cleanUnderLowLimit = [&] {
        const struct rlimit low = {160, 160};
        ::setrlimit(RLIMIT_NOFILE, &low);
        const QList<CleanReport> reports =
            FileCleaner().cleanTogether(targets, DefaultRule, fixed(DefaultKeyword));
        return int(std::count_if(reports.begin(), reports.end(), [](const CleanReport& r) {
            return r.outcome != CleanOutcome::Cleaned;
        }));
    };
    EXPECT_EXIT(::_exit(cleanUnderLowLimit()), ::testing::ExitedWithCode(0), "");
}

} // namespace

namespace {

// The sample site cleaned file by file gives the stored clean copies; the element split over a
// line break stays, and so does the file outside the web masks.
TEST(CleanFile, SampleSiteGivesTheGoldenCopies) {
    TempTree tree;
    const QString site = QString::fromLocal8Bit(test::sourcePath("examples/infected-site"));
    const QString golden =
        QString::fromLocal8Bit(test::sourcePath("tests/cleaning/golden/infected-site"));
    QDirIterator it(golden, QDir::Files, QDirIterator::Subdirectories);
    int files = 0;
    while (it.hasNext()) {
        const QString relative = QDir(golden).relativeFilePath(it.next());
        SCOPED_TRACE(relative.toStdString());
        const QByteArray original = readFile(QFile::encodeName(site + '/' + relative));
        const QByteArray path = tree.write(relative.toLocal8Bit(), original);
        const CleanReport report = clean(path);
        const QByteArray expected = readFile(QFile::encodeName(it.filePath()));
        EXPECT_EQ(readFile(path), expected);
        EXPECT_EQ(report.outcome,
                  expected == original ? CleanOutcome::Unchanged : CleanOutcome::Cleaned);
        ++files;
    }
    EXPECT_EQ(files, 12);
}

} // namespace
