#include "platform/ErrorDisplay.h"

#include <QCoreApplication>

#include <cstdio>
#include <mutex>

namespace pw {

namespace {

std::mutex displayMutex;
TErrorDisplay installedDisplay;

void writeToStderr(const QByteArray& message) {
    const QByteArray name = QCoreApplication::applicationName().toLocal8Bit();
    std::fprintf(stderr, "%s: %s\n", name.isEmpty() ? "pagewarden" : name.constData(),
                 message.constData());
}

} // namespace

void SetErrorDisplay(TErrorDisplay display) {
    std::lock_guard lock(displayMutex);
    installedDisplay = std::move(display);
}

void ShowError(const QByteArray& message) {
    TErrorDisplay display;
    {
        std::lock_guard lock(displayMutex);
        display = installedDisplay;
    }
    if (display)
        display(message);
    else
        writeToStderr(message);
}

} // namespace pw
