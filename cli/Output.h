#pragma once

#include <QByteArray>
#include <QList>

namespace pw::cli {

// One JSON object on one line. Byte texts that are not valid UTF-8 are written lossily under
// their key and exactly, base64-encoded, under "<key>_base64".
class JsonLine {
public:
    JsonLine& add(const char* key, const QByteArray& bytes);
    JsonLine& add(const char* key, const char* text) { return add(key, QByteArray(text)); }
    JsonLine& add(const char* key, qint64 number);
    JsonLine& add(const char* key, bool value);
    JsonLine& add(const char* key, const QList<QByteArray>& texts);
    QByteArray text() const { return m_text + '}'; }

private:
    void key(const char* name);
    QByteArray m_text = "{";
};

// A JSON string literal of bytes (invalid UTF-8 replaced by U+FFFD).
QByteArray jsonString(const QByteArray& bytes);
bool isValidUtf8(const QByteArray& bytes);

// Control bytes as C escapes (\r, \n, \t, \xHH), so that one text stays on one line of a
// terminal; every other byte, a backslash included, as it stands in the file.
QByteArray escapedLine(const QByteArray& bytes);

// Writes stdout lines (nothing when quiet) and stderr errors ("pagewarden-cli: PATH: reason").
class Output {
public:
    Output(bool json, bool quiet)
        : m_json(json)
        , m_quiet(quiet) {}
    bool json() const { return m_json; }
    bool quiet() const { return m_quiet; }

    void line(const QByteArray& text) const;
    void line(const JsonLine& json) const { line(json.text()); }
    static void error(const QByteArray& path, const QByteArray& reason);

private:
    bool m_json;
    bool m_quiet;
};

} // namespace pw::cli
