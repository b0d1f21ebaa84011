#include "app/RowText.h"

#include <QCoreApplication>

#include <algorithm>
#include <climits>
#include <cstring>

namespace pw {

QByteArray SizeText(qint64 size, bool isFolder) {
    if (isFolder) return QCoreApplication::translate("TRowSizeFormatter", "文件夹").toUtf8();
    const qint64 kilobytes = size / 1024 + (size % 1024 > 0 ? 1 : 0); // no overflow near 2^63
    return QByteArray::number(kilobytes) + "KB";
}

QByteArray TRowSizeFormatter::text(qint64 size, bool isFolder) {
    if (isFolder) return m_folder;
    const qint64 kilobytes = size / 1024 + (size % 1024 > 0 ? 1 : 0);
    if (kilobytes >= Kept) return SizeText(size, false);
    if (m_texts.isEmpty()) m_texts.resize(Kept);
    QByteArray& kept = m_texts[kilobytes];
    if (kept.isNull()) kept = SizeText(size, false);
    return kept;
}

int CompareText(QByteArrayView a, QByteArrayView b) {
    const auto upper = [](char c) {
        const auto u = static_cast<unsigned char>(c);
        return u >= 'a' && u <= 'z' ? u - ('a' - 'A') : u;
    };
    const qsizetype common = std::min(a.size(), b.size());
    qsizetype i = 0;
    while (i < common) {
        // Identical bytes are equal folded too: pass over them eight at a time (rows of one
        // folder share long prefixes), then compare the first differing byte folded.
        while (i + 8 <= common) {
            quint64 x = 0;
            quint64 y = 0;
            std::memcpy(&x, a.data() + i, 8);
            std::memcpy(&y, b.data() + i, 8);
            if (x != y) break;
            i += 8;
        }
        while (i < common && a[i] == b[i])
            ++i;
        if (i == common) break;
        const int diff = upper(a[i]) - upper(b[i]);
        if (diff != 0) return diff;
        ++i;
    }
    return static_cast<int>(std::clamp<qsizetype>(a.size() - b.size(), INT_MIN, INT_MAX));
}

QString SearchSummary(int folders, int files, quint32 startTicks, quint32 endTicks,
                      const QLocale& locale) {
    const double seconds = static_cast<quint32>(endTicks - startTicks) / 1000.0;
    QLocale plain = locale;
    plain.setNumberOptions(plain.numberOptions() | QLocale::OmitGroupSeparator);
    return QStringLiteral("%1 folder(s) searched and %2 file(s) found - %3 second(s)")
        .arg(folders)
        .arg(files)
        .arg(plain.toString(seconds, 'f', 3));
}

QDate DosDate(quint32 dosTime) {
    const quint32 date = dosTime >> 16;
    return QDate(1980 + static_cast<int>(date >> 9), (date >> 5) & 0x0F, date & 0x1F);
}

QTime DosTime(quint32 dosTime) {
    const quint32 time = dosTime & 0xFFFF;
    return QTime(static_cast<int>(time >> 11), (time >> 5) & 0x3F, 2 * (time & 0x1F));
}

QString LongTimeFormat(const QLocale& locale) {
    // Drops every unquoted run of 't' (the zone) with the blanks around it.
    const QString format = locale.timeFormat(QLocale::LongFormat);
    QString out;
    bool quoted = false;
    for (qsizetype i = 0; i < format.size(); ++i) {
        const QChar c = format[i];
        if (c == u'\'') quoted = !quoted;
        if (quoted || c != u't') {
            out += c;
            continue;
        }
        while (out.endsWith(u' '))
            out.chop(1);
        while (i + 1 < format.size() && (format[i + 1] == u't' || format[i + 1] == u' '))
            ++i;
        if (!out.isEmpty() && i + 1 < format.size()) out += u' ';
    }
    return out.trimmed();
}

TRowTimeFormatter::TRowTimeFormatter(const QLocale& locale)
    : m_locale(locale)
    , m_timeFormat(LongTimeFormat(locale)) {}

QByteArray TRowTimeFormatter::text(quint32 dosTime) {
    auto found = m_packed.constFind(dosTime);
    if (found == m_packed.constEnd())
        found = m_packed.insert(dosTime, text(DosDate(dosTime), DosTime(dosTime)));
    return *found;
}

QByteArray TRowTimeFormatter::text(QDate date, QTime time) {
    auto dateText = m_dates.find(date.toJulianDay());
    if (dateText == m_dates.end())
        dateText = m_dates.insert(date.toJulianDay(),
                                  m_locale.toString(date, QLocale::ShortFormat).toUtf8());
    if (time == QTime(0, 0)) return *dateText;
    const int seconds = time.isValid() ? time.msecsSinceStartOfDay() : -1;
    auto timeText = m_times.find(seconds);
    if (timeText == m_times.end())
        timeText = m_times.insert(seconds, m_locale.toString(time, m_timeFormat).toUtf8());
    return *dateText + ' ' + *timeText;
}

} // namespace pw
