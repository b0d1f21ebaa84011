#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QDate>
#include <QHash>
#include <QList>
#include <QLocale>
#include <QString>
#include <QTime>

namespace pw {

// The size column: "文件夹" for a folder, otherwise the size in kilobytes rounded up and "KB"
// (0 bytes give 0KB, 1 to 1024 bytes 1KB, 1025 bytes 2KB). The whole 64-bit size counts.
QByteArray SizeText(qint64 size, bool isFolder);

// The same texts, kept for the common sizes so that rows share them.
class TRowSizeFormatter {
public:
    QByteArray text(qint64 size, bool isFolder);

private:
    static constexpr qint64 Kept = 4096; // kilobytes
    QList<QByteArray> m_texts;
    QByteArray m_folder = SizeText(0, true);
};

// The text comparison of the results list: bytes compared after mapping a-z to A-Z only; at the
// first difference the difference of the two mapped bytes taken as unsigned, else the
// difference of the lengths.
int CompareText(QByteArrayView a, QByteArrayView b);

// The status text at the end of a search: "%d folder(s) searched and %d file(s) found - %.3f
// second(s)", the time taken from two tick counts as an unsigned 32-bit difference (right across
// the counter's wrap), written with the locale's decimal separator and no grouping.
QString SearchSummary(int folders, int files, quint32 startTicks, quint32 endTicks,
                      const QLocale& locale = QLocale());

// The local date and time packed in the MS-DOS format (date in the high 16 bits, time in the
// low 16 bits); invalid fields give an invalid date or time.
QDate DosDate(quint32 dosTime);
QTime DosTime(quint32 dosTime);

// The locale's long time format without its time-zone field: a listed or picked local time has
// no zone to show.
QString LongTimeFormat(const QLocale& locale);

// The modification-time column: the user's short date, one blank and the user's long time;
// the date alone at exactly 00:00:00. Texts are kept per distinct value (and per distinct date
// and time of day), so a long list costs one formatting per distinct value, not per row, and
// rows of the same time share one text.
class TRowTimeFormatter {
public:
    explicit TRowTimeFormatter(const QLocale& locale = QLocale());
    QByteArray text(QDate date, QTime time);
    QByteArray text(quint32 dosTime);

private:
    QLocale m_locale;
    QString m_timeFormat;
    QHash<quint32, QByteArray> m_packed; // whole texts, by packed value
    QHash<qint64, QByteArray> m_dates;
    QHash<int, QByteArray> m_times;
};

} // namespace pw
