// QtKeychain's jobs run to completion, one at a time, with a time-out.
#include "platform/qt/qt_keyring.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusReply>
#include <QDBusVariant>
#include <QDir>
#include <QEventLoop>
#include <QTimer>

#include <qt6keychain/keychain.h>

#include <stdexcept>

namespace platform {

namespace {
const QString kSecretService = QStringLiteral("org.freedesktop.secrets");
const QString kProbeConnection = QStringLiteral("dovenmark-keyring-probe");
const QString kLockConnection = QStringLiteral("dovenmark-keyring-lock");
const QString kServicePath = QStringLiteral("/org/freedesktop/secrets");
const QString kServiceInterface = QStringLiteral("org.freedesktop.Secret.Service");

// The session bus the environment names now (libdbus reads it only once per process).
QDBusConnection SessionBus(const QString& name)
{
    const QString address = qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS");
    return address.isEmpty() ? QDBusConnection::connectToBus(QDBusConnection::SessionBus, name)
                             : QDBusConnection::connectToBus(address, name);
}

// Closes a named bus connection once the last of its objects is gone, so that
// the next call connects to the bus the environment names then.
struct CloseAtEnd {
    const QString& name;
    ~CloseAtEnd() { QDBusConnection::disconnectFromBus(name); }
};

// One call to the Secret Service, waiting at most `timeout` milliseconds (a
// QDBusInterface would first ask the object to describe itself, and wait 25
// seconds for that).
QDBusMessage Call(QDBusConnection& bus, const QString& path, const QString& interface, const QString& method,
                  const QList<QVariant>& arguments, int timeout)
{
    QDBusMessage call = QDBusMessage::createMethodCall(kSecretService, path, interface, method);
    call.setArguments(arguments);
    return bus.call(call, QDBus::Block, timeout);
}

// The default collection, where libsecret keeps what it is given; empty when there is none.
QString DefaultCollection(QDBusConnection& bus, int timeout)
{
    const QDBusReply<QDBusObjectPath> alias =
        Call(bus, kServicePath, kServiceInterface, QStringLiteral("ReadAlias"), {QStringLiteral("default")}, timeout);
    if (alias.error().type() == QDBusError::NoReply || alias.error().type() == QDBusError::Timeout)
        throw std::runtime_error("no answer within " + std::to_string(timeout / 1000) + " seconds");
    if (!alias.isValid() || alias.value().path() == QStringLiteral("/"))
        return {};
    return alias.value().path();
}

bool CollectionLocked(QDBusConnection& bus, const QString& collection, int timeout)
{
    const QDBusReply<QDBusVariant> locked =
        Call(bus, collection, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"),
             {QStringLiteral("org.freedesktop.Secret.Collection"), QStringLiteral("Locked")}, timeout);
    return locked.isValid() && locked.value().variant().toBool();
}

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

// Asks the Secret Service to unlock the default collection and waits for its
// prompt; true when the collection is unlocked afterwards.
bool UnlockCollection(QDBusConnection& bus, int timeout)
{
    const QString collection = bus.isConnected() ? DefaultCollection(bus, timeout) : QString();
    if (collection.isEmpty())
        return true;  // nothing is locked
    const QDBusMessage reply =
        Call(bus, kServicePath, kServiceInterface, QStringLiteral("Unlock"),
             {QVariant::fromValue(QList<QDBusObjectPath>{QDBusObjectPath(collection)})}, timeout);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().size() < 2)
        return false;
    const QString prompt = qdbus_cast<QDBusObjectPath>(reply.arguments().at(1)).path();
    if (!prompt.isEmpty() && prompt != QStringLiteral("/")) {
        // The desktop's prompt: it answers with Completed when the user has unlocked or dismissed it.
        QEventLoop loop;
        bus.connect(kSecretService, prompt, QStringLiteral("org.freedesktop.Secret.Prompt"),
                    QStringLiteral("Completed"), &loop, SLOT(quit()));
        const QDBusMessage started = Call(bus, prompt, QStringLiteral("org.freedesktop.Secret.Prompt"),
                                          QStringLiteral("Prompt"), {QString()}, timeout);
        if (started.type() == QDBusMessage::ReplyMessage) {
            QTimer::singleShot(QtKeyring::kUnlockTimeout, &loop, &QEventLoop::quit);
            loop.exec(QEventLoop::ExcludeUserInputEvents);
        }
        bus.disconnect(kSecretService, prompt, QStringLiteral("org.freedesktop.Secret.Prompt"),
                       QStringLiteral("Completed"), &loop, SLOT(quit()));
    }
    return !CollectionLocked(bus, collection, timeout);
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
    bool found = false;
    {
        QDBusConnection bus = SessionBus(kProbeConnection);
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

bool QtKeyring::locked()
{
    const CloseAtEnd close{kLockConnection};
    QDBusConnection bus = SessionBus(kLockConnection);
    const int timeout = static_cast<int>(timeout_.count());
    const QString collection = bus.isConnected() ? DefaultCollection(bus, timeout) : QString();
    return !collection.isEmpty() && CollectionLocked(bus, collection, timeout);
}

bool QtKeyring::unlock()
{
    const CloseAtEnd close{kLockConnection};
    QDBusConnection bus = SessionBus(kLockConnection);
    return UnlockCollection(bus, static_cast<int>(timeout_.count()));
}


QString KeyringServiceFor(const QString& program, const QString& settingsFolder)
{
    if (QDir(settingsFolder) == QDir(QDir::home().filePath(QStringLiteral(".config"))))
        return program;
    return program + QStringLiteral(" (") + QDir(settingsFolder).absolutePath() + QStringLiteral(")");
}

}  // namespace platform
