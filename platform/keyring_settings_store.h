// The settings store that keeps the password in the desktop's keyring: one key
// lives in the keyring while one answers; every other key, and that one where
// no keyring answers, stays in the settings file.
#pragma once

#include "platform/keyring.h"
#include "platform/settings_store.h"

#include <functional>
#include <optional>
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
    // Asks the user a question (its whole text); true for Yes.
    using Ask = std::function<bool(const std::string& question)>;

    // secret: the one key that goes to the keyring, under its key name there.
    KeyringSettingsStore(PersistentSettingsStore& file, Keyring& keyring, SettingAddress secret, Report report,
                         Ask ask = nullptr);

    // Asks once whether a keyring answers; if one does, a password that the
    // file still holds moves into it and leaves the file. Until this runs, and
    // without a keyring, the password stays in the file. A locked keyring is
    // said: the user may unlock it (the desktop asks for its password) or go
    // on without it.
    void start();
    bool keyringInUse() const { return keyringInUse_; }
    // While the keyring is locked the password typed is used and kept nowhere:
    // not in the keyring, which would ask the desktop for its password at
    // every keystroke, nor in the file. Once the keyring is unlocked (here or
    // on the desktop), the next password written goes into it again.
    bool keyringLocked() const { return locked_; }

    static constexpr const char* kLockedQuestion =
        "The desktop keyring is locked, so the password kept in it cannot be read.\r\n"
        "Unlock it now? With Yes the desktop asks for the keyring's password. With No type the password "
        "in the window: it is used until the program ends and kept nowhere.";
    static constexpr const char* kStaysLocked =
        "The desktop keyring stays locked. Type the password in the window: it is used until the program "
        "ends and kept nowhere.";
    static constexpr const char* kLockedNow =
        "The desktop keyring is locked now, so the password typed is kept nowhere: it is used until the "
        "program ends. Once the keyring is unlocked, the password typed next is kept in it again.";

    std::optional<std::string> read(const std::string& application, const std::string& section,
                                    const std::string& key) override;
    void write(const std::string& application, const std::string& section, const std::string& key,
               const std::string& value) override;

private:
    bool isSecret(const std::string& application, const std::string& section, const std::string& key) const;
    // A password that the file still holds moves into the keyring.
    void moveIntoKeyring();
    // Whether the keyring is locked now; true when that is news (it was unlocked before).
    bool lockedNow();
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
    Ask ask_;
    bool keyringInUse_ = false;
    bool reported_ = false;
    bool locked_ = false;
    std::optional<std::string> held_;  // the password typed while the keyring was locked
};

}  // namespace platform
