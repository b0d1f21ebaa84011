#include "app/MainForm.h"
#include "platform/ErrorDisplay.h"
#include "threads/ThreadMutex.h"

#include <QApplication>
#include <QMessageBox>
#include <QScreen>

#include <cstdio>

namespace {

// Without a display Qt would abort; say so plainly and point to the command-line program.
bool hasDisplay() {
    return !qEnvironmentVariableIsEmpty("DISPLAY") ||
           !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") ||
           !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM");
}

} // namespace

int main(int argc, char** argv) {
    if (!hasDisplay()) {
        std::fputs("pagewarden: no display (DISPLAY and WAYLAND_DISPLAY are not set); "
                   "use pagewarden-cli on this machine, see pagewarden-cli --help\n",
                   stderr);
        return 1;
    }
    // Module start-up before the application object: the worker threads' named object.
    pw::CreateThreadMutex();

    // The program takes no arguments: Qt is not shown them either.
    int qtArgc = argc > 0 ? 1 : 0;
    QApplication app(qtArgc, argv);
    QApplication::setApplicationName(QStringLiteral("pagewarden"));
    QApplication::setApplicationDisplayName(QStringLiteral("Pagewarden"));
    QApplication::setApplicationVersion(QStringLiteral(PAGEWARDEN_VERSION));

    // The standard error display: a message box with the application's title and a stop icon.
    pw::SetErrorDisplay([](const QByteArray& message) {
        QMessageBox::critical(QApplication::activeWindow(), QApplication::applicationDisplayName(),
                              QString::fromUtf8(message));
    });

    pw::MainForm form;
    const QRect desktop = form.screen()->availableGeometry();
    form.move(desktop.center() - form.rect().center());
    form.show();
    return QApplication::exec();
}
