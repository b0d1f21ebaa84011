#include "app/MainForm.h"

#include "app/FieldText.h"
#include "app/FoundFilesModel.h"
#include "app/ResultsView.h"
#include "app/RowText.h"
#include "app/ShellOpen.h"
#include "cleaning/BatchCleaning.h"
#include "cleaning/FileCleaner.h"
#include "cleaning/MonitorCleaning.h"
#include "common/Defaults.h"
#include "common/Text.h"
#include "platform/SettingsStore.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDateEdit>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTimeEdit>

namespace pw {

const QByteArray MainForm::DefaultLocation = "/";
const QByteArray MainForm::SettingsKey = pw::SettingsKey.toByteArray();

namespace {

QByteArray bytes(const QLineEdit* edit) {
    return edit->text().toUtf8();
}

const QDate ZeroDay(1899, 12, 30);

} // namespace

MainForm::MainForm(QWidget* parent)
    : QWidget(parent) {
    BuildLayout();
    CreateFindFile();
    CreateCleaning();
    WireEvents();
    FormCreate();
}

// The search and the cleaning logic go first: once they are gone (the cleaning logic waits for
// its running jobs) no handler of this window runs on another thread.
MainForm::~MainForm() {
    delete FindFile;
    delete Batch;
    delete Monitor;
}

void MainForm::WireEvents() {
    m_ruleText = new TFieldText(regxTxt);
    m_keywordText = new TFieldText(Phrase);
    connect(FindButton, &QPushButton::clicked, this, &MainForm::FindButtonClick);
    connect(StopButton, &QPushButton::clicked, this, &MainForm::StopButtonClick);
    connect(BrowseButton, &QPushButton::clicked, this, &MainForm::BrowseButtonClick);
    connect(AD, &QCheckBox::clicked, this, &MainForm::ADClick);
    connect(AT, &QCheckBox::clicked, this, &MainForm::ATClick);
    connect(BD, &QCheckBox::clicked, this, &MainForm::BDClick);
    connect(BT, &QCheckBox::clicked, this, &MainForm::BTClick);
    connect(ClearButton, &QPushButton::clicked, this, &MainForm::ClearButtonClick);
    connect(JkButton, &QPushButton::clicked, this, &MainForm::JkButtonClick);
    connect(FoundFiles->header(), &QHeaderView::sectionClicked, this,
            &MainForm::FoundFilesColumnClick);
    FoundFiles->viewport()->installEventFilter(this);

    // Enter and Escape are judged where they are typed, before any control handles them.
    for (QWidget* w : findChildren<QWidget*>())
        w->installEventFilter(this);
}

// --- Start-up and settings ------------------------------------------------------------------

void MainForm::FormCreate() {
    const QDateTime now = QDateTime::currentDateTime();
    BeforeDate->setDate(now.date());
    AfterDate->setDate(now.date());
    BeforeTime->setTime(now.time());
    AfterTime->setTime(now.time());
    ReadSettings();
}

// Each value is read through a freshly opened key; any registry error ends the reading
// silently, and the fields not yet filled keep their layout values, which are the defaults.
void MainForm::ReadSettings() {
    try {
        const TSettingsStore store = TSettingsStore::fromEnvironment();
        QByteArray keyword;
        if (store.createKey(SettingsKey)) keyword = store.readString(SettingsKey, "SearchKey");
        Phrase->setText(QString::fromUtf8(keyword.isEmpty() ? DefaultKeyword : keyword));

        QByteArray location;
        if (store.createKey(SettingsKey)) location = store.readString(SettingsKey, "SearchPath");
        Location->setText(QString::fromUtf8(location.isEmpty() ? DefaultLocation : location));
    } catch (const ERegistryError&) {
    }
}

void MainForm::SaveSettings() {
    try {
        const TSettingsStore store = TSettingsStore::fromEnvironment();
        store.createKey(SettingsKey); // a key that fails to open makes the writes fail
        store.writeString(SettingsKey, "SearchKey", trimmed(bytes(Phrase)));
        store.writeString(SettingsKey, "SearchPath", trimmed(bytes(Location)));
    } catch (const ERegistryError&) {
    }
}

// --- Controls ------------------------------------------------------------------------------

double MainForm::PickerDate(const QDateEdit* picker) {
    return static_cast<double>(ZeroDay.daysTo(picker->date()));
}

double MainForm::PickerTime(const QTimeEdit* picker) {
    return picker->time().msecsSinceStartOfDay() / 86'400'000.0;
}

void MainForm::ADClick() {
    AfterDate->setEnabled(AD->isChecked());
}
void MainForm::ATClick() {
    AfterTime->setEnabled(AT->isChecked());
}
void MainForm::BDClick() {
    BeforeDate->setEnabled(BD->isChecked());
}
void MainForm::BTClick() {
    BeforeTime->setEnabled(BT->isChecked());
}

void MainForm::BrowseButtonClick() {
    // Several folders (or a text that names none): the chooser starts with none chosen, at the
    // top of the tree.
    const QString location = Location->text();
    const bool oneFolder = !location.contains(u';') && QFileInfo(location).isDir();
    QFileDialog chooser(this, tr("选择文件夹"), oneFolder ? location : QDir::rootPath());
    chooser.setObjectName(QStringLiteral("FolderChooser"));
    chooser.setFileMode(QFileDialog::Directory);
    // Only existing folders can be chosen; no folder is created from here.
    chooser.setOptions(QFileDialog::ShowDirsOnly | QFileDialog::ReadOnly |
                       QFileDialog::DontResolveSymlinks);
    if (chooser.exec() != QDialog::Accepted || chooser.selectedFiles().isEmpty()) return;
    Location->setText(chooser.selectedFiles().constFirst());
}

QString MainForm::statusText() const {
    return StatusBar->currentMessage();
}

void MainForm::setStatusText(const QString& text) {
    StatusBar->showMessage(text);
}

// --- Results list ----------------------------------------------------------------------------

void MainForm::FoundFilesColumnClick(int column) {
    if (SearchBusy()) {
        QMessageBox::warning(this, QStringLiteral("Warning"), tr("正在清理不能进行排序操作."));
        return;
    }
    if (column != m_sortColumn) {
        m_sortColumn = column;
        m_sortDescending = false;
    } else {
        m_sortDescending = !m_sortDescending;
    }
    FoundFilesModel->sort(
        [this](const TFoundRow& a, const TFoundRow& b) { return FoundFilesCompare(a, b); });
}

int MainForm::FoundFilesCompare(const TFoundRow& row1, const TFoundRow& row2) const {
    int result = 0;
    if (m_sortColumn >= 0 && m_sortColumn < TFoundFilesModel::ColumnCount)
        result = CompareText(row1.text(m_sortColumn), row2.text(m_sortColumn));
    return m_sortDescending ? -result : result;
}

void MainForm::FoundFilesDblClick() {
    const QModelIndexList selected = FoundFiles->selectionModel()->selectedRows();
    if (selected.isEmpty()) return;
    ShellOpen(FoundFilesModel->row(selected.constFirst().row()).path());
}

// --- Cleaning (see MainFormCleaning.cpp for the jobs and monitoring) ------------------------

void MainForm::ClearListedFile(int index) const {
    if (const std::optional<QByteArray> path = FoundFilesModel->pathAt(index))
        ClearChangedFile(*path);
}

void MainForm::ClearChangedFile(const QByteArray& fileName) const {
    const QByteArray path = fileName; // the caller may change its text meanwhile
    cleanFile(CleanTarget::inOwnFolder(path), m_ruleText->text(),
              [this] { return m_keywordText->text(); });
}

// --- Window events ---------------------------------------------------------------------------

void MainForm::closeEvent(QCloseEvent* event) {
    bool canClose = true;
    FormCloseQuery(canClose);
    if (canClose) FinishJobs();
    event->setAccepted(canClose);
}

// The minimum is an outer size: the frame the window system adds counts.
void MainForm::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    const QSize frame = frameGeometry().size() - geometry().size();
    setMinimumSize((MinimumOuterSize - frame).expandedTo({0, 0}));
}

// With the focus anywhere but in a multi-line text, Escape clicks the first enabled of
// StopButton and JkButton. With the focus on a push button Enter clicks it; elsewhere but in a
// multi-line text Enter clicks the first enabled of FindButton and ClearButton.
bool MainForm::KeyPress(QWidget* focus, int key) {
    const bool multiLine = qobject_cast<QPlainTextEdit*>(focus) ||
                           (focus && qobject_cast<QPlainTextEdit*>(focus->parentWidget()));
    if (multiLine) return false;
    QList<QPushButton*> candidates;
    if (key == Qt::Key_Escape) {
        candidates = {StopButton, JkButton};
    } else if (auto* pushButton = qobject_cast<QPushButton*>(focus)) {
        candidates = {pushButton};
    } else {
        candidates = {FindButton, ClearButton};
    }
    for (QPushButton* b : candidates) {
        if (b->isEnabled()) {
            b->click();
            return true;
        }
    }
    return false;
}

bool MainForm::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress && watched == focusWidget()) {
        const auto* keyEvent = static_cast<QKeyEvent*>(event);
        const int key = keyEvent->key();
        const bool plain =
            !(keyEvent->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier));
        if (plain && (key == Qt::Key_Escape || key == Qt::Key_Return || key == Qt::Key_Enter))
            return KeyPress(static_cast<QWidget*>(watched), key);
    }
    if (event->type() == QEvent::MouseButtonDblClick && watched == FoundFiles->viewport())
        FoundFilesDblClick();
    return QWidget::eventFilter(watched, event);
}

} // namespace pw
