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
                                           Report report, Ask ask)
    : file_(file), keyring_(keyring), secret_(std::move(secret)), report_(std::move(report)), ask_(std::move(ask))
{
}

void KeyringSettingsStore::start()
{
    keyringInUse_ = keyring_.available();
    if (!keyringInUse_)
        return;
    // Reading a locked keyring would make the desktop ask for its password
    // unannounced, or come back empty; the user is asked first.
    if (const auto failure = FailureOf([&] { locked_ = keyring_.locked(); })) {
        giveUp(*failure);
        return;
    }
    if (locked_ && ask_ && ask_(kLockedQuestion)) {
        locked_ = !keyring_.unlock();
        if (locked_ && report_)
            report_(kStaysLocked);
    }
    if (!locked_)
        moveIntoKeyring();
}

void KeyringSettingsStore::moveIntoKeyring()
{
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
        auto failure = FailureOf([&] { lockedNow(); });
        if (!failure && locked_)
            return held_ ? held_ : file_.read(application, section, key);
        if (!failure)
            failure = FailureOf([&] { secret = keyring_.read(secret_.key); });
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
        const bool wasLocked = locked_;
        bool news = false;
        failure = FailureOf([&] { news = lockedNow(); });
        if (!failure && locked_) {
            if (news && report_)
                report_(kLockedNow);
            held_ = value;  // every keystroke's whole text, in memory only: nothing partial is ever kept
            return;
        }
        if (!failure)
            failure = FailureOf([&] { keep(value); });
        if (!failure) {
            held_.reset();
            if (wasLocked)  // unlocked since start: a password an older version left in the file goes
                FailureOf([&] { file_.remove(secret_.application, secret_.section, secret_.key); });
            return;
        }
        keyringInUse_ = false;
    }
    file_.write(application, section, key, value);
    if (failure)
        giveUp(*failure);  // told after the file holds the password
}

bool KeyringSettingsStore::lockedNow()
{
    const bool was = locked_;
    locked_ = keyring_.locked();
    return locked_ && !was;
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
