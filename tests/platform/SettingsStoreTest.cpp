#include "platform/SettingsStore.h"
#include "tests/support/TempTree.h"

#include <QFile>

#include <gtest/gtest.h>

#include <unistd.h>

using namespace pw;
using pw::test::readFile;
using pw::test::TempTree;

namespace {

const QByteArray Key = "\\SoftWare\\Scrubline";
const QByteArray Section = "[HKEY_LOCAL_MACHINE\\SoftWare\\Scrubline]";

QString str(const QByteArray& path) {
    return QFile::decodeName(path);
}

TEST(SettingsStore, CreatingTheKeyWritesAnEmptyKeyOnce) {
    TempTree tree;
    const TSettingsStore store(str(tree.path("registry.reg")), str(tree.path("overlay.reg")));
    ASSERT_TRUE(store.createKey(Key));
    EXPECT_EQ(readFile(tree.path("registry.reg")), "REGEDIT4\n\n" + Section + "\n");
    EXPECT_TRUE(store.createKey(Key));
    EXPECT_EQ(store.readString(Key, "SearchKey"), "");
    EXPECT_FALSE(QFile::exists(str(tree.path("overlay.reg"))));
}

TEST(SettingsStore, KeepsOtherKeysAndValuesWhenItWrites) {
    TempTree tree;
    tree.write("registry.reg", "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Other]\n\"A\"=dword:00000001\n\n" +
                                   Section + "\n\"SearchPath\"=\"/srv\"\n");
    const TSettingsStore store(str(tree.path("registry.reg")), str(tree.path("overlay.reg")));
    store.writeString(Key, "SearchKey", "evil.example");
    EXPECT_EQ(readFile(tree.path("registry.reg")),
              "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Other]\n\"A\"=dword:00000001\n\n" + Section +
                  "\n\"SearchPath\"=\"/srv\"\n\"SearchKey\"=\"evil.example\"\n");
}

struct ReadCase {
    const char* name;
    QByteArray stored; // the value line, after "SearchKey"=
    QByteArray expected;
    bool error;
};
void PrintTo(const ReadCase& c, std::ostream* os) {
    *os << c.name;
}

class ReadStringCases : public ::testing::TestWithParam<ReadCase> {};

TEST_P(ReadStringCases, ReadsTheTextOrRefusesTheType) {
    TempTree tree;
    tree.write("registry.reg",
               "REGEDIT4\n" + Section + "\n\"SearchKey\"=" + GetParam().stored + "\n");
    const TSettingsStore store(str(tree.path("registry.reg")), str(tree.path("overlay.reg")));
    if (GetParam().error) {
        EXPECT_THROW(store.readString(Key, "SearchKey"), ERegistryError);
    } else {
        EXPECT_EQ(store.readString(Key, "SearchKey"), GetParam().expected);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Values, ReadStringCases,
    ::testing::Values(ReadCase{"string", "\"evil.example\"", "evil.example", false},
                      ReadCase{"blanks_kept", "\"  /srv/www  \"", "  /srv/www  ", false},
                      ReadCase{"empty_string", "\"\"", "", false},
                      ReadCase{"size_zero_of_any_type", "hex(4):", "", false},
                      ReadCase{"up_to_the_first_nul", "hex(1):61,00,62,00", "a", false},
                      ReadCase{"no_nul_at_all", "hex(1):61,62", "ab", false},
                      ReadCase{"expandable_not_expanded", "hex(2):25,48,4f,4d,45,25,00", "%HOME%",
                               false},
                      ReadCase{"number", "dword:00000007", "", true},
                      ReadCase{"binary", "hex:61,62,00", "", true},
                      ReadCase{"multi_string", "hex(7):61,00,00", "", true}),
    [](const auto& info) { return std::string(info.param.name); });

// A machine file in a folder that does not exist (as /var/lib/pagewarden before installation)
// cannot be written: the key and the values go to the user's overlay, and reads find them there.
TEST(SettingsStore, WritesGoToTheOverlayWhenTheMachineFileCannotBeWritten) {
    TempTree tree;
    const TSettingsStore store(str(tree.path("missing/registry.reg")),
                               str(tree.path("config/pagewarden/registry.reg")));
    ASSERT_TRUE(store.createKey(Key));
    store.writeString(Key, "SearchPath", "/srv/www");
    EXPECT_EQ(store.readString(Key, "SearchPath"), "/srv/www");
    EXPECT_EQ(readFile(tree.path("config/pagewarden/registry.reg")),
              "REGEDIT4\n\n" + Section + "\n\"SearchPath\"=\"/srv/www\"\n");
    EXPECT_FALSE(QFile::exists(str(tree.path("missing"))));
}

// The machine file is a link: it is read through, but never written through.
TEST(SettingsStore, ReadsThroughALinkButWritesTheOverlay) {
    TempTree tree;
    const QByteArray machine =
        "REGEDIT4\n" + Section + "\n\"SearchKey\"=\"machine\"\n\"SearchPath\"=\"/m\"\n";
    tree.write("real.reg", machine);
    ASSERT_EQ(::symlink(tree.path("real.reg").constData(), tree.path("registry.reg").constData()),
              0);
    const TSettingsStore store(str(tree.path("registry.reg")), str(tree.path("overlay.reg")));
    store.writeString(Key, "SearchKey", "user");
    EXPECT_EQ(store.readString(Key, "SearchKey"), "user");
    EXPECT_EQ(store.readString(Key, "SearchPath"), "/m"); // not in the overlay: the machine's
    EXPECT_EQ(readFile(tree.path("real.reg")), machine);
}

// A machine file this reader does not understand is left exactly as it is.
TEST(SettingsStore, NeverOverwritesAFileItCannotParse) {
    TempTree tree;
    tree.write("registry.reg", "garbage\n");
    const TSettingsStore store(str(tree.path("registry.reg")), str(tree.path("overlay.reg")));
    store.writeString(Key, "SearchKey", "x");
    EXPECT_EQ(readFile(tree.path("registry.reg")), "garbage\n");
    EXPECT_EQ(store.readString(Key, "SearchKey"), "x");
}

TEST(SettingsStore, FailsWhenNeitherFileCanBeWritten) {
    TempTree tree;
    tree.write("file", "");
    // A regular file where both folders should be: nothing can be created under it.
    const TSettingsStore store(str(tree.path("file/registry.reg")),
                               str(tree.path("file/overlay/registry.reg")));
    EXPECT_FALSE(store.createKey(Key));
    EXPECT_THROW(store.writeString(Key, "SearchKey", "x"), ERegistryError);
    EXPECT_EQ(store.readString(Key, "SearchKey"), "");
}

TEST(SettingsStore, EnvironmentNamesTheFiles) {
    qputenv("PAGEWARDEN_REGISTRY", "/tmp/a.reg");
    qputenv("XDG_CONFIG_HOME", "/tmp/cfg");
    EXPECT_EQ(TSettingsStore::machineFileFromEnvironment(), "/tmp/a.reg");
    EXPECT_EQ(TSettingsStore::overlayFileFromEnvironment(), "/tmp/cfg/pagewarden/registry.reg");
    qunsetenv("PAGEWARDEN_REGISTRY");
    EXPECT_EQ(TSettingsStore::machineFileFromEnvironment(), "/var/lib/pagewarden/registry.reg");
}

} // namespace
