#pragma once

#include <QByteArray>

namespace pw {

// CR LF stays, a CR without LF and an LF without CR each become CR LF; nothing else changes.
// Returns the input itself (shared, not copied) when it has no other breaks.
QByteArray normaliseLineBreaks(const QByteArray& text);

// The text cut into lines and joined back with CR LF after every line: the normalised text with
// a final CR LF added when it lacks one. An empty text stays empty.
QByteArray lineListText(const QByteArray& text);

} // namespace pw
