#pragma once

#include <QByteArray>
#include <QByteArrayView>

namespace pw {

// Texts are byte strings: no character-set conversion anywhere in the core.

// Removes leading and trailing bytes of value 0x20 or less (blanks and control characters).
QByteArray trimmed(QByteArrayView text);

// Folds only 'A'-'Z' to 'a'-'z'; every other byte, 0x80-0xFF included, stays as it is.
QByteArray lowerAscii(QByteArrayView text);

// The separator written by the system between lines.
inline constexpr QByteArrayView CrLf{"\r\n"};

} // namespace pw
