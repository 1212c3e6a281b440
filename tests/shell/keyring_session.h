// A private session bus in a temporary folder with a gnome-keyring on it,
// unlocked with a known password: nothing touches the user's bus or keyring.
// Both daemons end with the session, or with the test process if it dies first.
#pragma once

#include "tests/support/run_program.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusReply>
#include <QStandardPaths>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <memory>
#include <sys/prctl.h>
#include <thread>
#include <unistd.h>

namespace testsupport {

class KeyringSession {
public:
    // The tools this machine lacks for a session, or empty.
    static std::string missingTools()
    {
        std::string missing;
        for (const char* tool : {"dbus-daemon", "gnome-keyring-daemon", "secret-tool"})
            if (QStandardPaths::findExecutable(tool).isEmpty())
                missing += std::string(" ") + tool;
        return missing;
    }

    // withKeyring false: a bare bus, with no Secret Service on it nor any to start.
    explicit KeyringSession(bool withKeyring) : address_("unix:path=" + (root_ / "bus").string())
    {
        std::filesystem::create_directories(root_ / "home");
        std::ofstream(root_ / "bus.conf") << "<busconfig><type>session</type><listen>" << address_
                                          << "</listen><policy context=\"default\"><allow send_destination=\"*\"/>"
                                             "<allow receive_sender=\"*\"/><allow own=\"*\"/></policy></busconfig>\n";
        bus_ = spawn({"dbus-daemon", "--nofork", "--config-file=" + (root_ / "bus.conf").string()}, "");
        if (!waitForName("org.freedesktop.DBus"))
            failure_ = "the private session bus did not start";
        else if (withKeyring) {
            keyring_ = spawn({"gnome-keyring-daemon", "--foreground", "--unlock", "--components=secrets"}, "login");
            if (!waitForName("org.freedesktop.secrets"))
                failure_ = "gnome-keyring did not come up (see " + (root_ / "log").string() + ")";
        }
    }
    ~KeyringSession()
    {
        stop(keyring_);
        stop(bus_);
    }

    const std::string& failure() const { return failure_; }  // empty when the session runs
    const std::string& address() const { return address_; }

    // What the keyring holds for a program's secret, read by libsecret's own tool.
    std::optional<std::string> lookup(const std::string& service, const std::string& name) const
    {
        const ProgramRun run = RunProgram(root_, "timeout 10 env DBUS_SESSION_BUS_ADDRESS=" + Quoted(address_)
                                                     + " secret-tool lookup server " + Quoted(service) + " user "
                                                     + Quoted(name) + " type plaintext");
        return run.status == 0 ? std::optional<std::string>(run.out) : std::nullopt;
    }

    // Locks the keyring's default collection, as the desktop does when the screen locks.
    void lock() const
    {
        QDBusConnection bus = QDBusConnection::connectToBus(QString::fromStdString(address_), "locker");
        auto call = [&bus](const char* method, const QVariant& argument) {
            QDBusMessage m = QDBusMessage::createMethodCall("org.freedesktop.secrets", "/org/freedesktop/secrets",
                                                            "org.freedesktop.Secret.Service", method);
            m.setArguments({argument});
            return bus.call(m);
        };
        const QDBusReply<QDBusObjectPath> collection = call("ReadAlias", "default");
        call("Lock", QVariant::fromValue(QList<QDBusObjectPath>{collection.value()}));
    }

    // A keyring that does not answer, until the result is destroyed.
    std::shared_ptr<void> stopKeyring() const
    {
        kill(keyring_, SIGSTOP);
        return std::shared_ptr<void>(nullptr, [pid = keyring_](void*) { kill(pid, SIGCONT); });
    }

private:
    pid_t spawn(std::vector<std::string> arguments, const std::string& input) const
    {
        const std::string home = (root_ / "home").string();
        std::vector<std::string> env = {"HOME=" + home, "XDG_DATA_HOME=" + home, "XDG_CONFIG_HOME=" + home,
                                        "XDG_RUNTIME_DIR=" + home, "DBUS_SESSION_BUS_ADDRESS=" + address_};
        arguments[0] = QStandardPaths::findExecutable(QString::fromStdString(arguments[0])).toStdString();
        auto pointers = [](std::vector<std::string>& texts) {
            std::vector<char*> p;
            for (std::string& t : texts)
                p.push_back(t.data());
            p.push_back(nullptr);
            return p;
        };
        std::vector<char*> argv = pointers(arguments), envp = pointers(env);
        const std::string log = (root_ / "log").string();
        int in[2];
        if (pipe2(in, O_CLOEXEC) != 0)
            return -1;
        const pid_t pid = fork();
        if (pid == 0) {
            prctl(PR_SET_PDEATHSIG, SIGKILL);
            const int out = open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
            dup2(in[0], 0);
            dup2(out, 1);
            dup2(out, 2);
            execve(argv[0], argv.data(), envp.data());
            _exit(127);
        }
        close(in[0]);
        if (write(in[1], input.data(), input.size()) < 0)
            failure_ = "the unlock password did not reach gnome-keyring";
        close(in[1]);
        return pid;
    }

    static void stop(pid_t pid)
    {
        if (pid <= 0)
            return;
        kill(pid, SIGCONT);
        kill(pid, SIGTERM);
        for (int i = 0; i < 300 && waitpid(pid, nullptr, WNOHANG) != pid; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        if (kill(pid, SIGKILL) == 0)
            waitpid(pid, nullptr, 0);
    }

    bool waitForName(const QString& name) const
    {
        for (int i = 0; i < 200; ++i) {
            bool owned = false;
            {
                QDBusConnection bus = QDBusConnection::connectToBus(QString::fromStdString(address_), "probe");
                owned = bus.isConnected() && bus.interface()->isServiceRegistered(name).value();
            }
            QDBusConnection::disconnectFromBus("probe");
            if (owned)
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return false;
    }

    TempDir root_;
    std::string address_;
    pid_t bus_ = -1;
    pid_t keyring_ = -1;
    mutable std::string failure_;
};

}  // namespace testsupport
