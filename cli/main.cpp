#include "cli/Command.h"
#include "platform/OpenFileLimit.h"
#include "platform/Translation.h"
#include "threads/ThreadMutex.h"

#include <QCoreApplication>

#include <cstdio>
#include <cstring>
#include <iterator>

using namespace pw::cli;

namespace {

const Command Commands[] = {
    {"search", "search [options] PATH...",
     "List the files under the PATHs whose name matches the masks and that hold the keyword.",
     runSearch},
    {"clean", "clean [options] PATH... | --files FILE...",
     "Search the PATHs (or take the FILEs), then remove the injected elements that hold the "
     "keyword from each file, one after the other.",
     runClean},
    {"watch", "watch [options] PATH...",
     "Watch folder trees and clean every file as soon as it is modified, until SIGINT or "
     "SIGTERM.",
     runWatch},
    {"history", "history [--json] [JOB]",
     "List the cleaning jobs, newest first, or the files of one job with what was removed.",
     runHistory},
    {"restore", "restore JOB | --last [PATH...]",
     "Put back the original bytes of the files a job rewrote (--dry-run, --force).", runRestore},
    {"prune", "prune --older-than DAYS | --max-size MB",
     "Remove old jobs from the history and the backups no remaining job needs.", runPrune},
};

void printUsage(FILE* to) {
    std::fputs("Usage: pagewarden-cli COMMAND [options] ...\n\n"
               "Finds and cleans web files with injected <iframe> and <script> elements.\n\n"
               "Commands:\n",
               to);
    for (const Command& c : Commands)
        std::fprintf(to, "  %-40s %s\n", c.synopsis, c.summary);
    std::fputs("\n'pagewarden-cli COMMAND --help' shows the options of a command.\n"
               "Exit status: 0 success, 1 nothing found or some file not cleaned, 2 usage error, "
               "invalid rule or unreadable path.\n",
               to);
}

} // namespace

int main(int argc, char** argv) {
    pw::CreateThreadMutex();
    pw::RaiseOpenFileLimit();
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName("pagewarden-cli");
    QCoreApplication::setApplicationVersion(PAGEWARDEN_VERSION);
    // Only the window's log lines that watch prints are translated; the rest stays English.
    pw::InstallTranslation(app);

    if (argc < 2) {
        printUsage(stderr);
        return ExitUsage;
    }
    if (!std::strcmp(argv[1], "--help") || !std::strcmp(argv[1], "-h")) {
        printUsage(stdout);
        return ExitSuccess;
    }
    if (!std::strcmp(argv[1], "--version")) {
        std::printf("pagewarden-cli %s\n", PAGEWARDEN_VERSION);
        return ExitSuccess;
    }
    for (const Command& command : Commands) {
        if (std::strcmp(argv[1], command.name) != 0) continue;
        Invocation invocation;
        invocation.command = &command;
        for (int i = 1; i < argc; ++i) {
            invocation.raw.append(QByteArray(argv[i]));
            invocation.text.append(QString::fromLocal8Bit(argv[i]));
        }
        return command.run(invocation);
    }
    std::fprintf(stderr, "pagewarden-cli: unknown command '%s'\n\n", argv[1]);
    printUsage(stderr);
    return ExitUsage;
}
