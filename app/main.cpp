#include "app/MainForm.h"
#include "platform/ErrorDisplay.h"
#include "platform/OpenFileLimit.h"
#include "platform/Translation.h"
#include "threads/ThreadMutex.h"

#include <QApplication>
#include <QMessageBox>
#include <QScreen>

#include <QStringList>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

const char* const NoDisplay = "pagewarden: no display reachable (DISPLAY or WAYLAND_DISPLAY); use "
                              "pagewarden-cli on this machine, see pagewarden-cli --help\n";

// Qt ends the process with an abort when its window system cannot be reached: while the
// application object is made, that end is the same plain line as with no display at all, and
// the messages Qt gives on the way are held back until the window system is known to be there.
QStringList& heldMessages() {
    static QStringList held;
    return held;
}

void startUpMessage(QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (type == QtFatalMsg) {
        std::fputs(NoDisplay, stderr);
        std::_Exit(1);
    }
    heldMessages().append(message);
}

// Without a display Qt would abort; say so plainly and point to the command-line program.
bool hasDisplay() {
    return !qEnvironmentVariableIsEmpty("DISPLAY") ||
           !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") ||
           !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM");
}

// The window takes no arguments; only these two answer on the terminal, for packaging and for
// the manual page. Anything else is ignored, as before.
bool answeredOnTerminal(int argc, char** argv) {
    if (argc != 2) return false;
    if (!std::strcmp(argv[1], "--version")) {
        std::printf("pagewarden %s\n", PAGEWARDEN_VERSION);
        return true;
    }
    if (!std::strcmp(argv[1], "--help") || !std::strcmp(argv[1], "-h")) {
        std::fputs("Usage: pagewarden\n\n"
                   "Opens the window that finds and cleans web files with injected <iframe> and "
                   "<script> elements.\nSee pagewarden(1); for terminals and servers, "
                   "pagewarden-cli(1).\n\n"
                   "Options:\n"
                   "  -h, --help  Show this help.\n"
                   "  --version   Show the version.\n",
                   stdout);
        return true;
    }
    return false;
}

} // namespace

int main(int argc, char** argv) {
    if (answeredOnTerminal(argc, argv)) return 0;
    if (!hasDisplay()) {
        std::fputs(NoDisplay, stderr);
        return 1;
    }
    // Module start-up before the application object: the worker threads' named object.
    pw::CreateThreadMutex();
    pw::RaiseOpenFileLimit();

    // The program takes no arguments: Qt is not shown them either.
    int qtArgc = argc > 0 ? 1 : 0;
    const QtMessageHandler previous = qInstallMessageHandler(startUpMessage);
    QApplication app(qtArgc, argv);
    qInstallMessageHandler(previous);
    for (const QString& message : heldMessages())
        std::fprintf(stderr, "%s\n", qPrintable(message));
    QApplication::setApplicationName(QStringLiteral("pagewarden"));
    QApplication::setApplicationDisplayName(QStringLiteral("Pagewarden"));
    QApplication::setApplicationVersion(QStringLiteral(PAGEWARDEN_VERSION));
    pw::InstallTranslation(app);

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
