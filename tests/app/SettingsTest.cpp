#include "platform/SettingsStore.h"
#include "tests/app/WindowFixture.h"

#include <QFile>
#include <QLineEdit>

#include <optional>

using namespace pw;
using pw::test::readFile;
using pw::test::WindowTest;

namespace {

const QByteArray Section = "[HKEY_LOCAL_MACHINE\\SoftWare\\Scrubline]";

struct ReadCase {
    const char* name;
    std::optional<QByteArray> values; // the key's value lines; none: no store file at all
    QString phrase;
    QString location;
};
void PrintTo(const ReadCase& c, std::ostream* os) {
    *os << c.name;
}

class SettingsRead : public WindowTest, public ::testing::WithParamInterface<ReadCase> {};

TEST_P(SettingsRead, FillTheKeywordAndThePath) {
    if (GetParam().values) writeRegistry(*GetParam().values);
    MainForm& f = makeForm();
    EXPECT_EQ(f.Phrase->text(), GetParam().phrase);
    EXPECT_EQ(f.Location->text(), GetParam().location);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SettingsRead,
    ::testing::Values(
        ReadCase{"FirstStart", std::nullopt, "evilstats.example", "/"},
        ReadCase{"Stored", "\"SearchKey\"=\"bad.example\"\n\"SearchPath\"=\"/srv/www\"\n",
                 "bad.example", "/srv/www"},
        ReadCase{"EmptyKeyword", "\"SearchKey\"=\"\"\n\"SearchPath\"=\"/srv\"\n",
                 "evilstats.example", "/srv"},
        ReadCase{"SizeZero", "\"SearchKey\"=hex(1):\n", "evilstats.example", "/"},
        ReadCase{"BlanksKept", "\"SearchPath\"=\"  /srv/www  \"\n", "evilstats.example",
                 "  /srv/www  "},
        // A number stops the reading: the path is not read, whatever it holds.
        ReadCase{"KeywordAsNumber", "\"SearchKey\"=dword:00000001\n\"SearchPath\"=\"/srv\"\n",
                 "evilstats.example", "/"},
        ReadCase{"PathAsBinary", "\"SearchKey\"=\"k.example\"\n\"SearchPath\"=hex:2f,00\n",
                 "k.example", "/"},
        // %HOME% as REG_EXPAND_SZ: shown literally.
        ReadCase{"ExpandableNotExpanded", "\"SearchPath\"=hex(2):25,48,4f,4d,45,25,2f,77,00\n",
                 "evilstats.example", "%HOME%/w"},
        ReadCase{"UpToTheFirstNul", "\"SearchKey\"=hex(1):61,2e,65,00,62,00\n", "a.e", "/"},
        ReadCase{"Utf8Text", "\"SearchKey\"=\"木马.example\"\n", "木马.example", "/"},
        ReadCase{"UnreadableStore", "garbage", "evilstats.example", "/"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(WindowTest, FirstStartCreatesTheEmptyKey) {
    makeForm();
    EXPECT_EQ(readFile(registryPath()), "REGEDIT4\n\n" + Section + "\n");
}

// The stored copies are trimmed; the window keeps what was typed.
TEST_F(WindowTest, SavingStoresTrimmedTexts) {
    MainForm& f = makeForm();
    f.Phrase->setText(" \tbad.example  ");
    f.Location->setText("  /srv/www ");
    f.SaveSettings();
    EXPECT_EQ(readFile(registryPath()), "REGEDIT4\n\n" + Section +
                                            "\n\"SearchKey\"=\"bad.example\"\n"
                                            "\"SearchPath\"=\"/srv/www\"\n");
    EXPECT_EQ(f.Phrase->text(), " \tbad.example  ");

    // A blank keyword is stored empty, and the next start shows the default keyword again.
    f.Phrase->setText("   ");
    f.SaveSettings();
    form.reset();
    MainForm& next = makeForm();
    EXPECT_EQ(next.Phrase->text(), "evilstats.example");
    EXPECT_EQ(next.Location->text(), "/srv/www");
}

// Two windows share the store: whichever saves last decides.
TEST_F(WindowTest, TheLastSaveWins) {
    MainForm& first = makeForm();
    MainForm second;
    first.Location->setText("/one");
    second.Location->setText("/two");
    second.SaveSettings();
    first.SaveSettings();
    EXPECT_EQ(TSettingsStore::fromEnvironment().readString("\\SoftWare\\Scrubline", "SearchPath"),
              "/one");
}

// No store can be written (nor the overlay): nothing is reported and nothing breaks.
TEST_F(WindowTest, AStoreThatCannotBeWrittenIsSilent) {
    settings.write("file", "");
    qputenv("PAGEWARDEN_REGISTRY", settings.path("file/registry.reg"));
    qputenv("XDG_CONFIG_HOME", settings.path("file/config"));
    MainForm& f = makeForm();
    EXPECT_EQ(f.Phrase->text(), "evilstats.example");
    f.Phrase->setText("x.example");
    f.SaveSettings();
    EXPECT_FALSE(QFile::exists(QFile::decodeName(settings.path("file/registry.reg"))));
}

} // namespace
