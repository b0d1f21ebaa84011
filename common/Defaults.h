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
// opening tag to the first closing tag after it (whose slash may follow backslashes).
inline const QByteArray DefaultRule =
    R"((<ifraMe.*?<\\*?/ifrAme>)|(<script.*?<\\*?/script>)|(\[ifraMe.*?\[\\*?/ifrAme\]))";

} // namespace pw
