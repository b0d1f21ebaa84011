#pragma once

#include <QByteArray>

namespace pw {

// Asks the desktop to open the file at this full path with its standard open action. The
// result is ignored: nothing happens when nothing can open it. A path that is not valid UTF-8
// is passed as the desktop's URL handling decodes it, as best it can.
void ShellOpen(const QByteArray& path);

} // namespace pw
