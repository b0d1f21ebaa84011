#pragma once

#include <QByteArray>
#include <QList>
#include <QStringList>

namespace pw::cli {

enum ExitStatus {
    ExitSuccess = 0,
    ExitNothing = 1, // search found nothing, or clean left some file it could not clean
    ExitUsage = 2,   // usage error, invalid rule, unreadable PATH
};

// The arguments of one subcommand, the subcommand's name first. `text` is what Qt decoded from
// the locale; `raw` keeps the bytes exactly as given, for paths and keywords that are not valid
// UTF-8.
struct Command;

struct Invocation {
    const Command* command = nullptr;
    QStringList text;
    QList<QByteArray> raw;
};

struct Command {
    const char* name;
    const char* synopsis; // "clean [options] PATH..."
    const char* summary;
    int (*run)(const Invocation&);
};

int runClean(const Invocation& invocation);
int runSearch(const Invocation& invocation);
int runWatch(const Invocation& invocation);
int runHistory(const Invocation& invocation);
int runRestore(const Invocation& invocation);
int runPrune(const Invocation& invocation);

} // namespace pw::cli
