// The content scan's kernel: finding the keyword in a block of web text (no match, so every byte
// is looked at), case-insensitive and case-sensitive; and the whole test of one file under
// /dev/shm, small and large.
#include "common/Defaults.h"
#include "search/ContentCriteria.h"
#include "search/PhraseFinder.h"

#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

using namespace pw;

namespace {

// Mixed HTML, script and Chinese text without the keyword.
QByteArray page(qsizetype size) {
    QByteArray text;
    text.reserve(size + 256);
    for (int line = 0; text.size() < size; ++line) {
        text += "<p class=\"news\">Lorem ipsum dolor sit amet, consectetur adipiscing elit " +
                QByteArray::number(line) + " \xE6\x96\xB0\xE9\x97\xBB example.com/x</p>";
        if (line % 8 == 0)
            text += "<script src=\"/js/stats.js\">var v = document.location.href;</script>";
        text += '\n';
    }
    text.truncate(size);
    return text;
}

void Finder(benchmark::State& state, const TByteTable& table) {
    const QByteArray text = page(64 * 1024);
    const TPhraseFinder finder(DefaultKeyword, table);
    const auto* data = reinterpret_cast<const unsigned char*>(text.constData());
    for (auto _ : state)
        benchmark::DoNotOptimize(finder.next(data, text.size(), 0));
    state.SetBytesProcessed(state.iterations() * text.size());
}
BENCHMARK_CAPTURE(Finder, ignore_case, LowerCaseTable);
BENCHMARK_CAPTURE(Finder, case_sensitive, IdentityTable);

void FileScan(benchmark::State& state) {
    QTemporaryDir dir("/dev/shm/pw-scan-bench-XXXXXX");
    const QString path = dir.filePath("page.html");
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write(page(state.range(0)));
    file.close();
    TContentCriteria criteria;
    criteria.setPhrase(DefaultKeyword);
    const QByteArray name = QFile::encodeName(path);
    for (auto _ : state)
        benchmark::DoNotOptimize(criteria.Matches(name));
    state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(FileScan)->Arg(4 * 1024)->Arg(1024 * 1024)->Arg(50 * 1024 * 1024);

} // namespace

BENCHMARK_MAIN();
