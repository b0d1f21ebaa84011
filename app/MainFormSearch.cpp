// The search side of the main window: the controls turned into the criteria of FindFile, the
// window following the search (status text, animation, buttons, rows), stopping and closing.
#include "app/FindAnimation.h"
#include "app/FoundFilesModel.h"
#include "app/MainForm.h"
#include "app/RadioGroup.h"
#include "app/RowText.h"
#include "app/SearchFeed.h"
#include "app/UpDown.h"
#include "platform/ErrorDisplay.h"
#include "platform/FileStatus.h"
#include "platform/TickCount.h"

#include <QApplication>
#include <QCheckBox>
#include <QDateEdit>
#include <QLineEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QThread>
#include <QTimeEdit>

#include <exception>

namespace pw {

namespace {

QByteArray bytes(const QLineEdit* edit) {
    return edit->text().toUtf8();
}

TFileAttributeStatus statusOf(const QCheckBox* box) {
    switch (box->checkState()) {
    case Qt::Checked:
        return fsSet;
    case Qt::Unchecked:
        return fsUnset;
    default:
        return fsIgnore;
    }
}

} // namespace

// The settings the search component carries from the layout.
void MainForm::CreateFindFile() {
    FindFile = new TFindFile(this);
    FindFile->setObjectName(QStringLiteral("FindFile"));
    TSearchCriteria& criteria = FindFile->Criteria();
    criteria.Attribute().setAttributes({ffArchive, ffReadonly, ffHidden, ffSystem, ffDirectory});
    criteria.Attribute().setExactMatch(false);
    criteria.AttributeEx().setReadonly(fsUnset);
    FindFile->setThreaded(false);
    FindFile->setThreadPriority(tpNormal);
    // Files are read ahead on the other processors; the events and their order stay the same.
    FindFile->setScanThreads(std::max(1, QThread::idealThreadCount()) - 1);
    FindFile->OnSearchBegin = [this](QObject* sender) { FindFileSearchBegin(sender); };
    FindFile->OnFolderChange = [this](QObject* sender, const QByteArray& folder,
                                      TFolderIgnore& ignore) {
        FindFileFolderChange(sender, folder, ignore);
    };
    FindFile->OnFileMatch = [this](QObject* sender, const QByteArray& folder,
                                   const TSearchRec& info) {
        FindFileFileMatch(sender, folder, info);
    };
    FindFile->OnSearchFinish = [this](QObject* sender) { FindFileSearchFinish(sender); };
    FindFile->OnSearchAbort = [this](QObject* sender) { FindFileSearchAbort(sender); };
    m_feed = new TSearchFeed(
        FoundFilesModel, [this](const QString& text) { setStatusText(text); }, this);
}

void MainForm::FindButtonClick() {
    FindFile->setThreaded(Threaded->isChecked());
    TSearchCriteria& criteria = FindFile->Criteria();

    // Exactly as typed: the search splits the lists at ";".
    criteria.Files().setFileName(bytes(Filename));
    criteria.Files().setLocation(bytes(Location));
    criteria.Files().setSubfolders(Subfolders->isChecked());

    criteria.Content().setPhrase(bytes(Phrase));
    criteria.Content().setIgnoreCase(IgnoreCase->isChecked());
    criteria.Content().setWholeWord(WholeWord->isChecked());

    const QCheckBox* const attributes[] = {Archive,      Readonly,   Hidden,    System,
                                           Directory,    Compressed, Encrypted, Offline,
                                           ReparsePoint, SparseFile, Temporary};
    for (int index = 1; index <= 11; ++index)
        criteria.AttributeEx().SetAttributeStatus(index, statusOf(attributes[index - 1]));

    criteria.Size().setMin(qint64{SizeMin->Position()} * 1024);
    criteria.Size().setMax(qint64{SizeMax->Position()} * 1024);

    SetTimeStampCriteria(criteria.TimeStamp());

    try {
        FindFile->Execute();
    } catch (const std::exception& error) {
        ShowError(error.what()); // the search has finished by now; nothing is saved
        return;
    }
    SaveSettings();
}

// One pair of bounds, picked by DateRangeChoice; each bound is a whole day, a time of day, both
// added, or 0 (no bound), as the check boxes say. Whether a picker is enabled does not count.
void MainForm::SetTimeStampCriteria(TDateTimeCriteria& times) const {
    times.setCreatedBefore(0);
    times.setCreatedAfter(0);
    times.setModifiedBefore(0);
    times.setModifiedAfter(0);
    times.setAccessedBefore(0);
    times.setAccessedAfter(0);
    const TDateTime before = (BD->isChecked() ? PickerDate(BeforeDate) : 0) +
                             (BT->isChecked() ? PickerTime(BeforeTime) : 0);
    const TDateTime after = (AD->isChecked() ? PickerDate(AfterDate) : 0) +
                            (AT->isChecked() ? PickerTime(AfterTime) : 0);
    switch (DateRangeChoice->ItemIndex()) {
    case 0:
        times.setCreatedBefore(before);
        times.setCreatedAfter(after);
        break;
    case 1:
        times.setModifiedBefore(before);
        times.setModifiedAfter(after);
        break;
    case 2:
        times.setAccessedBefore(before);
        times.setAccessedAfter(after);
        break;
    default:
        break;
    }
}

void MainForm::StopButtonClick() {
    FindFile->Abort();
}

void MainForm::FindFileSearchBegin(QObject*) {
    m_sortColumn = -1;
    // The list never sorts by itself: rows stay in the order they come.
    FoundFilesModel->clear();
    const bool findHadFocus = FindButton->hasFocus();
    FindButton->setEnabled(false);
    // Disabling the focused button moves the focus on; it comes back at the end unless the user
    // put it elsewhere meanwhile.
    m_focusMovedTo = findHadFocus ? QPointer<QWidget>(focusWidget()) : nullptr;
    StopButton->setEnabled(true);
    Threaded->setEnabled(false);
    Animate->Play();
    FolderCount = 0;
    StartTicks = TickCount();
}

void MainForm::FindFileFolderChange(QObject*, const QByteArray& Folder, TFolderIgnore&) {
    ++FolderCount;
    m_feed->setStatus(Folder);
    if (!FindFile->Threaded()) QApplication::processEvents();
}

void MainForm::FindFileFileMatch(QObject*, const QByteArray& Folder, const TSearchRec& FileInfo) {
    m_feed->add(Folder, FileInfo.Name, FileInfo.Size,
                (FileInfo.Attr & FILE_ATTRIBUTE_DIRECTORY) != 0, FileInfo.Time);
    if (!FindFile->Threaded()) QApplication::processEvents();
}

void MainForm::FindFileSearchAbort(QObject*) {
    m_feed->dropStatus();
    setStatusText(tr("正在停止, 请稍候..."));
    StatusBar->repaint();
}

void MainForm::FindFileSearchFinish(QObject*) {
    const quint32 now = TickCount();
    m_feed->flush();
    QString text = SearchSummary(FolderCount, FoundFilesModel->rowCount(), StartTicks, now);
    if (FindFile->Aborted()) text = tr("搜索已停止 - ") + text;
    setStatusText(text);
    Animate->Stop();
    Threaded->setEnabled(true);
    StopButton->setEnabled(false);
    FindButton->setEnabled(true);
    if (m_focusMovedTo && focusWidget() == m_focusMovedTo) FindButton->setFocus();
    m_focusMovedTo = nullptr;
}

// A close request is never refused; a running search is stopped first.
void MainForm::FormCloseQuery(bool& canClose) {
    if (FindFile->Busy()) FindFile->Abort();
    canClose = true;
}

bool MainForm::SearchBusy() const {
    return FindFile->Busy();
}

} // namespace pw
