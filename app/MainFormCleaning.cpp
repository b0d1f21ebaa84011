// The cleaning side of the window: batch cleaning of the listed files and monitoring of the
// search path, both on worker threads, through the logic pagewarden-cli shares.
#include "app/FieldText.h"
#include "app/FoundFilesModel.h"
#include "app/MainForm.h"
#include "cleaning/BatchCleaning.h"
#include "cleaning/CleaningRule.h"
#include "cleaning/MonitorCleaning.h"
#include "common/Text.h"
#include "history/HistoryJob.h"
#include "search/FindFile.h"
#include "search/TargetSearch.h"
#include "threads/OBThread.h"
#include "threads/WaitForJobs.h"
#include "watch/FileSystemWatcher.h"

#include <QApplication>
#include <QFileInfo>
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

// Why a file of a batch was left as it was, for the log; empty when it was cleaned or needed no
// change. One line per reason: a new reason of the cleaning result is one line more here.
QString MainForm::LeftUnchangedReason(const CleanReport& report) {
    if (report.outcome != CleanOutcome::Failed)
        return report.complete ? QString() : tr("规则超出匹配限制，有一行未清理");
    if (report.left == LeftReason::Binary) return tr("二进制文件");
    switch (report.problem) {
    case FileProblem::None:
        return {}; // a refused rule: shown once for the whole batch
    case FileProblem::Folder:
        return {}; // a folder row is not a file to clean
    case FileProblem::Missing:
        return tr("文件已不存在");
    case FileProblem::SymbolicLink:
        return tr("符号链接");
    case FileProblem::Special:
        return tr("不是普通文件");
    case FileProblem::ReadOnly:
        return tr("只读文件");
    case FileProblem::NoAccess:
        return tr("没有读写权限");
    case FileProblem::TooLarge:
        return tr("文件过大");
    case FileProblem::Changed:
        return tr("清理时被其他程序修改");
    case FileProblem::NotBeneath:
        return tr("路径中有符号链接或不在搜索路径下");
    case FileProblem::OwnerNotKept:
        return tr("无法保留文件所有者");
    case FileProblem::Io:
        return tr("无法写入");
    case FileProblem::NoBackup:
        return tr("无法备份");
    }
    return tr("无法清理");
}

QString MainForm::RuleRefusedText(const EPcreError& error) {
    if (error.offset() < 0) return tr("正则匹配规则为空");
    return tr("正则匹配规则无效（位置 %1）: %2")
        .arg(error.offset())
        .arg(QString::fromUtf8(error.pcreMessage()));
}

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
    Batch->OnFileCleaned = [this](const QByteArray& path, const CleanReport& report) {
        ClearThreadFinish(path, report);
    };
    Batch->OnBatchFinished = [this](const QByteArray& error) { ClearThreadFinishAll(error); };

    Monitor = new TMonitorCleaning(*FileSystemWatcher1, *ClearThread1);
    Monitor->Rule = rule;
    Monitor->Keyword = keyword;
    // The masks as the field holds them when each job starts: only web files are cleaned.
    Monitor->Masks = [this] { return Filename->text().toUtf8(); };
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
        const QString text = RuleRefusedText(*error);
        Logs->appendPlainText(text + tr("，未开始清理"));
        QMessageBox::warning(this, tr("提示"), text);
        return;
    }
    // Each row is cleaned beneath the searched folder it was found in.
    const QByteArrayList roots = SearchRoots(FindFile->Criteria());
    QList<CleanTarget> targets;
    targets.reserve(FoundFilesModel->rowCount());
    for (int i = 0; i < FoundFilesModel->rowCount(); ++i)
        targets.append(CleanTarget::beneath(roots, FoundFilesModel->row(i).path()));
    ClearButton->setEnabled(false);
    m_leftUnchanged = 0;
    // Every rewrite of the batch can be undone with pagewarden-cli restore.
    Batch->History = std::make_shared<HistoryJob>(origin::WindowBatch, roots.join(';'));
    Batch->Start(targets);
}

void MainForm::ClearThreadFinish(const QByteArray& path, const CleanReport& report) {
    const QString reason = LeftUnchangedReason(report);
    if (reason.isEmpty()) return;
    ++m_leftUnchanged;
    Logs->appendPlainText(tr("未清理（%1）: %2").arg(reason, QString::fromUtf8(path)));
}

void MainForm::ClearThreadFinishAll(const QByteArray& error) {
    ClearButton->setEnabled(true);
    if (!error.isEmpty()) {
        QMessageBox::critical(this, QApplication::applicationDisplayName(),
                              QString::fromUtf8(error));
        return;
    }
    QString text = tr("木马清理完毕");
    if (m_leftUnchanged > 0) text += tr("，%1 个文件未清理（原因见监控日志）").arg(m_leftUnchanged);
    setStatusText(text);
}

void MainForm::JkButtonClick() {
    if (JkButton->text() == tr("开始监控")) {
        const QByteArrayList folders = MonitoredFolders(trimmed(Location->text().toUtf8()));
        for (const QByteArray& folder : folders) {
            const QString name = QString::fromUtf8(trimmed(folder));
            if (!QFileInfo(name).isDir()) {
                QMessageBox::warning(this, tr("提示"),
                                     tr("监控路径不存在或不是文件夹: %1").arg(name));
                return;
            }
        }
        JkButton->setText(tr("停止监控"));
        Monitor->History =
            std::make_shared<HistoryJob>(origin::WindowMonitoring, Location->text().toUtf8());
        Monitor->Start(folders);
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
