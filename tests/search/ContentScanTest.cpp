#include "search/ContentCriteria.h"
#include "search/PhraseFinder.h"
#include "tests/support/TempTree.h"

#include <gtest/gtest.h>

#include <random>

#include <sys/stat.h>
#include <unistd.h>

using namespace pw;
using pw::test::TempTree;

namespace {

struct ScanCase {
    const char* name;
    QByteArray content;
    QByteArray phrase;
    bool ignoreCase;
    bool wholeWord;
    bool found;
};

QByteArray filler(qsizetype n) {
    return QByteArray(n, 'x');
}

// The block boundaries fall at multiples of every tested block size (64 KiB among them), so the
// long cases put the phrase across, or its closing delimiter just behind, a boundary.
const ScanCase ScanCases[] = {
    {"plain", "a evil b", "evil", true, false, true},
    {"absent", "a evi l b", "evil", true, false, false},
    {"ignore case: file in capitals", "<IFRAME src>", "Iframe", true, false, true},
    {"case-sensitive: capitals differ", "<IFRAME src>", "Iframe", false, false, false},
    {"case-sensitive: exact bytes", "<Iframe src>", "Iframe", false, false, true},
    {"ignore case folds only A-Z", "caf\xC9", "caf\xE9", true, false, false},
    {"overlapping candidates", "aaab", "aab", true, false, true},
    {"whole file is the phrase", "evil", "evil", true, true, true},
    {"file shorter than the phrase", "evi", "evil", true, false, false},
    {"NUL is an ordinary byte", QByteArray("x\0evil\0", 7), "evil", true, true, true},
    {"phrase holding a NUL", QByteArray("ab\0cd", 5), QByteArray("b\0c", 3), true, false, true},
    {"whole word: inside a longer word", "iframe", "frame", true, true, false},
    {"whole word: plural", "frames", "frame", true, true, false},
    {"whole word: between blanks", "a frame.", "frame", true, true, true},
    {"whole word: start of file", "frame x", "frame", true, true, true},
    {"whole word: end of file", "x frame", "frame", true, true, true},
    {"whole word: underscore delimits", "x_frame_y", "frame", true, true, true},
    {"whole word: digits are word bytes", "2frame", "frame", true, true, false},
    {"whole word: UTF-8 letters are word bytes",
     "\xE4\xB8\xAD"
     "frame",
     "frame", true, true, false},
    {"whole word: a later occurrence", "frames frame", "frame", true, true, true},
    {"whole word: delimiter test on raw bytes", "FRAME", "frame", true, true, true},
    {"straddles a block boundary", filler(65536 - 3) + "evilstats.example", "evilstats.example",
     true, false, true},
    {"ends exactly at a block boundary", filler(65536 - 4) + " evil" + "x", "evil", true, true,
     false},
    {"closing delimiter is the next block's first byte", filler(65536 - 5) + " evil" + " x", "evil",
     true, true, true},
    {"opening delimiter is the previous block's last byte", filler(65535) + " evil x", "evil", true,
     true, true},
    {"opening byte in the previous block is a letter", filler(65536) + "evil x", "evil", true, true,
     false},
    {"far into a large file", filler(300000) + "evil" + filler(1000), "EVIL", true, false, true},
    {"large file without the phrase", filler(300000), "evil", true, false, false},
};

class ContentScan : public ::testing::TestWithParam<qsizetype> {};

} // namespace

// Every case runs with block sizes from the smallest allowed (the phrase length plus one) to
// larger than any file, so each boundary the scan carries over is crossed somewhere.
TEST_P(ContentScan, Cases) {
    TempTree tree;
    for (const ScanCase& c : ScanCases) {
        const QByteArray path = tree.write("f.htm", c.content);
        TContentCriteria criteria;
        criteria.setPhrase(c.phrase);
        criteria.setIgnoreCase(c.ignoreCase);
        criteria.setWholeWord(c.wholeWord);
        const qsizetype block = std::max<qsizetype>(GetParam(), c.phrase.size() + 1);
        EXPECT_EQ(FileContainsPhrase(path, criteria.SearchPhrase(), criteria.PhraseLen(),
                                     c.wholeWord, criteria.CaseTable(), block),
                  c.found)
            << c.name << ", block " << block;
    }
}

INSTANTIATE_TEST_SUITE_P(BlockSizes, ContentScan,
                         ::testing::Values(1, 7, 16, 4096, 61440, 65536, 1 << 20));

TEST(ContentCriteria, DerivedFieldsFollowTheProperties) {
    TContentCriteria c;
    EXPECT_EQ(c.PhraseLen(), 0);
    EXPECT_EQ(&c.CaseTable(), &LowerCaseTable);
    c.setPhrase("EvIl.Example");
    EXPECT_EQ(c.PhraseLen(), 12);
    EXPECT_EQ(c.SearchPhrase(), "evil.example");
    c.setIgnoreCase(false);
    EXPECT_EQ(c.SearchPhrase(), "EvIl.Example");
    EXPECT_EQ(&c.CaseTable(), &IdentityTable);
    c.setIgnoreCase(true);
    EXPECT_EQ(c.SearchPhrase(), "evil.example");
}

TEST(ContentCriteria, EmptyPhrasePassesWithoutOpeningTheFile) {
    TContentCriteria c;
    EXPECT_TRUE(c.Matches("/nonexistent/pagewarden/file.htm"));
    c.setPhrase("x");
    EXPECT_FALSE(c.Matches("/nonexistent/pagewarden/file.htm"));
}

TEST(ContentCriteria, WhatCannotBeReadDoesNotMatch) {
    TempTree tree;
    TContentCriteria c;
    c.setPhrase("evil");

    tree.mkdir("folder.htm");
    EXPECT_FALSE(c.Matches(tree.path("folder.htm")));

    // A FIFO is never opened for a blocking read, so the scan cannot hang on it.
    ASSERT_EQ(::mkfifo(tree.path("pipe.htm").constData(), 0644), 0);
    EXPECT_FALSE(c.Matches(tree.path("pipe.htm")));

    // A link put where a file was listed is never read through: it may lead anywhere.
    tree.write("target.txt", "evil");
    ASSERT_EQ(::symlink("target.txt", tree.path("link.htm").constData()), 0);
    EXPECT_FALSE(c.Matches(tree.path("link.htm")));

    if (::geteuid() != 0) { // root reads anything
        tree.write("locked.htm", "evil", 0000);
        EXPECT_FALSE(c.Matches(tree.path("locked.htm")));
    }
}

TEST(PhraseFinder, AgreesWithAPlainSearchOnRandomText) {
    std::mt19937 random(7);
    const QByteArray alphabet("aAbBxX.-_ \n\0\xE9", 14);
    for (int round = 0; round < 400; ++round) {
        QByteArray text;
        const int n = static_cast<int>(random() % 200);
        for (int i = 0; i < n; ++i)
            text += alphabet[random() % alphabet.size()];
        QByteArray pattern;
        const int m = 1 + static_cast<int>(random() % 4);
        for (int i = 0; i < m; ++i)
            pattern += alphabet[random() % alphabet.size()];
        const bool ignoreCase = random() % 2;
        const TByteTable& table = ignoreCase ? LowerCaseTable : IdentityTable;
        if (ignoreCase) pattern = pattern.toLower();
        const TPhraseFinder finder(pattern, table);
        const auto* data = reinterpret_cast<const unsigned char*>(text.constData());

        std::vector<qsizetype> expected, found;
        for (qsizetype k = 0; k + m <= n; ++k) {
            bool same = true;
            for (int j = 0; j < m; ++j)
                same = same && table[data[k + j]] == static_cast<unsigned char>(pattern[j]);
            if (same) expected.push_back(k);
        }
        for (qsizetype k = finder.next(data, n, 0); k >= 0; k = finder.next(data, n, k + 1))
            found.push_back(k);
        EXPECT_EQ(found, expected) << "text '" << text.toHex().constData() << "' pattern '"
                                   << pattern.toHex().constData() << "'";
    }
}

TEST(PhraseFinder, PatternThatNoByteCanProduceIsNeverFound) {
    // Through the lower-case table no raw byte reads as 'E'.
    const TPhraseFinder finder("E", LowerCaseTable);
    const QByteArray text("eEeE");
    EXPECT_EQ(finder.next(reinterpret_cast<const unsigned char*>(text.constData()), 4, 0), -1);
}
