// window_search_bench CORPUS [MASKS] [RUNS]
//
// The window's side of the window-against-CLI benchmark, offscreen: a threaded search with an
// empty keyword started by a click on FindButton, timed until the summary is in the status bar
// (every row in the list), RUNS times; then the rows sorted by each column, ascending and then
// descending, each timed from the header click until the list has been laid out again.
// Prints "search <median> <min> <max> <rows>" and "sort <column> <asc|desc> <seconds>", times in
// seconds. The settings live in a temporary store.
#include "app/FoundFilesModel.h"
#include "app/MainForm.h"

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

double searchOnce(pw::MainForm& form) {
    QElapsedTimer timer;
    timer.start();
    form.FindButton->click();
    while (form.FindFile->Busy())
        QApplication::processEvents(QEventLoop::WaitForMoreEvents);
    QApplication::processEvents(); // the list laid out with its last rows
    return timer.nsecsElapsed() / 1e9;
}

double sortOnce(pw::MainForm& form, int column) {
    QElapsedTimer timer;
    timer.start();
    form.FoundFilesColumnClick(column);
    QApplication::processEvents();
    return timer.nsecsElapsed() / 1e9;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: window_search_bench CORPUS [MASKS] [RUNS]\n");
        return 2;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir settings;
    qputenv("PAGEWARDEN_REGISTRY", QFile::encodeName(settings.filePath("registry.reg")));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(settings.path()));
    int qtArgc = 1;
    QApplication app(qtArgc, argv);

    pw::MainForm form;
    form.show();
    form.Location->setText(QString::fromLocal8Bit(argv[1]));
    form.Filename->setText(QString::fromLocal8Bit(argc > 2 ? argv[2] : "*.*"));
    form.Phrase->clear();
    form.Threaded->setChecked(true);
    const int runs = argc > 3 ? std::max(1, atoi(argv[3])) : 10;

    std::vector<double> times;
    for (int i = 0; i < runs; ++i)
        times.push_back(searchOnce(form));
    std::sort(times.begin(), times.end());
    std::printf("search %.4f %.4f %.4f %d\n", times[times.size() / 2], times.front(), times.back(),
                form.FoundFilesModel->rowCount());

    for (int column = 0; column < pw::TFoundFilesModel::ColumnCount; ++column) {
        std::printf("sort %d asc %.4f\n", column, sortOnce(form, column));
        std::printf("sort %d desc %.4f\n", column, sortOnce(form, column));
    }
    return 0;
}
