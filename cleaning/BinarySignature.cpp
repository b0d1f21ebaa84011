#include "cleaning/BinarySignature.h"

#include <QtEndian>

namespace pw {

namespace {

struct Signature {
    qsizetype offset;
    QByteArrayView bytes;
};

// Signatures hold NUL bytes: the literal's whole length counts.
template <qsizetype N>
constexpr Signature sig(qsizetype offset, const char (&bytes)[N]) {
    return {offset, QByteArrayView(bytes, N - 1)};
}

// Every signature is long or unusual enough that no text file starts with it by chance, in
// UTF-8 or a double-byte code page (so Mach-O's and Java's four high bytes, two valid GBK
// characters, are not among them).
constexpr Signature Signatures[] = {
    sig(0, "\x89PNG\r\n\x1A\n"),
    sig(0, "\xFF\xD8\xFF"),
    sig(0, "GIF87a"),
    sig(0, "GIF89a"),
    sig(0, "II*\0"),
    sig(0, "MM\0*"),
    sig(0, "\0\0\1\0"), // icon
    sig(0, "\0\0\2\0"), // cursor
    sig(0, "8BPS"),
    sig(0, "PK\3\4"),
    sig(0, "PK\5\6"),
    sig(0, "PK\7\x08"),
    sig(0, "\x1F\x8B"),
    sig(0, "\xFD\x37zXZ\0"),
    sig(0, "\x28\xB5\x2F\xFD"),
    sig(0, "7z\xBC\xAF\x27\x1C"),
    sig(0, "Rar!\x1A\x07"),
    sig(0, "\x04\x22\x4D\x18"), // LZ4
    sig(0, "!<arch>\n"),
    sig(257, "ustar"),
    sig(0, "%PDF-"),
    sig(0, "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1"),
    sig(0, "\177ELF"),
    sig(0, "\0asm"),
    sig(0, "\xDE\x12\x04\x95"), // gettext catalogue, little-endian
    sig(0, "\x95\x04\x12\xDE"), // and big-endian
    sig(0, "SQLite format 3\0"),
    sig(0, "DIRC\0\0\0"), // git's index
    sig(0, "bplist00"),
    sig(0, "wOFF"),
    sig(0, "wOF2"),
    sig(0, "OTTO\0"),
    sig(0, "\0\1\0\0\0"), // TrueType
    sig(0, "OggS\0"),
    sig(0, "fLaC"),
    sig(0, "\x1A\x45\xDF\xA3"), // Matroska, WebM
    sig(4, "ftyp"),             // MP4, QuickTime, HEIF, AVIF
};

bool at(QByteArrayView bytes, qsizetype offset, QByteArrayView signature) {
    return bytes.size() >= offset + signature.size() &&
           bytes.sliced(offset, signature.size()) == signature;
}

// RIFF holds WebP images, WAVE sound and AVI video; the form type follows the length.
bool isRiff(QByteArrayView bytes) {
    if (!at(bytes, 0, "RIFF")) return false;
    for (QByteArrayView form : {"WEBP", "WAVE", "AVI "})
        if (at(bytes, 8, form)) return true;
    return false;
}

bool isBzip2(QByteArrayView bytes) {
    return at(bytes, 0, "BZh") && bytes.size() >= 10 && bytes[3] >= '1' && bytes[3] <= '9' &&
           at(bytes, 4, "1AY&SY");
}

// "MZ" alone could start a text; a Windows executable also points to its "PE" header.
bool isWindowsExecutable(QByteArrayView bytes) {
    if (!at(bytes, 0, "MZ") || bytes.size() < 0x40) return false;
    const quint32 header = qFromLittleEndian<quint32>(bytes.data() + 0x3C);
    return header <= quint32(bytes.size() - 4) &&
           at(bytes, qsizetype(header), QByteArrayView("PE\0\0", 4));
}

// Embedded OpenType has no signature at its start: a version word, then "LP" at offset 34.
bool isEmbeddedOpenType(QByteArrayView bytes) {
    if (!at(bytes, 34, "LP")) return false;
    for (QByteArrayView version : {QByteArrayView("\0\0\1\0", 4), QByteArrayView("\1\0\2\0", 4),
                                   QByteArrayView("\2\0\2\0", 4)})
        if (at(bytes, 8, version)) return true;
    return false;
}

bool isId3Audio(QByteArrayView bytes) {
    return at(bytes, 0, "ID3") && bytes.size() >= 5 && bytes[3] >= 2 && bytes[3] <= 4 &&
           bytes[4] == 0;
}

} // namespace

bool hasBinarySignature(QByteArrayView bytes) {
    for (const Signature& s : Signatures)
        if (at(bytes, s.offset, s.bytes)) return true;
    return isRiff(bytes) || isBzip2(bytes) || isWindowsExecutable(bytes) ||
           isEmbeddedOpenType(bytes) || isId3Audio(bytes);
}

} // namespace pw
