#include "search/Wildcards.h"
#include "search/FolderEnumeration.h"

#include <gtest/gtest.h>

using namespace pw;

namespace {

struct NameCase {
    const char* text;
    const char* mask;
    bool matches;
};

std::ostream& operator<<(std::ostream& os, const NameCase& c) {
    return os << "'" << c.text << "' ~ '" << c.mask << "'";
}

} // namespace

TEST(Wildcards, WildcardMatchIsOnePassWithoutBacktracking) {
    const NameCase cases[] = {
        {"INDEX", "index", true}, {"abc", "ab", false}, // text left over when the mask is used up
        {"ab", "abc", false},                           // mask left over with a plain byte
        {"ab", "ab??", true}, // a used-up text matches a rest of "?" and "*"
        {"a", "a?", true},        {"", "*", true},
        {"", "", true},           {"abxyz", "ab*cd", true}, // "*" accepts the rest at once
        {"anything", "*x", true}, {"abc", "a?c", true},
        {"ac", "a?c", false},     {"\xC9", "\xE9", false}, // only A-Z fold
    };
    for (const NameCase& c : cases)
        EXPECT_EQ(WildcardMatch(c.text, c.mask), c.matches) << c;
}

TEST(Wildcards, FileNameMatchesMaskComparesBaseAndExtension) {
    const NameCase cases[] = {
        {"readme.txt", "readme", true}, // a mask without an extension ignores the name's
        {"readme", "readme", true},     {"index.html", "*.*", true},
        {"README", "*.*", true},        {".htaccess", "*.*", true},
        {"README", "*.", true}, // no extension counts as "."
        {"index.html", "*.", false},    {"index.html", "*.htm", false},
        {"index.HTM", "*.htm", true},   {"a.tar.gz", "*.gz", true},
        {"a.tar.gz", "a.tar.*", true},  {"a.tar.gz", "a.*", false}, // the base is 'a.tar'
        {"x.BAK", "*.bak", true},
    };
    for (const NameCase& c : cases)
        EXPECT_EQ(FileNameMatchesMask(c.text, c.mask), c.matches) << c;
}

TEST(Wildcards, ExclusionItems) {
    struct Case {
        const char* folder;
        const char* name;
        const char* item;
        bool applies;
    } const cases[] = {
        {"/site/", "x.BAK", "*.bak", true},
        {"/site/deep/er/", "x.bak", "*.bak", true},
        {"/site/", "x.bak.htm", "*.bak", false},
        {"/site/old/", "a.htm", "/site/old/", true},       // every entry of that folder
        {"/site/old/sub/", "a.htm", "/site/old/", false},  // but not of its subfolders
        {"/other/site/old/", "a.htm", "/site/old/", true}, // only the tail is compared
        {"/site/bold/", "a.htm", "old/", true},
        {"/site/OLD/", "a.htm", "old/", true}, // A-Z folded
        {"/site/old/", "a.htm", "old/*.php", false},
        {"/site/old/", "a.php", "old/*.php", true},
        {"/s/", "a.htm", "/site/old/", false}, // folder shorter than the item
        {"/site/", "keep.htm", "keep.htm", true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(MatchesExclusion(c.folder, c.name, c.item), c.applies)
            << c.folder << c.name << " by '" << c.item << "'";
}

TEST(Wildcards, EnumerationMasks) {
    const NameCase cases[] = {
        {"index.htm", "*.htm", true},
        {"INDEX.HTM", "*.htm", true},
        {"index.html", "*.htm", false}, // no short-name aliases
        {"a.b.htm", "*.htm", true},     // "*" backtracks over dots
        {".htm", "*.htm", true},
        {"page.php.bak", "*.php", false},
        {"README", "*.*", true}, // ".*" also matches a name without a dot
        {"a", "a.*", true},
        {"a.htm", "a.*", true},
        {"ab", "a.*", false},
        {"abc", "a?c", true},
        {"ac", "a?c", false},
        {"x", "*", true},
        {"aXbXc", "a*b*c", true},
        {"aXbX", "a*b*c", false},
    };
    for (const NameCase& c : cases)
        EXPECT_EQ(EnumerationMaskMatch(c.text, c.mask), c.matches) << c;
}
