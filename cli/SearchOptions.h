#pragma once

#include "cli/CommandParser.h"
#include "search/FindFile.h"
#include "search/SearchCriteria.h"

#include <QByteArray>
#include <QList>

#include <optional>

namespace pw::cli {

// A search as the window would run it for the same settings: its criteria, and how many threads
// read files ahead of the walk.
struct SearchOptions {
    TSearchCriteria Criteria;
    int ScanThreads = 0;

    // Copies the settings into a search component (unthreaded: the command line has no event
    // loop to hand a finish back to), which names on stderr, once each, the symbolic links to
    // folders it does not follow.
    void applyTo(TFindFile& findFile) const;
};

// Declares --masks, --no-subfolders, --whole-word, --case-sensitive, --min-size, --max-size,
// --time-field, --after, --before and --threads. The keyword is not among them: declare it with
// addKeywordOption() or addKeywordOptions().
void addSearchOptions(CommandParser& parser);

// Declares --masks alone.
void addMasksOption(CommandParser& parser);

// The masks of --masks (else the default masks) split as the window splits them; a usage error
// for a mask that names a folder.
std::optional<QByteArray> readMasks(const CommandParser& parser, QByteArrayList& masks);

// Fills options from the parsed command line, the keyword (the content phrase; an empty one sets
// no content condition) and the PATHs to search. Answers the usage error, if any.
std::optional<QByteArray> readSearchOptions(const CommandParser& parser,
                                            const QList<QByteArray>& paths, SearchOptions& options);

// Reports "pagewarden-cli: PATH: reason" for each PATH that is not a folder this process can
// read; answers whether all are.
bool checkSearchPaths(const QList<QByteArray>& paths);

// A time bound of --after/--before: "YYYY-MM-DD" (a whole day), "HH:MM[:SS]" (a time of day on
// any date) or both, separated by a blank or "T" (that time on that day).
std::optional<TDateTime> parseTimeBound(const QByteArray& text);

} // namespace pw::cli
