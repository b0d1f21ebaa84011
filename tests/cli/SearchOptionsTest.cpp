#include "cli/SearchOptions.h"

#include <gtest/gtest.h>

using namespace pw;
using namespace pw::cli;

namespace {

// Parses a search command line in-process.
struct Parsed {
    explicit Parsed(const QList<QByteArray>& args) {
        invocation.command = &command;
        for (const QByteArray& a : QList<QByteArray>{"search"} + args) {
            invocation.raw.append(a);
            invocation.text.append(QString::fromLocal8Bit(a));
        }
        parser = std::make_unique<CommandParser>(invocation);
        parser->addKeywordOption();
        addSearchOptions(*parser);
        parser->addPositional("PATH", "", "PATH...");
        EXPECT_FALSE(parser->parse().has_value());
        error = readSearchOptions(*parser, parser->positional(), options);
    }

    Command command{"search", "search [options] PATH...", "", nullptr};
    Invocation invocation;
    std::unique_ptr<CommandParser> parser;
    SearchOptions options;
    std::optional<QByteArray> error;
};

} // namespace

TEST(SearchOptions, DefaultsAreTheWindowsSearch) {
    const Parsed p({"/srv/www", "site/"});
    ASSERT_FALSE(p.error);
    const TSearchCriteria& c = p.options.Criteria;
    EXPECT_EQ(c.Files().Included(),
              (QByteArrayList{">/srv/www/*.txt", ">/srv/www/*.asp", ">/srv/www/*.html",
                              ">/srv/www/*.htm", ">/srv/www/*.php", ">/srv/www/*.inc",
                              ">/srv/www/*.js", ">site/*.txt", ">site/*.asp", ">site/*.html",
                              ">site/*.htm", ">site/*.php", ">site/*.inc", ">site/*.js"}));
    EXPECT_TRUE(c.Files().Location().isEmpty());
    EXPECT_EQ(c.Content().Phrase(), "evilstats.example");
    EXPECT_TRUE(c.Content().IgnoreCase());
    EXPECT_FALSE(c.Content().WholeWord());
    EXPECT_EQ(c.Attribute().storedBits(), 0x37u);
    EXPECT_EQ(c.Size().Min(), 0);
    EXPECT_EQ(c.Size().Max(), 0);
    EXPECT_FALSE(c.TimeStamp().hasBounds());
}

TEST(SearchOptions, EachOptionSetsItsCriterion) {
    const Parsed p({"--masks",
                    " *.PHP ; *.php;x.*",
                    "--no-subfolders",
                    "--whole-word",
                    "--case-sensitive",
                    "--keyword",
                    "Evil",
                    "--min-size",
                    "1",
                    "--max-size",
                    "32767",
                    "--time-field",
                    "accessed",
                    "--after",
                    "12:00",
                    "--before",
                    "2024-03-10 08:30:15",
                    "--threads",
                    "3",
                    "/a;b"});
    ASSERT_FALSE(p.error) << p.error->constData();
    const TSearchCriteria& c = p.options.Criteria;
    // The PATH is one folder even with a ";" in its name; masks are split as the window does.
    EXPECT_EQ(c.Files().Included(), (QByteArrayList{"</a;b/*.PHP", "</a;b/x.*"}));
    EXPECT_EQ(c.Content().Phrase(), "Evil");
    EXPECT_FALSE(c.Content().IgnoreCase());
    EXPECT_TRUE(c.Content().WholeWord());
    EXPECT_EQ(c.Size().Min(), 1024);
    EXPECT_EQ(c.Size().Max(), 32767 * 1024);
    EXPECT_EQ(c.TimeStamp().AccessedAfter(), 0.5);
    EXPECT_DOUBLE_EQ(c.TimeStamp().AccessedBefore(),
                     EncodeDate(2024, 3, 10) + EncodeTime(8, 30, 15, 0));
    EXPECT_EQ(c.TimeStamp().ModifiedAfter(), 0);
    EXPECT_EQ(c.TimeStamp().CreatedBefore(), 0);
    EXPECT_EQ(p.options.ScanThreads, 2);
}

TEST(SearchOptions, TimeBounds) {
    const struct {
        const char* text;
        std::optional<TDateTime> value;
    } cases[] = {
        {"2024-03-10", EncodeDate(2024, 3, 10)},
        {"2024-02-29", EncodeDate(2024, 2, 29)},
        {"23:59:59", EncodeTime(23, 59, 59, 0)},
        {"7:05", EncodeTime(7, 5, 0, 0)},
        {"2024-03-10T12:00", EncodeDate(2024, 3, 10) + 0.5},
        {"2024-03-10 12:00:30", EncodeDate(2024, 3, 10) + EncodeTime(12, 0, 30, 0)},
        {"2023-02-29", std::nullopt},
        {"2024-13-01", std::nullopt},
        {"24:00", std::nullopt},
        {"12:60", std::nullopt},
        {"12", std::nullopt},
        {" 12:00", std::nullopt},
        {"2024-03-1012:00", std::nullopt},
        {"", std::nullopt},
        {"yesterday", std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(parseTimeBound(c.text), c.value) << c.text;
}
