#include "platform/Translation.h"
#include "app/FoundFilesModel.h"
#include "tests/app/WindowFixture.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QStatusBar>
#include <QTabBar>
#include <QTabWidget>
#include <QTranslator>
#include <QXmlStreamReader>

#include <map>

using namespace pw;
using pw::test::WindowTest;

namespace {

TEST(Translation, ChineseStaysUnderChineseAndCLocalesOnly) {
    const struct {
        QStringList languages;
        bool chinese;
    } cases[] = {
        {{}, true},
        {{"C"}, true},
        {{"zh-CN", "zh-Hans-CN", "zh"}, true},
        {{"zh-TW", "zh-Hant-TW"}, true},
        {{"en-US", "en-Latn-US", "en"}, false},
        {{"de-DE", "de"}, false},
        {{"fr", "zh-CN"}, false}, // the first wanted language decides
    };
    for (const auto& c : cases)
        EXPECT_EQ(KeepsChineseTexts(c.languages), c.chinese) << c.languages.join(',').toStdString();
}

// Every text of every control, by the control's name (and the tab or column for those).
using Texts = std::map<QString, QString>;

Texts textsOf(const MainForm& form) {
    Texts texts;
    for (const QWidget* w : form.findChildren<QWidget*>()) {
        const QString name = w->objectName();
        if (name.isEmpty()) continue;
        if (auto* b = qobject_cast<const QAbstractButton*>(w)) texts[name] = b->text();
        if (auto* l = qobject_cast<const QLabel*>(w)) texts[name] = l->text();
        if (auto* g = qobject_cast<const QGroupBox*>(w)) texts[name] = g->title();
        if (auto* m = qobject_cast<const QPlainTextEdit*>(w)) texts[name] = m->toPlainText();
        if (auto* t = qobject_cast<const QTabWidget*>(w))
            for (int i = 0; i < t->count(); ++i)
                texts[name + '/' + t->widget(i)->objectName()] = t->tabText(i);
    }
    for (int c = 0; c < TFoundFilesModel::ColumnCount; ++c)
        texts["FoundFiles/" + QString::number(c)] =
            form.FoundFilesModel->headerData(c, Qt::Horizontal, Qt::DisplayRole).toString();
    texts["StatusBar"] = form.StatusBar->currentMessage();
    texts["Logs"].clear(); // empty at start in both languages
    return texts;
}

std::map<QString, QRect> geometryOf(const MainForm& form) {
    std::map<QString, QRect> rects;
    for (const QWidget* w : form.findChildren<QWidget*>())
        if (!w->objectName().isEmpty()) rects[w->objectName()] = w->geometry();
    return rects;
}

const QRegularExpression Han(QStringLiteral("\\p{Han}"));

class TranslatedWindowTest : public WindowTest {
protected:
    void TearDown() override {
        WindowTest::TearDown();
        qDeleteAll(qApp->findChildren<QTranslator*>()); // a deleted translator is uninstalled
    }
    static void installEnglish() { ASSERT_TRUE(InstallTranslation(*qApp, {"en-US"})); }
};

// Under English every caption, header, status text and note is translated, none is left out
// or left Chinese, and each control keeps its place and size and shows its whole caption.
TEST_F(TranslatedWindowTest, EveryTextIsEnglishAndStaysWhereItWas) {
    EXPECT_FALSE(InstallTranslation(*qApp, {"zh-CN"}));
    const Texts chinese = textsOf(makeForm());
    const auto rects = geometryOf(*form);
    form.reset();

    installEnglish();
    const Texts english = textsOf(makeForm());
    ASSERT_EQ(english.size(), chinese.size());
    for (const auto& [name, text] : english) {
        const QString& source = chinese.at(name);
        EXPECT_FALSE(text.contains(Han)) << name.toStdString() << ": " << text.toStdString();
        EXPECT_EQ(text.trimmed().isEmpty(), source.trimmed().isEmpty()) << name.toStdString();
        if (source.contains(Han)) EXPECT_NE(text, source) << name.toStdString();
    }
    EXPECT_EQ(geometryOf(*form), rects);

    // Check boxes and labels ask for exactly their caption's room; a push button asks for a
    // minimum width of its style's, so its caption is measured instead.
    form->resize(MainForm::ClientSize);
    for (const QWidget* w : form->findChildren<QWidget*>()) {
        if (w->objectName().isEmpty()) continue;
        int wanted = 0;
        if (auto* b = qobject_cast<const QPushButton*>(w))
            wanted = b->fontMetrics().horizontalAdvance(b->text()) + 8;
        else if (qobject_cast<const QAbstractButton*>(w) ||
                 (qobject_cast<const QLabel*>(w) && w->parent() != form->StatusBar))
            wanted = w->sizeHint().width();
        EXPECT_LE(wanted, w->width()) << w->objectName().toStdString() << " clips its caption";
    }
    EXPECT_LE(form->PageControl->tabBar()->sizeHint().width(), form->PageControl->width());
}

// The texts that appear only later (monitoring, message boxes, status texts, log lines) are in
// the translation source; each of them has its English text in the program.
TEST_F(TranslatedWindowTest, EveryTextOfTheTranslationSourceIsTranslated) {
    installEnglish();
    QFile ts(QString::fromLocal8Bit(test::sourcePath("translations/pagewarden_en.ts")));
    ASSERT_TRUE(ts.open(QIODevice::ReadOnly));
    QXmlStreamReader xml(&ts);
    QString context;
    int messages = 0;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement) continue;
        if (xml.name() == QLatin1String("name")) context = xml.readElementText();
        if (xml.name() != QLatin1String("source")) continue;
        const QString source = xml.readElementText();
        const QString english =
            QCoreApplication::translate(context.toUtf8().constData(), source.toUtf8().constData());
        EXPECT_NE(english, source) << context.toStdString() << ": " << source.toStdString();
        EXPECT_FALSE(english.contains(Han)) << english.toStdString();
        ++messages;
    }
    EXPECT_FALSE(xml.hasError()) << xml.errorString().toStdString();
    EXPECT_GT(messages, 0);
}

} // namespace
