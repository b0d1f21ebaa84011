// The cleaning side of the window: batch cleaning of the listed files and monitoring of the
// search path, both on worker threads, through the logic pagewarden-cli shares.
#include "app/FieldText.h"
#include "app/FoundFilesModel.h"
#include "app/MainForm.h"
#include "cleaning/BatchCleaning.h"
#include "cleaning/CleaningRule.h"
#include "cleaning/MonitorCleaning.h"
#include "history/HistoryJob.h"
#include "search/FindFile.h"
#include "search/TargetSearch.h"
#include "threads/OBThread.h"
#include "threads/WaitForJobs.h"
#include "watch/FileSystemWatcher.h"

#include <QApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>

namespace pw {

namespace {

// Every folder of the search path, split at ";" as the search splits it. The watch covers each
// folder's subfolders whatever its "<" or ">" mark says, as monitoring always has.
QByteArrayList MonitoredFolders(const QByteArray& location) {
    QByteArrayList folders;
    for (QByteArray item : SplitList(location, Qt::CaseSensitive)) {
        TakeRecursionPrefix(item, true);
        folders.append(item);
    }
    return folders.isEmpty() ? QByteArrayList{location} : folders;
}

} // namespace
void MainForm::CreateCleaning() {
    ClearThread = new TOBThread(this);
    ClearThread->setObjectName("ClearThread");
    ClearThread1 = new TOBThread(this);
    ClearThread1->setObjectName("ClearThread1");
    for (TOBThread* worker : {ClearThread, ClearThread1}) {
        worker->setExclusif(true);
        worker->setRunOnCreate(true);
        worker->setFreeOnTerminate(true);
    }
    FileSystemWatcher1 = new TFileSystemWatcher(this);
    FileSystemWatcher1->setObjectName("FileSystemWatcher1");
    FileSystemWatcher1->setActived(false);
    FileSystemWatcher1->setWatchedDir(DefaultLocation);
    FileSystemWatcher1->setWatchSubTree(true);
    FileSystemWatcher1->setNotifyFilters({nfAttributeChange});

    // The rule is read as each job starts, the keyword by the job for every match it tests.
    const auto rule = [this] { return m_ruleText->text(); };
    const KeywordSource keyword = [this] { return m_keywordText->text(); };

    Batch = new TBatchCleaning(*ClearThread);
    Batch->Rule = rule;
    Batch->Keyword = keyword;
    Batch->OnBatchFinished = [this](const QByteArray& error) { ClearThreadFinishAll(error); };
    Batch->OnFileCleaned = [this](const QByteArray&, const CleanReport& report) {
        if (report.problem == FileProblem::NoBackup) ++m_notBackedUp;
    };

    Monitor = new TMonitorCleaning(*FileSystemWatcher1, *ClearThread1);
    Monitor->Rule = rule;
    Monitor->Keyword = keyword;
    Monitor->OnLog = [this](const QByteArray& line, TMonitorCleaning::TLogLevel) {
        Logs->appendPlainText(QString::fromUtf8(line));
    };
}

// The batch takes the listed paths now: sorting or searching again while it runs changes
// neither which files are cleaned nor how often.
void MainForm::ClearButtonClick() {
    if (FoundFilesModel->rowCount() == 0) {
        QMessageBox::information(this, tr("提示"), tr("没有可以清理的文件~"));
        return;
    }
    if (const auto error = checkCleaningRule(m_ruleText->text())) {
        QMessageBox::warning(this, QApplication::applicationName(),
                             QString::fromUtf8(error->what()));
        return;
    }
    // Each row is cleaned beneath the searched folder it was found in.
    const QByteArrayList roots = SearchRoots(FindFile->Criteria());
    QList<CleanTarget> targets;
    targets.reserve(FoundFilesModel->rowCount());
    for (int i = 0; i < FoundFilesModel->rowCount(); ++i)
        targets.append(CleanTarget::beneath(roots, FoundFilesModel->row(i).path()));
    ClearButton->setEnabled(false);
    // Every rewrite of the batch can be undone with pagewarden-cli restore.
    Batch->History = std::make_shared<HistoryJob>(origin::WindowBatch, roots.join(';'));
    m_notBackedUp = 0;
    Batch->Start(targets);
}

void MainForm::ClearThreadFinishAll(const QByteArray& error) {
    ClearButton->setEnabled(true);
    if (!error.isEmpty()) {
        QMessageBox::critical(this, QApplication::applicationName(), QString::fromUtf8(error));
        return;
    }
    if (m_notBackedUp > 0)
        setStatusText(tr("木马清理完毕，%1 个文件无法备份，未清理").arg(m_notBackedUp));
    else
        setStatusText(tr("木马清理完毕"));
}

void MainForm::JkButtonClick() {
    if (JkButton->text() == tr("开始监控")) {
        JkButton->setText(tr("停止监控"));
        Monitor->History =
            std::make_shared<HistoryJob>(origin::WindowMonitoring, Location->text().toUtf8());
        Monitor->Start(MonitoredFolders(Location->text().toUtf8()));
    } else {
        JkButton->setText(tr("开始监控"));
        Monitor->Stop();
    }
}

// Closing: no new job starts, and the running ones finish, so no file is left half-done and no
// job outlives the fields it reads.
void MainForm::FinishJobs() {
    Monitor->Stop();
    Monitor->DropPending();
    Batch->Abandon();
    WaitForJobs(*ClearThread);
    WaitForJobs(*ClearThread1);
}

} // namespace pw
