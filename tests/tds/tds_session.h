// One client connection: PRELOGIN, LOGIN7, then requests until the client
// leaves or the server stops. Every request is recorded before it is answered;
// --delay-ms waits before each answer, and an attention that arrives meanwhile
// cancels the request.
#pragma once

#include "tests/tds/tds_executor.h"
#include "tests/tds/tds_server.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace tdstest {

class Session {
public:
    Session(int fd, std::uint16_t spid, Server& server);
    // Serves the connection to its end; never throws.
    void run();

private:
    struct Message {
        std::uint8_t type = 0;
        std::string body;
    };

    bool receive(Message& m);
    bool readSome();
    std::string_view pending() const { return std::string_view(in_).substr(at_); }
    void consume(std::size_t n);
    std::size_t completePacket() const;  // the first packet's length when all of it is here, else 0
    bool takeAttention();
    bool pause(int delayMs);
    void send(std::string_view tokens);
    // delayMs: the wait before the answer; -1: --delay-ms.
    void answer(const std::function<std::string()>& work, int delayMs = -1);

    void prelogin();
    bool login(const Message& m);
    void sqlBatch(const Message& m);
    void rpc(const Message& m);
    void transactionManager(const Message& m);
    void bulkLoad(const Message& m);
    void attention();
    std::size_t afterHeaders(const std::string& body) const;

    int fd_;
    Server& server_;
    SessionState state_;
    Executor executor_;
    std::string in_;  // received; in_[at_] onwards not yet taken
    std::size_t at_ = 0;
    std::size_t packetSize_;
    bool loggedIn_ = false;
};

}  // namespace tdstest
