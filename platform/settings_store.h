// The per-user settings store: one string per (application, section, key).
// A write is on disk before it returns; a read never creates a key.
#pragma once

#include <optional>
#include <string>

namespace platform {

class SettingsStore {
public:
    virtual ~SettingsStore() = default;
    virtual std::optional<std::string> read(const std::string& application, const std::string& section,
                                            const std::string& key) = 0;
    virtual void write(const std::string& application, const std::string& section,
                       const std::string& key, const std::string& value) = 0;

    // The stored text, or the default when the key is absent.
    std::string GetSetting(const std::string& application, const std::string& section,
                           const std::string& key, const std::string& defaultValue)
    {
        return read(application, section, key).value_or(defaultValue);
    }
    void SaveSetting(const std::string& application, const std::string& section,
                     const std::string& key, const std::string& value)
    {
        write(application, section, key, value);
    }
};

// A store that keeps its values between runs, and so can also forget one (a
// password that has moved into the desktop's keyring).
class PersistentSettingsStore : public SettingsStore {
public:
    // Removes the key; a key that is not there is no failure.
    virtual void remove(const std::string& application, const std::string& section, const std::string& key) = 0;
};

}  // namespace platform
