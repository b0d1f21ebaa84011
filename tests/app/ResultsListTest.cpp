#include "app/FoundFilesModel.h"
#include "app/ResultsView.h"
#include "app/RowText.h"
#include "app/SearchFeed.h"
#include "tests/app/WindowFixture.h"

#include <QDesktopServices>
#include <QFileDialog>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QMessageBox>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include <thread>

using namespace pw;
using pw::test::WindowTest;

namespace {

TEST(RowText, SizeInKilobytesRoundedUp) {
    const std::pair<qint64, const char*> cases[] = {
        {0, "0KB"},
        {1, "1KB"},
        {1023, "1KB"},
        {1024, "1KB"},
        {1025, "2KB"},
        {10 * 1024, "10KB"},
        {2147483647, "2097152KB"},
        {5LL << 30, "5242880KB"}, // beyond 32 bits: the whole size
    };
    for (auto [size, text] : cases)
        EXPECT_EQ(SizeText(size, false), text) << size;
    EXPECT_EQ(SizeText(4096, true), "文件夹");
}

TEST(RowText, CompareFoldsOnlyLowerCaseAscii) {
    struct Case {
        QByteArray a, b;
        int sign;
    };
    const Case cases[] = {
        {"abc", "ABC", 0},   {"a", "b", -1}, {"b", "A", 1},
        {"ab", "abc", -1},   {"", "", 0},    {"10KB", "9KB", -1}, // as text
        {"_", "a", 1},       // '_' (0x5F) sorts after 'A' (0x41), as a-z fold to A-Z
        {"\xE9", "\xC9", 1}, // no folding beyond ASCII
        {"\xFF", "a", 1},    // bytes compare unsigned
    };
    for (const Case& c : cases) {
        const int r = CompareText(c.a, c.b);
        EXPECT_EQ((r > 0) - (r < 0), c.sign) << c.a.constData() << " / " << c.b.constData();
    }
    EXPECT_EQ(CompareText("ab", "abcd"), -2); // a prefix: the difference of the lengths
    EXPECT_EQ(CompareText("b", "a"), 1);      // else the difference of the bytes
}

TEST(RowText, TimeTextLeavesMidnightOut) {
    TRowTimeFormatter format{QLocale(QLocale::English, QLocale::UnitedStates)};
    EXPECT_EQ(format.text(QDate(2024, 3, 9), QTime(0, 0)), "3/9/24");
    EXPECT_EQ(format.text(QDate(2024, 3, 9), QTime(13, 5, 2)), "3/9/24 1:05:02 PM");
    EXPECT_EQ(format.text(QDate(2024, 3, 9), QTime(0, 0, 2)), "3/9/24 12:00:02 AM");

    TRowTimeFormatter chinese{QLocale(QLocale::Chinese, QLocale::China)};
    EXPECT_EQ(chinese.text(QDate(2024, 3, 9), QTime(13, 5, 2)), "2024/3/9 13:05:02");

    // The MS-DOS packing: 2024-03-09 13:05:02.
    const quint32 dos = (44u << 25 | 3u << 21 | 9u << 16) | (13u << 11 | 5u << 5 | 1u);
    EXPECT_EQ(DosDate(dos), QDate(2024, 3, 9));
    EXPECT_EQ(DosTime(dos), QTime(13, 5, 2));
    EXPECT_EQ(format.text(dos), "3/9/24 1:05:02 PM");
}

TEST(RowText, LongTimeFormatHasNoZone) {
    EXPECT_EQ(LongTimeFormat(QLocale(QLocale::English, QLocale::UnitedStates)), "h:mm:ss AP");
    EXPECT_EQ(LongTimeFormat(QLocale(QLocale::Chinese, QLocale::China)), "HH:mm:ss");
    EXPECT_EQ(LongTimeFormat(QLocale(QLocale::German, QLocale::Germany)), "HH:mm:ss");
}

TEST(RowText, SummaryCountsAcrossTheTickWrap) {
    const QLocale us(QLocale::English, QLocale::UnitedStates);
    EXPECT_EQ(SearchSummary(3, 2, 1000, 2500, us),
              "3 folder(s) searched and 2 file(s) found - 1.500 second(s)");
    EXPECT_EQ(SearchSummary(1, 0, 0xFFFFFF00u, 0x100u, us), // 512 ms across the wrap
              "1 folder(s) searched and 0 file(s) found - 0.512 second(s)");
    EXPECT_EQ(SearchSummary(0, 0, 0, 1234567, QLocale(QLocale::German, QLocale::Germany)),
              "0 folder(s) searched and 0 file(s) found - 1234,567 second(s)");
}

// Rows handed over from another thread reach the list in batches on the window's thread; the
// folder text too, unless a stop dropped it.
TEST_F(WindowTest, FeedCarriesRowsAndStatusFromAnotherThread) {
    TFoundFilesModel model;
    QStringList shown;
    TSearchFeed feed(&model, [&](const QString& text) { shown << text; });
    const QByteArray folder = "/site/";
    const quint32 midnight = 44u << 25 | 3u << 21 | 9u << 16;
    std::thread searching([&] {
        feed.setStatus(folder);
        for (int i = 0; i < 5000; ++i)
            feed.add(folder, "f" + QByteArray::number(i), i, false, midnight);
        feed.add(folder, "sub", 4096, true, midnight);
    });
    searching.join();
    waitFor([&] { return model.rowCount() == 5001; });
    EXPECT_EQ(shown, QStringList{"/site/"});
    EXPECT_EQ(model.row(1025).name, "f1025");
    EXPECT_EQ(model.row(1025).size, "2KB");
    EXPECT_EQ(model.row(1025).time, "3/9/24");
    EXPECT_EQ(model.row(5000).size, "文件夹");
    // One folder, one copy of its bytes.
    EXPECT_EQ(model.row(0).folder.constData(), model.row(4999).folder.constData());

    std::thread stopping([&] { feed.setStatus("/late/"); });
    stopping.join();
    feed.dropStatus();
    feed.flush();
    EXPECT_EQ(shown, QStringList{"/site/"});
}

TFoundRow row(const char* name, const char* folder, const char* size, const char* time) {
    return {name, folder, size, time};
}

std::vector<TFoundRow> fourRows() {
    return {row("b.html", "/site/", "9KB", "3/9/24 1:05:02 PM"),
            row("A.php", "/site/inc/", "10KB", "3/10/24"),
            row("c.js", "/site/", "1KB", "12/1/23 9:00:00 AM"),
            row("a.php", "/other/", "10KB", "3/9/24")};
}

QStringList column(const MainForm& f, int c) {
    QStringList texts;
    for (int r = 0; r < f.FoundFilesModel->rowCount(); ++r)
        texts << QString::fromUtf8(f.FoundFilesModel->row(r).text(c));
    return texts;
}

struct SortCase {
    int column;
    QStringList ascending; // the clicked column's texts after one click
};
void PrintTo(const SortCase& c, std::ostream* os) {
    *os << "column " << c.column;
}

class ColumnSort : public WindowTest, public ::testing::WithParamInterface<SortCase> {};

// One click sorts ascending by the column as text, a second click descending; rows that compare
// equal keep their order (a stable sort), in both directions.
TEST_P(ColumnSort, AscendingThenDescending) {
    MainForm& f = makeForm();
    f.FoundFilesModel->append(fourRows());
    f.FoundFilesColumnClick(GetParam().column);
    EXPECT_EQ(f.SortColumn(), GetParam().column);
    EXPECT_FALSE(f.SortDescending());
    EXPECT_EQ(column(f, GetParam().column), GetParam().ascending);

    f.FoundFilesColumnClick(GetParam().column);
    EXPECT_TRUE(f.SortDescending());
    const QStringList descending = column(f, GetParam().column);
    for (qsizetype i = 0; i + 1 < descending.size(); ++i)
        EXPECT_GE(CompareText(descending[i].toUtf8(), descending[i + 1].toUtf8()), 0)
            << descending.join(" | ").toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Columns, ColumnSort,
    ::testing::Values(SortCase{0, {"A.php", "a.php", "b.html", "c.js"}},
                      SortCase{1, {"/other/", "/site/", "/site/", "/site/inc/"}},
                      SortCase{2, {"10KB", "10KB", "1KB", "9KB"}},
                      SortCase{3,
                               {"12/1/23 9:00:00 AM", "3/10/24", "3/9/24", "3/9/24 1:05:02 PM"}}));

TEST_F(WindowTest, StableOrderForEqualRowsAndAnotherColumnStartsAscending) {
    MainForm& f = makeForm();
    f.FoundFilesModel->append(fourRows());
    f.FoundFilesColumnClick(2); // sizes: the two 10KB rows keep their order (A.php, a.php)
    EXPECT_EQ(column(f, 0), (QStringList{"A.php", "a.php", "c.js", "b.html"}));
    f.FoundFilesColumnClick(2); // descending: equal rows still in the order they had
    EXPECT_EQ(column(f, 0), (QStringList{"b.html", "c.js", "A.php", "a.php"}));
    f.FoundFilesColumnClick(0);
    EXPECT_EQ(f.SortColumn(), 0);
    EXPECT_FALSE(f.SortDescending());
}

TEST_F(WindowTest, AHeaderClickWithoutRowsOnlyChangesTheSortState) {
    MainForm& f = makeForm();
    f.FoundFilesColumnClick(1);
    EXPECT_EQ(f.SortColumn(), 1);
    EXPECT_EQ(f.FoundFilesModel->rowCount(), 0);
}

TEST_F(WindowTest, TheSelectedRowStaysSelectedAcrossASort) {
    MainForm& f = makeForm();
    f.FoundFilesModel->append(fourRows());
    f.FoundFiles->setCurrentIndex(f.FoundFilesModel->index(2, 0)); // c.js
    f.FoundFilesColumnClick(0);
    const QModelIndexList selected = f.FoundFiles->selectionModel()->selectedRows();
    ASSERT_EQ(selected.size(), 1);
    EXPECT_EQ(f.FoundFilesModel->row(selected[0].row()).name, "c.js");
}

// Records what the desktop is asked to open.
class OpenRecorder : public QObject {
    Q_OBJECT
public:
    QList<QUrl> urls;
public Q_SLOTS:
    void open(const QUrl& url) { urls.append(url); }
};

TEST_F(WindowTest, DoubleClickOpensTheSelectedRowsFile) {
    OpenRecorder recorder;
    QDesktopServices::setUrlHandler("file", &recorder, "open");
    MainForm& f = showForm();
    f.FoundFilesModel->append(fourRows());
    QWidget* viewport = f.FoundFiles->viewport();

    QTest::mouseDClick(viewport, Qt::LeftButton, {}, QPoint(5, viewport->height() - 5));
    EXPECT_TRUE(recorder.urls.isEmpty()); // no row selected: nothing happens

    f.FoundFiles->setCurrentIndex(f.FoundFilesModel->index(1, 0));
    QTest::mouseDClick(viewport, Qt::LeftButton, {}, QPoint(5, viewport->height() - 5));
    ASSERT_EQ(recorder.urls.size(), 1); // anywhere in the list: the selected row
    EXPECT_EQ(recorder.urls[0], QUrl::fromLocalFile("/site/inc/A.php"));
    QDesktopServices::unsetUrlHandler("file");
}

// Answers the folder chooser the next time it shows: records where it started, then picks
// `choice` (or cancels when it is empty).
void answerChooser(QString* startedAt, const QString& choice) {
    QTimer::singleShot(0, [=] {
        auto* chooser = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (!chooser) {
            answerChooser(startedAt, choice);
            return;
        }
        *startedAt = chooser->directory().absolutePath();
        if (choice.isEmpty()) {
            chooser->reject();
            return;
        }
        chooser->setDirectory(choice);
        chooser->selectFile(choice);
        static_cast<QDialog*>(chooser)->accept(); // QFileDialog::accept, checked as a user's
    });
}

TEST_F(WindowTest, BrowseReplacesTheWholeLocationOnlyWhenConfirmed) {
    MainForm& f = makeForm();
    settings.mkdir("a/b");
    const QString a = QFile::decodeName(settings.path("a"));
    const QString b = QFile::decodeName(settings.path("a/b"));

    QString startedAt;
    f.Location->setText(a);
    answerChooser(&startedAt, {});
    f.BrowseButtonClick();
    EXPECT_EQ(startedAt, a);
    EXPECT_EQ(f.Location->text(), a); // cancelled: unchanged

    f.Location->setText(a + ";" + b); // several folders: none chosen, the top of the tree
    answerChooser(&startedAt, b);
    f.BrowseButtonClick();
    EXPECT_EQ(startedAt, "/");
    EXPECT_EQ(f.Location->text(), b);
}

} // namespace

#include "ResultsListTest.moc"
