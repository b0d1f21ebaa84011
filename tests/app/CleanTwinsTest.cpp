#include "app/FoundFilesModel.h"
#include "tests/app/WindowFixture.h"

#include <QLineEdit>

#include <thread>

using namespace pw;
using pw::test::readFile;
using pw::test::TempTree;
using pw::test::WindowTest;

namespace {

const QByteArray Infected =
    "<p>a</p><script src=\"http://EvilStats.example/c.js\"></script>\n<p>b</p>\n";
const QByteArray Clean = "<p>a</p><p>b</p>\r\n";

// Runs the call on a thread of its own, as a cleaning job does, and waits for it.
template <typename F>
void onWorker(F call) {
    std::thread worker(call);
    worker.join();
}

// A row's path is its folder bytes followed by its name bytes, whatever they are: a name that is
// not valid UTF-8 is shown as best it can be and still cleaned at its real path.
TEST_F(WindowTest, ClearListedFileCleansTheRowsRealPath) {
    TempTree site;
    const QByteArray name = "\xB0\xA1.html"; // GBK bytes, not UTF-8
    const QByteArray path = site.write(name, Infected);
    MainForm& f = makeForm();
    f.FoundFilesModel->append({{name, site.path() + '/', "1KB", "3/9/24"}});
    EXPECT_EQ(f.FoundFilesModel->data(f.FoundFilesModel->index(0, 0), Qt::DisplayRole).toString(),
              QString::fromUtf8(name));

    onWorker([&] { f.ClearListedFile(1); }); // no such row: nothing happens
    EXPECT_EQ(readFile(path), Infected);
    onWorker([&] { f.ClearListedFile(0); });
    EXPECT_EQ(readFile(path), Clean);
}

// The rule and the keyword are the fields' texts as they stand when the job reads them.
TEST_F(WindowTest, ClearChangedFileUsesTheFieldsAsTheyStand) {
    TempTree site;
    const QByteArray path = site.write("a.html", Infected);
    MainForm& f = makeForm();

    f.Phrase->setText("other.example");
    onWorker([&] { f.ClearChangedFile(path); });
    EXPECT_EQ(readFile(path), "<p>a</p><script src=\"http://EvilStats.example/c.js\"></script>\r\n"
                              "<p>b</p>\r\n"); // normalised only: no match holds the keyword

    f.Phrase->setText("  EVILSTATS.example ");
    f.regxTxt->setText("(<script"); // invalid: the file is not touched
    onWorker([&] { f.ClearChangedFile(path); });
    EXPECT_NE(readFile(path), Clean);

    f.regxTxt->setText(" <script.*?</script> ");
    onWorker([&] { f.ClearChangedFile(path); });
    EXPECT_EQ(readFile(path), Clean);
}

} // namespace
