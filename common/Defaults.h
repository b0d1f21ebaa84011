#pragma once

#include <QByteArray>
#include <QByteArrayView>

namespace pw {

// The key of the two stored settings, the values "SearchKey" (the keyword) and "SearchPath".
inline constexpr QByteArrayView SettingsKey{"\\SoftWare\\Scrubline"};

// The values the window starts with; the command line uses the same.
inline const QByteArray DefaultKeyword = "evilstats.example";
inline const QByteArray DefaultMasks = "*.txt;*.asp;*.html;*.htm;*.php;*.inc;*.js";
// An inline frame, a script element, or a frame written with square brackets, each from its
// opening tag to its own closing tag (whose slash may follow backslashes). Its body never starts
// another opening tag of its kind except as a nested element of that kind, so a stray opening
// earlier on a line (a "<script" string in minified code) is never taken along, and a script
// that writes a script goes whole.
inline const QByteArray DefaultRule =
    R"((<ifraMe(?:[^<\n]++|<(?!ifraMe|\\*/ifrAme>)|(?1))*+<\\*?/ifrAme>))"
    R"(|(<script(?:[^<\n]++|<(?!script|\\*/script>)|(?2))*+<\\*?/script>))"
    R"(|(\[ifraMe(?:[^\[\n]++|\[(?!ifraMe|\\*/ifrAme\])|(?3))*+\[\\*?/ifrAme\]))";

} // namespace pw
