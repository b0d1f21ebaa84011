#pragma once

#include "regex/PcreRegEx.h"

#include <QByteArray>

#include <optional>

namespace pw {

// The options every cleaning rule is compiled with: case-insensitive matching only.
inline const TPcreRegExOptions CleaningRuleOptions{preCaseLess};

// The rule as typed by the user, trimmed of blanks and control characters at both ends.
QByteArray cleaningRule(const QByteArray& typed);

// The check callers run before touching any file: the error an empty or invalid rule gives
// (the adapter's own text, with PCRE's offset and message), or nothing when it compiles.
std::optional<EPcreError> checkCleaningRule(const QByteArray& typed);

// A refused rule for messages, without the adapter's own wording: "invalid rule at offset N:
// TEXT", or "invalid rule: the rule is empty".
QByteArray describeRuleError(const EPcreError& error);

} // namespace pw
