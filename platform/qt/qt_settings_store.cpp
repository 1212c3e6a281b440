// The settings store in an owner-only INI file, synced on every write.
#include "platform/qt/qt_settings_store.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QStandardPaths>

#include <stdexcept>

namespace platform {

namespace {
constexpr QFileDevice::Permissions kOwnerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;

QString KeyOf(const std::string& section, const std::string& key)
{
    return QString::fromStdString(section) + '/' + QString::fromStdString(key);
}
}  // namespace

QtSettingsStore::QtSettingsStore(QString folder) : folder_(std::move(folder)) {}
QtSettingsStore::~QtSettingsStore() = default;

QString QtSettingsStore::defaultFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
}

QString QtSettingsStore::fileOf(const std::string& application) const
{
    return QDir(folder_).filePath(QString::fromStdString(application) + ".conf");
}

std::optional<std::string> QtSettingsStore::read(const std::string& application,
                                                 const std::string& section, const std::string& key)
{
    const QString file = fileOf(application);
    if (!QFile::exists(file))
        return std::nullopt;
    QSettings settings(file, QSettings::IniFormat);
    const QVariant value = settings.value(KeyOf(section, key));
    if (!value.isValid())
        return std::nullopt;
    return value.toString().toStdString();
}

void QtSettingsStore::write(const std::string& application, const std::string& section,
                            const std::string& key, const std::string& value)
{
    const QString file = fileOf(application);
    if (!QDir().mkpath(folder_))
        throw std::runtime_error("Cannot create the settings folder " + folder_.toStdString());
    if (!QFile::exists(file)) {
        // Create the file owner-only before the first value (the password) goes in.
        QFile f(file);
        if (!f.open(QIODevice::WriteOnly))
            throw std::runtime_error("Cannot write the settings file " + file.toStdString());
        f.setPermissions(kOwnerOnly);
    }
    QSettings settings(file, QSettings::IniFormat);
    settings.setValue(KeyOf(section, key), QString::fromStdString(value));
    settings.sync();
    if (settings.status() != QSettings::NoError)
        throw std::runtime_error("Cannot write the settings file " + file.toStdString());
    if (QFile::permissions(file) != kOwnerOnly)
        QFile::setPermissions(file, kOwnerOnly);
}

void QtSettingsStore::remove(const std::string& application, const std::string& section,
                             const std::string& key)
{
    const QString file = fileOf(application);
    if (!QFile::exists(file))
        return;
    QSettings settings(file, QSettings::IniFormat);
    if (!settings.contains(KeyOf(section, key)))
        return;
    settings.remove(KeyOf(section, key));
    settings.sync();
    if (settings.status() != QSettings::NoError)
        throw std::runtime_error("Cannot write the settings file " + file.toStdString());
    if (QFile::permissions(file) != kOwnerOnly)
        QFile::setPermissions(file, kOwnerOnly);
}

}  // namespace platform
