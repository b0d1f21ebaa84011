#include "common/Text.h"

namespace pw {

QByteArray trimmed(QByteArrayView text) {
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && static_cast<unsigned char>(text[begin]) <= 0x20)
        ++begin;
    while (end > begin && static_cast<unsigned char>(text[end - 1]) <= 0x20)
        --end;
    return text.sliced(begin, end - begin).toByteArray();
}

QByteArray lowerAscii(QByteArrayView text) {
    QByteArray out(text.data(), text.size());
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

} // namespace pw
