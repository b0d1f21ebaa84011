#pragma once

#include <QByteArrayView>

namespace pw {

// The name rules of exclusion items. Paths use "/" as separator and have no drive part.

// One left-to-right pass, no backtracking: "*" accepts the rest at once, "?" takes any one byte,
// other bytes compare with 'A'-'Z' folded. A used-up text matches a rest of only "*" and "?".
bool WildcardMatch(QByteArrayView Text, QByteArrayView Mask);

// Compares base and extension (from the last "." after the last "/") separately; a mask without
// an extension ignores the name's extension, and a name without one counts as ".".
bool FileNameMatchesMask(QByteArrayView Name, QByteArrayView Mask);

// Whether one exclusion item applies to entry Name of Folder (a full path ending with "/"). The
// item's folder part, up to its last "/", must equal the tail of Folder ('A'-'Z' folded); its
// name part, when there is one, must match Name by FileNameMatchesMask.
bool MatchesExclusion(QByteArrayView Folder, QByteArrayView Name, QByteArrayView Item);

} // namespace pw
