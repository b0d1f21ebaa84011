#include "regex/PcreRegEx.h"
#include "common/Assert.h"

#include <QPointer>
#include <QVariant>

#include <gtest/gtest.h>

#include <vector>

using namespace pw;

namespace {

const QByteArray DefaultRule =
    R"((<ifraMe.*?<\\*?/ifrAme>)|(<script.*?<\\*?/script>)|(\[ifraMe.*?\[\\*?/ifrAme\]))";

struct Found {
    QByteArray text;
    qsizetype start; // 1-based
    bool operator==(const Found&) const = default;
};
void PrintTo(const Found& f, std::ostream* os) {
    *os << '"' << f.text.toStdString() << "\"@" << f.start;
}

struct Case {
    const char* name;
    QByteArray pattern;
    TPcreRegExOptions options;
    QByteArray subject;
    std::vector<Found> matches;
};

// Every case runs with and without the JIT: the answers must not differ.
class RegExCases : public ::testing::TestWithParam<bool> {
protected:
    std::vector<Found> allMatches(TPcreRegEx& re) {
        std::vector<Found> found;
        for (bool ok = re.Match(); ok; ok = re.MatchNext())
            found.push_back({re.Group(0), re.groupStart(0)});
        return found;
    }
};

const QByteArray Nul("a\0b\0a", 5);

const Case Cases[] = {
    {"plain", "abc", {}, "xabcx", {{"abc", 2}}},
    {"empty subject", "a*b?", {}, "", {}},
    {"no empty match (NOTEMPTY)", "x*", {}, "abc", {}},
    {"only the non-empty run", "x*", {}, "axxb", {{"xx", 2}}},
    {"matches never overlap", "aa", {}, "aaaaa", {{"aa", 1}, {"aa", 3}}},
    {"case-sensitive by default", "ifrAme", {}, "IFRAME iframe ifrAme", {{"ifrAme", 15}}},
    {"caseless", "ifrAme", {preCaseLess}, "IFRAME x", {{"IFRAME", 1}}},
    {"caseless folds ASCII only", "\xC9", {preCaseLess}, "\xE9\xC9", {{"\xC9", 2}}},
    {"dot stops at LF", "<s.*?</s>", {}, "<s>\n</s>", {}},
    {"dot takes CR", "<s.*?</s>", {}, "<s>\r</s>", {{"<s>\r</s>", 1}}},
    {"single line: dot takes LF", "<s.*?</s>", {preSingleLine}, "<s>\n</s>", {{"<s>\n</s>", 1}}},
    {"multi line", "^b", {preMultiLine}, "a\nb", {{"b", 3}}},
    {"not multi line", "^b", {}, "a\nb", {}},
    {"extended", "a b # note", {preExtended}, "xab", {{"ab", 2}}},
    {"anchored", "b", {preAnchored}, "ab", {}},
    {"dollar before final LF", "a$", {}, "a\n", {{"a", 1}}},
    {"dollar end only", "a$", {preDollarEndOnly}, "a\n", {}},
    {"ungreedy", "a+", {preUnGreedy}, "aaa", {{"a", 1}, {"a", 2}, {"a", 3}}},
    {"unknown escape is a letter", "\\j", {}, "xj", {{"j", 2}}},
    {"NUL is an ordinary byte", QByteArray("b\0a", 3), {}, Nul, {{QByteArray("b\0a", 3), 3}}},
    {"default rule, three forms",
     DefaultRule,
     {preCaseLess},
     "<IFRAME src=x></iframe> <SCRIPT>a<\\/script> [ifrAme a][/IFRAME]",
     {{"<IFRAME src=x></iframe>", 1}, {"<SCRIPT>a<\\/script>", 25}, {"[ifrAme a][/IFRAME]", 45}}},
    {"default rule, lazy to the first close",
     DefaultRule,
     {preCaseLess},
     "<script>1</script><script>2</script>",
     {{"<script>1</script>", 1}, {"<script>2</script>", 19}}},
};

TEST_P(RegExCases, FindsEachMatchOnce) {
    for (const Case& c : Cases) {
        SCOPED_TRACE(c.name);
        TPcreRegEx re;
        re.setJitEnabled(GetParam());
        re.setRegEx(c.pattern);
        re.setOptions(c.options);
        re.setSubject(c.subject);
        EXPECT_EQ(allMatches(re), c.matches);
    }
}

TEST_P(RegExCases, EmptyMatchesStepOneByteWithoutNotEmpty) {
    TPcreRegEx re;
    re.setJitEnabled(GetParam());
    re.setMatchFlags({});
    re.setRegEx("x*");
    re.setSubject("axb");
    // Empty at 1, "x" at 2, empty at 3; the search stops once start passes the last byte.
    EXPECT_EQ(allMatches(re), (std::vector<Found>{{"", 1}, {"x", 2}, {"", 3}}));
}

TEST_P(RegExCases, GroupsFollowTheHighestGroupThatTookPart) {
    TPcreRegEx re;
    re.setJitEnabled(GetParam());
    re.setRegEx(DefaultRule);
    re.setOptions({preCaseLess});
    re.setSubject("x<Script src=a></SCRIPT>");
    ASSERT_TRUE(re.Match());
    EXPECT_EQ(re.GroupCount(), 2);
    EXPECT_EQ(re.Group(1), "");
    EXPECT_EQ(re.Group(2), re.Group(0));
    EXPECT_EQ(re.Group(3), "");
    EXPECT_EQ(re.Group(99), "");
    EXPECT_EQ(re.groupStart(0), 2);
    EXPECT_EQ(re.groupEnd(0), 25);
    EXPECT_EQ(re.groupStart(1), 0); // unset group
    EXPECT_EQ(re.start(), 25);
}

INSTANTIATE_TEST_SUITE_P(Jit, RegExCases, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "jit" : "interpreter"; });

TEST(PcreRegEx, ErrorsCarryTheirTexts) {
    TPcreRegEx re;
    re.setSubject("abc");
    try {
        re.Match();
        FAIL() << "empty pattern accepted";
    } catch (const EPcreError& e) {
        EXPECT_STREQ(e.what(),
                     "TPcreRegEx.Compile() - Please specify a regular expression in RegEx first");
    }
    re.setRegEx("ab(c");
    try {
        re.MatchNext();
        FAIL() << "invalid pattern accepted";
    } catch (const EPcreError& e) {
        EXPECT_STREQ(e.what(), "TPcreRegEx.Compile() - Error in regex at offset 4: missing "
                               "closing parenthesis");
        EXPECT_EQ(e.offset(), 4);
    }
    EXPECT_FALSE(re.compiled());
    EXPECT_FALSE(re.HasMatch());
}

TEST(PcreRegEx, GroupsNeedASuccessfulMatch) {
    TPcreRegEx re;
    re.setRegEx("z");
    re.setSubject("abc");
    EXPECT_THROW(re.GroupCount(), EAssertionFailed);
    EXPECT_FALSE(re.Match());
    try {
        re.Group(0);
        FAIL();
    } catch (const EAssertionFailed& e) {
        EXPECT_TRUE(QByteArray(e.what()).startsWith(
            "REQUIRE: There must be a successful match first (PcreRegEx, line "))
            << e.what();
    }
}

TEST(PcreRegEx, TooManyGroupsForTheVectorIsNoMatch) {
    TPcreRegEx re;
    re.setRegEx(QByteArray("(a)").repeated(120));
    re.setSubject(QByteArray("a").repeated(120));
    EXPECT_FALSE(re.Match());
    re.setRegEx(QByteArray("(a)").repeated(99));
    EXPECT_TRUE(re.Match());
    EXPECT_EQ(re.GroupCount(), 99);
}

TEST(PcreRegEx, EqualValuesKeepTheCompiledPatternAndTheMatch) {
    TPcreRegEx re;
    re.setRegEx("a");
    re.setOptions({preCaseLess});
    re.setSubject("xAxa");
    ASSERT_TRUE(re.Match());
    re.setRegEx(QByteArray("a")); // equal, another string
    re.setOptions(TPcreRegExOptions::fromBits(1));
    EXPECT_TRUE(re.compiled());
    EXPECT_TRUE(re.HasMatch());
    EXPECT_EQ(re.Group(0), "A");
}

TEST(PcreRegEx, ChangingThePatternRecompilesButKeepsTheStart) {
    TPcreRegEx re;
    re.setSubject("a1b2a3b4");
    re.setRegEx("a");
    ASSERT_TRUE(re.Match());
    EXPECT_EQ(re.start(), 2);
    re.setRegEx("[0-9]");
    EXPECT_FALSE(re.compiled());
    EXPECT_FALSE(re.HasMatch());
    ASSERT_TRUE(re.MatchNext());
    EXPECT_EQ(re.Group(0), "1");
    re.setOptions({preCaseLess});
    ASSERT_TRUE(re.MatchNext());
    EXPECT_EQ(re.Group(0), "2");
}

TEST(PcreRegEx, SubjectIsSharedNotCopied) {
    QByteArray text("abc abc");
    TPcreRegEx re;
    re.setRegEx("abc");
    re.setSubject(text);
    EXPECT_EQ(re.Subject().constData(), text.constData());
    ASSERT_TRUE(re.Match());
    text[4] = 'X'; // the caller's copy detaches; the adapter keeps the earlier text
    ASSERT_TRUE(re.MatchNext());
    EXPECT_EQ(re.groupStart(0), 5);
    EXPECT_EQ(re.Group(0), "abc");
}

TEST(PcreRegEx, StartAndStopBoundTheSearch) {
    TPcreRegEx re;
    re.setRegEx("c");
    re.setSubject("abc");
    EXPECT_TRUE(re.MatchNext()); // before any Match: from the beginning
    EXPECT_EQ(re.start(), 4);
    EXPECT_FALSE(re.MatchNext()); // start is past the last byte: no search
    EXPECT_FALSE(re.HasMatch());
    EXPECT_EQ(re.start(), 4);
    EXPECT_TRUE(re.Match()); // Match always starts over
}

TEST(PcreRegEx, OnMatchAndProperties) {
    TPcreRegEx re;
    int calls = 0;
    re.OnMatch = [&](QObject* sender) {
        EXPECT_EQ(sender, &re);
        ++calls;
    };
    EXPECT_TRUE(re.setProperty("RegEx", QByteArray("b")));
    EXPECT_TRUE(re.setProperty("Options", quint8(1)));
    EXPECT_EQ(re.Options(), TPcreRegExOptions{preCaseLess});
    re.setSubject("BbB");
    while (calls == 0 ? re.Match() : re.MatchNext()) {
    }
    EXPECT_EQ(calls, 3);
}

TEST(PcreRegEx, OptionsAreOneByte) {
    static_assert(sizeof(TPcreRegExOptions) == 1);
    EXPECT_EQ((TPcreRegExOptions{preCaseLess, preUnGreedy}).bits(), 0x81);
    TPcreRegEx re;
    re.setOptions(TPcreRegExOptions::fromBits(0xFF));
    EXPECT_EQ(re.optionBits(), 0xFF);
    EXPECT_NE(re.pcreOptionWord(), 0u);
}

TEST(PcreRegEx, OwnerDestroysIt) {
    auto* owner = new QObject;
    QPointer<TPcreRegEx> re = new TPcreRegEx(owner);
    re->setObjectName("matcher");
    EXPECT_EQ(owner->findChild<TPcreRegEx*>("matcher"), re.data());
    delete owner;
    EXPECT_TRUE(re.isNull());
}

} // namespace

namespace {

TEST(PcreRegEx, ASearchThatGivesUpIsNoMatchWithItsError) {
    // A recursion as deep as the line is long runs out of stack.
    TPcreRegEx re;
    re.setRegEx("(<a(?:[^<>\\n]++|(?1))*+>)");
    re.setSubject(QByteArray("<a").repeated(100000) + "\n<a>");
    EXPECT_FALSE(re.Match());
    EXPECT_NE(re.matchError(), 0);
    EXPECT_EQ(re.start(), 1);
    // Held to starts on the second line, the search finds its element.
    re.setStart(200002);
    re.setStartLimit(200002);
    ASSERT_TRUE(re.MatchNext());
    EXPECT_EQ(re.matchError(), 0);
    EXPECT_EQ(re.Group(0), "<a>");
    re.setStartLimit(200001);
    re.setStart(200002);
    EXPECT_FALSE(re.MatchNext());
    EXPECT_EQ(re.matchError(), 0);
}

} // namespace
