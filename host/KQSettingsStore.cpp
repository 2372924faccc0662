#include "host/KQSettingsStore.h"

namespace {

QString toQString(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

} // namespace

KQSettingsStore::KQSettingsStore()
    : m_settings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Tessel"),
                 QStringLiteral("Tessel Waveform")) {}

KQSettingsStore::KQSettingsStore(const QString& fileName)
    : m_settings(fileName, QSettings::IniFormat) {}

QVariant KQSettingsStore::scalar(const std::string& key) const {
    QVariant value = m_settings.value(toQString(key));
    if (!value.isValid() || value.typeId() == QMetaType::QByteArray) {
        return {};
    }
    return value;
}

std::optional<std::uint32_t> KQSettingsStore::readUInt32(const std::string& key) const {
    const QVariant value = scalar(key);
    bool ok = false;
    // Through a text, so that a negative or fractional number is refused, not wrapped.
    const uint number = value.toString().toUInt(&ok, 10);
    if (!value.isValid() || !ok) {
        return std::nullopt;
    }
    return static_cast<std::uint32_t>(number);
}

std::optional<std::int64_t> KQSettingsStore::readInt64(const std::string& key) const {
    const QVariant value = scalar(key);
    bool ok = false;
    const qlonglong number = value.toString().toLongLong(&ok, 10);
    if (!value.isValid() || !ok) {
        return std::nullopt;
    }
    return static_cast<std::int64_t>(number);
}

std::optional<std::string> KQSettingsStore::readString(const std::string& key) const {
    const QVariant value = m_settings.value(toQString(key));
    if (value.typeId() != QMetaType::QString) {
        return std::nullopt;
    }
    return value.toString().toStdString();
}

std::optional<std::vector<std::uint8_t>> KQSettingsStore::readBinary(const std::string& key) const {
    const QVariant value = m_settings.value(toQString(key));
    if (value.typeId() != QMetaType::QByteArray) {
        return std::nullopt;
    }
    const QByteArray bytes = value.toByteArray();
    return std::vector<std::uint8_t>(bytes.begin(), bytes.end());
}

bool KQSettingsStore::write(const std::string& key, const QVariant& value) {
    if (!m_settings.isWritable()) {
        return false;
    }
    m_settings.setValue(toQString(key), value);
    return true;
}

bool KQSettingsStore::writeUInt32(const std::string& key, std::uint32_t value) {
    return write(key, QString::number(value));
}

bool KQSettingsStore::writeInt64(const std::string& key, std::int64_t value) {
    return write(key, QString::number(static_cast<qlonglong>(value)));
}

bool KQSettingsStore::writeString(const std::string& key, const std::string& value) {
    return write(key, toQString(value));
}

bool KQSettingsStore::writeBinary(const std::string& key, const std::vector<std::uint8_t>& value) {
    return write(key, QByteArray(reinterpret_cast<const char*>(value.data()),
                                 static_cast<qsizetype>(value.size())));
}

bool KQSettingsStore::flush() {
    m_settings.sync();
    return m_settings.status() == QSettings::NoError;
}
