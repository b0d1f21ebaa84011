#include "tests/support/RunProgram.h"
#include "tests/support/TempTree.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace pw::test;

namespace {

// The fixture has at most one subfolder per folder and at most one file per mask in each, so
// its listing order does not depend on the order the file system lists entries in.
const QByteArray Site = sourcePath("tests/cli/golden/search-site");

QByteArray golden(const char* name) {
    return readFile(sourcePath("tests/cli/golden/search/" + QByteArray(name) + ".txt"));
}

// Output paths with the fixture's folder written as ROOT.
QByteArray withRoot(const QByteArray& out) {
    QByteArray text = out;
    return text.replace(Site, "ROOT");
}

} // namespace

TEST(SearchCommand, ListingsMatchTheGoldenFiles) {
    const struct {
        const char* golden;
        QList<QByteArray> options;
    } cases[] = {
        {"default", {}},
        {"case-sensitive", {"--case-sensitive"}},
        {"whole-word", {"--whole-word"}},
        {"no-keyword", {"--keyword", ""}}, // no content condition: folders named like a mask too
        {"masks", {"--masks", "*.php;*.JS"}},
        {"no-subfolders", {"--no-subfolders"}},
        {"min-size", {"--min-size", "2"}},
        {"max-size", {"--max-size", "2"}},
    };
    for (const auto& c : cases) {
        for (const char* threads : {"1", "3"}) {
            SCOPED_TRACE(std::string(c.golden) + ", threads " + threads);
            const ProgramResult r = runCli(QList<QByteArray>{"search", "--threads", threads} +
                                           c.options + QList<QByteArray>{Site});
            EXPECT_EQ(r.exitCode, 0);
            EXPECT_EQ(withRoot(r.out), golden(c.golden));
            EXPECT_EQ(r.err, "");
        }
    }
}

TEST(SearchCommand, NothingFoundExitsWithOne) {
    const ProgramResult r = runCli({"search", "--keyword", "not in any file", Site});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, "");
}

TEST(SearchCommand, UsageErrorsAndBadPathsExitWithTwo) {
    TempTree tree;
    const QByteArray file = tree.write("a.htm", "x");
    const struct {
        QList<QByteArray> args;
        QByteArray err;
    } cases[] = {
        {{"search"}, "pagewarden-cli search: no PATH given"},
        {{"search", "--min-size", "x", Site}, "pagewarden-cli search: --min-size: 'x' is not"},
        {{"search", "--max-size", "-1", Site}, "pagewarden-cli search: --max-size: '-1' is not"},
        {{"search", "--max-size", "99999999999999999", Site}, "pagewarden-cli search: --max-size"},
        {{"search", "--time-field", "born", Site}, "pagewarden-cli search: --time-field: 'born'"},
        {{"search", "--after", "2024-02-30", Site}, "pagewarden-cli search: --after: '2024-02-30'"},
        {{"search", "--before", "25:00", Site}, "pagewarden-cli search: --before: '25:00'"},
        {{"search", "--masks", "sub/*.htm", Site}, "pagewarden-cli search: --masks: 'sub/*.htm'"},
        {{"search", "--threads", "0", Site}, "pagewarden-cli search: --threads: '0'"},
        {{"search", tree.path("missing")}, "pagewarden-cli: " + tree.path("missing") + ": no such"},
        {{"search", file}, "pagewarden-cli: " + file + ": is not a folder\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args.join(' ').toStdString());
        const ProgramResult r = runCli(c.args);
        EXPECT_EQ(r.exitCode, 2);
        EXPECT_TRUE(r.err.startsWith(c.err)) << r.err.constData();
        EXPECT_EQ(r.out, "");
    }
}

TEST(SearchCommand, TimeBoundsOnTheChosenField) {
    TempTree tree;
    // Written 2024-03-10 and 2024-03-12 (UTC noon), accessed the other way round.
    const QByteArray early = tree.write("early.htm", "evilstats.example");
    const QByteArray late = tree.write("late.php", "evilstats.example");
    const timespec earlyTimes[2] = {{1710244800, 0}, {1710072000, 0}};
    const timespec lateTimes[2] = {{1710072000, 0}, {1710244800, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, early.constData(), earlyTimes, 0), 0);
    ASSERT_EQ(::utimensat(AT_FDCWD, late.constData(), lateTimes, 0), 0);

    const struct {
        QList<QByteArray> options;
        QByteArray out;
    } cases[] = {
        {{"--time-field", "modified", "--after", "2024-03-11"}, late + "\n"},
        {{"--time-field", "modified", "--before", "2024-03-11"}, early + "\n"},
        {{"--time-field", "modified", "--before", "2024-03-10"}, early + "\n"}, // all of the day
        {{"--time-field", "modified", "--after", "2024-03-10", "--before", "2024-03-12"},
         early + "\n" + late + "\n"}, // the last mask first
        // Reading the files for the keyword leaves their access times alone.
        {{"--time-field", "accessed", "--after", "2024-03-11"}, early + "\n"},
        {{"--time-field", "accessed", "--after", "2024-03-11"}, early + "\n"},
        {{"--time-field", "modified", "--after", "2024-03-12T23:00"}, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.options.join(' ').toStdString());
        const ProgramResult r = runCli(QList<QByteArray>{"search", "--masks", "*.php;*.htm"} +
                                       c.options + QList<QByteArray>{tree.path()});
        EXPECT_EQ(r.out, c.out);
        EXPECT_EQ(r.exitCode, c.out.isEmpty() ? 1 : 0);
    }
}

TEST(SearchCommand, JsonLinesAndQuiet) {
    const ProgramResult r = runCli({"search", "--json", "--keyword", "", "--no-subfolders", Site});
    EXPECT_EQ(r.exitCode, 0);
    const QList<QByteArray> lines = r.out.trimmed().split('\n');
    ASSERT_EQ(lines.size(), 4);
    const QJsonObject first = QJsonDocument::fromJson(lines[0]).object();
    EXPECT_EQ(first["path"].toString().toUtf8(), Site + "/page.PHP");
    EXPECT_EQ(first["size"].toInt(), 35);
    EXPECT_FALSE(first["folder"].toBool());
    EXPECT_EQ(first["modified"].toString().size(), 19); // YYYY-MM-DDTHH:MM:SS

    const ProgramResult quiet = runCli({"search", "-q", Site});
    EXPECT_EQ(quiet.exitCode, 0);
    EXPECT_EQ(quiet.out + quiet.err, "");
}

// A document root that is a link to the real files (Debian's MediaWiki layout) is named, once,
// where the walk passes it by; a link to a file is an entry like any other.
TEST(SearchCommand, LinksToFoldersAreNamedOnceAndNotFollowed) {
    TempTree tree;
    TempTree real;
    real.write("index.php", "evilstats.example\n");
    tree.write("site/a.php", "evilstats.example\n");
    const QByteArray link = tree.path("site/w");
    ASSERT_EQ(::symlink(real.path().constData(), link.constData()), 0);
    ASSERT_EQ(::symlink(real.path("index.php").constData(), tree.path("site/b.php").constData()),
              0);
    // The second PATH lies inside the first, so the walk passes the link twice.
    const ProgramResult r = runCli({"search", tree.path(), tree.path("site")});
    EXPECT_EQ(r.err, "pagewarden-cli: " + link + ": not followed: symbolic link to a folder\n");
    EXPECT_FALSE(r.out.contains(real.path())) << r.out.constData();
    EXPECT_TRUE(r.out.contains(tree.path("site/a.php"))) << r.out.constData();
    const ProgramResult flat = runCli({"search", "--no-subfolders", tree.path("site")});
    EXPECT_EQ(flat.err, "");
}
