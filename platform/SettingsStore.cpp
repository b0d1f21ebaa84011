#include "platform/SettingsStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <sys/stat.h>
#include <unistd.h>

namespace pw {

namespace {

const QByteArrayView Hive = "HKEY_LOCAL_MACHINE";

// The whole file; an empty one when it is missing. None when it cannot be read or parsed, so
// that nothing overwrites what this reader does not understand.
std::optional<TRegFile> load(const QString& path, bool* unreadable = nullptr) {
    QFile file(path);
    if (!file.exists()) return TRegFile{};
    std::optional<TRegFile> parsed;
    if (file.open(QIODevice::ReadOnly)) parsed = TRegFile::parse(file.readAll());
    if (unreadable) *unreadable = !parsed.has_value();
    return parsed;
}

bool isSymLink(const QString& path) {
    struct stat st {};
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 && S_ISLNK(st.st_mode);
}

// Replaces the file whole: a temporary file beside it, renamed over it once complete.
bool save(const QString& path, const TRegFile& content) {
    if (isSymLink(path)) return false;
    QSaveFile file(path);
    file.setDirectWriteFallback(false);
    if (!file.open(QIODevice::WriteOnly)) return false;
    const QByteArray bytes = content.format();
    return file.write(bytes) == bytes.size() && file.commit();
}

} // namespace

TSettingsStore::TSettingsStore(QString machineFile, QString overlayFile)
    : m_machineFile(std::move(machineFile))
    , m_overlayFile(std::move(overlayFile)) {}

TSettingsStore TSettingsStore::fromEnvironment() {
    return TSettingsStore(machineFileFromEnvironment(), overlayFileFromEnvironment());
}

QString TSettingsStore::machineFileFromEnvironment() {
    const QString fromEnv = qEnvironmentVariable("PAGEWARDEN_REGISTRY");
    return fromEnv.isEmpty() ? QStringLiteral("/var/lib/pagewarden/registry.reg") : fromEnv;
}

QString TSettingsStore::overlayFileFromEnvironment() {
    QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (config.isEmpty()) config = QDir::homePath() + QStringLiteral("/.config");
    return config + QStringLiteral("/pagewarden/registry.reg");
}

QByteArray TSettingsStore::hivePath(QByteArrayView key) {
    while (key.startsWith('\\'))
        key = key.sliced(1);
    return Hive.toByteArray() + '\\' + key.toByteArray();
}

bool TSettingsStore::machineWritable() const {
    if (isSymLink(m_machineFile)) return false;
    const QByteArray path = QFile::encodeName(m_machineFile);
    if (QFileInfo::exists(m_machineFile)) {
        bool unreadable = false;
        load(m_machineFile, &unreadable);
        return !unreadable && ::access(path.constData(), W_OK) == 0;
    }
    const QByteArray folder = QFile::encodeName(QFileInfo(m_machineFile).absolutePath());
    return ::access(folder.constData(), W_OK | X_OK) == 0;
}

bool TSettingsStore::createKey(QByteArrayView key) const {
    const QByteArray path = hivePath(key);
    if (std::optional<TRegFile> machine = load(m_machineFile); machine && machine->hasKey(path))
        return true;
    const bool toMachine = machineWritable();
    const QString& target = toMachine ? m_machineFile : m_overlayFile;
    std::optional<TRegFile> file = load(target);
    if (!file) return false;
    if (file->hasKey(path)) return true;
    file->createKey(path);
    if (!toMachine) QDir().mkpath(QFileInfo(target).absolutePath());
    return save(target, *file);
}

std::optional<TRegValue> TSettingsStore::queryValue(QByteArrayView key, QByteArrayView name) const {
    const QByteArray path = hivePath(key);
    if (!machineWritable()) {
        if (std::optional<TRegFile> overlay = load(m_overlayFile))
            if (const TRegValue* v = overlay->value(path, name)) return *v;
    }
    if (std::optional<TRegFile> machine = load(m_machineFile))
        if (const TRegValue* v = machine->value(path, name)) return *v;
    return std::nullopt;
}

bool TSettingsStore::setValue(QByteArrayView key, QByteArrayView name,
                              const TRegValue& value) const {
    const bool toMachine = machineWritable();
    const QString& target = toMachine ? m_machineFile : m_overlayFile;
    std::optional<TRegFile> file = load(target);
    if (!file) return false;
    file->setValue(hivePath(key), name, value);
    if (!toMachine) QDir().mkpath(QFileInfo(target).absolutePath());
    return save(target, *file);
}

QByteArray TSettingsStore::readString(QByteArrayView key, QByteArrayView name) const {
    const std::optional<TRegValue> value = queryValue(key, name);
    if (!value || value->data.isEmpty()) return {};
    if (value->type != rtString && value->type != rtExpandString)
        throw ERegistryError("Invalid data type for '" + name.toByteArray().toStdString() + "'");
    const qsizetype nul = value->data.indexOf('\0');
    return nul < 0 ? value->data : value->data.left(nul);
}

void TSettingsStore::writeString(QByteArrayView key, QByteArrayView name,
                                 QByteArrayView text) const {
    if (!setValue(key, name, TRegValue::string(text)))
        throw ERegistryError("Failed to set data for '" + name.toByteArray().toStdString() + "'");
}

} // namespace pw
