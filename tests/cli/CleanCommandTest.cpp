#include "tests/support/RunProgram.h"
#include "tests/support/TempTree.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <unistd.h>

using namespace pw::test;

namespace {

const QByteArray Infected = "a\n<script src=\"http://evilstats.example/x.js\"></script>\nb\n";
const QByteArray Announced =
    "pagewarden-cli: keyword \"evilstats.example\" (from the default), rule the default rule\n";

TEST(CleanCommand, ReportsEachFileAndFailsForTheOnesItCannotClean) {
    TempTree tree;
    const QByteArray infected = tree.write("a.html", Infected);
    const QByteArray clean = tree.write("b.html", "b\r\n");
    const QByteArray missing = tree.path("gone.html");
    const ProgramResult r = runCli({"clean", "--files", infected, missing, clean});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, "cleaned\t" + infected + "\nskipped\t" + missing +
                         "\tno such file\nunchanged\t" + clean + "\n");
    EXPECT_EQ(r.err, Announced + "pagewarden-cli: " + missing + ": no such file\n");
    EXPECT_EQ(readFile(infected), "a\r\nb\r\n");
}

TEST(CleanCommand, UsageErrorsAndInvalidRulesExitWithTwoAndTouchNothing) {
    TempTree tree;
    const QByteArray file = tree.write("a.html", Infected);
    const struct {
        QList<QByteArray> args;
        QByteArray err;
    } cases[] = {
        {{}, "Usage: pagewarden-cli COMMAND"},
        {{"scrub"}, "pagewarden-cli: unknown command 'scrub'"},
        {{"clean"}, "pagewarden-cli clean: no PATH given"},
        {{"clean", "--files"}, "pagewarden-cli clean: no FILE given"},
        {{"clean", "--binary", file},
         "pagewarden-cli clean: --binary cleans only FILEs named with "
         "--files"},
        {{"clean", "--bogus", "--files", file}, "pagewarden-cli clean: Unknown option 'bogus'."},
        {{"clean", "--rule", "(<script", "--files", file},
         "pagewarden-cli: invalid rule at offset 8: missing closing parenthesis\n"},
        {{"clean", "--rule", " ", "--files", file},
         "pagewarden-cli: invalid rule: the rule is empty\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args.join(' ').toStdString());
        const ProgramResult r = runCli(c.args);
        EXPECT_EQ(r.exitCode, 2);
        EXPECT_TRUE(r.err.startsWith(c.err)) << r.err.constData();
        EXPECT_EQ(r.out, "");
    }
    EXPECT_EQ(readFile(file), Infected);
}

TEST(CleanCommand, DryRunPrintsWhatWouldGoAndChangesNothing) {
    TempTree tree;
    const QByteArray file = tree.write("a.js", "x<script>evilstats.example\t1</script>\n");
    const ProgramResult r = runCli({"clean", "--dry-run", "--files", file});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "would-clean\t" + file + "\n\t<script>evilstats.example\\t1</script>\n");
    EXPECT_EQ(readFile(file), "x<script>evilstats.example\t1</script>\n");

    // As the text stands in the file: a backslash stays one backslash, a control byte is escaped,
    // and each copy removed is one line.
    const QByteArray element = "<script>document.write(\"evilstats.example<\\/p>\x01\")</script>";
    const QByteArray twice = tree.write("b.js", element + "\n" + element + "\n");
    const QByteArray line = "\t<script>document.write(\"evilstats.example<\\/p>\\x01\")</script>\n";
    EXPECT_EQ(runCli({"clean", "--dry-run", "--files", twice}).out,
              "would-clean\t" + twice + "\n" + line + line);
}

TEST(CleanCommand, FilesLeftForAReasonAreSkippedWithIt) {
    TempTree tree;
    const QByteArray png = readFile(sourcePath("docs/window.png")) + Infected;
    const QByteArray image = tree.write("logo.png", png);
    const QByteArray readOnly = tree.write("ro.html", Infected, 0444);
    const QByteArray target = tree.write("target.html", Infected);
    const QByteArray link = tree.path("link.html");
    ASSERT_EQ(::symlink(target.constData(), link.constData()), 0);
    const QByteArray clean = tree.write("clean.html", "ok\r\n");
    const ProgramResult r = runCli({"clean", "--files", image, readOnly, link, clean});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, "skipped\t" + image + "\tbinary\nskipped\t" + readOnly +
                         "\tread-only\nskipped\t" + link + "\tsymbolic link\nunchanged\t" + clean +
                         "\n");
    EXPECT_TRUE(r.err.contains("pagewarden-cli: " + image +
                               ": starts with a binary file "
                               "signature (--binary cleans it all the same)\n"))
        << r.err.constData();
    EXPECT_EQ(readFile(image), png);
    EXPECT_EQ(readFile(readOnly), Infected);
    EXPECT_EQ(readFile(target), Infected);

    const ProgramResult json = runCli({"clean", "--json", "--files", image});
    const QJsonObject object = QJsonDocument::fromJson(json.out).object();
    EXPECT_EQ(object["status"].toString(), "skipped");
    EXPECT_EQ(object["reason"].toString(), "binary");

    // Asked for by name: cleaned as text all the same.
    const ProgramResult forced = runCli({"clean", "--binary", "--files", image});
    EXPECT_EQ(forced.out, "cleaned\t" + image + "\n");
    EXPECT_FALSE(readFile(image).contains("evilstats"));
}

TEST(CleanCommand, JsonLinesKeepBytesThatAreNotUtf8) {
    TempTree tree;
    const QByteArray odd = tree.write("caf\xE9.html", Infected); // a Latin-1 name
    const QByteArray folder = tree.path("");
    const ProgramResult r = runCli({"clean", "--json", "--files", odd, folder});
    EXPECT_EQ(r.exitCode, 1);
    const QList<QByteArray> lines = r.out.trimmed().split('\n');
    ASSERT_EQ(lines.size(), 2);
    const QJsonObject first = QJsonDocument::fromJson(lines[0]).object();
    EXPECT_EQ(first["status"].toString(), "cleaned");
    EXPECT_EQ(QByteArray::fromBase64(first["path_base64"].toString().toLatin1()), odd);
    EXPECT_EQ(first["removed"].toArray().size(), 1);
    const QJsonObject second = QJsonDocument::fromJson(lines[1]).object();
    EXPECT_EQ(second["status"].toString(), "skipped");
    EXPECT_EQ(second["reason"].toString(), "not a regular file");
    EXPECT_EQ(second["error"].toString(), "is a folder");
    EXPECT_EQ(readFile(odd), "a\r\nb\r\n");
}

TEST(CleanCommand, QuietPrintsOnlyErrorsAndVersionAnswers) {
    TempTree tree;
    const QByteArray file = tree.write("a.txt", Infected);
    const ProgramResult quiet = runCli({"clean", "-q", "--keyword", "EVILSTATS", "--files", file});
    EXPECT_EQ(quiet.exitCode, 0);
    EXPECT_EQ(quiet.out + quiet.err, "");
    EXPECT_EQ(readFile(file), "a\r\nb\r\n");
    EXPECT_EQ(runCli({"--version"}).out, "pagewarden-cli " PAGEWARDEN_VERSION "\n");
    EXPECT_EQ(runCli({"clean", "--help"}).exitCode, 0);
}

} // namespace

namespace {

// Searching, then cleaning each found file once, in search order.
TEST(CleanCommand, CleansWhatTheSearchFinds) {
    TempTree tree;
    const QByteArray a = tree.write("a.html", Infected);
    const QByteArray b = tree.write("sub/b.php", Infected);
    const QByteArray other = tree.write("c.css", Infected); // outside the masks
    const QByteArray clean = tree.write("d.htm", "no keyword\n");
    const ProgramResult r = runCli({"clean", tree.path()});
    EXPECT_EQ(r.exitCode, 0) << r.err.constData();
    const QList<QByteArray> lines = r.out.trimmed().split('\n');
    EXPECT_EQ(lines.size(), 2) << r.out.constData();
    EXPECT_TRUE(lines.contains("cleaned\t" + a));
    EXPECT_TRUE(lines.contains("cleaned\t" + b));
    EXPECT_EQ(readFile(a), "a\r\nb\r\n");
    EXPECT_EQ(readFile(b), "a\r\nb\r\n");
    EXPECT_EQ(readFile(other), Infected);
    EXPECT_EQ(readFile(clean), "no keyword\n");
}

TEST(CleanCommand, RefusesBadPathsAndRulesBeforeTouchingAnything) {
    TempTree tree;
    const QByteArray a = tree.write("a.html", Infected);
    EXPECT_EQ(runCli({"clean", "--rule", "[", tree.path()}).exitCode, 2);
    const ProgramResult missing = runCli({"clean", tree.path(), tree.path("nowhere")});
    EXPECT_EQ(missing.exitCode, 2);
    EXPECT_TRUE(missing.err.startsWith("pagewarden-cli: " + tree.path("nowhere") + ": "))
        << missing.err.constData();
    EXPECT_EQ(readFile(a), Infected);
}

} // namespace

namespace {

// Without --keyword, the keyword the window saved is the default.
TEST(CleanCommand, TheWindowsSavedKeywordIsTheDefault) {
    TempTree tree;
    const QByteArray store =
        tree.write("registry.reg", "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SoftWare\\Scrubline]"
                                   "\n\"SearchKey\"=\"badads.example\"\n");
    const QByteArray file = tree.write("a.html", "<script src=//BadAds.example/x></script>\n");
    const QByteArray before = qgetenv("PAGEWARDEN_REGISTRY");
    qputenv("PAGEWARDEN_REGISTRY", store);
    const ProgramResult r = runCli({"clean", "--files", file});
    const ProgramResult typed =
        runCli({"clean", "--keyword", "x", "--rule", "<b>", "--files", file});
    const ProgramResult quiet = runCli({"clean", "--quiet", "--files", file});
    const ProgramResult watch = runCli({"watch", "--rule", "(", tree.path()});
    qputenv("PAGEWARDEN_REGISTRY", before);
    EXPECT_EQ(r.out, "cleaned\t" + file + "\n") << r.err.constData();
    EXPECT_EQ(readFile(file), "");
    // Said once on stderr, so that a keyword saved by the window is never used unnoticed.
    EXPECT_EQ(r.err, "pagewarden-cli: keyword \"badads.example\" (from the stored setting), rule "
                     "the default rule\n");
    EXPECT_EQ(typed.err, "pagewarden-cli: keyword \"x\" (from --keyword), rule <b>\n");
    EXPECT_EQ(quiet.err, "");
    EXPECT_EQ(watch.err, "pagewarden-cli: invalid rule at offset 1: missing closing parenthesis\n");
}

} // namespace
