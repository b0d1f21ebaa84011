#include "search/TargetSearch.h"

#include <QDir>

#include <gtest/gtest.h>

#include <unistd.h>

using namespace pw;

TEST(TargetSearch, SplitList) {
    struct Case {
        QByteArray text;
        QByteArrayList items;
    } const cases[] = {
        {"", {}},
        {";;", {}},
        {"*.htm", {"*.htm"}},
        {" *.htm ;\t*.php\r\n; ", {"*.htm", "*.php"}},
        {"*.htm;*.HTM;*.php;*.htm", {"*.htm", "*.php"}}, // duplicates ignoring case, first kept
        {"b;a;b", {"b", "a"}},
        {"a b;a  b", {"a b", "a  b"}}, // inner blanks are kept
    };
    for (const Case& c : cases)
        EXPECT_EQ(SplitList(c.text), c.items) << c.text.constData();
    // Folder names differing in case are different folders on Linux.
    EXPECT_EQ(SplitList("/srv/Site;/srv/site", Qt::CaseSensitive),
              (QByteArrayList{"/srv/Site", "/srv/site"}));
}

TEST(TargetSearch, TakeRecursionPrefix) {
    struct Case {
        QByteArray item;
        bool defaultValue;
        bool recursive;
        QByteArray rest;
    } const cases[] = {
        {"<a", true, false, "a"}, {">a", false, true, "a"},   {"a", true, true, "a"},
        {"a", false, false, "a"}, {"<>a", true, false, ">a"}, {"< a", true, false, " a"},
        {"", true, true, ""},
    };
    for (const Case& c : cases) {
        QByteArray item = c.item;
        EXPECT_EQ(TakeRecursionPrefix(item, c.defaultValue), c.recursive) << c.item.constData();
        EXPECT_EQ(item, c.rest);
    }
}

TEST(TargetSearch, ExpandPathResolvesByNameOnly) {
    const QByteArray cwd = QDir::currentPath().toLocal8Bit();
    struct Case {
        QByteArray path;
        QByteArray full;
    } const cases[] = {
        {"/", "/"},
        {"/srv/www", "/srv/www"},
        {"/srv/www/", "/srv/www/"},
        {"/srv//www/./a/../b", "/srv/www/b"},
        {"/..", "/"},
        {"site", cwd + "/site"},
        {"./site/../other/", cwd + "/other/"},
        {"", ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ExpandPath(c.path), c.full) << c.path.constData();
}

TEST(TargetSearch, FoldersKeepTheirOrderOfFirstAppearance) {
    TTargetFolderList list;
    list.AddFolder("/b").FileMasks.append("1");
    list.AddFolder("/a/").FileMasks.append("2");
    list.AddFolder("/b/").FileMasks.append("3"); // the same folder as the first
    list.AddFolder("/B").FileMasks.append("4");  // another one: names are case-sensitive
    ASSERT_EQ(list.Count(), 3);
    // The newest is at the front; the walk goes from the last entry to the first.
    EXPECT_EQ(list[2].Path, "/b/");
    EXPECT_EQ(list[2].FileMasks, (QByteArrayList{"1", "3"}));
    EXPECT_EQ(list[1].Path, "/a/");
    EXPECT_EQ(list[0].Path, "/B/");
    EXPECT_EQ(list.IndexOfFolder("/a/"), 1);
    EXPECT_EQ(list.IndexOfFolder("/A/"), -1);
    EXPECT_EQ(list.AddFolder("/").Path, "/");
}

TEST(TargetSearch, BuildingThePass) {
    TSearchCriteria criteria;
    TFileCriteria& files = criteria.Files();
    files.setIncluded({"/inc/*.js", ">/rec/", "<noslash.txt"});
    files.setFileName("*.htm;*.php");
    files.setLocation("/site;</site/logs;/site/");
    files.setSubfolders(true);
    files.setMinLevel(2);
    files.setMaxLevel(5);
    files.setExcluded({"*.bak"});

    const TTargetSearch pass(criteria);
    const TTargetFolderList& folders = pass.TargetFolders;
    ASSERT_EQ(folders.Count(), 5);

    struct Expected {
        QByteArray path;
        bool recursive;
        QByteArrayList masks;
    } const expected[] = {
        // walk order: Included items first, then Location items
        {"/inc/", true, {"*.js"}},
        {"/rec/", true, {"*.*"}},
        {"", false, {"noslash.txt"}}, // no folder part: the current folder, as an empty path
        {"/site/", true, {"*.htm", "*.php", "*.htm", "*.php"}},
        {"/site/logs/", false, {"*.htm", "*.php"}},
    };
    for (int i = 0; i < 5; ++i) {
        const TTargetFolder& f = folders[folders.Count() - 1 - i];
        EXPECT_EQ(f.Path, expected[i].path);
        EXPECT_EQ(f.Recursive, expected[i].recursive) << f.Path.constData();
        EXPECT_EQ(f.FileMasks, expected[i].masks) << f.Path.constData();
        EXPECT_EQ(f.MinLevel, 2);
        EXPECT_EQ(f.MaxLevel, 5);
    }
    EXPECT_EQ(folders.ExcludedFiles, QByteArrayList{"*.bak"});
    EXPECT_TRUE(folders.IsExcluded("/x/", "a.BAK"));
    EXPECT_FALSE(folders.IsExcluded("/x/", "a.htm"));
}

TEST(TargetSearch, EmptyFileNameMeansEveryName) {
    TSearchCriteria criteria;
    criteria.Files().setLocation("/site");
    const TTargetSearch pass(criteria);
    ASSERT_EQ(pass.TargetFolders.Count(), 1);
    EXPECT_EQ(pass.TargetFolders[0].FileMasks, QByteArrayList{"*.*"});
}

TEST(TargetSearch, PhraseKeepsDirectoriesFromTheContentTest) {
    TSearchCriteria criteria;
    criteria.Attribute().setAttributes({ffArchive, ffReadonly, ffHidden, ffSystem, ffDirectory});
    EXPECT_TRUE(TTargetSearch(criteria).Attribute.Attributes().contains(ffDirectory));
    criteria.Content().setPhrase("evil");
    const TTargetSearch pass(criteria);
    EXPECT_FALSE(pass.Attribute.Attributes().contains(ffDirectory));
    EXPECT_FALSE(pass.Attribute.Matches(FILE_ATTRIBUTE_DIRECTORY));
    // The component's own criteria are left as they were.
    EXPECT_TRUE(criteria.Attribute().Attributes().contains(ffDirectory));
}

TEST(TargetSearch, StatusIsReadOnlyWhenATestNeedsIt) {
    struct Case {
        const char* name;
        void (*setUp)(TSearchCriteria&);
        bool needs;
    } const cases[] = {
        {"defaults", [](TSearchCriteria&) {}, false},
        {"window's attribute set",
         [](TSearchCriteria& c) {
             c.Attribute().setAttributes({ffArchive, ffReadonly, ffHidden, ffSystem, ffDirectory});
         },
         false},
        {"size bound", [](TSearchCriteria& c) { c.Size().setMax(10); }, true},
        {"time bound", [](TSearchCriteria& c) { c.TimeStamp().setAccessedAfter(0.5); }, true},
        {"exact attributes", [](TSearchCriteria& c) { c.Attribute().setExactMatch(true); }, true},
        {"read-only not allowed",
         [](TSearchCriteria& c) { c.Attribute().setAttributes({ffArchive}); }, true},
        {"read-only forbidden", [](TSearchCriteria& c) { c.AttributeEx().setReadonly(fsUnset); },
         true},
        {"sparse required", [](TSearchCriteria& c) { c.AttributeEx().setSparseFile(fsSet); }, true},
        {"hidden forbidden", [](TSearchCriteria& c) { c.AttributeEx().setHidden(fsUnset); }, false},
    };
    for (const Case& c : cases) {
        TSearchCriteria criteria;
        c.setUp(criteria);
        EXPECT_EQ(TTargetSearch(criteria).NeedsFindData(), c.needs) << c.name;
    }
}
