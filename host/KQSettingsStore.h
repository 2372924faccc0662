#pragma once

// The settings store of the application: an INI file kept by QSettings in the user's
// configuration folder (~/.config/Tessel/Tessel Waveform.ini, or below $XDG_CONFIG_HOME).
//
// 32- and 64-bit words are written as numbers and texts as strings, so the file stays readable
// and editable by hand; byte strings are written as QSettings' @ByteArray values. A value that
// does not parse as the kind asked for reads as absent.

#include "document/ISettingsStore.h"

#include <QSettings>
#include <QString>

class KQSettingsStore final : public ISettingsStore {
public:
    // The user's settings file of Tessel Waveform.
    KQSettingsStore();
    // An INI file at the given path.
    explicit KQSettingsStore(const QString& fileName);

    QString fileName() const { return m_settings.fileName(); }

    // ISettingsStore
    std::optional<std::uint32_t> readUInt32(const std::string& key) const override;
    std::optional<std::int64_t> readInt64(const std::string& key) const override;
    std::optional<std::string> readString(const std::string& key) const override;
    std::optional<std::vector<std::uint8_t>> readBinary(const std::string& key) const override;
    bool writeUInt32(const std::string& key, std::uint32_t value) override;
    bool writeInt64(const std::string& key, std::int64_t value) override;
    bool writeString(const std::string& key, const std::string& value) override;
    bool writeBinary(const std::string& key, const std::vector<std::uint8_t>& value) override;
    bool flush() override;

private:
    // The stored value unless it is absent or a byte string (which no number or text parses as).
    QVariant scalar(const std::string& key) const;
    bool write(const std::string& key, const QVariant& value);

    QSettings m_settings;
};
