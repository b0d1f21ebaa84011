#include "app/AnchorLayout.h"
#include "app/FindAnimation.h"
#include "app/RadioGroup.h"
#include "app/ResultsView.h"
#include "app/RowText.h"
#include "app/UpDown.h"
#include "common/Defaults.h"
#include "tests/app/WindowFixture.h"

#include <QCheckBox>
#include <QDateEdit>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QTimeEdit>
#include <QToolButton>

using namespace pw;
using pw::test::WindowTest;

namespace {

QString caption(const QWidget* w) {
    if (auto* b = qobject_cast<const QAbstractButton*>(w)) return b->text();
    if (auto* l = qobject_cast<const QLabel*>(w)) return l->text();
    if (auto* e = qobject_cast<const QLineEdit*>(w)) return e->text();
    if (auto* g = qobject_cast<const QGroupBox*>(w)) return g->title();
    return {};
}

struct ControlCase {
    const char* name;
    const char* kind;
    const char* caption; // nullptr: the control has none
    bool enabled;
    QRect rect; // in its container as designed (672 x 448 window, 530 x 202 page)
    TAnchors anchors;
    const char* buddy = nullptr; // for a label, the field it names
};
void PrintTo(const ControlCase& c, std::ostream* os) {
    *os << c.name;
}

constexpr TAnchors LT{akLeft, akTop};
constexpr TAnchors RT{akRight, akTop};
constexpr TAnchors LTR{akLeft, akTop, akRight};
constexpr TAnchors All{akLeft, akTop, akRight, akBottom};

const ControlCase Controls[] = {
    {"FindButton", "QPushButton", "搜索", true, {560, 28, 97, 25}, RT},
    {"StopButton", "QPushButton", "停止", false, {560, 61, 97, 25}, RT},
    {"PageControl", "QTabWidget", nullptr, true, {8, 8, 538, 230}, LTR},
    {"Threaded", "QCheckBox", "使用线程搜索", true, {560, 221, 104, 17}, RT},
    {"FoundFiles", "QTreeView", nullptr, true, {8, 248, 657, 176}, All},
    {"ClearButton", "QPushButton", "清理木马", true, {560, 94, 97, 25}, RT},
    {"JkButton", "QPushButton", "开始监控", true, {561, 126, 97, 25}, RT},
    {"Animate", "pw::TFindAnimation", nullptr, true, {584, 162, 48, 50}, RT},
    {"StatusBar", "QStatusBar", nullptr, true, {0, 429, 672, 19}, {akLeft, akRight, akBottom}},
    // TabSheet1
    {"Label1", "QLabel", "文件后缀", true, {13, 1, 68, 13}, LT, "Filename"},
    {"Filename",
     "QLineEdit",
     "*.txt;*.asp;*.html;*.htm;*.php;*.inc;*.js",
     true,
     {13, 17, 503, 21},
     LTR},
    {"Label3", "QLabel", "网页木马关键词", true, {13, 44, 108, 13}, LT, "Phrase"},
    {"Phrase", "QLineEdit", "evilstats.example", true, {13, 60, 502, 21}, LTR},
    {"WholeWord", "QCheckBox", "全字匹配", true, {319, 129, 82, 17}, RT},
    {"IgnoreCase", "QCheckBox", "不区分大小写", true, {407, 128, 109, 17}, RT},
    {"Label2", "QLabel", "搜索监控路径", true, {13, 130, 100, 13}, LT, "Location"},
    {"Location", "QLineEdit", "/", true, {13, 146, 503, 21}, LTR},
    {"Subfolders", "QCheckBox", "包含子目录", true, {13, 174, 129, 17}, LT},
    {"BrowseButton", "QPushButton", "浏览...", true, {441, 171, 75, 23}, RT},
    {"Label4", "QLabel", "正则匹配规则", true, {13, 86, 108, 13}, LT, "regxTxt"},
    {"regxTxt",
     "QLineEdit",
     R"((<ifraMe(?:[^<\n]++|<(?!ifraMe|\\*/ifrAme>)|(?1))*+<\\*?/ifrAme>))"
     R"(|(<script(?:[^<\n]++|<(?!script|\\*/script>)|(?2))*+<\\*?/script>))"
     R"(|(\[ifraMe(?:[^\[\n]++|\[(?!ifraMe|\\*/ifrAme\])|(?3))*+\[\\*?/ifrAme\]))",
     true,
     {13, 102, 502, 21},
     LTR},
    // TabSheet3
    {"DateRangeChoice", "pw::TRadioGroup", " 查找文件", true, {16, 5, 498, 38}, LTR},
    {"AD", "QCheckBox", "开始日期:", true, {15, 47, 82, 17}, LT},
    {"AfterDate", "QDateEdit", nullptr, false, {15, 68, 130, 21}, LT},
    {"AT", "QCheckBox", "开始时间:", true, {173, 47, 82, 17}, LT},
    {"AfterTime", "QTimeEdit", nullptr, false, {173, 68, 105, 21}, LT},
    {"BD", "QCheckBox", "结束日期:", true, {15, 98, 82, 17}, LT},
    {"BeforeDate", "QDateEdit", nullptr, false, {15, 119, 130, 21}, LT},
    {"BT", "QCheckBox", "结束时间:", true, {174, 98, 82, 17}, LT},
    {"BeforeTime", "QTimeEdit", nullptr, false, {173, 119, 105, 21}, LT},
    {"FileSize", "QGroupBox", " 文件大小", true, {14, 149, 502, 45}, LTR},
    // in FileSize
    {"Label11", "QLabel", "最小:", true, {13, 19, 33, 13}, LT, "SizeMinEdit"},
    {"SizeMinEdit", "QLineEdit", "0", true, {48, 15, 71, 21}, LT},
    {"SizeMin", "pw::TUpDown", nullptr, true, {119, 15, 16, 21}, LT},
    {"Label9", "QLabel", "KB", true, {139, 19, 20, 13}, LT},
    {"Label10", "QLabel", "最大:", true, {181, 19, 33, 13}, LT, "SizeMaxEdit"},
    {"SizeMaxEdit", "QLineEdit", "10,240", true, {216, 15, 71, 21}, LT},
    {"SizeMax", "pw::TUpDown", nullptr, true, {287, 15, 16, 21}, LT},
    {"Label8", "QLabel", "KB", true, {307, 19, 20, 13}, LT},
    // TabSheet4 and TabSheet5
    {"Logs", "QPlainTextEdit", nullptr, true, {5, 5, 519, 190}, All},
    {"Memo1", "QPlainTextEdit", nullptr, true, {5, 5, 519, 190}, All},
};

class ControlTable : public WindowTest, public ::testing::WithParamInterface<ControlCase> {};

// Each control: its kind, caption, state and place; on a page or in a box, the place is the
// designed one moved with the anchors for the size its container really has.
TEST_P(ControlTable, StartsAsLaidOut) {
    const ControlCase& c = GetParam();
    MainForm& f = showForm();
    QWidget* w = control(c.name);
    ASSERT_NE(w, nullptr);
    EXPECT_TRUE(w->inherits(c.kind)) << w->metaObject()->className();
    if (c.caption) {
        EXPECT_EQ(caption(w), QString::fromUtf8(c.caption));
    }
    EXPECT_EQ(w->isEnabled(), c.enabled);
    // A page lays its controls out when it is shown.
    for (QWidget* page = w; page; page = page->parentWidget())
        if (page->parentWidget() && page->parentWidget()->parentWidget() == f.PageControl)
            f.PageControl->setCurrentWidget(page);
    QWidget* container = w->parentWidget();
    waitFor([&] { return container->layout() && !container->layout()->geometry().isEmpty(); });
    const QSize design = container == form.get()            ? MainForm::ClientSize
                         : container->inherits("QGroupBox") ? QSize(502, 45)
                                                            : MainForm::PageSize;
    EXPECT_EQ(w->geometry(), TAnchorLayout::anchored(c.rect, c.anchors, design, container->size()));
    if (c.buddy) {
        EXPECT_EQ(qobject_cast<QLabel*>(w)->buddy(), control(c.buddy));
    }
}

INSTANTIATE_TEST_SUITE_P(Controls, ControlTable, ::testing::ValuesIn(Controls),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(AnchorLayout, KeepsTheDistanceToEachAnchoredEdge) {
    const QSize design(100, 50);
    const QSize bigger(130, 70);
    const QRect r(10, 10, 20, 5);
    EXPECT_EQ(TAnchorLayout::anchored(r, LT, design, bigger), r);
    EXPECT_EQ(TAnchorLayout::anchored(r, RT, design, bigger), QRect(40, 10, 20, 5));
    EXPECT_EQ(TAnchorLayout::anchored(r, LTR, design, bigger), QRect(10, 10, 50, 5));
    EXPECT_EQ(TAnchorLayout::anchored(r, All, design, bigger), QRect(10, 10, 50, 25));
    EXPECT_EQ(TAnchorLayout::anchored(r, {akLeft, akBottom}, design, bigger), QRect(10, 30, 20, 5));
    EXPECT_EQ(TAnchorLayout::anchored(r, All, design, {50, 20}), QRect(10, 10, 0, 0));
}

TEST_F(WindowTest, WindowPagesAndStates) {
    MainForm& f = showForm();
    EXPECT_EQ(f.windowTitle(), "Pagewarden");
    EXPECT_EQ(f.size(), QSize(672, 448));
    EXPECT_EQ(f.statusText(), QString::fromUtf8("          奥运加油，中国加油"));

    const QStringList captions = {" 清理 ", " 高级 ", " 高级 ", " 监控日志 ", " 说明 "};
    const QStringList pages = {"TabSheet1", "TabSheet3", "TabSheet2", "TabSheet4", "TabSheet5"};
    ASSERT_EQ(f.PageControl->count(), 5);
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(f.PageControl->widget(i)->objectName(), pages[i]);
        EXPECT_EQ(f.PageControl->tabText(i), captions[i]);
        EXPECT_EQ(f.PageControl->isTabVisible(i), pages[i] != "TabSheet2");
    }
    EXPECT_EQ(f.PageControl->currentWidget(), f.TabSheet1);
    EXPECT_EQ(f.PageControl->tabBar()->focusPolicy(), Qt::NoFocus);

    EXPECT_TRUE(f.Threaded->isChecked());
    EXPECT_TRUE(f.IgnoreCase->isChecked());
    EXPECT_TRUE(f.Subfolders->isChecked());
    EXPECT_FALSE(f.WholeWord->isChecked());
    for (QCheckBox* box : {f.AD, f.AT, f.BD, f.BT})
        EXPECT_FALSE(box->isChecked());
    EXPECT_EQ(f.DateRangeChoice->ItemIndex(), 0);
    EXPECT_EQ(f.DateRangeChoice->item(2)->text(), QString::fromUtf8("访问"));
    EXPECT_FALSE(f.Animate->Active());
    EXPECT_TRUE(f.Logs->toPlainText().isEmpty());
    EXPECT_FALSE(f.Memo1->toPlainText().isEmpty());

    // The eleven attribute boxes of the hidden page: three-state, grey, never visible.
    const QStringList attributes = {"Archive",   "Readonly",     "Directory",  "System",
                                    "Hidden",    "Offline",      "Compressed", "Encrypted",
                                    "Temporary", "ReparsePoint", "SparseFile"};
    for (const QString& name : attributes) {
        auto* box = f.Attributes->findChild<QCheckBox*>(name);
        ASSERT_NE(box, nullptr) << name.toStdString();
        EXPECT_TRUE(box->isTristate());
        EXPECT_EQ(box->checkState(), Qt::PartiallyChecked);
        EXPECT_FALSE(box->isVisible());
    }
    EXPECT_EQ(f.ReparsePoint->text(), "Reparse Point");
    EXPECT_EQ(f.Attributes->title(), QString::fromUtf8(" 文件属性 "));

    // The results list: four columns, the second filling what the others leave.
    QHeaderView* header = f.FoundFiles->header();
    const QStringList headers = {"文件名", "路径", "大小", "修改时间"};
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(f.FoundFiles->model()->headerData(i, Qt::Horizontal).toString(), headers[i]);
    EXPECT_EQ(header->sectionSize(0), 130);
    EXPECT_EQ(header->sectionSize(2), 60);
    // The time column is the layout's 120 pixels, or what the locale's date format needs.
    EXPECT_GE(header->sectionSize(3), 120);
    EXPECT_EQ(header->length(), f.FoundFiles->viewport()->width());
    EXPECT_TRUE(header->sectionsClickable());
    EXPECT_EQ(f.FoundFiles->selectionBehavior(), QAbstractItemView::SelectRows);
    EXPECT_EQ(f.FoundFiles->selectionMode(), QAbstractItemView::SingleSelection);
    EXPECT_EQ(f.FoundFiles->editTriggers(), QAbstractItemView::NoEditTriggers);
}

// At the minimum outer size the buttons keep their distance to the right edge, the list
// stretches between the left and right edges and the status bar stays at the bottom.
TEST_F(WindowTest, TheTimeColumnShowsItsWholeTextInEveryLocale) {
    for (const QLocale& locale : {QLocale::c(), QLocale(QLocale::English, QLocale::UnitedStates),
                                  QLocale(QLocale::Chinese, QLocale::China)}) {
        SCOPED_TRACE(locale.name().toStdString());
        QLocale::setDefault(locale);
        MainForm f;
        TRowTimeFormatter format(locale);
        for (const QTime time : {QTime(11, 58, 58), QTime(23, 58, 58)}) {
            const QString text = QString::fromUtf8(format.text(QDate(2028, 12, 28), time));
            EXPECT_GT(f.FoundFiles->header()->sectionSize(3),
                      f.FoundFiles->fontMetrics().horizontalAdvance(text));
        }
    }
}

TEST_F(WindowTest, ResizingToTheMinimumSizeKeepsTheAnchors) {
    MainForm& f = showForm();
    f.resize(400, 100); // below the minimum: held at it
    EXPECT_EQ(f.frameGeometry().size(), MainForm::MinimumOuterSize);
    const int dx = f.width() - 672;
    const int dy = f.height() - 448;
    waitFor([&] { return f.StatusBar->y() == 429 + dy; });
    EXPECT_EQ(f.FindButton->geometry(), QRect(560 + dx, 28, 97, 25));
    EXPECT_EQ(f.JkButton->geometry(), QRect(561 + dx, 126, 97, 25));
    EXPECT_EQ(f.Threaded->geometry(), QRect(560 + dx, 221, 104, 17));
    EXPECT_EQ(f.Animate->geometry(), QRect(584 + dx, 162, 48, 50));
    EXPECT_EQ(f.PageControl->geometry(), QRect(8, 8, 538 + dx, 230));
    EXPECT_EQ(f.FoundFiles->x(), 8);
    EXPECT_EQ(f.FoundFiles->width(), 657 + dx);
    EXPECT_EQ(f.StatusBar->geometry(), QRect(0, 429 + dy, f.width(), 19));
    // On the page too: the fields keep their right margin.
    EXPECT_EQ(f.TabSheet1->width() - f.Location->geometry().right() - 1, 530 - 516);

    f.resize(800, 600);
    waitFor([&] { return f.StatusBar->y() == 600 - 19; });
    EXPECT_EQ(f.FindButton->x(), 560 + 128);
    EXPECT_EQ(f.FoundFiles->geometry(), QRect(8, 248, 657 + 128, 176 + 152));
}

// Keyboard order: the buttons, the fields of the page shown, then the list and the other two
// buttons. Labels, the tab strip, the animation and the status bar take no focus.
TEST_F(WindowTest, TabOrder) {
    MainForm& f = showForm();
    f.StopButton->setEnabled(true); // a disabled control is skipped; show its place too
    const QList<QWidget*> expected = {f.FindButton,   f.StopButton, f.Filename,  f.Phrase,
                                      f.WholeWord,    f.IgnoreCase, f.Location,  f.Subfolders,
                                      f.BrowseButton, f.regxTxt,    f.Threaded,  f.FoundFiles,
                                      f.ClearButton,  f.JkButton,   f.FindButton};
    f.FindButton->setFocus();
    for (qsizetype i = 1; i < expected.size(); ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        EXPECT_EQ(QApplication::focusWidget(), expected[i])
            << "step " << i << ": " << QApplication::focusWidget()->objectName().toStdString();
    }
    for (QWidget* w : {static_cast<QWidget*>(f.Label1), static_cast<QWidget*>(f.Animate),
                       static_cast<QWidget*>(f.StatusBar), static_cast<QWidget*>(f.PageControl)})
        EXPECT_EQ(w->focusPolicy(), Qt::NoFocus) << w->objectName().toStdString();
}

struct KeyCase {
    const char* name;
    const char* focus;
    Qt::Key key;
    Qt::KeyboardModifiers modifiers;
    bool searchRunning;  // FindButton disabled, StopButton enabled
    const char* clicked; // nullptr: no button
};
void PrintTo(const KeyCase& c, std::ostream* os) {
    *os << c.name;
}

class KeyRules : public WindowTest, public ::testing::WithParamInterface<KeyCase> {};

TEST_P(KeyRules, EnterAndEscapeClickTheRightButton) {
    const KeyCase& c = GetParam();
    MainForm& f = showForm();
    f.Location->setText(QFile::decodeName(settings.path())); // a search here finds nothing
    f.FindButton->setEnabled(!c.searchRunning);
    f.StopButton->setEnabled(c.searchRunning);
    if (QString(c.focus).startsWith("Logs")) f.PageControl->setCurrentWidget(f.TabSheet4);

    QList<QPushButton*> buttons = {f.FindButton, f.StopButton, f.ClearButton, f.JkButton};
    std::vector<std::unique_ptr<QSignalSpy>> spies;
    for (QPushButton* b : buttons) {
        spies.push_back(std::make_unique<QSignalSpy>(b, &QPushButton::clicked));
        // No button does its work here: only which one the key clicks matters.
        b->disconnect(&f);
    }
    QWidget* focus = control(c.focus);
    focus->setFocus();
    ASSERT_TRUE(waitFor([&] { return focus->hasFocus(); }));
    QTest::keyClick(QApplication::focusWidget(), c.key, c.modifiers);
    for (qsizetype i = 0; i < buttons.size(); ++i) {
        const bool expected = c.clicked && buttons[i]->objectName() == c.clicked;
        EXPECT_EQ(spies[i]->count(), expected ? 1 : 0) << buttons[i]->objectName().toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Keys, KeyRules,
    ::testing::Values(
        KeyCase{"EscapeIdleStartsMonitoring", "Phrase", Qt::Key_Escape, {}, false, "JkButton"},
        KeyCase{"EscapeDuringSearchStops", "Phrase", Qt::Key_Escape, {}, true, "StopButton"},
        KeyCase{"EscapeOnAButton", "ClearButton", Qt::Key_Escape, {}, false, "JkButton"},
        KeyCase{"EscapeInTheList", "FoundFiles", Qt::Key_Escape, {}, false, "JkButton"},
        KeyCase{"EscapeInAMultiLineText", "Logs", Qt::Key_Escape, {}, false, nullptr},
        KeyCase{"EscapeWithShift", "Phrase", Qt::Key_Escape, Qt::ShiftModifier, false, nullptr},
        KeyCase{"EnterIdleSearches", "Phrase", Qt::Key_Return, {}, false, "FindButton"},
        KeyCase{"KeypadEnterSearches", "Location", Qt::Key_Enter, Qt::KeypadModifier, false,
                "FindButton"},
        // The list is still filling: no batch starts on the rows listed so far.
        KeyCase{"EnterDuringSearchStartsNoBatch", "Phrase", Qt::Key_Return, {}, true, nullptr},
        KeyCase{"EnterOnACheckBox", "Threaded", Qt::Key_Return, {}, false, "FindButton"},
        KeyCase{"EnterInTheList", "FoundFiles", Qt::Key_Return, {}, false, "FindButton"},
        KeyCase{"EnterOnAPushButtonClicksIt", "JkButton", Qt::Key_Return, {}, false, "JkButton"},
        KeyCase{"EnterInAMultiLineText", "Logs", Qt::Key_Return, {}, false, nullptr},
        KeyCase{"EnterWithControl", "Phrase", Qt::Key_Return, Qt::ControlModifier, false, nullptr}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(WindowTest, EnterInAMultiLineTextStartsANewLine) {
    MainForm& f = showForm();
    f.PageControl->setCurrentWidget(f.TabSheet4);
    f.Logs->setFocus();
    QTest::keyClicks(f.Logs, "a");
    QTest::keyClick(f.Logs, Qt::Key_Return);
    QTest::keyClicks(f.Logs, "b");
    EXPECT_EQ(f.Logs->toPlainText(), "a\nb");
}

struct SpinCase {
    const char* name;
    QString typed;
    int position; // after typing, from the layout position 10240
};
void PrintTo(const SpinCase& c, std::ostream* os) {
    *os << c.name;
}

class SpinTyping : public WindowTest, public ::testing::WithParamInterface<SpinCase> {};

TEST_P(SpinTyping, TextMovesThePositionOnlyWhenValid) {
    MainForm& f = makeForm();
    f.SizeMaxEdit->setFocus();
    f.SizeMaxEdit->selectAll();
    QTest::keyClicks(f.SizeMaxEdit, GetParam().typed);
    EXPECT_EQ(f.SizeMax->Position(), GetParam().position);
    EXPECT_EQ(f.SizeMaxEdit->text(), GetParam().typed); // what was typed stays as typed
}

INSTANTIATE_TEST_SUITE_P(
    Typing, SpinTyping,
    ::testing::Values(SpinCase{"Number", "123", 123}, SpinCase{"WithSeparator", "1,234", 1234},
                      SpinCase{"Zero", "0", 0}, SpinCase{"Maximum", "32767", 32767},
                      SpinCase{"AboveTheRange", "32768", 3276}, SpinCase{"Negative", "-1", 10240},
                      SpinCase{"Letters", "abc", 10240}, SpinCase{"Fraction", "1.5", 1}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(WindowTest, SpinButtonsAndArrowKeysStepWithinTheRange) {
    MainForm& f = makeForm();
    EXPECT_EQ(f.SizeMin->Position(), 0);
    EXPECT_EQ(f.SizeMax->Position(), 10240);
    EXPECT_EQ(f.SizeMin->Min(), 0);
    EXPECT_EQ(f.SizeMax->Max(), 32767);
    EXPECT_EQ(f.SizeMaxEdit->text(), "10,240"); // the user's thousands separator

    QTest::keyClick(f.SizeMaxEdit, Qt::Key_Up);
    EXPECT_EQ(f.SizeMax->Position(), 10241);
    EXPECT_EQ(f.SizeMaxEdit->text(), "10,241");
    QTest::keyClick(f.SizeMinEdit, Qt::Key_Down); // no wrap at the bottom
    EXPECT_EQ(f.SizeMin->Position(), 0);
    EXPECT_EQ(f.SizeMinEdit->text(), "0");

    f.SizeMax->setPosition(32767);
    auto* up = f.SizeMax->findChildren<QToolButton*>().value(0);
    ASSERT_NE(up, nullptr);
    up->click(); // no wrap at the top
    EXPECT_EQ(f.SizeMax->Position(), 32767);

    // Invalid text leaves the last valid position, and stepping goes on from it.
    f.SizeMinEdit->setText("x");
    QTest::keyClick(f.SizeMinEdit, Qt::Key_Up);
    EXPECT_EQ(f.SizeMin->Position(), 1);
    EXPECT_EQ(f.SizeMinEdit->text(), "1");
}

TEST_F(WindowTest, PickersHoldTodayAndTheStartTimeAndFollowTheirBoxes) {
    const QDateTime before = QDateTime::currentDateTime();
    MainForm& f = makeForm();
    const QDateTime after = QDateTime::currentDateTime();
    for (QDateEdit* picker : {f.AfterDate, f.BeforeDate}) {
        EXPECT_TRUE(picker->date() == before.date() || picker->date() == after.date());
        const double value = MainForm::PickerDate(picker);
        EXPECT_EQ(value, std::trunc(value)); // a whole day
        EXPECT_EQ(value, QDate(1899, 12, 30).daysTo(picker->date()));
    }
    for (QTimeEdit* picker : {f.AfterTime, f.BeforeTime}) {
        const double value = MainForm::PickerTime(picker);
        EXPECT_GE(value, 0.0);
        EXPECT_LT(value, 1.0); // a pure time of day
        EXPECT_GE(picker->time().msecsSinceStartOfDay(),
                  before.time().msecsSinceStartOfDay() - 1000);
    }

    f.AfterDate->setDate(QDate(2024, 2, 29));
    EXPECT_EQ(MainForm::PickerDate(f.AfterDate), 45351.0);
    f.AfterTime->setTime(QTime(12, 0));
    EXPECT_EQ(MainForm::PickerTime(f.AfterTime), 0.5);
    f.AfterTime->setTime(QTime(0, 0));
    EXPECT_EQ(MainForm::PickerTime(f.AfterTime), 0.0);

    const std::pair<QCheckBox*, QWidget*> pairs[] = {
        {f.AD, f.AfterDate}, {f.AT, f.AfterTime}, {f.BD, f.BeforeDate}, {f.BT, f.BeforeTime}};
    for (auto [box, picker] : pairs) {
        box->click();
        EXPECT_TRUE(picker->isEnabled()) << box->objectName().toStdString();
        box->click();
        EXPECT_FALSE(picker->isEnabled()) << box->objectName().toStdString();
    }
}

TEST_F(WindowTest, AnimationLoopsOverItsFramesWhileActive) {
    MainForm& f = makeForm();
    f.Animate->Play();
    EXPECT_TRUE(f.Animate->Active());
    waitFor([&] { return f.Animate->frame() == TFindAnimation::StopFrame; });
    waitFor([&] { return f.Animate->frame() == TFindAnimation::StartFrame; });
    f.Animate->Stop();
    EXPECT_FALSE(f.Animate->Active());
    EXPECT_EQ(f.Animate->frame(), TFindAnimation::StartFrame);
}

} // namespace
