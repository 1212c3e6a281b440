// The settings store on QSettings, in one INI file readable and writable by its
// owner only (it holds the password). Every write is synced before it returns.
#pragma once

#include "platform/settings_store.h"

#include <QString>

#include <memory>

class QSettings;

namespace platform {

class QtSettingsStore final : public PersistentSettingsStore {
public:
    // folder: where the per-user files go (the user's configuration folder in
    // the program; a temporary folder in tests). One file per application name.
    explicit QtSettingsStore(QString folder);
    ~QtSettingsStore() override;

    std::optional<std::string> read(const std::string& application, const std::string& section,
                                    const std::string& key) override;
    void write(const std::string& application, const std::string& section, const std::string& key,
               const std::string& value) override;
    void remove(const std::string& application, const std::string& section, const std::string& key) override;

    QString fileOf(const std::string& application) const;

    // The user's configuration folder (XDG).
    static QString defaultFolder();

private:
    QString folder_;
};

}  // namespace platform
