#pragma once

#include "search/FindFile.h"

#include <QByteArray>
#include <QPointer>
#include <QWidget>

class QCheckBox;
class QDateEdit;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QStatusBar;
class QTabWidget;
class QTimeEdit;

namespace pw {

class TBatchCleaning;
class TFieldText;
class TFileSystemWatcher;
class TMonitorCleaning;
class TOBThread;
class TFindAnimation;
class TFoundFilesModel;
struct TFoundRow;
class TRadioGroup;
class TResultsView;
class TSearchFeed;
class TUpDown;

// The program's only window: every control of the layout as a named member (the member name
// is also the control's object name), the search and the results list, and the two stored
// settings (the keyword and the search path).
class MainForm : public QWidget {
    Q_OBJECT

public:
    static constexpr QSize ClientSize{672, 448};
    static constexpr QSize MinimumOuterSize{550, 220};
    static constexpr QSize PageSize{530, 202}; // the client area of a page, as designed
    static const QByteArray DefaultLocation;   // "/": the search path before any is saved
    static const QByteArray SettingsKey;       // "\SoftWare\Scrubline"

    explicit MainForm(QWidget* parent = nullptr);
    ~MainForm() override;

    // Controls directly on the window, in Tab order, then those without one.
    QPushButton* FindButton;
    QPushButton* StopButton;
    QTabWidget* PageControl;
    QCheckBox* Threaded;
    TResultsView* FoundFiles;
    QPushButton* ClearButton;
    QPushButton* JkButton;
    TFindAnimation* Animate;
    QStatusBar* StatusBar;

    // TabSheet1 " 清理 "
    QWidget* TabSheet1;
    QLabel* Label1;
    QLineEdit* Filename;
    QLabel* Label3;
    QLineEdit* Phrase;
    QCheckBox* WholeWord;
    QCheckBox* IgnoreCase;
    QLabel* Label2;
    QLineEdit* Location;
    QCheckBox* Subfolders;
    QPushButton* BrowseButton;
    QLabel* Label4;
    QLineEdit* regxTxt;

    // TabSheet3 " 高级 ": time-stamp and size ranges
    QWidget* TabSheet3;
    TRadioGroup* DateRangeChoice;
    QCheckBox* AD;
    QDateEdit* AfterDate;
    QCheckBox* AT;
    QTimeEdit* AfterTime;
    QCheckBox* BD;
    QDateEdit* BeforeDate;
    QCheckBox* BT;
    QTimeEdit* BeforeTime;
    QGroupBox* FileSize;
    QLabel* Label11;
    QLineEdit* SizeMinEdit;
    TUpDown* SizeMin;
    QLabel* Label9;
    QLabel* Label10;
    QLineEdit* SizeMaxEdit;
    TUpDown* SizeMax;
    QLabel* Label8;

    // TabSheet2 " 高级 " (its tab is hidden): attribute filters, three-state
    QWidget* TabSheet2;
    QGroupBox* Attributes;
    QCheckBox* Archive;
    QCheckBox* Readonly;
    QCheckBox* Directory;
    QCheckBox* System;
    QCheckBox* Hidden;
    QCheckBox* Offline;
    QCheckBox* Compressed;
    QCheckBox* Encrypted;
    QCheckBox* Temporary;
    QCheckBox* ReparsePoint;
    QCheckBox* SparseFile;

    // TabSheet4 " 监控日志 " and TabSheet5 " 说明 "
    QWidget* TabSheet4;
    QPlainTextEdit* Logs;
    QWidget* TabSheet5;
    QPlainTextEdit* Memo1;

    TFoundFilesModel* FoundFilesModel;

    // The search component and its settings from the layout.
    TFindFile* FindFile;
    // The cleaning side: the batch worker, the monitor worker and the directory watcher, with
    // the batch and monitoring logic that drives them (ClearIndex and ChangedFileName live
    // there).
    TOBThread* ClearThread;
    TOBThread* ClearThread1;
    TFileSystemWatcher* FileSystemWatcher1;
    TBatchCleaning* Batch;
    TMonitorCleaning* Monitor;

    // Handlers, named after the control and the event.
    void FormCreate();
    void FormCloseQuery(bool& canClose);
    void FindButtonClick();
    void StopButtonClick();
    void FindFileSearchBegin(QObject* Sender);
    void FindFileFolderChange(QObject* Sender, const QByteArray& Folder,
                              TFolderIgnore& IgnoreFolder);
    void FindFileFileMatch(QObject* Sender, const QByteArray& Folder, const TSearchRec& FileInfo);
    void FindFileSearchFinish(QObject* Sender);
    void FindFileSearchAbort(QObject* Sender);
    void BrowseButtonClick();
    void ADClick();
    void ATClick();
    void BDClick();
    void BTClick();
    void FoundFilesColumnClick(int column);
    int FoundFilesCompare(const TFoundRow& row1, const TFoundRow& row2) const;
    void FoundFilesDblClick();
    void ClearButtonClick();
    void ClearThreadFinishAll(const QByteArray& error);
    void JkButtonClick();

    // The cleaning of one file, for the jobs of the batch and of the monitor; run on a worker
    // thread, silent. The rule (regxTxt) is read once per call, the keyword (Phrase) anew for
    // every match tested, each as its field holds it at that moment. ClearListedFile cleans the
    // path of a results row (its folder bytes followed by its name bytes); a row that no longer
    // exists is left alone. Both clean beneath the file's own folder: the jobs themselves clean
    // beneath the searched or watched folder.
    void ClearListedFile(int index) const;
    void ClearChangedFile(const QByteArray& fileName) const;

    // The settings save that each search makes (trimmed keyword and search path).
    void SaveSettings();

    // The date and time values of the pickers: days since 30 December 1899, a whole day for
    // a date picker, a pure time of day (below 1) for a time picker.
    static double PickerDate(const QDateEdit* picker);
    static double PickerTime(const QTimeEdit* picker);

    QString statusText() const;
    void setStatusText(const QString& text);

    int SortColumn() const { return m_sortColumn; }
    bool SortDescending() const { return m_sortDescending; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void BuildLayout();
    void BuildCleanPage();
    void BuildAdvancedPage();
    void BuildAttributesPage();
    void BuildLogPages();
    void CreateFindFile();
    void CreateCleaning();
    void FinishJobs();
    void SetTimeStampCriteria(TDateTimeCriteria& times) const;
    void SetTabOrder();
    void WireEvents();
    void ReadSettings();
    bool KeyPress(QWidget* focus, int key);
    bool SearchBusy() const;

    // Written by the folder handler (on the searching thread), read when the search has ended.
    int FolderCount = 0;
    quint32 StartTicks = 0;
    TSearchFeed* m_feed = nullptr;
    QPointer<QWidget> m_focusMovedTo; // where the focus went when FindButton was disabled
    TFieldText* m_ruleText = nullptr;
    TFieldText* m_keywordText = nullptr;
    int m_sortColumn = -1;
    int m_notBackedUp = 0; // files of the running batch left unchanged for want of a backup
    bool m_sortDescending = false;
};

} // namespace pw
