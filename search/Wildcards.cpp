#include "search/Wildcards.h"

#include "platform/ByteTables.h"

namespace pw {

namespace {

unsigned char lower(char c) {
    return LowerCaseTable[static_cast<unsigned char>(c)];
}

bool equalIgnoringAsciiCase(QByteArrayView a, QByteArrayView b) {
    if (a.size() != b.size()) return false;
    for (qsizetype i = 0; i < a.size(); ++i)
        if (lower(a[i]) != lower(b[i])) return false;
    return true;
}

struct BaseAndExtension {
    QByteArrayView base;
    QByteArrayView extension; // from the dot on, dot included; empty when there is none
};

BaseAndExtension split(QByteArrayView s) {
    const qsizetype dot = s.lastIndexOf('.');
    if (dot < 0 || dot < s.lastIndexOf('/')) return {s, {}};
    return {s.first(dot), s.sliced(dot)};
}

} // namespace

bool WildcardMatch(QByteArrayView Text, QByteArrayView Mask) {
    qsizetype i = 0;
    for (; i < Text.size() && i < Mask.size(); ++i) {
        const char m = Mask[i];
        if (m == '*') return true;
        if (m != '?' && lower(m) != lower(Text[i])) return false;
    }
    if (i < Text.size()) return false;
    for (qsizetype j = i; j < Mask.size(); ++j)
        if (Mask[j] != '*' && Mask[j] != '?') return false;
    return true;
}

bool FileNameMatchesMask(QByteArrayView Name, QByteArrayView Mask) {
    const BaseAndExtension name = split(Name);
    const BaseAndExtension mask = split(Mask);
    if (mask.extension.isEmpty()) return WildcardMatch(name.base, mask.base);
    const QByteArrayView nameExtension = name.extension.isEmpty() ? "." : name.extension;
    return WildcardMatch(nameExtension, mask.extension) && WildcardMatch(name.base, mask.base);
}

bool MatchesExclusion(QByteArrayView Folder, QByteArrayView Name, QByteArrayView Item) {
    const qsizetype cut = Item.lastIndexOf('/') + 1;
    const QByteArrayView itemPath = Item.first(cut);
    const QByteArrayView itemName = Item.sliced(cut);
    if (!itemPath.isEmpty()) {
        if (Folder.size() < itemPath.size() ||
            !equalIgnoringAsciiCase(Folder.last(itemPath.size()), itemPath))
            return false;
    }
    return itemName.isEmpty() || FileNameMatchesMask(Name, itemName);
}

} // namespace pw
