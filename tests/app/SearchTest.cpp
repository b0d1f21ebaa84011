#include "app/FindAnimation.h"
#include "app/FoundFilesModel.h"
#include "app/RadioGroup.h"
#include "app/ResultsView.h"
#include "app/UpDown.h"
#include "common/Defaults.h"
#include "platform/SettingsStore.h"
#include "tests/app/WindowFixture.h"

#include <QCheckBox>
#include <QDateEdit>
#include <QHeaderView>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QSemaphore>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTimeEdit>
#include <QTimer>

#include <atomic>
#include <ctime>
#include <map>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>

using namespace pw;
using pw::test::readFile;
using pw::test::TempTree;
using pw::test::WindowTest;

namespace {

// Sets the last-write time of a file to a local date and time.
void setModified(const QByteArray& path, int year, int month, int day, int hour, int minute,
                 int second) {
    std::tm local{};
    local.tm_year = year - 1900;
    local.tm_mon = month - 1;
    local.tm_mday = day;
    local.tm_hour = hour;
    local.tm_min = minute;
    local.tm_sec = second;
    local.tm_isdst = -1;
    const timespec times[2] = {{0, UTIME_OMIT}, {std::mktime(&local), 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.constData(), times, AT_SYMLINK_NOFOLLOW), 0);
}

std::map<QByteArray, TFoundRow> rowsByName(const MainForm& f) {
    std::map<QByteArray, TFoundRow> rows;
    for (int i = 0; i < f.FoundFilesModel->rowCount(); ++i)
        rows[f.FoundFilesModel->row(i).name] = f.FoundFilesModel->row(i);
    return rows;
}

const QRegularExpression
    Summary(R"(^(\d+) folder\(s\) searched and (\d+) file\(s\) found - \d+\.\d{3} second\(s\)$)");

class SearchTest : public WindowTest, public ::testing::WithParamInterface<bool> {
protected:
    // A window set to search `folder` with the given masks and keyword, threaded or not.
    MainForm& prepare(const QByteArray& folder, const QString& masks, const QString& keyword) {
        MainForm& f = showForm();
        f.Threaded->setChecked(GetParam());
        f.Location->setText(QFile::decodeName(folder));
        f.Filename->setText(masks);
        f.Phrase->setText(keyword);
        return f;
    }
    void search(MainForm& f) {
        f.FindButton->click();
        waitFor([&] { return !f.FindFile->Busy(); });
    }
    TempTree site;
};

// Every entry becomes a row: its name, its folder, its size in kilobytes rounded up (a folder:
// "文件夹") and its last-write time (the date alone at midnight). The summary counts the folders
// entered and the rows, and the buttons, the animation and the settings follow the search.
TEST_P(SearchTest, RowsCarrySizeAndTimeTexts) {
    const QByteArray sizes[] = {"zero", "one", "k", "k1"};
    const int bytes[] = {0, 1, 1024, 1025};
    for (int i = 0; i < 4; ++i) {
        const QByteArray path = site.write(sizes[i] + ".txt", QByteArray(bytes[i], 'x'));
        setModified(path, 2024, 3, 9, 13, 5, 3); // two-second steps: shown as 13:05:02
    }
    setModified(site.write("midnight.txt", "x"), 2024, 3, 9, 0, 0, 0);
    site.mkdir("sub");
    setModified(site.write("sub/inner.txt", "x"), 2023, 12, 1, 9, 0, 0);

    MainForm& f = prepare(site.path(), "*", ""); // an empty keyword: no content condition
    QSignalSpy status(f.StatusBar, &QStatusBar::messageChanged);
    search(f);

    const std::map<QByteArray, TFoundRow> rows = rowsByName(f);
    ASSERT_EQ(rows.size(), 7u);
    const QByteArray root = site.path() + '/';
    const std::pair<const char*, const char*> expected[] = {
        {"zero.txt", "0KB"},     {"one.txt", "1KB"}, {"k.txt", "1KB"},    {"k1.txt", "2KB"},
        {"midnight.txt", "1KB"}, {"sub", "文件夹"},  {"inner.txt", "1KB"}};
    for (auto [name, size] : expected) {
        ASSERT_EQ(rows.count(name), 1u) << name;
        EXPECT_EQ(rows.at(name).size, size) << name;
        EXPECT_EQ(rows.at(name).folder, QByteArray(name) == "inner.txt" ? root + "sub/" : root);
    }
    EXPECT_EQ(rows.at("k1.txt").time, "3/9/24 1:05:02 PM");
    EXPECT_EQ(rows.at("midnight.txt").time, "3/9/24");
    EXPECT_EQ(rows.at("inner.txt").time, "12/1/23 9:00:00 AM");

    const QRegularExpressionMatch summary = Summary.match(f.statusText());
    ASSERT_TRUE(summary.hasMatch()) << f.statusText().toStdString();
    EXPECT_EQ(summary.captured(1), "2");
    EXPECT_EQ(summary.captured(2), "7");
    // On the way, the folder being searched (with a thread, the latest one at each update).
    EXPECT_TRUE(status.contains(QVariantList{QFile::decodeName(root)}) ||
                status.contains(QVariantList{QFile::decodeName(root + "sub/")}));

    EXPECT_TRUE(f.FindButton->isEnabled());
    EXPECT_FALSE(f.StopButton->isEnabled());
    EXPECT_TRUE(f.Threaded->isEnabled());
    EXPECT_FALSE(f.Animate->Active());
    EXPECT_EQ(f.SortColumn(), -1);
    // An empty keyword is stored empty, so the next start shows the default one.
    const TSettingsStore store = TSettingsStore::fromEnvironment();
    EXPECT_EQ(store.readString(MainForm::SettingsKey, "SearchKey"), "");
    EXPECT_EQ(store.readString(MainForm::SettingsKey, "SearchPath"), site.path());
}

// The keyword is a content condition, searched with its blanks; only files are listed then.
TEST_P(SearchTest, TheKeywordSelectsFilesByContent) {
    site.write("a.html", "<p>bad EvilStats.Example here</p>");
    site.write("b.html", "<p>bad evilstats.example</p>"); // no blank after it
    site.write("c.htm", "nothing");
    site.write("d.css", "bad evilstats.example here");
    site.mkdir("e.html");
    MainForm& f = prepare(site.path(), "*.html;*.htm", " evilstats.example ");
    search(f);
    const std::map<QByteArray, TFoundRow> rows = rowsByName(f);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows.begin()->first, "a.html");

    f.IgnoreCase->setChecked(false);
    search(f);
    EXPECT_EQ(f.FoundFilesModel->rowCount(), 0);
    EXPECT_TRUE(Summary.match(f.statusText()).hasMatch()) << f.statusText().toStdString();
    EXPECT_EQ(TSettingsStore::fromEnvironment().readString(MainForm::SettingsKey, "SearchKey"),
              "evilstats.example");
}

// A name that is not valid UTF-8 keeps its bytes in the row, and is cleaned at its real path.
TEST_P(SearchTest, NamesAreKeptAsBytes) {
    const QByteArray name = "\xB0\xA1.html";
    const QByteArray path =
        site.write(name, "<p>a</p><script src=\"http://evilstats.example/x.js\"></script>\n");
    MainForm& f = prepare(site.path(), "*.html", "evilstats.example");
    search(f);
    ASSERT_EQ(f.FoundFilesModel->rowCount(), 1);
    EXPECT_EQ(f.FoundFilesModel->row(0).name, name);
    std::thread job([&] { f.ClearListedFile(0); });
    job.join();
    EXPECT_EQ(readFile(path), "<p>a</p>\r\n");
}

INSTANTIATE_TEST_SUITE_P(Modes, SearchTest, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? "Threaded" : "Unthreaded"; });

struct CriteriaCase {
    const char* name;
    int choice; // DateRangeChoice item
    bool ad, at, bd, bt;
    int sizeMin, sizeMax;
    // expected: created, modified, accessed (before, after) as multiples of the picked values
    double bounds[6];
};
void PrintTo(const CriteriaCase& c, std::ostream* os) {
    *os << c.name;
}

class CriteriaFromControls : public WindowTest,
                             public ::testing::WithParamInterface<CriteriaCase> {};

// The controls as FindButtonClick hands them over. Days: after 2024-03-09 (45360), before
// 2024-03-20 (45371); times of day: after 06:00 (0.25), before 18:00 (0.75).
TEST_P(CriteriaFromControls, BecomeTheSearchCriteria) {
    const CriteriaCase& c = GetParam();
    TempTree empty;
    MainForm& f = makeForm();
    f.Location->setText(QFile::decodeName(empty.path()));
    f.DateRangeChoice->setItemIndex(c.choice);
    f.AfterDate->setDate(QDate(2024, 3, 9));
    f.BeforeDate->setDate(QDate(2024, 3, 20));
    f.AfterTime->setTime(QTime(6, 0));
    f.BeforeTime->setTime(QTime(18, 0));
    f.AD->setChecked(c.ad);
    f.AT->setChecked(c.at);
    f.BD->setChecked(c.bd);
    f.BT->setChecked(c.bt);
    f.SizeMin->setPosition(c.sizeMin);
    f.SizeMax->setPosition(c.sizeMax);
    f.Threaded->setChecked(false);
    f.FindButtonClick();

    const TSearchCriteria& criteria = f.FindFile->Criteria();
    const TDateTimeCriteria& t = criteria.TimeStamp();
    const double actual[6] = {t.CreatedBefore(), t.CreatedAfter(),   t.ModifiedBefore(),
                              t.ModifiedAfter(), t.AccessedBefore(), t.AccessedAfter()};
    for (int i = 0; i < 6; ++i)
        EXPECT_DOUBLE_EQ(actual[i], c.bounds[i]) << "bound " << i;
    EXPECT_EQ(criteria.Size().Min(), qint64{c.sizeMin} * 1024);
    EXPECT_EQ(criteria.Size().Max(), qint64{c.sizeMax} * 1024);
    EXPECT_EQ(criteria.Files().FileName(), DefaultMasks);
    EXPECT_EQ(criteria.Files().Location(), empty.path());
    EXPECT_TRUE(criteria.Files().Subfolders());
    EXPECT_EQ(criteria.Content().Phrase(), DefaultKeyword);
    EXPECT_TRUE(criteria.Content().IgnoreCase());
    EXPECT_FALSE(criteria.Content().WholeWord());
    // The hidden attribute page: every box grey, so no attribute is required or forbidden.
    EXPECT_EQ(criteria.AttributeEx().requiredMask(), 0u);
    EXPECT_EQ(criteria.AttributeEx().forbiddenMask(), 0u);
    EXPECT_EQ(criteria.Attribute().Attributes(),
              (TFileAttributes{ffArchive, ffReadonly, ffHidden, ffSystem, ffDirectory}));
    EXPECT_FALSE(criteria.Attribute().ExactMatch());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CriteriaFromControls,
    ::testing::Values(
        CriteriaCase{"NoBoxes", 0, false, false, false, false, 0, 10240, {0, 0, 0, 0, 0, 0}},
        CriteriaCase{"CreatedDays", 0, true, false, true, false, 0, 0, {45371, 45360, 0, 0, 0, 0}},
        CriteriaCase{
            "ModifiedBeforeTimeOnly", 1, false, false, false, true, 1, 2, {0, 0, 0.75, 0, 0, 0}},
        CriteriaCase{"ModifiedDayPlusTime",
                     1,
                     true,
                     true,
                     true,
                     true,
                     0,
                     32767,
                     {0, 0, 45371.75, 45360.25, 0, 0}},
        CriteriaCase{"AccessedAfter", 2, true, true, false, false, 5, 0, {0, 0, 0, 0, 0, 45360.25}},
        CriteriaCase{"NoItemChosen", -1, true, true, true, true, 0, 0, {0, 0, 0, 0, 0, 0}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(WindowTest, TimeBoxAloneAtMidnightSetsNoBound) {
    TempTree empty;
    MainForm& f = makeForm();
    f.Location->setText(QFile::decodeName(empty.path()));
    f.DateRangeChoice->setItemIndex(1);
    f.BT->setChecked(true);
    f.BeforeTime->setTime(QTime(0, 0));
    f.Threaded->setChecked(false);
    f.FindButtonClick();
    EXPECT_EQ(f.FindFile->Criteria().TimeStamp().ModifiedBefore(), 0.0);
}

// A threaded search held in its first folder, so that the window can be looked at and used
// while it runs. release() lets it go on.
class HeldSearch {
public:
    explicit HeldSearch(MainForm& f)
        : m_original(f.FindFile->OnFolderChange) {
        f.FindFile->OnFolderChange = [this](QObject* s, const QByteArray& folder,
                                            TFolderIgnore& ignore) {
            m_original(s, folder, ignore);
            if (!m_held.exchange(true)) m_gate.acquire();
        };
    }
    bool held() const { return m_held; }
    void release() { m_gate.release(); }
    // Lets the search go on a moment from now, from the window's event loop, so that a call
    // that waits for the search (Abort) is already waiting.
    void releaseSoon() {
        QTimer::singleShot(100, [this] { release(); });
    }

private:
    TFolderChangeEvent m_original;
    std::atomic<bool> m_held{false};
    QSemaphore m_gate;
};

void fillTree(TempTree& site) {
    for (int i = 0; i < 5; ++i)
        site.write("d" + QByteArray::number(i) + "/f.html", "x");
    site.write("top.html", "x");
}

// Stop: "正在停止, 请稍候..." while the search winds down, then "搜索已停止 - " and the summary
// of what was found before the stop. A header click meanwhile is refused with a warning and
// changes neither the order nor the sort state.
TEST_F(WindowTest, StopDuringAThreadedSearch) {
    TempTree site;
    fillTree(site);
    MainForm& f = showForm();
    f.Location->setText(QFile::decodeName(site.path()));
    f.Phrase->clear();
    f.Filename->setText("*.html");
    HeldSearch hold(f);
    QSignalSpy status(f.StatusBar, &QStatusBar::messageChanged);

    f.FindButton->click();
    ASSERT_TRUE(waitFor([&] { return hold.held(); }));
    EXPECT_FALSE(f.FindButton->isEnabled());
    EXPECT_TRUE(f.StopButton->isEnabled());
    EXPECT_FALSE(f.Threaded->isEnabled());
    EXPECT_TRUE(f.Animate->Active());

    QString warning;
    QTimer::singleShot(0, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            warning = box->windowTitle() + "|" + box->text();
            box->accept();
        }
    });
    f.FoundFiles->header()->sectionClicked(0);
    EXPECT_EQ(warning, QString::fromUtf8("Warning|正在清理不能进行排序操作."));
    EXPECT_EQ(f.SortColumn(), -1);

    hold.releaseSoon();
    f.StopButton->click(); // Abort waits for the held handler, serving events meanwhile
    waitFor([&] { return !f.FindFile->Busy(); });
    EXPECT_TRUE(status.contains(QVariantList{QString::fromUtf8("正在停止, 请稍候...")}));
    const QString text = f.statusText();
    const QString stopped = QString::fromUtf8("搜索已停止 - ");
    ASSERT_TRUE(text.startsWith(stopped)) << text.toStdString();
    const QRegularExpressionMatch summary = Summary.match(text.mid(stopped.size()));
    ASSERT_TRUE(summary.hasMatch()) << text.toStdString();
    EXPECT_EQ(summary.captured(1), "1"); // only the first folder was entered
    EXPECT_EQ(summary.captured(2).toInt(), f.FoundFilesModel->rowCount());
    EXPECT_LE(f.FoundFilesModel->rowCount(), 1);
    EXPECT_TRUE(f.FindButton->isEnabled());
    EXPECT_FALSE(f.StopButton->isEnabled());
}

// Unthreaded, the Stop button is served from inside the search (its handlers process events).
TEST_F(WindowTest, StopDuringAnUnthreadedSearch) {
    TempTree site;
    fillTree(site);
    MainForm& f = showForm();
    f.Location->setText(QFile::decodeName(site.path()));
    f.Phrase->clear();
    f.Filename->setText("*.html");
    f.Threaded->setChecked(false);
    const TFolderChangeEvent original = f.FindFile->OnFolderChange;
    int folders = 0;
    f.FindFile->OnFolderChange = [&](QObject* s, const QByteArray& folder, TFolderIgnore& ignore) {
        original(s, folder, ignore);
        if (++folders == 2)
            QTimer::singleShot(0, f.StopButton, &QPushButton::click); // a click during the walk
    };
    f.FindButton->click(); // returns when the search has ended
    EXPECT_FALSE(f.FindFile->Busy());
    EXPECT_TRUE(f.statusText().startsWith(QString::fromUtf8("搜索已停止 - 2 folder(s)")))
        << f.statusText().toStdString();
}

// Closing the window during a search stops the search and closes; nothing is asked.
TEST_F(WindowTest, CloseDuringASearch) {
    TempTree site;
    fillTree(site);
    MainForm& f = showForm();
    f.Location->setText(QFile::decodeName(site.path()));
    HeldSearch hold(f);
    f.FindButton->click();
    ASSERT_TRUE(waitFor([&] { return hold.held(); }));
    hold.releaseSoon();
    EXPECT_TRUE(f.close());
    EXPECT_FALSE(f.isVisible());
    waitFor([&] { return !f.FindFile->Busy(); });
    EXPECT_TRUE(f.FindFile->Aborted());
}

// The window destroyed while its search is held: the search is torn down first, and nothing
// of the window is touched afterwards.
TEST_F(WindowTest, DestroyedDuringASearch) {
    TempTree site;
    fillTree(site);
    MainForm& f = showForm();
    f.Location->setText(QFile::decodeName(site.path()));
    auto* hold = new HeldSearch(f);
    f.FindButton->click();
    ASSERT_TRUE(waitFor([&] { return hold->held(); }));
    hold->releaseSoon();
    form.reset();
    delete hold;
}

} // namespace
