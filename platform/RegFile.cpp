#include "platform/RegFile.h"

#include <QString>
#include <QUtf8StringView>

namespace pw {

namespace {

const QByteArrayView Header4 = "REGEDIT4";
const QByteArrayView Header5 = "Windows Registry Editor Version 5.00";

bool sameName(QByteArrayView a, QByteArrayView b) {
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

bool isTextType(quint32 type) {
    return type == rtString || type == rtExpandString || type == rtMultiString;
}

// Reads one quoted text at `pos` (on the opening quote) with the escapes \\ and \"; moves `pos`
// past the closing quote.
std::optional<QByteArray> readQuoted(QByteArrayView line, qsizetype& pos) {
    if (pos >= line.size() || line[pos] != '"') return std::nullopt;
    QByteArray text;
    for (++pos; pos < line.size(); ++pos) {
        const char c = line[pos];
        if (c == '"') {
            ++pos;
            return text;
        }
        if (c == '\\' && pos + 1 < line.size()) ++pos;
        text += line[pos];
    }
    return std::nullopt; // no closing quote
}

std::optional<QByteArray> readHexBytes(QByteArrayView list) {
    QByteArray bytes;
    for (const QByteArray& raw : list.toByteArray().split(',')) {
        const QByteArray item = raw.trimmed();
        if (item.isEmpty() && bytes.isEmpty()) continue; // "hex:" with no bytes
        bool ok = false;
        const uint byte = item.toUInt(&ok, 16);
        if (!ok || item.size() > 2 || byte > 0xFF) return std::nullopt;
        bytes += static_cast<char>(byte);
    }
    return bytes;
}

// A version 5.00 export keeps text values in hex form as UTF-16LE; the store keeps them as the
// narrow (UTF-8) text the program reads.
std::optional<QByteArray> narrowFromUtf16(const QByteArray& utf16) {
    if (utf16.size() % 2 != 0) return std::nullopt;
    QString text(utf16.size() / 2, Qt::Uninitialized);
    for (qsizetype i = 0; i < text.size(); ++i)
        text[i] =
            QChar(static_cast<uchar>(utf16[2 * i]) | static_cast<uchar>(utf16[2 * i + 1]) << 8);
    return text.toUtf8();
}

std::optional<TRegValue> readData(QByteArrayView data, bool unicode) {
    if (data.startsWith('"')) {
        qsizetype pos = 0;
        std::optional<QByteArray> text = readQuoted(data, pos);
        if (!text || !data.sliced(pos).trimmed().isEmpty()) return std::nullopt;
        return TRegValue::string(*text);
    }
    if (data.startsWith("dword:")) {
        bool ok = false;
        const QByteArrayView digits = data.sliced(6).trimmed();
        const uint number = digits.toUInt(&ok, 16);
        if (!ok || digits.size() > 8) return std::nullopt;
        return TRegValue::dword(number);
    }
    quint32 type = rtBinary;
    qsizetype listStart = 0;
    if (data.startsWith("hex:")) {
        listStart = 4;
    } else if (data.startsWith("hex(")) {
        const qsizetype close = data.indexOf("):");
        bool ok = false;
        type = close > 4 ? data.sliced(4, close - 4).toUInt(&ok, 16) : 0;
        if (!ok) return std::nullopt;
        listStart = close + 2;
    } else {
        return std::nullopt; // a deletion ("-") or something unknown
    }
    std::optional<QByteArray> bytes = readHexBytes(data.sliced(listStart));
    if (bytes && unicode && isTextType(type)) bytes = narrowFromUtf16(*bytes);
    if (!bytes) return std::nullopt;
    return TRegValue{type, *bytes};
}

// Cuts the text into lines, joining hex lists continued with a final backslash.
QList<QByteArray> logicalLines(QByteArrayView text) {
    QList<QByteArray> lines;
    bool continued = false;
    for (QByteArrayView line : text.toByteArray().split('\n')) {
        if (line.endsWith('\r')) line.chop(1);
        if (continued)
            lines.back() += line.trimmed();
        else
            lines.append(line.toByteArray());
        continued = lines.back().endsWith('\\') && !lines.back().startsWith(';');
        if (continued) lines.back().chop(1);
    }
    return lines;
}

QByteArray quoted(QByteArrayView text) {
    QByteArray out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
    return out + '"';
}

// A string value is written in quotes when it reads back exactly: one final NUL, and text a
// line-based editor shows as it is. Anything else is written as hex(1).
bool fitsQuotes(const TRegValue& v) {
    if (v.type != rtString || !v.data.endsWith('\0')) return false;
    const QByteArrayView text = QByteArrayView(v.data).chopped(1);
    for (char c : text)
        if (static_cast<uchar>(c) < 0x20 || c == 0x7F) return false;
    return QUtf8StringView(text).isValidUtf8();
}

QByteArray formatHex(QByteArray line, const QByteArray& bytes) {
    constexpr int Width = 76;
    qsizetype lineStart = 0;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        if (line.size() - lineStart + 3 > Width) {
            line += "\\\n  ";
            lineStart = line.size() - 2;
        }
        line += QByteArray::number(static_cast<uchar>(bytes[i]), 16).rightJustified(2, '0');
        if (i + 1 < bytes.size()) line += ',';
    }
    return line;
}

QByteArray formatValue(const TRegFile::Named& named) {
    const TRegValue& v = named.value;
    QByteArray line = named.name.isEmpty() ? QByteArray("@=") : quoted(named.name) + '=';
    if (fitsQuotes(v)) return line + quoted(QByteArrayView(v.data).chopped(1));
    if (v.type == rtDWord && v.data.size() == 4) {
        const quint32 n = static_cast<uchar>(v.data[0]) | static_cast<uchar>(v.data[1]) << 8 |
                          static_cast<uchar>(v.data[2]) << 16 |
                          static_cast<quint32>(static_cast<uchar>(v.data[3])) << 24;
        return line + "dword:" + QByteArray::number(n, 16).rightJustified(8, '0');
    }
    line +=
        v.type == rtBinary ? QByteArray("hex:") : "hex(" + QByteArray::number(v.type, 16) + "):";
    return formatHex(line, v.data);
}

} // namespace

TRegValue TRegValue::string(QByteArrayView text, quint32 type) {
    return {type, text.toByteArray() + '\0'};
}

TRegValue TRegValue::dword(quint32 number) {
    QByteArray data(4, '\0');
    for (int i = 0; i < 4; ++i)
        data[i] = static_cast<char>(number >> (8 * i));
    return {rtDWord, data};
}

std::optional<TRegFile> TRegFile::parse(QByteArrayView raw) {
    QByteArray text;
    if (raw.startsWith("\xFF\xFE")) {
        const QByteArrayView utf16 = raw.sliced(2);
        text = QString::fromUtf16(reinterpret_cast<const char16_t*>(utf16.data()), utf16.size() / 2)
                   .toUtf8();
    } else {
        text = raw.startsWith("\xEF\xBB\xBF") ? raw.sliced(3).toByteArray() : raw.toByteArray();
    }

    TRegFile file;
    bool headerSeen = false;
    bool unicode = false;
    for (const QByteArray& line : logicalLines(text)) {
        const QByteArrayView trimmedLine = QByteArrayView(line).trimmed();
        if (trimmedLine.isEmpty() || trimmedLine.startsWith(';')) continue;
        if (!headerSeen) {
            if (trimmedLine != Header4 && trimmedLine != Header5) return std::nullopt;
            headerSeen = true;
            unicode = trimmedLine == Header5;
            continue;
        }
        if (trimmedLine.startsWith('[')) {
            if (!trimmedLine.endsWith(']') || trimmedLine.startsWith("[-")) return std::nullopt;
            file.createKey(trimmedLine.sliced(1, trimmedLine.size() - 2).trimmed());
            continue;
        }
        if (file.m_keys.isEmpty()) return std::nullopt; // a value outside any key
        qsizetype pos = 0;
        QByteArray name;
        if (trimmedLine.startsWith('@')) {
            pos = 1;
        } else {
            std::optional<QByteArray> quotedName = readQuoted(trimmedLine, pos);
            if (!quotedName) return std::nullopt;
            name = *quotedName;
        }
        const QByteArrayView rest = trimmedLine.sliced(pos).trimmed();
        if (!rest.startsWith('=')) return std::nullopt;
        std::optional<TRegValue> value = readData(rest.sliced(1).trimmed(), unicode);
        if (!value) return std::nullopt;
        file.setValue(file.m_keys.back().path, name, *value);
    }
    if (!headerSeen) return std::nullopt;
    return file;
}

QByteArray TRegFile::format() const {
    QByteArray out = Header4.toByteArray() + "\n";
    for (const Key& key : m_keys) {
        out += "\n[" + key.path + "]\n";
        for (const Named& named : key.values)
            out += formatValue(named) + '\n';
    }
    return out;
}

const TRegFile::Key* TRegFile::findKey(QByteArrayView path) const {
    for (const Key& key : m_keys)
        if (sameName(key.path, path)) return &key;
    return nullptr;
}

TRegFile::Key* TRegFile::findKey(QByteArrayView path) {
    return const_cast<Key*>(std::as_const(*this).findKey(path));
}

void TRegFile::createKey(QByteArrayView path) {
    if (!findKey(path)) m_keys.append({path.toByteArray(), {}});
}

const TRegValue* TRegFile::value(QByteArrayView path, QByteArrayView name) const {
    const Key* key = findKey(path);
    if (!key) return nullptr;
    for (const Named& named : key->values)
        if (sameName(named.name, name)) return &named.value;
    return nullptr;
}

void TRegFile::setValue(QByteArrayView path, QByteArrayView name, const TRegValue& value) {
    createKey(path);
    Key* key = findKey(path);
    for (Named& named : key->values) {
        if (sameName(named.name, name)) {
            named.value = value;
            return;
        }
    }
    key->values.append({name.toByteArray(), value});
}

} // namespace pw
