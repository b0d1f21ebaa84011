#pragma once

#include <QByteArray>

#include <functional>

namespace pw {

// The application's standard error display: how an error that no caller can answer (one that
// escapes a background search, say) is shown. The window installs a message box; the default
// writes one line to stderr. Called on the thread that owns the failed component.
using TErrorDisplay = std::function<void(const QByteArray& message)>;

void SetErrorDisplay(TErrorDisplay display);
void ShowError(const QByteArray& message);

} // namespace pw
