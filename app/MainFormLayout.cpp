// The layout of the main window: every control with its caption, initial value and state,
// position (pixels at 96 dpi) and the edges it keeps its distance to, and the Tab order.
#include "app/AnchorLayout.h"
#include "app/FindAnimation.h"
#include "app/FoundFilesModel.h"
#include "app/MainForm.h"
#include "app/RadioGroup.h"
#include "app/ResultsView.h"
#include "app/RowText.h"
#include "app/UpDown.h"
#include "common/Defaults.h"

#include <QCheckBox>
#include <QDateEdit>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QTabBar>
#include <QTabWidget>
#include <QTimeEdit>

namespace pw {

namespace {

constexpr TAnchors RightTop{akRight, akTop};
constexpr TAnchors LeftTopRight{akLeft, akTop, akRight};
constexpr TAnchors AllEdges{akLeft, akTop, akRight, akBottom};

template <typename T, typename... Args>
T* make(const char* name, Args&&... args) {
    T* w = new T(std::forward<Args>(args)...);
    w->setObjectName(QString::fromLatin1(name));
    return w;
}

QLabel* label(const char* name, const QString& caption, QWidget* buddy = nullptr) {
    auto* l = make<QLabel>(name, caption);
    l->setBuddy(buddy);
    return l;
}

QCheckBox* checkBox(const char* name, const QString& caption, bool ticked) {
    auto* box = make<QCheckBox>(name, caption);
    box->setChecked(ticked);
    return box;
}

QCheckBox* threeState(const char* name, const char* caption) {
    auto* box = make<QCheckBox>(name, QString::fromLatin1(caption));
    box->setTristate(true);
    box->setCheckState(Qt::PartiallyChecked);
    return box;
}

QPushButton* button(const char* name, const QString& caption) {
    auto* b = make<QPushButton>(name, caption);
    b->setAutoDefault(false);
    return b;
}

// A picker holds a whole day only: its text shows the user's short date with the full year.
QDateEdit* datePicker(const char* name) {
    auto* picker = make<QDateEdit>(name);
    QString format = QLocale().dateFormat(QLocale::ShortFormat);
    if (!format.contains(QLatin1String("yyyy")))
        format.replace(QLatin1String("yy"), QLatin1String("yyyy"));
    picker->setDisplayFormat(format);
    picker->setCalendarPopup(true);
    picker->setMinimumDate(QDate(1900, 1, 1));
    picker->setEnabled(false);
    return picker;
}

// A picker that holds a time of day only.
QTimeEdit* timePicker(const char* name) {
    auto* picker = make<QTimeEdit>(name);
    picker->setDisplayFormat(LongTimeFormat(QLocale()));
    picker->setEnabled(false);
    return picker;
}

QPlainTextEdit* memo(const char* name) {
    auto* m = make<QPlainTextEdit>(name);
    m->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m->setTabChangesFocus(false);
    return m;
}

const char* const UsageNotes = QT_TRANSLATE_NOOP("pw::MainForm", R"(Pagewarden 使用说明

一、搜索
1. “文件后缀”：要检查的网页文件，多个后缀用分号隔开，例如 *.html;*.php。
2. “网页木马关键词”：攻击者插入的代码里的特征文字，通常是攻击者的域名。只有内容包含关键词的文件才会列出；关键词为空时，列出所有名称符合后缀的文件和文件夹。
3. “正则匹配规则”：划定一段被插入的代码。默认规则匹配 <iframe>…</iframe>、<script>…</script> 和用方括号写的 [iframe]…[/iframe]，标签名不区分大小写。
4. “搜索监控路径”：网站的根目录，可用“浏览...”选择；多个目录用分号隔开。
5. 按“搜索”（回车）开始，按“停止”（Esc）中止。找到的文件列在下方：点击列标题排序（再点一次倒序），双击一行用系统默认程序打开该文件。
6. “高级”页按创建、修改或访问时间和文件大小（KB，0 表示不限）缩小范围。只勾选日期表示整天，只勾选时间表示每天的这个时刻，两个都勾选表示那一天的那个时刻。

二、清理
“清理木马”逐个清理列表中的文件：换行统一为 CR LF，删除每段符合规则并包含关键词的代码，连同它后面的换行。

三、监控
“开始监控”后，搜索监控路径及其子目录中被修改的文件记在“监控日志”页并自动清理；再按一次停止监控。没有搜索时按 Esc 也可以开始或停止监控。

四、设置
关键词和搜索路径在每次搜索时保存（去掉首尾空白），下次启动时恢复。

修改记录
0.1.0  Linux 版：Qt 界面，PCRE2 正则表达式，设置保存在 .reg 格式的文件中。
)");

} // namespace

void MainForm::BuildLayout() {
    setWindowTitle(QStringLiteral("Pagewarden"));
    resize(ClientSize);
    setMinimumSize(MinimumOuterSize);

    FindButton = button("FindButton", tr("搜索"));
    StopButton = button("StopButton", tr("停止"));
    StopButton->setEnabled(false);
    PageControl = make<QTabWidget>("PageControl");
    PageControl->setFocusPolicy(Qt::NoFocus);
    PageControl->tabBar()->setFocusPolicy(Qt::NoFocus);
    PageControl->setUsesScrollButtons(false);
    PageControl->setElideMode(Qt::ElideNone);
    Threaded = checkBox("Threaded", tr("使用线程搜索"), true);
    FoundFiles = make<TResultsView>("FoundFiles");
    FoundFilesModel = new TFoundFilesModel(this);
    FoundFilesModel->setObjectName(QStringLiteral("FoundFilesModel"));
    FoundFiles->setModel(FoundFilesModel);
    FoundFiles->setColumnWidths({130, 0, 60, 120}, 1);
    ClearButton = button("ClearButton", tr("清理木马"));
    JkButton = button("JkButton", tr("开始监控"));
    Animate = make<TFindAnimation>("Animate");
    StatusBar = make<QStatusBar>("StatusBar");
    StatusBar->showMessage(tr("          奥运加油，中国加油"));

    auto* layout = new TAnchorLayout(this, ClientSize);
    layout->place(FindButton, {560, 28, 97, 25}, RightTop);
    layout->place(StopButton, {560, 61, 97, 25}, RightTop);
    layout->place(PageControl, {8, 8, 538, 230}, LeftTopRight);
    layout->place(Threaded, {560, 221, 104, 17}, RightTop);
    layout->place(FoundFiles, {8, 248, 657, 176}, AllEdges);
    layout->place(ClearButton, {560, 94, 97, 25}, RightTop);
    layout->place(JkButton, {561, 126, 97, 25}, RightTop);
    layout->place(Animate, {584, 162, 48, 50}, RightTop);
    layout->place(StatusBar, {0, 429, 672, 19}, {akLeft, akRight, akBottom});

    BuildCleanPage();
    BuildAdvancedPage();
    BuildAttributesPage();
    BuildLogPages();
    PageControl->setCurrentWidget(TabSheet1);
    SetTabOrder();
}

void MainForm::BuildCleanPage() {
    TabSheet1 = make<QWidget>("TabSheet1");
    PageControl->addTab(TabSheet1, tr(" 清理 "));

    Filename = make<QLineEdit>("Filename", QString::fromUtf8(DefaultMasks));
    Label1 = label("Label1", tr("文件后缀"), Filename);
    Phrase = make<QLineEdit>("Phrase", QString::fromUtf8(DefaultKeyword));
    Label3 = label("Label3", tr("网页木马关键词"), Phrase);
    WholeWord = checkBox("WholeWord", tr("全字匹配"), false);
    IgnoreCase = checkBox("IgnoreCase", tr("不区分大小写"), true);
    Location = make<QLineEdit>("Location", QString::fromUtf8(DefaultLocation));
    Label2 = label("Label2", tr("搜索监控路径"), Location);
    Subfolders = checkBox("Subfolders", tr("包含子目录"), true);
    BrowseButton = button("BrowseButton", tr("浏览..."));
    regxTxt = make<QLineEdit>("regxTxt", QString::fromUtf8(DefaultRule));
    Label4 = label("Label4", tr("正则匹配规则"), regxTxt);

    auto* page = new TAnchorLayout(TabSheet1, PageSize);
    page->place(Label1, {13, 1, 68, 13});
    page->place(Filename, {13, 17, 503, 21}, LeftTopRight);
    page->place(Label3, {13, 44, 108, 13});
    page->place(Phrase, {13, 60, 502, 21}, LeftTopRight);
    page->place(WholeWord, {319, 129, 82, 17}, RightTop);
    page->place(IgnoreCase, {407, 128, 109, 17}, RightTop);
    page->place(Label2, {13, 130, 100, 13});
    page->place(Location, {13, 146, 503, 21}, LeftTopRight);
    page->place(Subfolders, {13, 174, 129, 17});
    page->place(BrowseButton, {441, 171, 75, 23}, RightTop);
    page->place(Label4, {13, 86, 108, 13});
    page->place(regxTxt, {13, 102, 502, 21}, LeftTopRight);
}

void MainForm::BuildAdvancedPage() {
    TabSheet3 = make<QWidget>("TabSheet3");
    PageControl->addTab(TabSheet3, tr(" 高级 "));

    DateRangeChoice = make<TRadioGroup>("DateRangeChoice", tr(" 查找文件"),
                                        QStringList{tr("创建"), tr("修改"), tr("访问")}, 3);
    DateRangeChoice->setItemIndex(0);
    AD = checkBox("AD", tr("开始日期:"), false);
    AfterDate = datePicker("AfterDate");
    AT = checkBox("AT", tr("开始时间:"), false);
    AfterTime = timePicker("AfterTime");
    BD = checkBox("BD", tr("结束日期:"), false);
    BeforeDate = datePicker("BeforeDate");
    BT = checkBox("BT", tr("结束时间:"), false);
    BeforeTime = timePicker("BeforeTime");
    FileSize = make<TGroupBox>("FileSize", tr(" 文件大小"));

    auto* page = new TAnchorLayout(TabSheet3, PageSize);
    page->place(DateRangeChoice, {16, 5, 498, 38}, LeftTopRight);
    page->place(AD, {15, 47, 82, 17});
    page->place(AfterDate, {15, 68, 130, 21});
    page->place(AT, {173, 47, 82, 17});
    page->place(AfterTime, {173, 68, 105, 21});
    page->place(BD, {15, 98, 82, 17});
    page->place(BeforeDate, {15, 119, 130, 21});
    page->place(BT, {174, 98, 82, 17});
    page->place(BeforeTime, {173, 119, 105, 21});
    page->place(FileSize, {14, 149, 502, 45}, LeftTopRight);

    SizeMinEdit = make<QLineEdit>("SizeMinEdit", QStringLiteral("0"));
    SizeMin = make<TUpDown>("SizeMin");
    SizeMaxEdit = make<QLineEdit>("SizeMaxEdit", QStringLiteral("10240"));
    SizeMax = make<TUpDown>("SizeMax");
    for (auto [updown, edit, position] :
         {std::tuple{SizeMin, SizeMinEdit, 0}, std::tuple{SizeMax, SizeMaxEdit, 10240}}) {
        updown->setRange(0, 32767);
        updown->setPosition(position);
        updown->setAssociate(edit);
    }
    Label11 = label("Label11", tr("最小:"), SizeMinEdit);
    Label9 = label("Label9", QStringLiteral("KB"));
    Label10 = label("Label10", tr("最大:"), SizeMaxEdit);
    Label8 = label("Label8", QStringLiteral("KB"));

    auto* box = new TAnchorLayout(FileSize, {502, 45});
    box->place(Label11, {13, 19, 33, 13});
    box->place(SizeMinEdit, {48, 15, 71, 21});
    box->place(SizeMin, {119, 15, 16, 21});
    box->place(Label9, {139, 19, 20, 13});
    box->place(Label10, {181, 19, 33, 13});
    box->place(SizeMaxEdit, {216, 15, 71, 21});
    box->place(SizeMax, {287, 15, 16, 21});
    box->place(Label8, {307, 19, 20, 13});
}

void MainForm::BuildAttributesPage() {
    TabSheet2 = make<QWidget>("TabSheet2");
    const int index = PageControl->addTab(TabSheet2, tr(" 高级 "));
    PageControl->setTabVisible(index, false);

    Attributes = make<TGroupBox>("Attributes", tr(" 文件属性 "));
    auto* page = new TAnchorLayout(TabSheet2, PageSize);
    page->place(Attributes, {8, 8, 514, 120});

    Archive = threeState("Archive", "Archive");
    Readonly = threeState("Readonly", "Readonly");
    Directory = threeState("Directory", "Directory");
    System = threeState("System", "System");
    Hidden = threeState("Hidden", "Hidden");
    Offline = threeState("Offline", "Offline");
    Compressed = threeState("Compressed", "Compressed");
    Encrypted = threeState("Encrypted", "Encrypted");
    Temporary = threeState("Temporary", "Temporary");
    ReparsePoint = threeState("ReparsePoint", "Reparse Point");
    SparseFile = threeState("SparseFile", "Sparse File");

    auto* box = new TAnchorLayout(Attributes, {514, 120});
    QCheckBox* const boxes[] = {Archive,    Readonly,  Directory, System,       Hidden,    Offline,
                                Compressed, Encrypted, Temporary, ReparsePoint, SparseFile};
    for (int i = 0; i < 11; ++i)
        box->place(boxes[i], {12 + (i % 4) * 124, 22 + (i / 4) * 28, 118, 17});
}

void MainForm::BuildLogPages() {
    TabSheet4 = make<QWidget>("TabSheet4");
    PageControl->addTab(TabSheet4, tr(" 监控日志 "));
    Logs = memo("Logs");
    (new TAnchorLayout(TabSheet4, PageSize))->place(Logs, {5, 5, 519, 190}, AllEdges);

    TabSheet5 = make<QWidget>("TabSheet5");
    PageControl->addTab(TabSheet5, tr(" 说明 "));
    Memo1 = memo("Memo1");
    Memo1->setPlainText(tr(UsageNotes));
    (new TAnchorLayout(TabSheet5, PageSize))->place(Memo1, {5, 5, 519, 190}, AllEdges);
}

void MainForm::SetTabOrder() {
    QList<QWidget*> order = {FindButton, StopButton,
                             // PageControl: the controls of its pages
                             Filename, Phrase, WholeWord, IgnoreCase, Location, Subfolders,
                             BrowseButton, regxTxt};
    for (int i = 0; i < DateRangeChoice->count(); ++i)
        order.append(DateRangeChoice->item(i));
    order += {AD, AfterDate, AT, AfterTime, BD, BeforeDate, BT, BeforeTime, SizeMinEdit,
              SizeMaxEdit, Archive, Readonly, Directory, System, Hidden, Offline, Compressed,
              Encrypted, Temporary, ReparsePoint, SparseFile, Logs, Memo1,
              // back on the window
              Threaded, FoundFiles, ClearButton, JkButton};
    for (qsizetype i = 0; i + 1 < order.size(); ++i)
        QWidget::setTabOrder(order[i], order[i + 1]);
}

} // namespace pw
