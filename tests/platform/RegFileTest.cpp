#include "platform/RegFile.h"

#include <gtest/gtest.h>

using namespace pw;

namespace {

const QByteArray Key = "HKEY_LOCAL_MACHINE\\SoftWare\\Scrubline";

struct RoundTrip {
    const char* name;
    QByteArray valueName;
    TRegValue value;
};
void PrintTo(const RoundTrip& c, std::ostream* os) {
    *os << c.name;
}

class RegFileRoundTrip : public ::testing::TestWithParam<RoundTrip> {};

// Every value the store may hold comes back from its file form with the same type and bytes.
TEST_P(RegFileRoundTrip, FormatThenParseGivesTheSameValue) {
    TRegFile file;
    file.setValue(Key, GetParam().valueName, GetParam().value);
    const QByteArray text = file.format();
    std::optional<TRegFile> back = TRegFile::parse(text);
    ASSERT_TRUE(back.has_value()) << text.constData();
    const TRegValue* v = back->value(Key, GetParam().valueName);
    ASSERT_NE(v, nullptr) << text.constData();
    EXPECT_EQ(v->type, GetParam().value.type) << text.constData();
    EXPECT_EQ(v->data, GetParam().value.data) << text.constData();
}

INSTANTIATE_TEST_SUITE_P(
    Values, RegFileRoundTrip,
    ::testing::Values(
        RoundTrip{"plain", "SearchKey", TRegValue::string("evilstats.example")},
        RoundTrip{"quotes_and_backslashes", "SearchPath", TRegValue::string("C:\\a \"b\"\\")},
        RoundTrip{"empty_string", "SearchKey", TRegValue::string("")},
        RoundTrip{"blanks_kept", "SearchPath", TRegValue::string("  /srv/www  ")},
        RoundTrip{"utf8_text", "SearchKey", TRegValue::string("木马.example")},
        RoundTrip{"not_utf8", "SearchPath", TRegValue::string("/srv/\xB0\xA1")},
        RoundTrip{"control_bytes", "SearchKey", TRegValue::string("a\tb\nc")},
        RoundTrip{"inner_nul", "SearchKey", {rtString, QByteArray("ab\0cd\0", 6)}},
        RoundTrip{"no_final_nul", "SearchKey", {rtString, "abc"}},
        RoundTrip{"size_zero", "SearchKey", {rtString, ""}},
        RoundTrip{"expandable", "SearchPath", TRegValue::string("%HOME%/www", rtExpandString)},
        RoundTrip{"dword", "SearchKey", TRegValue::dword(0xDEADBEEF)},
        RoundTrip{"short_dword", "SearchKey", {rtDWord, "\x01\x02"}},
        RoundTrip{"binary_long", "Blob", {rtBinary, QByteArray(100, '\xAB')}},
        RoundTrip{"qword", "Big", {rtQWord, QByteArray("\x01\x02\x03\x04\x05\x06\x07\x08")}},
        RoundTrip{"default_value", "", TRegValue::string("x")}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(RegFile, WritesRegedit4WithQuotedStringsAndDwords) {
    TRegFile file;
    file.createKey(Key);
    file.setValue(Key, "SearchKey", TRegValue::string("a\"b"));
    file.setValue(Key, "Count", TRegValue::dword(10));
    EXPECT_EQ(file.format(), "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SoftWare\\Scrubline]\n"
                             "\"SearchKey\"=\"a\\\"b\"\n\"Count\"=dword:0000000a\n");
}

TEST(RegFile, NamesIgnoreCaseAndKeepTheFirstSpelling) {
    TRegFile file;
    file.setValue(Key, "SearchKey", TRegValue::string("one"));
    file.setValue("hkey_local_machine\\software\\SCRUBLINE", "SEARCHKEY", TRegValue::string("two"));
    ASSERT_EQ(file.keys().size(), 1);
    EXPECT_EQ(file.keys()[0].path, Key);
    ASSERT_EQ(file.keys()[0].values.size(), 1);
    EXPECT_EQ(file.keys()[0].values[0].name, "SearchKey");
    EXPECT_EQ(file.value(Key, "searchkey")->data, QByteArray("two\0", 4));
}

TEST(RegFile, ReadsAVersion5ExportInUtf16WithContinuedHexLines) {
    // "SearchPath" as REG_EXPAND_SZ "%T%" in UTF-16LE hex, split over two lines; CR LF breaks.
    const QString text = QStringLiteral("Windows Registry Editor Version 5.00\r\n\r\n"
                                        "; a comment\r\n"
                                        "[HKEY_LOCAL_MACHINE\\SoftWare\\Scrubline]\r\n"
                                        "\"SearchKey\"=\"\u6728\u9A6C\"\r\n"
                                        "\"SearchPath\"=hex(2):25,00,54,00,\\\r\n"
                                        "  25,00,00,00\r\n");
    QByteArray utf16 = "\xFF\xFE";
    for (QChar c : text) {
        utf16 += static_cast<char>(c.unicode() & 0xFF);
        utf16 += static_cast<char>(c.unicode() >> 8);
    }
    std::optional<TRegFile> file = TRegFile::parse(utf16);
    ASSERT_TRUE(file.has_value());
    EXPECT_EQ(*file->value(Key, "SearchKey"), TRegValue::string("木马"));
    EXPECT_EQ(*file->value(Key, "SearchPath"), TRegValue::string("%T%", rtExpandString));
}

TEST(RegFile, RefusesWhatItDoesNotUnderstand) {
    const char* bad[] = {
        "",
        "not a reg file\n",
        "REGEDIT4\n\"SearchKey\"=\"outside any key\"\n",
        "REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n\"SearchKey\"=\"no closing quote\n",
        "REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n\"SearchKey\"=hex:1g\n",
        "REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n\"SearchKey\"=-\n",
        "REGEDIT4\n[-HKEY_LOCAL_MACHINE\\A]\n",
        "REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n\"SearchKey\"=dword:123456789\n",
        "REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\nSearchKey=\"unquoted name\"\n",
    };
    for (const char* text : bad)
        EXPECT_FALSE(TRegFile::parse(text).has_value()) << text;
}

} // namespace
