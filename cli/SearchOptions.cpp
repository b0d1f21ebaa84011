#include "cli/SearchOptions.h"

#include "cli/Output.h"
#include "common/Defaults.h"
#include "search/TargetSearch.h"

#include <QRegularExpression>
#include <QSet>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <limits>
#include <memory>
#include <thread>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

namespace pw::cli {

namespace {

const TFileAttributes AllAttributes{ffArchive, ffReadonly, ffHidden, ffSystem, ffDirectory};

// A count of kilobytes as bytes; nullopt when it is no whole number or too large.
std::optional<qint64> kilobytes(const QByteArray& text) {
    bool ok = false;
    const qlonglong kb = text.toLongLong(&ok);
    if (!ok || kb < 0 || kb > std::numeric_limits<qint64>::max() / 1024) return std::nullopt;
    return kb * 1024;
}

bool validDate(int y, int m, int d) {
    static constexpr int DaysIn[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (y < 1 || m < 1 || m > 12 || d < 1 || d > DaysIn[m - 1]) return false;
    const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    return m != 2 || d <= 28 || leap;
}

std::optional<QByteArray> readSizes(const CommandParser& parser, TSizeCriteria& size) {
    for (const char* name : {"min-size", "max-size"}) {
        if (!parser.isSet(name)) continue;
        const QByteArray text = parser.value(name);
        const std::optional<qint64> bytes = kilobytes(text);
        if (!bytes)
            return "--" + QByteArray(name) + ": '" + text + "' is not a whole number of kilobytes";
        if (name[1] == 'i')
            size.setMin(*bytes);
        else
            size.setMax(*bytes);
    }
    return std::nullopt;
}

std::optional<QByteArray> readTimes(const CommandParser& parser, TDateTimeCriteria& times) {
    TDateTime bounds[2] = {0, 0}; // before, after
    const char* names[2] = {"before", "after"};
    for (int i = 0; i < 2; ++i) {
        if (!parser.isSet(names[i])) continue;
        const QByteArray text = parser.value(names[i]);
        const std::optional<TDateTime> bound = parseTimeBound(text);
        if (!bound)
            return "--" + QByteArray(names[i]) + ": '" + text +
                   "' is not YYYY-MM-DD, HH:MM[:SS] or both";
        bounds[i] = *bound;
    }
    const QByteArray field = parser.isSet("time-field") ? parser.value("time-field") : "created";
    if (field == "created") {
        times.setCreatedBefore(bounds[0]);
        times.setCreatedAfter(bounds[1]);
    } else if (field == "modified") {
        times.setModifiedBefore(bounds[0]);
        times.setModifiedAfter(bounds[1]);
    } else if (field == "accessed") {
        times.setAccessedBefore(bounds[0]);
        times.setAccessedAfter(bounds[1]);
    } else {
        return "--time-field: '" + field + "' is not created, modified or accessed";
    }
    return std::nullopt;
}

std::optional<QByteArray> readThreads(const CommandParser& parser, int& scanThreads) {
    int threads = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    if (parser.isSet("threads")) {
        bool ok = false;
        threads = parser.value("threads").toInt(&ok);
        if (!ok || threads < 1 || threads > 256)
            return "--threads: '" + parser.value("threads") + "' is not a number from 1 to 256";
    }
    scanThreads = threads - 1; // the searching thread reads files too
    return std::nullopt;
}

} // namespace

std::optional<QByteArray> readMasks(const CommandParser& parser, QByteArrayList& masks) {
    masks = SplitList(parser.isSet("masks") ? parser.value("masks") : DefaultMasks);
    for (const QByteArray& mask : masks)
        if (mask.contains('/'))
            return "--masks: '" + mask + "' names a folder; a mask matches file names only";
    if (masks.isEmpty()) masks.append("*.*");
    return std::nullopt;
}

void addMasksOption(CommandParser& parser) {
    parser.addOption(
        {"masks", QString("File masks separated by ';' (default: %1).").arg(DefaultMasks), "A;B"});
}

void SearchOptions::applyTo(TFindFile& findFile) const {
    findFile.setCriteria(Criteria);
    findFile.setThreaded(false);
    findFile.setScanThreads(ScanThreads);
    // Overlapping PATHs can meet one link twice.
    auto named = std::make_shared<QSet<QByteArray>>();
    findFile.OnLinkNotFollowed = [named](QObject*, const QByteArray& path) {
        if (named->contains(path)) return;
        named->insert(path);
        Output::error(path, "not followed: symbolic link to a folder");
    };
}

void addSearchOptions(CommandParser& parser) {
    addMasksOption(parser);
    parser.addOption({"no-subfolders", "Search only the PATHs themselves, not their subfolders."});
    parser.addOption({"whole-word", "The keyword must stand as a whole word."});
    parser.addOption({"case-sensitive", "Compare the keyword with its letter case."});
    parser.addOption({"min-size", "Only files of at least KB kilobytes.", "KB"});
    parser.addOption({"max-size", "Only files of at most KB kilobytes.", "KB"});
    parser.addOption({"time-field",
                      "The time --after and --before bound: created (default), modified or "
                      "accessed.",
                      "FIELD"});
    parser.addOption({"after",
                      "Only files whose time is at or after WHEN: YYYY-MM-DD (from that day on), "
                      "HH:MM[:SS] (at or after that time of any day) or both.",
                      "WHEN"});
    parser.addOption({"before",
                      "Only files whose time is at or before WHEN (a day includes all of it).",
                      "WHEN"});
    parser.addOption({{"j", "threads"},
                      "Threads that read files (default: one per processor). The order of the "
                      "results does not depend on it.",
                      "N"});
}

std::optional<QByteArray> readSearchOptions(const CommandParser& parser,
                                            const QList<QByteArray>& paths,
                                            SearchOptions& options) {
    TSearchCriteria& criteria = options.Criteria;
    criteria.Attribute().setAttributes(AllAttributes); // the window's attribute set

    QByteArrayList masks;
    if (auto error = readMasks(parser, masks)) return error;
    // Each PATH becomes a folder of its own, taken exactly as given: never split at ";",
    // trimmed or read for a leading "<" or ">".
    const bool subfolders = !parser.isSet("no-subfolders");
    QByteArrayList items;
    for (const QByteArray& path : paths) {
        const QByteArray folder = path.endsWith('/') ? path : path + '/';
        for (const QByteArray& mask : masks)
            items.append((subfolders ? ">" : "<") + folder + mask);
    }
    criteria.Files().setIncluded(items);
    criteria.Files().setSubfolders(subfolders);

    criteria.Content().setPhrase(parser.keyword());
    criteria.Content().setIgnoreCase(!parser.isSet("case-sensitive"));
    criteria.Content().setWholeWord(parser.isSet("whole-word"));

    if (auto error = readSizes(parser, criteria.Size())) return error;
    if (auto error = readTimes(parser, criteria.TimeStamp())) return error;
    return readThreads(parser, options.ScanThreads);
}

bool checkSearchPaths(const QList<QByteArray>& paths) {
    bool allFine = true;
    for (const QByteArray& path : paths) {
        struct stat st {};
        QByteArray reason;
        if (::stat(path.constData(), &st) != 0)
            reason = errno == ENOENT ? "no such folder" : QByteArray(std::strerror(errno));
        else if (!S_ISDIR(st.st_mode))
            reason = "is not a folder";
        else if (DIR* dir = ::opendir(path.constData()))
            ::closedir(dir);
        else
            reason = std::strerror(errno);
        if (!reason.isEmpty()) {
            Output::error(path, reason);
            allFine = false;
        }
    }
    return allFine;
}

std::optional<TDateTime> parseTimeBound(const QByteArray& text) {
    static const QRegularExpression format(
        R"(^(?:(\d{4})-(\d{2})-(\d{2}))?(?:(?:^|[ T])(\d{1,2}):(\d{2})(?::(\d{2}))?)?$)");
    const QRegularExpressionMatch m = format.match(QString::fromLatin1(text));
    if (text.isEmpty() || !m.hasMatch() || (!m.hasCaptured(1) && !m.hasCaptured(4)) ||
        (!m.hasCaptured(1) && !std::isdigit(static_cast<unsigned char>(text[0]))))
        return std::nullopt;
    TDateTime value = 0;
    if (m.hasCaptured(1)) {
        const int y = m.captured(1).toInt(), mo = m.captured(2).toInt(), d = m.captured(3).toInt();
        if (!validDate(y, mo, d)) return std::nullopt;
        value += EncodeDate(y, mo, d);
    }
    if (m.hasCaptured(4)) {
        const int h = m.captured(4).toInt(), mi = m.captured(5).toInt();
        const int s = m.hasCaptured(6) ? m.captured(6).toInt() : 0;
        if (h > 23 || mi > 59 || s > 59) return std::nullopt;
        value += EncodeTime(h, mi, s, 0);
    }
    return value;
}

} // namespace pw::cli
