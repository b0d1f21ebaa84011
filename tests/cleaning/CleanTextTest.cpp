#include "cleaning/CleanText.h"
#include "cleaning/CleaningRule.h"
#include "cleaning/LineBreaks.h"
#include "common/Defaults.h"
#include "regex/PcreRegEx.h"
#include "tests/cleaning/CleaningCases.h"

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
