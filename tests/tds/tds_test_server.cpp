// tds_test_server: plays SQL Server's side of TDS 7.4 on 127.0.0.1 for the
// tests, recording every request. It runs no SQL. See README.md beside it.
#include "tests/tds/tds_server.h"
#include "tests/tds/tds_session.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstring>
#include <iostream>
#include <list>
#include <memory>
#include <mutex>
#include <set>
#include <thread>

namespace {

using tdstest::Options;

volatile std::sig_atomic_t gStop = 0;

void OnSignal(int)
{
    gStop = 1;
}

constexpr const char* kUsage =
    "Usage: tds_test_server --port N [--record FILE] [--delay-ms MS] [--stall TEXT=MS]... [--refuse TEXT=NUMBER]...\n"
    "                       [--refuse-login] [--password TEXT] [--record-stored] [--nocount]\n"
    "                       [--max-seconds S]\n"
    "Plays SQL Server 2019 (TDS 7.4, no encryption) on 127.0.0.1:N for tests; --port 0 lets\n"
    "the system choose. Prints \"127.0.0.1:PORT\" once it listens. Ends on SIGTERM or after\n"
    "--max-seconds (600), printing \"received N bytes\": what every client sent.\n";

int Number(const std::string& text, const std::string& option)
{
    std::size_t used = 0;
    int value = -1;
    try {
        value = std::stoi(text, &used);
    } catch (const std::exception&) {
        used = 0;
    }
    if (used != text.size() || value < 0)
        throw std::invalid_argument(option + " needs a number, not '" + text + "'");
    return value;
}

Options ParseOptions(int argc, char** argv)
{
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc)
                throw std::invalid_argument(a + " needs a value");
            return argv[++i];
        };
        if (a == "--port") {
            o.port = Number(value(), a);
        } else if (a == "--record") {
            o.record = value();
        } else if (a == "--delay-ms") {
            o.delayMs = Number(value(), a);
        } else if (a == "--max-seconds") {
            o.maxSeconds = Number(value(), a);
        } else if (a == "--password") {
            o.password = value();
        } else if (a == "--refuse-login") {
            o.refuseLogin = true;
        } else if (a == "--record-stored") {
            o.recordStored = true;
        } else if (a == "--nocount") {
            o.nocount = true;
        } else if (a == "--stall") {
            const std::string v = value();
            const std::size_t equals = v.rfind('=');
            if (equals == std::string::npos || equals == 0)
                throw std::invalid_argument("--stall needs TEXT=MS, not '" + v + "'");
            o.stalls.push_back({v.substr(0, equals), Number(v.substr(equals + 1), a)});
        } else if (a == "--refuse") {
            const std::string v = value();
            const std::size_t equals = v.rfind('=');
            if (equals == std::string::npos || equals == 0)
                throw std::invalid_argument("--refuse needs TEXT=NUMBER, not '" + v + "'");
            o.refusals.push_back({v.substr(0, equals), Number(v.substr(equals + 1), a)});
        } else {
            throw std::invalid_argument("unknown option " + a);
        }
    }
    if (o.port < 0 || o.port > 65535)
        throw std::invalid_argument("--port N is needed");
    return o;
}

int Listen(int& port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int yes = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(fd, 64) != 0)
        throw std::runtime_error("cannot listen on 127.0.0.1:" + std::to_string(port) + ": " + std::strerror(errno));
    socklen_t length = sizeof address;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    port = ntohs(address.sin_port);
    return fd;
}

// The connections being served; at the end each is shut down and waited for.
class Connections {
public:
    void start(int fd, tdstest::Server& server)
    {
        const std::lock_guard lock(mutex_);
        reap();
        auto done = std::make_shared<std::atomic<bool>>(false);
        const auto spid = static_cast<std::uint16_t>(51 + count_++ % 30000);
        open_.insert(fd);
        threads_.push_back({std::thread([this, fd, spid, &server, done] {
                                tdstest::Session(fd, spid, server).run();
                                {
                                    const std::lock_guard inner(mutex_);
                                    open_.erase(fd);
                                    ::close(fd);
                                }
                                *done = true;
                            }),
                            done});
    }

    void stopAll()
    {
        {
            const std::lock_guard lock(mutex_);
            for (int fd : open_)
                ::shutdown(fd, SHUT_RDWR);
        }
        for (auto& t : threads_)
            t.thread.join();
        threads_.clear();
    }

private:
    struct Running {
        std::thread thread;
        std::shared_ptr<std::atomic<bool>> done;
    };
    void reap()
    {
        for (auto t = threads_.begin(); t != threads_.end();) {
            if (*t->done) {
                t->thread.join();
                t = threads_.erase(t);
            } else {
                ++t;
            }
        }
    }

    std::mutex mutex_;
    std::set<int> open_;
    std::list<Running> threads_;
    unsigned count_ = 0;
};

}  // namespace

int main(int argc, char** argv)
{
    Options options;
    try {
        for (int i = 1; i < argc; ++i) {
            if (std::strcmp(argv[i], "--help") == 0) {
                std::cout << kUsage;
                return 0;
            }
        }
        options = ParseOptions(argc, argv);
    } catch (const std::exception& e) {
        std::cerr << "tds_test_server: " << e.what() << "\n" << kUsage;
        return 2;
    }
    struct sigaction action{};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    signal(SIGPIPE, SIG_IGN);

    try {
        tdstest::Server server(options);
        int port = options.port;
        const int listener = Listen(port);
        std::cout << "127.0.0.1:" << port << std::endl;
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(options.maxSeconds);
        Connections connections;
        while (!gStop && std::chrono::steady_clock::now() < end) {
            pollfd p{listener, POLLIN, 0};
            if (::poll(&p, 1, 100) <= 0)
                continue;
            const int fd = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd >= 0)
                connections.start(fd, server);
        }
        ::close(listener);
        connections.stopAll();
        std::cout << "received " << server.received << " bytes" << std::endl;
    } catch (const std::exception& e) {
        std::cerr << "tds_test_server: " << e.what() << "\n";
        return 1;
    }
    return 0;
}
