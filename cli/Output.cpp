#include "cli/Output.h"

#include "cli/ServiceManager.h"

#include <QStringDecoder>

#include <cstdio>
#include <unistd.h>

namespace pw::cli {

bool isValidUtf8(const QByteArray& bytes) {
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    [[maybe_unused]] const QString text = decoder.decode(bytes);
    return !decoder.hasError();
}

QByteArray jsonString(const QByteArray& bytes) {
    const QByteArray utf8 = QString::fromUtf8(bytes).toUtf8();
    QByteArray out;
    out.reserve(utf8.size() + 2);
    out += '"';
    for (char c : utf8) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (u < 0x20) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", u);
            out += escape;
        } else {
            out += c;
        }
    }
    out += '"';
    return out;
}

void JsonLine::key(const char* name) {
    if (m_text.size() > 1) m_text += ',';
    m_text += jsonString(name) + ':';
}

JsonLine& JsonLine::add(const char* name, const QByteArray& bytes) {
    key(name);
    m_text += jsonString(bytes);
    if (!isValidUtf8(bytes)) {
        key((QByteArray(name) + "_base64").constData());
        m_text += '"' + bytes.toBase64() + '"';
    }
    return *this;
}

JsonLine& JsonLine::add(const char* name, qint64 number) {
    key(name);
    m_text += QByteArray::number(number);
    return *this;
}

JsonLine& JsonLine::add(const char* name, bool value) {
    key(name);
    m_text += value ? "true" : "false";
    return *this;
}

JsonLine& JsonLine::add(const char* name, const QList<QByteArray>& texts) {
    key(name);
    m_text += '[';
    for (qsizetype i = 0; i < texts.size(); ++i)
        m_text += (i ? "," : "") + jsonString(texts[i]);
    m_text += ']';
    return *this;
}

QByteArray escapedLine(const QByteArray& bytes) {
    QByteArray out;
    out.reserve(bytes.size());
    for (char c : bytes) {
        const auto u = static_cast<unsigned char>(c);
        switch (c) {
        case '\r':
            out += "\\r";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (u < 0x20 || u == 0x7F) {
                char escape[8];
                std::snprintf(escape, sizeof escape, "\\x%02x", u);
                out += escape;
            } else {
                out += c;
            }
        }
    }
    return out;
}

void Output::line(const QByteArray& text) const {
    if (m_quiet) return;
    std::fwrite(text.constData(), 1, size_t(text.size()), stdout);
    std::fputc('\n', stdout);
}

void Output::error(const QByteArray& path, const QByteArray& reason) {
    std::fflush(stdout);
    static const QByteArray prefix = JournalPrefix(STDERR_FILENO, Priority::Error);
    std::fprintf(stderr, "%spagewarden-cli: %s: %s\n", prefix.constData(), path.constData(),
                 reason.constData());
}

} // namespace pw::cli
