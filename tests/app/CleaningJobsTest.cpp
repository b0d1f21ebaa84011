#include "app/FoundFilesModel.h"
#include "app/ResultsView.h"
#include "cleaning/BatchCleaning.h"
#include "cleaning/MonitorCleaning.h"
#include "common/Defaults.h"
#include "history/BackupStore.h"
#include "history/HistoryLocation.h"
#include "history/Journal.h"
#include "tests/app/WindowFixture.h"
#include "threads/OBThread.h"
#include "watch/FileSystemWatcher.h"

#include <QCheckBox>
#include <QDir>
#include <QHeaderView>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>

#include <cerrno>
#include <cstdio>
#include <unistd.h>

using namespace pw;
using pw::test::readFile;
using pw::test::TempTree;
using pw::test::WindowTest;

namespace {

const QByteArray Infected = "<p>x</p>\n<script src=\"http://evilstats.example/a.js\"></script>\n";
const QByteArray Clean = "<p>x</p>\r\n";

class CleaningTest : public WindowTest {
protected:
    // A window whose list holds what an unthreaded search of the site finds.
    MainForm& searched(const QString& masks = "*.html;*.php",
                       const QString& keyword = "evilstats") {
        MainForm& f = showForm();
        f.Threaded->setChecked(false);
        f.Location->setText(QFile::decodeName(site.path()));
        f.Filename->setText(masks);
        f.Phrase->setText(keyword);
        f.FindButton->click();
        waitFor([&] { return !f.FindFile->Busy(); });
        return f;
    }

    // Answers the next message box with OK and gives back "caption|text".
    QString answerNextBox() {
        auto* text = new QString;
        m_boxes.emplace_back(text);
        QTimer::singleShot(0, [text] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                *text = box->windowTitle() + "|" + box->text();
                box->accept();
            }
        });
        return {};
    }
    QString lastBox() const { return m_boxes.empty() ? QString() : *m_boxes.back(); }

    QStringList logLines(const MainForm& f) const {
        return f.Logs->toPlainText().split('\n', Qt::SkipEmptyParts);
    }
    QString logLine(const QByteArray& path) const { return QString::fromUtf8("文件修改: " + path); }
    // Waits until the log has not grown for a while and no monitor job is left.
    void settle(const MainForm& f) {
        qsizetype seen = -1;
        while (seen != logLines(f).size()) {
            seen = logLines(f).size();
            pw::test::waitFor([&] { return logLines(f).size() != seen; },
                              std::chrono::milliseconds(400));
        }
        waitFor([&] { return !f.ClearThread1->OneThreadIsRunning(); });
    }

    TempTree site;

private:
    std::vector<std::unique_ptr<QString>> m_boxes;
};

TEST_F(CleaningTest, BatchCleansTheRowsInOrderOneAfterTheOther) {
    const QList<QByteArray> files{site.write("a.html", Infected), site.write("b.php", Infected),
                                  site.write("sub/c.html", Infected)};
    MainForm& f = searched();
    ASSERT_EQ(f.FoundFilesModel->rowCount(), 3);
    QList<QByteArray> rows;
    for (int i = 0; i < 3; ++i)
        rows.append(f.FoundFilesModel->row(i).path());
    QList<QByteArray> order;
    bool disabledThroughout = true;
    f.Batch->OnFileCleaned = [&](const QByteArray& path, const CleanReport&) {
        order.append(path);
        disabledThroughout = disabledThroughout && !f.ClearButton->isEnabled();
        EXPECT_LE(f.ClearThread->ThreadCount(), 1);
    };
    f.ClearButton->click();
    EXPECT_FALSE(f.ClearButton->isEnabled());
    ASSERT_TRUE(waitFor([&] { return f.ClearButton->isEnabled(); }));
    EXPECT_EQ(order, rows);
    EXPECT_TRUE(disabledThroughout);
    EXPECT_EQ(f.statusText(), QString::fromUtf8("木马清理完毕"));
    for (const QByteArray& file : files)
        EXPECT_EQ(readFile(file), Clean);
}

TEST_F(CleaningTest, BatchKeepsBackupsAndLeavesTheFilesItCannotBackUp) {
    const QByteArray file = site.write("a.html", Infected);
    MainForm& f = searched();
    ASSERT_EQ(f.FoundFilesModel->rowCount(), 1);
    setBackupFailureForTests(ENOSPC);
    f.ClearButton->click();
    ASSERT_TRUE(waitFor([&] { return f.ClearButton->isEnabled(); }));
    setBackupFailureForTests(0);
    EXPECT_EQ(f.statusText(), QString::fromUtf8("木马清理完毕，1 个文件未清理（原因见监控日志）"));
    EXPECT_EQ(logLines(f), QStringList{QString::fromUtf8("未清理（无法备份）: " + file)});
    EXPECT_EQ(readFile(file), Infected);

    f.ClearButton->click();
    ASSERT_TRUE(waitFor([&] { return f.ClearButton->isEnabled(); }));
    EXPECT_EQ(f.statusText(), QString::fromUtf8("木马清理完毕"));
    EXPECT_EQ(readFile(file), Clean);
    const QList<JournalRecord> records = Journal(historyFolder()).read().records;
    const auto record = std::find_if(records.begin(), records.end(),
                                     [&](const JournalRecord& r) { return r.path == file; });
    ASSERT_NE(record, records.end());
    EXPECT_EQ(record->origin, "window batch");
    EXPECT_EQ(BackupStore(historyFolder()).read(record->sha256), Infected);
}

// The rows are cleaned beneath the searched folder: a folder swapped for a link to another tree
// between the search and the batch leads nowhere.
TEST_F(CleaningTest, BatchDoesNotFollowAFolderSwappedAfterTheSearch) {
    const QByteArray kept = site.write("a.html", Infected);
    site.write("d/b.html", Infected);
    TempTree elsewhere;
    const QByteArray outside = elsewhere.write("b.html", Infected);
    MainForm& f = searched();
    ASSERT_EQ(f.FoundFilesModel->rowCount(), 2);
    ASSERT_EQ(std::rename(site.path("d").constData(), site.path("d.old").constData()), 0);
    ASSERT_EQ(::symlink(elsewhere.path().constData(), site.path("d").constData()), 0);
    QList<FileProblem> problems;
    f.Batch->OnFileCleaned = [&](const QByteArray&, const CleanReport& report) {
        problems.append(report.problem);
    };
    f.ClearButton->click();
    ASSERT_TRUE(waitFor([&] { return f.ClearButton->isEnabled(); }));
    EXPECT_EQ(problems, (QList{FileProblem::None, FileProblem::NotBeneath}));
    EXPECT_EQ(readFile(kept), Clean);
    EXPECT_EQ(readFile(outside), Infected);
    EXPECT_EQ(readFile(site.path("d.old/b.html")), Infected);
}

TEST_F(CleaningTest, AFolderRowIsPassedOverAndTheBatchEnds) {
    const QByteArray file = site.write("a.html", Infected);
    site.mkdir("folder.html");
    MainForm& f = searched("*.html", ""); // no keyword: the folder is listed too
    f.Phrase->setText("evilstats");
    ASSERT_EQ(f.FoundFilesModel->rowCount(), 2);
    f.ClearButton->click();
    ASSERT_TRUE(waitFor([&] { return f.ClearButton->isEnabled(); }));
    EXPECT_EQ(f.statusText(), QString::fromUtf8("木马清理完毕"));
    EXPECT_EQ(readFile(file), Clean);
}

TEST_F(CleaningTest, SortingAndSearchingDuringABatchCleanEachFileOnce) {
    for (int i = 0; i < 6; ++i)
        site.write("f" + QByteArray::number(i) + ".html", Infected);
    MainForm& f = searched();
    ASSERT_EQ(f.FoundFilesModel->rowCount(), 6);
    QMap<QByteArray, int> times;
    f.Batch->OnFileCleaned = [&](const QByteArray& path, const CleanReport&) {
        if (times.isEmpty()) {
            f.FoundFiles->header()->sectionClicked(0); // descending after the search's order
            f.FoundFiles->header()->sectionClicked(0);
            f.FindButton->click(); // finds nothing new: the first file is clean now
        }
        ++times[path];
    };
    f.ClearButton->click();
    ASSERT_TRUE(waitFor([&] { return f.ClearButton->isEnabled() && !f.FindFile->Busy(); }));
    EXPECT_EQ(times.size(), 6);
    for (int n : times)
        EXPECT_EQ(n, 1);
}

TEST_F(CleaningTest, NothingToCleanAndBadRulesAreSaidInABox) {
    MainForm& f = showForm();
    answerNextBox();
    f.ClearButton->click();
    EXPECT_EQ(lastBox(), QString::fromUtf8("提示|没有可以清理的文件~"));

    const QByteArray file = site.write("a.html", Infected);
    searched();
    f.regxTxt->setText("(<script");
    answerNextBox();
    f.ClearButton->click();
    // Said in the window's language, with PCRE's own text and offset.
    EXPECT_EQ(lastBox(),
              QString::fromUtf8("提示|正则匹配规则无效（位置 8）: missing closing parenthesis"));
    EXPECT_TRUE(logLines(f).contains(
        QString::fromUtf8("正则匹配规则无效（位置 8）: missing closing parenthesis，未开始清理")));
    EXPECT_TRUE(f.ClearButton->isEnabled());
    EXPECT_EQ(readFile(file), Infected);
}

TEST_F(CleaningTest, MonitoringLogsAndCleansEachModifiedFile) {
    const QByteArray old = site.write("old.html", Clean);
    MainForm& f = showForm();
    f.Location->setText("  " + QFile::decodeName(site.path()) + " ");
    f.JkButton->click();
    EXPECT_EQ(f.JkButton->text(), QString::fromUtf8("停止监控"));
    ASSERT_TRUE(waitFor([&] { return f.FileSystemWatcher1->watching(); }));
    EXPECT_EQ(f.FileSystemWatcher1->WatchedDir(), site.path());

    // No content change: an empty new file, a rename, a deletion.
    const QByteArray empty = site.write("empty.html", "");
    ASSERT_EQ(std::rename(old.constData(), site.path("renamed.html").constData()), 0);
    ASSERT_EQ(::unlink(empty.constData()), 0);
    settle(f);
    EXPECT_EQ(logLines(f), QStringList{});

    const QByteArray inPlace = site.write("renamed.html", Infected);
    const QByteArray created = site.write("sub/new.php", Infected);
    const QByteArray beside = site.write(".moved.js.part", Infected);
    const QByteArray moved = site.path("moved.js");
    ASSERT_EQ(std::rename(beside.constData(), moved.constData()), 0);
    ASSERT_TRUE(waitFor([&] {
        return readFile(inPlace) == Clean && readFile(created) == Clean && readFile(moved) == Clean;
    }));
    settle(f);
    const QStringList lines = logLines(f);
    for (const QByteArray& path : {inPlace, created, moved})
        EXPECT_TRUE(lines.contains(logLine(path))) << lines.join('\n').toStdString();
    // Its own rewrite is logged at most once more per file, and then the log settles.
    EXPECT_LE(lines.size(), 2 * 4);
}

// Monitoring cleans only the files the masks field names when each job starts; an image, a
// stylesheet and a backup written under the tree are logged and left as they are.
TEST_F(CleaningTest, MonitoringCleansOnlyFilesOfTheMasksInForce) {
    MainForm& f = showForm();
    f.Location->setText(QFile::decodeName(site.path()));
    f.JkButton->click();
    ASSERT_TRUE(waitFor([&] { return f.FileSystemWatcher1->watching(); }));
    const QByteArray png = readFile(pw::test::sourcePath("docs/window.png")) + Infected;
    const QList<QByteArray> left{site.write("uploads/photo.png", png),
                                 site.write("style.css", Infected),
                                 site.write("index.php.bak", Infected)};
    const QByteArray page = site.write("index.php", Infected);
    ASSERT_TRUE(waitFor([&] { return readFile(page) == Clean; }));
    settle(f);
    const QStringList lines = logLines(f);
    for (const QByteArray& path : left)
        EXPECT_TRUE(lines.contains(logLine(path))) << path.constData();
    EXPECT_EQ(readFile(left[0]), png);
    EXPECT_EQ(readFile(left[1]), Infected);
    EXPECT_EQ(readFile(left[2]), Infected);

    // The field as it stands when each job starts; with "*.png" among the masks, the image's
    // signature still keeps it whole.
    f.Filename->setText("*.css;*.png");
    site.write("style.css", Infected);
    site.write("uploads/photo.png", png);
    ASSERT_TRUE(waitFor([&] { return readFile(left[1]) == Clean; }));
    settle(f);
    EXPECT_EQ(readFile(left[0]), png);
}

TEST_F(CleaningTest, MonitoringButtonSwitchesAndWatchesTheFolderOfTheMoment) {
    MainForm& f = showForm();
    f.Location->setText(QFile::decodeName(site.path()));
    f.JkButton->click();
    f.JkButton->click();
    EXPECT_EQ(f.JkButton->text(), QString::fromUtf8("开始监控"));
    EXPECT_FALSE(f.FileSystemWatcher1->Actived());
    TempTree other;
    f.Location->setText(QFile::decodeName(other.path()));
    f.JkButton->click();
    EXPECT_TRUE(f.FileSystemWatcher1->Actived());
    EXPECT_EQ(f.FileSystemWatcher1->WatchedDir(), other.path());
    ASSERT_TRUE(waitFor([&] { return f.FileSystemWatcher1->watching(); }));
    const QByteArray file = other.write("a.htm", Infected);
    ASSERT_TRUE(waitFor([&] { return readFile(file) == Clean; }));
    EXPECT_TRUE(logLines(f).contains(logLine(file)));
    site.write("ignored.htm", Infected); // the first folder is no longer watched
    settle(f);
    EXPECT_EQ(readFile(site.path("ignored.htm")), Infected);
}

TEST_F(CleaningTest, FilesLeftForAReasonAreCountedAndLogged) {
    const QByteArray kept = site.write("a.html", Infected, 0444);
    const QByteArray cleaned = site.write("b.html", Infected);
    MainForm& f = searched();
    ASSERT_EQ(f.FoundFilesModel->rowCount(), 2);
    f.ClearButton->click();
    ASSERT_TRUE(waitFor([&] { return f.ClearButton->isEnabled(); }));
    EXPECT_EQ(f.statusText(), QString::fromUtf8("木马清理完毕，1 个文件未清理（原因见监控日志）"));
    EXPECT_EQ(logLines(f), QStringList{QString::fromUtf8("未清理（只读文件）: " + kept)});
    EXPECT_EQ(readFile(kept), Infected);
    EXPECT_EQ(readFile(cleaned), Clean);
}

TEST_F(CleaningTest, MonitoringAFolderThatIsNotThereIsRefused) {
    MainForm& f = showForm();
    for (const QByteArray& location : {site.path("missing"), site.write("a.html", Clean)}) {
        f.Location->setText(QFile::decodeName(location));
        answerNextBox();
        f.JkButton->click();
        EXPECT_EQ(lastBox(), QString::fromUtf8("提示|监控路径不存在或不是文件夹: " + location));
        EXPECT_EQ(f.JkButton->text(), QString::fromUtf8("开始监控"));
        EXPECT_FALSE(f.FileSystemWatcher1->Actived());
    }
}

TEST_F(CleaningTest, ClosingDuringABatchAsksFirst) {
    QByteArray big;
    for (int i = 0; i < 100000; ++i)
        big += "<p>line " + QByteArray::number(i) +
               "</p><script src=//evilstats.example/x></script>\n";
    site.write("big.html", big);
    site.write("other.html", Infected);
    MainForm& f = searched("*.html");
    f.ClearButton->click();
    QString asked;
    QTimer::singleShot(0, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            asked = box->windowTitle();
            box->button(QMessageBox::No)->click();
        }
    });
    EXPECT_FALSE(f.close());
    EXPECT_EQ(asked, QString::fromUtf8("提示"));
    EXPECT_TRUE(f.isVisible());
    ASSERT_TRUE(waitFor([&] { return f.ClearButton->isEnabled(); }));
    EXPECT_TRUE(f.close()); // no batch: nothing to ask
}

TEST_F(CleaningTest, MonitoringWatchesEveryFolderOfTheSearchPath) {
    TempTree other;
    MainForm& f = showForm();
    f.Location->setText(QFile::decodeName(site.path() + "; >" + other.path()));
    f.JkButton->click();
    ASSERT_TRUE(waitFor([&] { return f.FileSystemWatcher1->watching(); }));
    EXPECT_EQ(f.FileSystemWatcher1->WatchedDirs(), (QByteArrayList{site.path(), other.path()}));
    const QByteArray first = site.write("a.htm", Infected);
    const QByteArray second = other.write("sub/b.htm", Infected);
    ASSERT_TRUE(waitFor([&] { return readFile(first) == Clean && readFile(second) == Clean; }));
}

TEST_F(CleaningTest, ClosingWaitsForTheRunningJob) {
    // A file large enough for its job to be running when the window closes.
    QByteArray big;
    for (int i = 0; i < 100000; ++i) // within the default size bound of 10,240 KB
        big += "<p>line " + QByteArray::number(i) +
               "</p><script src=//evilstats.example/x></script>\n";
    const QByteArray file = site.write("big.html", big);
    MainForm& f = searched("*.html");
    f.ClearButton->click();
    QTimer::singleShot(0, [] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()))
            box->button(QMessageBox::Yes)->click();
    });
    EXPECT_TRUE(f.close());
    EXPECT_FALSE(f.ClearThread->OneThreadIsRunning());
    EXPECT_FALSE(readFile(file).contains("evilstats")); // the running job went to its end
    EXPECT_EQ(QDir(QFile::decodeName(site.path())).entryList(QDir::Files | QDir::Hidden),
              QStringList{"big.html"});
}

} // namespace
