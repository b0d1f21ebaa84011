#pragma once

#include <QByteArrayView>

namespace pw {

// Whether bytes start with the signature of a well-known binary format: images (PNG, JPEG, GIF,
// WebP, TIFF, icons), archives and compressed data (ZIP and its kin, gzip, bzip2, xz, zstd, 7z,
// RAR, tar), documents (PDF, old Office), executables (ELF, PE, WebAssembly), databases (SQLite,
// git's index), translation catalogues, fonts and media. Rewriting such a file as text would
// corrupt it. A NUL byte alone proves nothing: text files may hold one.
bool hasBinarySignature(QByteArrayView bytes);

} // namespace pw
