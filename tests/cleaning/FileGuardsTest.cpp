#include "cleaning/BinarySignature.h"
#include "cleaning/MaskFilter.h"
#include "tests/support/TempTree.h"

#include <gtest/gtest.h>

using namespace pw;

namespace {

QByteArray bytes(const char* text, qsizetype size) {
    return QByteArray(text, size);
}

TEST(BinarySignature, KnownFormatsAreBinaryTextsAreNot) {
    QByteArray tar(512, '\0');
    tar.replace(0, 8, "file.txt");
    tar.replace(257, 5, "ustar");
    QByteArray eot(64, '\0');
    eot.replace(8, 4, bytes("\1\0\2\0", 4));
    eot.replace(34, 2, "LP");
    QByteArray exe(0x80, '\0');
    exe.replace(0, 2, "MZ");
    exe[0x3C] = 0x40;
    exe.replace(0x40, 4, bytes("PE\0\0", 4));
    const struct {
        const char* name;
        QByteArray head;
        bool binary;
    } cases[] = {
        {"real PNG", test::readFile(test::sourcePath("docs/window.png")), true},
        {"JPEG", bytes("\xFF\xD8\xFF\xE0\0\x10JFIF", 10), true},
        {"GIF", "GIF89a\x01\0\x01\0", true},
        {"WebP", bytes("RIFF\x24\0\0\0WEBPVP8 ", 16), true},
        {"ZIP", bytes("PK\3\4\x14\0\0\0", 8), true},
        {"empty ZIP", bytes("PK\5\6\0\0", 6), true},
        {"PDF", "%PDF-1.7\n%\xE2\xE3\xCF\xD3\n", true},
        {"gzip", bytes("\x1F\x8B\x08\0", 4), true},
        {"ELF", bytes("\177ELF\2\1\1\0", 8), true},
        {"Windows executable", exe, true},
        {"SQLite", bytes("SQLite format 3\0\x10\0", 18), true},
        {"git index", bytes("DIRC\0\0\0\2\0\0\0\1", 12), true},
        {"bzip2", "BZh91AY&SY", true},
        {"tar", tar, true},
        {"MP4", bytes("\0\0\0 ftypisom", 12), true},
        {"WOFF2", "wOF2\0\1\0\0", true},
        {"Embedded OpenType", eot, true},
        {"gettext catalogue", bytes("\xDE\x12\x04\x95\0\0\0\0", 8), true},
        {"HTML", "<!DOCTYPE html>\n<html>", false},
        {"PHP", "<?php\necho 1;\n", false},
        {"empty", "", false},
        {"NUL bytes alone", bytes("<p>a\0b</p>\0\0\0\0", 14), false},
        {"text starting with MZ", "MZ is a prefix, not a program.\n" + QByteArray(80, 'x'), false},
        {"text starting with RIFF", "RIFFS and riffs\n", false},
        {"text starting with BZh", "BZh is not bzip2 here\n", false},
        {"UTF-8 Chinese", "木马清理完毕\n", false},
        {"GBK Chinese", "\xC4\xBE\xC2\xED\xC7\xE5\xC0\xED\r\n", false},
        {"signature later in the file", "x\x89PNG\r\n\x1A\n", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(hasBinarySignature(c.head), c.binary) << c.name;
}

TEST(MaskFilter, NamesMatchAsInASearch) {
    const TMaskFilter web("*.txt; *.php ;*.JS;;*.htm");
    for (const char* path :
         {"/site/a.php", "/site/A.PHP", "/site/sub/menu.js", "notes.txt", "/site/index.htm"})
        EXPECT_TRUE(web.Matches(path)) << path;
    for (const char* path :
         {"/site/logo.png", "/site/style.css", "/site/index.html.bak", "/site/.index.php.Ab12Cd",
          "/site/sedX1b2C3", "/site/a.php/", "/site/x.php.swp", "/site.php/readme"})
        EXPECT_FALSE(web.Matches(path)) << path;
    // No mask at all is every name, as the search takes it; "*.*" takes names without a dot.
    EXPECT_TRUE(TMaskFilter(" ; ").Matches("/site/Makefile"));
    EXPECT_TRUE(TMaskFilter("*.*").Matches("/site/Makefile"));
    EXPECT_TRUE(TMaskFilter("index.?tm").Matches("/site/index.htm"));
}

} // namespace
