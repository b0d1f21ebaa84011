#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>

#include <optional>

namespace pw {

// Registry value types, with the numbers of the Windows registry.
enum TRegType : quint32 {
    rtNone = 0,
    rtString = 1,       // REG_SZ
    rtExpandString = 2, // REG_EXPAND_SZ
    rtBinary = 3,       // REG_BINARY
    rtDWord = 4,        // REG_DWORD (little-endian)
    rtMultiString = 7,  // REG_MULTI_SZ
    rtQWord = 11,       // REG_QWORD
};

// A value as the registry keeps it: a type and raw bytes (a string value holds its text and a
// terminating NUL).
struct TRegValue {
    quint32 type = rtNone;
    QByteArray data;
    bool operator==(const TRegValue&) const = default;

    static TRegValue string(QByteArrayView text, quint32 type = rtString);
    static TRegValue dword(quint32 number);
};

// The keys and values of one `.reg` file, in file order. Key paths are full paths from the
// hive ("HKEY_LOCAL_MACHINE\SoftWare\Scrubline"); key and value names compare ignoring the case
// of ASCII letters, as the registry does. Texts are bytes: the file is written as REGEDIT4 (the
// narrow-text export), and a version 5.00 export (UTF-16 or UTF-8) is read too.
class TRegFile {
public:
    struct Named {
        QByteArray name; // empty for the key's default value ("@")
        TRegValue value;
    };
    struct Key {
        QByteArray path;
        QList<Named> values;
    };

    // Returns no file when the text is not a `.reg` file this reader understands.
    static std::optional<TRegFile> parse(QByteArrayView text);
    QByteArray format() const;

    bool hasKey(QByteArrayView path) const { return findKey(path) != nullptr; }
    void createKey(QByteArrayView path); // no change when it exists
    const TRegValue* value(QByteArrayView path, QByteArrayView name) const;
    void setValue(QByteArrayView path, QByteArrayView name,
                  const TRegValue& value); // creates the key

    const QList<Key>& keys() const { return m_keys; }

private:
    const Key* findKey(QByteArrayView path) const;
    Key* findKey(QByteArrayView path);

    QList<Key> m_keys;
};

} // namespace pw
