#pragma once

#include "platform/RegFile.h"

#include <QByteArray>
#include <QString>

#include <optional>
#include <stdexcept>

namespace pw {

// A registry operation that failed: a value of the wrong type, a store that cannot be written.
class ERegistryError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The machine-wide settings store, standing in for the HKEY_LOCAL_MACHINE hive: one `.reg` file,
// at $PAGEWARDEN_REGISTRY or /var/lib/pagewarden/registry.reg. Where that file cannot be
// written (no right to it, its folder missing, a symbolic link, a file this reader does not
// understand), writes go to a per-user overlay at $XDG_CONFIG_HOME/pagewarden/registry.reg and
// reads look there first, as Windows virtualises machine-wide writes for a user without the
// right. Key paths are given from the hive's root ("\SoftWare\Scrubline"). Every operation
// reads the files anew, so several programs sharing the store see each other's writes; a file
// is replaced whole and atomically.
class TSettingsStore {
public:
    TSettingsStore(QString machineFile, QString overlayFile);
    static TSettingsStore fromEnvironment();
    static QString machineFileFromEnvironment();
    static QString overlayFileFromEnvironment();

    const QString& machineFile() const { return m_machineFile; }
    const QString& overlayFile() const { return m_overlayFile; }

    // Opens the key, creating it when it is missing. False when it neither exists nor can be
    // created.
    bool createKey(QByteArrayView key) const;
    // The value as stored; none when the key or the value is missing.
    std::optional<TRegValue> queryValue(QByteArrayView key, QByteArrayView name) const;
    // Stores the value, creating the key; false when neither file can be written.
    bool setValue(QByteArrayView key, QByteArrayView name, const TRegValue& value) const;

    // A string value read as the program's settings read it: the characters of a string or
    // expandable string up to its first NUL, no expansion; empty when the value is missing or
    // of size 0. Throws ERegistryError for a value of any other type.
    QByteArray readString(QByteArrayView key, QByteArrayView name) const;
    // Writes a REG_SZ value (the text and its NUL); throws ERegistryError when it cannot.
    void writeString(QByteArrayView key, QByteArrayView name, QByteArrayView text) const;

private:
    bool machineWritable() const;
    static QByteArray hivePath(QByteArrayView key);

    QString m_machineFile;
    QString m_overlayFile;
};

} // namespace pw
