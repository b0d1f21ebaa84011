#include "app/ShellOpen.h"

#include <QDesktopServices>
#include <QFile>
#include <QUrl>

namespace pw {

void ShellOpen(const QByteArray& path) {
    QDesktopServices::openUrl(QUrl::fromLocalFile(QFile::decodeName(path)));
}

} // namespace pw
