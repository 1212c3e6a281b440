// QtKeychain's jobs run to completion, one at a time, with a time-out.
#include "platform/qt/qt_keyring.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDir>
#include <QEventLoop>
#include <QTimer>

#include <qt6keychain/keychain.h>

#include <stdexcept>

namespace platform {

namespace {
const QString kSecretService = QStringLiteral("org.freedesktop.secrets");
const QString kProbeConnection = QStringLiteral("dovenmark-keyring-probe");

struct Outcome {
    QKeychain::Error error = QKeychain::NoError;
    QString reason;
    QString text;
};

// A job cannot be cancelled: libsecret answers into it whenever its answer
// comes. One that does not finish in time is left to delete itself then.
Outcome Finish(QKeychain::Job* job, std::chrono::milliseconds timeout)
{
    job->setAutoDelete(false);
    Outcome outcome;
    bool finished = false;
    QEventLoop loop;
    QObject::connect(job, &QKeychain::Job::finished, &loop, [&](QKeychain::Job* done) {
        finished = true;
        outcome.error = done->error();
        outcome.reason = done->errorString();
        if (auto* read = qobject_cast<QKeychain::ReadPasswordJob*>(done))
            outcome.text = read->textData();
        loop.quit();
    });
    QTimer::singleShot(timeout, &loop, &QEventLoop::quit);
    job->start();
    if (!finished)
        loop.exec(QEventLoop::ExcludeUserInputEvents);  // no keystroke starts a second job meanwhile
    if (!finished) {
        job->setAutoDelete(true);
        throw std::runtime_error("no answer within " + std::to_string(timeout.count() / 1000) + " seconds");
    }
    delete job;
    return outcome;
}

[[noreturn]] void Fail(const Outcome& outcome)
{
    throw std::runtime_error(outcome.reason.isEmpty() ? std::string("unknown error") : outcome.reason.toStdString());
}
}  // namespace

QtKeyring::QtKeyring(QString service, std::chrono::milliseconds timeout)
    : service_(std::move(service)), timeout_(timeout)
{
}

bool QtKeyring::available()
{
    // The bus the environment names now: libdbus reads it only once per process.
    const QString address = qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS");
    bool found = false;
    {
        QDBusConnection bus = address.isEmpty()
            ? QDBusConnection::connectToBus(QDBusConnection::SessionBus, kProbeConnection)
            : QDBusConnection::connectToBus(address, kProbeConnection);
        if (QDBusConnectionInterface* daemon = bus.isConnected() ? bus.interface() : nullptr) {
            daemon->setTimeout(static_cast<int>(timeout_.count()));
            found = daemon->isServiceRegistered(kSecretService).value()
                || daemon->activatableServiceNames().value().contains(kSecretService);
        }
    }
    QDBusConnection::disconnectFromBus(kProbeConnection);
    return found;
}

std::optional<std::string> QtKeyring::read(const std::string& name)
{
    auto* job = new QKeychain::ReadPasswordJob(service_);
    job->setKey(QString::fromStdString(name));
    const Outcome outcome = Finish(job, timeout_);
    if (outcome.error == QKeychain::EntryNotFound)
        return std::nullopt;
    if (outcome.error != QKeychain::NoError)
        Fail(outcome);
    return outcome.text.toStdString();
}

void QtKeyring::write(const std::string& name, const std::string& secret)
{
    auto* job = new QKeychain::WritePasswordJob(service_);
    job->setKey(QString::fromStdString(name));
    job->setTextData(QString::fromStdString(secret));
    const Outcome outcome = Finish(job, timeout_);
    if (outcome.error != QKeychain::NoError)
        Fail(outcome);
}

void QtKeyring::remove(const std::string& name)
{
    auto* job = new QKeychain::DeletePasswordJob(service_);
    job->setKey(QString::fromStdString(name));
    const Outcome outcome = Finish(job, timeout_);
    if (outcome.error != QKeychain::NoError && outcome.error != QKeychain::EntryNotFound)
        Fail(outcome);
}

QString KeyringServiceFor(const QString& program, const QString& settingsFolder)
{
    if (QDir(settingsFolder) == QDir(QDir::home().filePath(QStringLiteral(".config"))))
        return program;
    return program + QStringLiteral(" (") + QDir(settingsFolder).absolutePath() + QStringLiteral(")");
}

}  // namespace platform
