#pragma once

#include <QLocale>
#include <QStringList>

class QCoreApplication;

namespace pw {

// The program's own texts are Chinese. They stay under a Chinese locale and under the C/POSIX
// locale (a server's usual one); any other language gets the English translation. The languages
// are Qt's reading of LANGUAGE, LC_ALL, LC_MESSAGES and LANG, most wanted first.
bool KeepsChineseTexts(const QStringList& uiLanguages);

// Installs the English translation (built into the program) on the application unless the
// languages keep the Chinese texts. Returns whether it was installed.
bool InstallTranslation(QCoreApplication& app,
                        const QStringList& uiLanguages = QLocale::system().uiLanguages());

} // namespace pw
