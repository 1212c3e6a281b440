// The desktop's keyring through QtKeychain (the Secret Service on the session
// bus, through libsecret). Its jobs are asynchronous; each call here runs its
// job to the end in a local event loop, or gives up after a time-out, so that a
// hung bus or keyring cannot hang the program.
#pragma once

#include "platform/keyring.h"

#include <QString>

#include <chrono>

namespace platform {

class QtKeyring final : public Keyring {
public:
    // How long a call waits for the keyring: long enough for the desktop to ask
    // the user to unlock it, short enough that a hung one is noticed.
    static constexpr std::chrono::milliseconds kTimeout{15000};

    // service: the name the keyring lists the program's secrets under.
    explicit QtKeyring(QString service, std::chrono::milliseconds timeout = kTimeout);

    // A session bus on which the Secret Service runs or can be started.
    bool available() override;
    std::optional<std::string> read(const std::string& name) override;
    void write(const std::string& name, const std::string& secret) override;
    void remove(const std::string& name) override;
    // The keyring's default collection, where the secrets are kept, as the
    // Secret Service tells it (locked) and unlocks it (the desktop's prompt,
    // which waits for the user for up to kUnlockTimeout).
    bool locked() override;
    bool unlock() override;

    static constexpr std::chrono::milliseconds kUnlockTimeout{120000};

private:
    QString service_;
    std::chrono::milliseconds timeout_;
};

// The keyring's name for the secrets that belong to the settings in a folder:
// the program's name for the user's own ~/.config, and with the folder added
// for any other (the demo's), so that each settings file keeps its own password.
QString KeyringServiceFor(const QString& program, const QString& settingsFolder);

}  // namespace platform
