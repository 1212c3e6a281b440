// Reading requests, the login as SQL Server 2019 answers it, and the dispatch.
#include "tests/tds/tds_session.h"

#include "tests/tds/tds_rpc.h"
#include "tests/tds/tds_tokens.h"

#include <poll.h>
#include <sys/socket.h>

#include <chrono>
#include <optional>
#include <stdexcept>

namespace tdstest {

namespace {

constexpr std::size_t kMaxMessage = std::size_t{1} << 30;
constexpr std::uint32_t kTds74 = 0x74000004;

// The TDS versions a LOGINACK may name; a client asking for another gets 7.4.
std::uint32_t AnsweredVersion(std::uint32_t asked)
{
    for (std::uint32_t v : {0x70000000u, 0x71000000u, 0x71000001u, 0x72090002u, 0x730A0003u, 0x730B0003u, kTds74}) {
        if (v == asked)
            return v;
    }
    return kTds74;
}

// A text field of LOGIN7: offset and length (in characters) at `at`.
std::u16string LoginField(std::string_view body, std::size_t at)
{
    Reader r(body, at);
    const std::size_t offset = r.u16();
    const std::size_t length = r.u16();
    return FromUcs2(Reader(body, offset).bytes(length * 2));
}

// LOGIN7's password, which the client sends with each byte's halves swapped
// and then XORed with 0xA5.
std::u16string LoginPassword(std::string_view body)
{
    Reader r(body, 44);
    const std::size_t offset = r.u16();
    std::string bytes(Reader(body, offset).bytes(r.u16() * std::size_t{2}));
    for (char& c : bytes) {
        const auto b = static_cast<std::uint8_t>(static_cast<std::uint8_t>(c) ^ 0xA5);
        c = static_cast<char>(static_cast<std::uint8_t>((b << 4) | (b >> 4)));
    }
    return FromUcs2(bytes);
}

bool AsksForUtf8(std::string_view body)
{
    constexpr std::uint8_t kExtension = 0x10;
    constexpr std::uint8_t kUtf8Support = 0x0A;
    if ((Reader(body, 27).u8() & kExtension) == 0)
        return false;
    Reader field(body, 56);
    const std::size_t pointer = field.u16();
    Reader features(body, Reader(body, pointer).u32());
    for (std::uint8_t id = features.u8(); id != 0xFF; id = features.u8()) {
        if (id == kUtf8Support)
            return true;
        features.skip(features.u32());
    }
    return false;
}

}  // namespace

Session::Session(int fd, std::uint16_t spid, Server& server)
    : fd_(fd), server_(server), executor_(server, state_), packetSize_(kDefaultPacketSize)
{
    state_.spid = spid;
    state_.nocount = server.options.nocount;
}

void Session::run()
{
    try {
        Message m;
        while (receive(m)) {
            if (m.type == kPrelogin && !loggedIn_) {
                prelogin();
            } else if (m.type == kLogin7 && !loggedIn_) {
                if (!login(m))
                    break;
            } else if (!loggedIn_) {
                break;
            } else if (m.type == kSqlBatch) {
                sqlBatch(m);
            } else if (m.type == kRpc) {
                rpc(m);
            } else if (m.type == kTransactionManager) {
                transactionManager(m);
            } else if (m.type == kAttention) {
                attention();
            } else if (m.type == kBulkLoad) {
                bulkLoad(m);
            } else {
                break;  // the rest: not spoken here
            }
        }
    } catch (const std::exception&) {
        // A message that breaks its own lengths, or a client gone: the connection ends.
    }
    executor_.closing();
}

std::size_t Session::completePacket() const
{
    const std::string_view in = pending();
    if (in.size() < kHeaderSize)
        return 0;
    const std::size_t length = static_cast<unsigned char>(in[2]) << 8 | static_cast<unsigned char>(in[3]);
    if (length < kHeaderSize)
        throw std::runtime_error("a packet shorter than its header");
    return in.size() >= length ? length : 0;
}

void Session::consume(std::size_t n)
{
    at_ += n;
    if (at_ == in_.size()) {
        in_.clear();
        at_ = 0;
    }
}

bool Session::readSome()
{
    char buffer[65536];
    const ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
    if (n <= 0)
        return false;
    in_.erase(0, at_);  // what was taken goes before more comes
    at_ = 0;
    in_.append(buffer, static_cast<std::size_t>(n));
    server_.received += static_cast<std::uint64_t>(n);
    return true;
}

bool Session::receive(Message& m)
{
    m = {};
    bool first = true;
    for (;;) {
        std::size_t length = completePacket();
        while (length == 0) {
            if (!readSome())
                return false;
            length = completePacket();
        }
        const std::string_view packet = pending().substr(0, length);
        const auto status = static_cast<std::uint8_t>(packet[1]);
        if (first)
            m.type = static_cast<std::uint8_t>(packet[0]);
        first = false;
        m.body.append(packet.substr(kHeaderSize));
        consume(length);
        if (m.body.size() > kMaxMessage)
            throw std::runtime_error("a message beyond any size a client sends");
        if (status & kEndOfMessage)
            return true;
    }
}

bool Session::takeAttention()
{
    const std::size_t length = completePacket();
    if (length == 0 || static_cast<std::uint8_t>(pending()[0]) != kAttention)
        return false;
    consume(length);
    return true;
}

// A wait before an answer; true when an attention arrived meanwhile.
bool Session::pause(int delay)
{
    if (delay <= 0)
        return false;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(delay);
    for (;;) {
        if (takeAttention())
            return true;
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return false;
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(left.count())) > 0 && !readSome())
            throw std::runtime_error("the client left");
    }
}

void Session::send(std::string_view tokens)
{
    const std::string packets = Packets(kTabularResult, tokens, packetSize_, state_.spid);
    std::size_t sent = 0;
    while (sent < packets.size()) {
        const ssize_t n = ::send(fd_, packets.data() + sent, packets.size() - sent, MSG_NOSIGNAL);
        if (n <= 0)
            throw std::runtime_error("the client left");
        sent += static_cast<std::size_t>(n);
    }
}

// Waits as --delay-ms says, then answers with what `work` makes of the request,
// or, when the client sent an attention meanwhile, only acknowledges that.
void Session::answer(const std::function<std::string()>& work, int delayMs)
{
    if (pause(delayMs < 0 ? server_.options.delayMs : delayMs)) {
        attention();
        return;
    }
    send(work());
}

void Session::attention()
{
    server_.recorder.attention();
    Writer w;
    PutDone(w, kDone, kDoneAttention, 0, 0, state_.tds72);
    send(w.data());
}

std::size_t Session::afterHeaders(const std::string& body) const
{
    return state_.tds72 ? Reader(body).u32() : 0;
}

// Version 15.0.2000 (SQL Server 2019), no encryption, no MARS.
void Session::prelogin()
{
    Writer w;
    const std::uint8_t options[][2] = {{0, 6}, {1, 1}, {2, 1}, {4, 1}};  // version, encryption, instance, MARS
    std::size_t offset = std::size(options) * 5 + 1;
    for (const auto& o : options) {
        w.u8(o[0]);
        w.u8(static_cast<std::uint8_t>(offset >> 8));  // offsets and lengths are big-endian here
        w.u8(static_cast<std::uint8_t>(offset & 0xFF));
        w.u8(0);
        w.u8(o[1]);
        offset += o[1];
    }
    w.u8(0xFF);
    w.bytes(std::string_view("\x0F\x00\x07\xD0\x00\x00", 6));
    w.u8(0x02);  // ENCRYPT_NOT_SUP
    w.u8(0x00);
    w.u8(0x00);
    answer([&] { return w.take(); });
}

bool Session::login(const Message& m)
{
    const std::string& body = m.body;
    Reader head(body, 4);
    const std::uint32_t version = AnsweredVersion(head.u32());
    const std::uint32_t asked = head.u32();
    const std::u16string user = LoginField(body, 40);
    std::u16string database = LoginField(body, 68);
    if (database.empty())
        database = u"master";
    std::optional<bool> passwordOk;
    if (server_.options.password)
        passwordOk = LoginPassword(body) == Utf16(*server_.options.password);
    server_.recorder.login(user, database, passwordOk);

    state_.tds72 = (version >> 24) >= 0x72;
    state_.database = Utf8(database);
    Writer w;
    if (server_.options.refuseLogin) {
        PutMessage(w, kError, 18456, 1, 14, "Login failed for user '" + Utf8(user) + "'.");
        PutDone(w, kDone, kDoneError, 0, 0, state_.tds72);
        answer([&] { return w.take(); });
        return false;
    }
    const std::size_t size = asked >= 512 && asked <= 32767 ? asked : kDefaultPacketSize;
    PutEnvChangeText(w, kEnvDatabase, state_.database, "master");
    PutMessage(w, kInfo, 5701, 2, 0, "Changed database context to '" + state_.database + "'.");
    PutEnvChangeBytes(w, kEnvCollation, CollationBytes(), "");
    PutEnvChangeText(w, kEnvLanguage, "us_english", "");
    PutMessage(w, kInfo, 5703, 1, 0, "Changed language setting to us_english.");
    PutSized(w, kLoginAck, [&] {
        w.u8(1);  // T-SQL
        for (int shift = 24; shift >= 0; shift -= 8)
            w.u8(static_cast<std::uint8_t>(version >> shift));
        w.bVarchar("Microsoft SQL Server");
        w.bytes(std::string_view("\x0F\x00\x07\xD0", 4));
    });
    if (version == kTds74 && AsksForUtf8(body)) {
        w.u8(kFeatureExtAck);
        w.u8(0x0A);
        w.u32(1);
        w.u8(1);
        w.u8(0xFF);
    }
    PutEnvChangeText(w, kEnvPacketSize, std::to_string(size), std::to_string(kDefaultPacketSize));
    PutDone(w, kDone, kDoneFinal, 0, 0, state_.tds72);
    answer([&] { return w.take(); });
    packetSize_ = size;
    loggedIn_ = true;
    return true;
}

void Session::sqlBatch(const Message& m)
{
    const std::u16string text = FromUcs2(std::string_view(m.body).substr(afterHeaders(m.body)));
    server_.recorder.batch(text);
    const std::string batch = Utf8(text);
    int delay = server_.options.delayMs;
    for (const Stall& s : server_.options.stalls)
        delay = batch.find(s.text) != std::string::npos ? std::max(delay, s.ms) : delay;
    answer([&] { return executor_.batch(batch); }, delay);
}

void Session::rpc(const Message& m)
{
    const RpcRequest request = ParseRpc(m.body, afterHeaders(m.body));
    server_.recorder.rpc(Utf16(request.name), Utf16(request.paramsText));
    answer([&] { return executor_.procedure(request.name, request.params); });
}

// A bulk load's rows, as the INSERT BULK before it announced them.
void Session::bulkLoad(const Message& m)
{
    answer([&] { return executor_.bulkLoad(m.body); });
}

void Session::transactionManager(const Message& m)
{
    Reader r(m.body, afterHeaders(m.body));
    const std::uint16_t type = r.u16();
    bool beginAfter = false;
    if (type == kTmBegin) {
        r.u8();  // isolation level
        r.skip(r.u8());
    } else if (type == kTmCommit || type == kTmRollback) {
        r.skip(r.u8());  // name
        beginAfter = r.left() > 0 && r.u8() != 0;
    }
    const char* op = type == kTmBegin    ? "begin"
                   : type == kTmCommit   ? "commit"
                   : type == kTmRollback ? "rollback"
                   : type == kTmSave     ? "save"
                   : type == kTmPromote  ? "promote"
                                         : "other";
    server_.recorder.transaction(op);
    answer([&] { return executor_.transactionRequest(type, beginAfter); });
}

}  // namespace tdstest
