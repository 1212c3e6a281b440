// The settings store that keeps the password in the desktop's keyring: one key
// lives in the keyring while one answers; every other key, and that one where
// no keyring answers, stays in the settings file.
#pragma once

#include "platform/keyring.h"
#include "platform/settings_store.h"

#include <functional>
#include <string>

namespace platform {

struct SettingAddress {
    std::string application;
    std::string section;
    std::string key;
};

class KeyringSettingsStore final : public SettingsStore {
public:
    // Shows one message (its whole text) to the user.
    using Report = std::function<void(const std::string& text)>;

    // secret: the one key that goes to the keyring, under its key name there.
    KeyringSettingsStore(PersistentSettingsStore& file, Keyring& keyring, SettingAddress secret, Report report);

    // Asks once whether a keyring answers; if one does, a password that the
    // file still holds moves into it and leaves the file. Until this runs, and
    // without a keyring, the password stays in the file.
    void start();
    bool keyringInUse() const { return keyringInUse_; }

    std::optional<std::string> read(const std::string& application, const std::string& section,
                                    const std::string& key) override;
    void write(const std::string& application, const std::string& section, const std::string& key,
               const std::string& value) override;

private:
    bool isSecret(const std::string& application, const std::string& section, const std::string& key) const;
    // The keyring holds the value afterwards (an empty value: holds nothing).
    void keep(const std::string& value);
    // A keyring that failed once is left alone for the rest of the run, so that
    // a hung one costs one wait and the user hears of it once.
    void giveUp(const std::string& reason);
    void reportOnce(const std::string& text);

    PersistentSettingsStore& file_;
    Keyring& keyring_;
    SettingAddress secret_;
    Report report_;
    bool keyringInUse_ = false;
    bool reported_ = false;
};

}  // namespace platform
