// The password in the keyring, everything else in the file, and the file as
// the fallback that never loses a password.
#include "platform/keyring_settings_store.h"

#include <utility>

namespace platform {

namespace {
const char* const kKeyringFailed = "The desktop keyring cannot keep the password: ";
const char* const kKeptInFile = "\r\nUntil the next start it is kept in the settings file, which only you can read.";
const char* const kFileKeepsCopy = "The password is in the desktop keyring now, but the settings file still holds it: ";

// Runs the keyring's part; the reason when it fails.
template <typename Action>
std::optional<std::string> FailureOf(Action&& action)
{
    try {
        action();
        return std::nullopt;
    } catch (const std::exception& failure) {
        return std::string(failure.what());
    }
}
}  // namespace

KeyringSettingsStore::KeyringSettingsStore(PersistentSettingsStore& file, Keyring& keyring, SettingAddress secret,
                                           Report report)
    : file_(file), keyring_(keyring), secret_(std::move(secret)), report_(std::move(report))
{
}

void KeyringSettingsStore::start()
{
    keyringInUse_ = keyring_.available();
    if (!keyringInUse_)
        return;
    const std::optional<std::string> left = file_.read(secret_.application, secret_.section, secret_.key);
    if (!left)
        return;
    if (const auto failure = FailureOf([&] { keep(*left); })) {
        giveUp(*failure);
        return;
    }
    if (const auto failure = FailureOf([&] { file_.remove(secret_.application, secret_.section, secret_.key); }))
        reportOnce(kFileKeepsCopy + *failure);
}

std::optional<std::string> KeyringSettingsStore::read(const std::string& application, const std::string& section,
                                                      const std::string& key)
{
    if (keyringInUse_ && isSecret(application, section, key)) {
        std::optional<std::string> secret;
        const auto failure = FailureOf([&] { secret = keyring_.read(secret_.key); });
        if (!failure)
            return secret;
        giveUp(*failure);
    }
    return file_.read(application, section, key);
}

void KeyringSettingsStore::write(const std::string& application, const std::string& section, const std::string& key,
                                 const std::string& value)
{
    std::optional<std::string> failure;
    if (keyringInUse_ && isSecret(application, section, key)) {
        failure = FailureOf([&] { keep(value); });
        if (!failure)
            return;
        keyringInUse_ = false;
    }
    file_.write(application, section, key, value);
    if (failure)
        giveUp(*failure);  // told after the file holds the password
}

bool KeyringSettingsStore::isSecret(const std::string& application, const std::string& section,
                                    const std::string& key) const
{
    return key == secret_.key && section == secret_.section && application == secret_.application;
}

void KeyringSettingsStore::keep(const std::string& value)
{
    if (value.empty())
        keyring_.remove(secret_.key);
    else
        keyring_.write(secret_.key, value);
}

void KeyringSettingsStore::giveUp(const std::string& reason)
{
    keyringInUse_ = false;
    reportOnce(kKeyringFailed + reason + kKeptInFile);
}

void KeyringSettingsStore::reportOnce(const std::string& text)
{
    if (reported_)
        return;
    reported_ = true;
    if (report_)
        report_(text);
}

}  // namespace platform
