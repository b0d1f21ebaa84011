#include "platform/Translation.h"

#include <QCoreApplication>
#include <QTranslator>

namespace pw {

bool KeepsChineseTexts(const QStringList& uiLanguages) {
    if (uiLanguages.isEmpty()) return true;
    const QString& first = uiLanguages.first();
    return first == QLatin1String("C") || first == QLatin1String("POSIX") ||
           first.startsWith(QLatin1String("zh"), Qt::CaseInsensitive);
}

bool InstallTranslation(QCoreApplication& app, const QStringList& uiLanguages) {
    if (KeepsChineseTexts(uiLanguages)) return false;
    auto* english = new QTranslator(&app);
    if (!english->load(QStringLiteral(":/i18n/pagewarden_en.qm")) ||
        !QCoreApplication::installTranslator(english)) {
        delete english;
        return false;
    }
    return true;
}

} // namespace pw
