#include "cleaning/CleanText.h"
#include "cleaning/CleaningRule.h"
#include "cleaning/LineBreaks.h"
#include "common/Defaults.h"
#include "regex/PcreRegEx.h"
#include "tests/cleaning/CleaningCases.h"

#include "tests/support/TempTree.h"

#include <QDirIterator>
#include <QFile>

#include <gtest/gtest.h>

using namespace pw;

namespace {

TextCleaning clean(const QByteArray& input, const QByteArray& rule, const KeywordSource& keyword) {
    TPcreRegEx matcher;
    matcher.setRegEx(cleaningRule(rule.isEmpty() ? DefaultRule : rule));
    matcher.setOptions(CleaningRuleOptions);
    return cleanText(input, matcher, keyword);
}

TEST(CleanText, CaseTable) {
    for (const auto& c : test::cleaningCases()) {
        SCOPED_TRACE(c.name);
        const QByteArray keyword = c.keyword;
        EXPECT_EQ(clean(c.input, c.rule, [&] { return keyword; }).text, c.expected);
    }
}

// Whether some match of the first-close rule holds a second opening tag of its own kind: only
// there may the present rule give another result.
bool firstCloseNests(const QByteArray& text) {
    TPcreRegEx matcher;
    matcher.setRegEx(test::FirstCloseRule);
    matcher.setOptions(CleaningRuleOptions);
    matcher.setSubject(text);
    for (bool found = matcher.Match(); found; found = matcher.MatchNext()) {
        const QByteArray m = matcher.Group(0).toLower();
        if (m.indexOf(m.left(7), 1) > 0) return true; // "<iframe", "<script" or "[iframe"
    }
    return false;
}

QList<QByteArray> sampleSite() {
    QList<QByteArray> files;
    QDirIterator it(QString::fromLocal8Bit(test::sourcePath("examples/infected-site")), QDir::Files,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        QFile file(it.next());
        if (file.open(QIODevice::ReadOnly)) files.append(file.readAll());
    }
    return files;
}

TEST(CleanText, SameResultAsTheFirstCloseRuleWhereNoElementNests) {
    QList<QByteArray> texts = sampleSite();
    ASSERT_GE(texts.size(), 10);
    for (const auto& c : test::cleaningCases())
        if (c.rule.isEmpty()) texts.append(c.input);
    const auto keyword = [] { return DefaultKeyword; };
    int nesting = 0;
    for (const QByteArray& text : texts) {
        SCOPED_TRACE(text.left(80).toStdString());
        if (firstCloseNests(text)) {
            ++nesting;
            continue;
        }
        EXPECT_EQ(clean(text, {}, keyword).text, clean(text, test::FirstCloseRule, keyword).text);
    }
    // The real-world shapes the present rule exists for.
    EXPECT_GE(nesting, 3);
}

TEST(CleanText, UnclosedOpeningsOnALineCostLittleAndLoseNothingElse) {
    const QByteArray element = "<script src=//evilstats.example/x.js></script>";
    const QByteArray lines[] = {
        QByteArray("<script").repeated(150000),
        QByteArray("<script>abcd").repeated(90000),
        "<script>" + QByteArray(1 << 20, 'a'),
        QByteArray("<iframe x>").repeated(2000),
    };
    for (const QByteArray& line : lines) {
        SCOPED_TRACE(line.left(20).toStdString());
        const QByteArray input = "a\n" + element + "\n" + line + "\nb" + element + "\n";
        const auto result = clean(input, {}, [] { return DefaultKeyword; });
        EXPECT_EQ(result.text, "a\r\n" + line + "\r\nb\r\n");
    }
}

TEST(CleanText, ALineBeyondTheMatchingLimitsIsLeftAndReported) {
    // Every start on the middle line nests deeper than the limits allow.
    const QByteArray element = "<script src=//evilstats.example/x.js></script>";
    const QByteArray deep =
        QByteArray("<script").repeated(150000) + "<script src=//evilstats.example/y.js></script>";
    const QByteArray input = "a\n" + element + "\n" + deep + "\nb" + element + "\n";
    const auto result = clean(input, {}, [] { return DefaultKeyword; });
    EXPECT_FALSE(result.complete);
    EXPECT_EQ(result.text, "a\r\n" + deep + "\r\nb\r\n");
    EXPECT_TRUE(clean(element, {}, [] { return DefaultKeyword; }).complete);
}

TEST(CleanText, KeywordIsReadAnewForEveryMatch) {
    const QByteArray input = "<script>one evil</script>\r\n<script>two evil</script>\r\n";
    int calls = 0;
    const auto result = clean(input, {}, [&] { return ++calls == 1 ? "unknown" : "EVIL"; });
    EXPECT_EQ(calls, 2);
    EXPECT_EQ(result.text, "<script>one evil</script>\r\n");
    EXPECT_EQ(result.removed, QList<QByteArray>{"<script>two evil</script>"});
}

TEST(CleanText, ManyCopiesOfOneElementStayLinear) {
    // Thousands of accepted matches with one text: the first removes them all, and each copy
    // removed is listed.
    const QByteArray element = "<script src=//evilstats.example/x.js></script>";
    QByteArray input;
    for (int i = 0; i < 20000; ++i)
        input += "line " + QByteArray::number(i) + element + "\n";
    const auto result = clean(input, {}, [] { return DefaultKeyword; });
    EXPECT_EQ(result.removed, QList<QByteArray>(20000, element));
    EXPECT_FALSE(result.text.contains("evilstats"));
    EXPECT_TRUE(result.text.startsWith("line 0line 1line 2"));
}

TEST(CleanText, InvalidRuleIsReportedWithOffset) {
    const auto error = checkCleaningRule("  (<script.*?</script>  ");
    ASSERT_TRUE(error.has_value());
    EXPECT_EQ(error->offset(), 20);
    EXPECT_STREQ(error->what(), "TPcreRegEx.Compile() - Error in regex at offset 20: missing "
                                "closing parenthesis");
    EXPECT_STREQ(checkCleaningRule(" \t ")->what(),
                 "TPcreRegEx.Compile() - Please specify a regular expression in RegEx first");
    EXPECT_FALSE(checkCleaningRule(DefaultRule).has_value());
}

TEST(LineBreaks, NormalisedTextIsSharedNotCopied) {
    const QByteArray text = "a\r\nb\r\n";
    EXPECT_EQ(normaliseLineBreaks(text).constData(), text.constData());
    EXPECT_EQ(lineListText(""), "");
    EXPECT_EQ(lineListText("a\r"), "a\r\n");
    EXPECT_EQ(lineListText("\n\n"), "\r\n\r\n");
}

TEST(RemoveAll, SearchesOnInTheTextAsItWas) {
    QByteArray text = "aabbab";
    EXPECT_EQ(removeAll(text, "ab"), 2); // the "ab" that the first removal joins stays
    EXPECT_EQ(text, "ab");
}

} // namespace
