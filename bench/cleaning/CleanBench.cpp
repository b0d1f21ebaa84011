// The cleaning routine on infected files of 4 KB, 1 MB and 50 MB: in memory (the text work alone)
// and on a file under /dev/shm (reading, the text work and the atomic rewrite).
#include "cleaning/CleanText.h"
#include "cleaning/CleaningRule.h"
#include "cleaning/FileCleaner.h"
#include "common/Defaults.h"
#include "regex/PcreRegEx.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

using namespace pw;

namespace {

// A page of LF lines with a legitimate script every 16 lines and an injected element (in one of
// the three forms) every 128 lines, some alone on their line and some inside it.
QByteArray infectedPage(qsizetype size) {
    static const char* const injected[] = {
        "<script src=\"http://EvilStats.example/c.js\"></script>",
        "<ifraMe src=\"http://evilstats.example/in.php\" width=0 height=0></ifrAme>",
        "[ifraMe src=http://evilstats.example/bb][/ifrAme]",
    };
    QByteArray page;
    page.reserve(size + 256);
    for (int line = 0; page.size() < size; ++line) {
        page += "<p>Lorem ipsum dolor sit amet, consectetur adipiscing elit " +
                QByteArray::number(line) + "</p>";
        if (line % 16 == 0) page += "<script src=\"/js/menu.js\"></script>";
        if (line % 128 == 64) page += injected[(line / 128) % 3];
        page += '\n';
    }
    return page;
}

void cleanInMemory(benchmark::State& state) {
    const QByteArray page = infectedPage(state.range(0));
    const KeywordSource keyword = [] { return DefaultKeyword; };
    for (auto _ : state) {
        TPcreRegEx matcher;
        matcher.setRegEx(DefaultRule);
        matcher.setOptions(CleaningRuleOptions);
        benchmark::DoNotOptimize(cleanText(page, matcher, keyword));
    }
    state.SetBytesProcessed(state.iterations() * page.size());
}

void cleanOnShm(benchmark::State& state) {
    const QByteArray page = infectedPage(state.range(0));
    QTemporaryDir dir(QDir::tempPath().startsWith("/dev/shm") ? QString()
                                                              : "/dev/shm/pwbench-XXXXXX");
    const QByteArray path = QFile::encodeName(dir.path()) + "/index.html";
    const KeywordSource keyword = [] { return DefaultKeyword; };
    for (auto _ : state) {
        state.PauseTiming();
        const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd < 0 || ::write(fd, page.constData(), size_t(page.size())) != page.size())
            state.SkipWithError("cannot write the input file");
        ::close(fd);
        state.ResumeTiming();
        if (cleanFile(CleanTarget::inOwnFolder(path), DefaultRule, keyword).outcome !=
            CleanOutcome::Cleaned)
            state.SkipWithError("file not cleaned");
    }
    state.SetBytesProcessed(state.iterations() * page.size());
}

} // namespace

BENCHMARK(cleanInMemory)->Arg(4 << 10)->Arg(1 << 20)->Arg(50 << 20)->Unit(benchmark::kMicrosecond);
BENCHMARK(cleanOnShm)->Arg(4 << 10)->Arg(1 << 20)->Arg(50 << 20)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
