// The connection text as the driver gets it: parsing, the FreeTDS additions,
// which driver stands for "SQL Server", and the UTF-16 conversions of texts.
#include "platform/odbc/binary_parameters.h"
#include "platform/odbc/connection_text.h"
#include "platform/odbc/driver_registry.h"
#include "platform/odbc/utf16.h"
#include "platform/odbc/utf16le_iconv.h"

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <iconv.h>

#include <cerrno>
#include <map>
#include <random>
#include <tuple>

namespace {

using platform::odbc::ConnectionValue;
using platform::odbc::FreeTdsConnectionText;
using platform::odbc::ParseConnectionText;

struct RewriteCase {
    const char* name;
    std::string text;
    const char* library;
    std::string expected;
};

TEST(FreeTdsConnectionText, AddsWhatFreeTdsNeedsAndNothingElse)
{
    const RewriteCase cases[] = {
        {"port given", "Driver={SQL Server};Server=SRV1,1433;Database=Sales;Uid=sa;Pwd=;", "",
         "Driver={SQL Server};Server=SRV1,1433;Database=Sales;Uid=sa;Pwd=;TDS_Version=7.4;"
         "ClientCharset=UTF-8;"},
        {"no port (local variant)", "Driver={SQL Server};Server=SRV1;Database=Sales;Uid=sa;Pwd=;", "",
         "Driver={SQL Server};Server=SRV1;Database=Sales;Uid=sa;Pwd=;TDS_Version=7.4;Port=1433;"
         "ClientCharset=UTF-8;"},
        {"instance given", "Driver={SQL Server};Server=SRV1\\SQLEXPRESS;Database=d;Uid=u;Pwd=p;", "",
         "Driver={SQL Server};Server=SRV1\\SQLEXPRESS;Database=d;Uid=u;Pwd=p;TDS_Version=7.4;"
         "ClientCharset=UTF-8;"},
        {"empty port still names a port", "Driver={SQL Server};Server=SRV1,;Database=d;", "",
         "Driver={SQL Server};Server=SRV1,;Database=d;TDS_Version=7.4;ClientCharset=UTF-8;"},
        {"TDS version named in another case", "DRIVER={SQL Server};server=a,1;tds_version=7.2;", "",
         "DRIVER={SQL Server};server=a,1;tds_version=7.2;ClientCharset=UTF-8;"},
        {"keys in any case", "driver={SQL Server};SERVER=a;PORT=2000;clientcharset=ISO-8859-1;", "",
         "driver={SQL Server};SERVER=a;PORT=2000;clientcharset=ISO-8859-1;TDS_Version=7.4;"},
        {"braced server", "Driver={SQL Server};Server={a};", "",
         "Driver={SQL Server};Server={a};TDS_Version=7.4;Port=1433;ClientCharset=UTF-8;"},
        {"braced server with port", "Driver={SQL Server};Server={a,99};", "",
         "Driver={SQL Server};Server={a,99};TDS_Version=7.4;ClientCharset=UTF-8;"},
        {"keys inside a braced password do not count",
         "Driver={SQL Server};Server=s;Pwd={x;TDS_Version=5.0;Port=7}}};",
         "", "Driver={SQL Server};Server=s;Pwd={x;TDS_Version=5.0;Port=7}}};TDS_Version=7.4;"
             "Port=1433;ClientCharset=UTF-8;"},
        {"no closing semicolon", "Driver={SQL Server};Server=a,1", "",
         "Driver={SQL Server};Server=a,1;TDS_Version=7.4;ClientCharset=UTF-8;"},
        {"no server: no port", "Driver={SQL Server};Servername=cfg;", "",
         "Driver={SQL Server};Servername=cfg;TDS_Version=7.4;ClientCharset=UTF-8;"},
        {"driver replaced, braced", "Driver={SQL Server};Server=a,1;", "/lib/odbc/libtdsodbc.so",
         "Driver={/lib/odbc/libtdsodbc.so};Server=a,1;TDS_Version=7.4;ClientCharset=UTF-8;"},
        {"driver replaced, unbraced", "DRIVER=SQL Server;Server=a,1;", "/x/libtdsodbc.so",
         "DRIVER={/x/libtdsodbc.so};Server=a,1;TDS_Version=7.4;ClientCharset=UTF-8;"},
        {"driver replaced, last without semicolon", "Server=a,1;Driver={SQL Server}", "/x/t.so",
         "Server=a,1;Driver={/x/t.so};TDS_Version=7.4;ClientCharset=UTF-8;"},
        // Unbraced, the password would swallow the rest of the text, Server= with it.
        {"a password opening with a brace, as the program writes it",
         "Driver={SQL Server};Pwd=" + std::string(platform::odbc::PasswordValue("{x").reveal()) + ";Server=s;", "",
         "Driver={SQL Server};Pwd={{x};Server=s;TDS_Version=7.4;Port=1433;ClientCharset=UTF-8;"},
    };
    for (const RewriteCase& c : cases)
        EXPECT_EQ(FreeTdsConnectionText(c.text, c.library).reveal(), c.expected) << c.name;
}

TEST(ConnectionText, ValuesAreReadAsTheDriverManagerReadsThem)
{
    const char* text = " Driver = {SQL Server} ;Server=a,1;Pwd={p;q}}r};Uid=;junk;Database=D";
    const auto attributes = ParseConnectionText(text);
    ASSERT_EQ(attributes.size(), 5u);
    EXPECT_EQ(attributes[0].key, "Driver");
    EXPECT_EQ(attributes[0].value.reveal(), "SQL Server");
    EXPECT_EQ(attributes[2].value.reveal(), "p;q}r");
    EXPECT_EQ(attributes[3].value.reveal(), "");
    EXPECT_EQ(attributes[4].value.reveal(), "D");
    EXPECT_EQ(ConnectionValue(text, "PWD"), "p;q}r");
    EXPECT_EQ(ConnectionValue(text, "DSN"), std::nullopt);
}

// A registry with a fixed content, so that every branch of the choice is met.
class FakeRegistry : public platform::odbc::DriverRegistry {
public:
    std::map<std::string, std::string> registered;
    std::string freeTds;
    std::string registeredLibrary(const std::string& name) const override
    {
        const auto it = registered.find(name);
        return it == registered.end() ? std::string() : it->second;
    }
    std::string freeTdsLibrary() const override { return freeTds; }
    std::map<std::string, std::string> dataSources;
    std::string dataSourceDriver(const std::string& dsn) const override
    {
        const auto it = dataSources.find(dsn);
        return it == dataSources.end() ? std::string() : it->second;
    }
};

TEST(PlanConnection, SqlServerIsTheRegisteredDriverOrFreeTdsInItsPlace)
{
    const std::string text = "Driver={SQL Server};Server=h;Database=d;Uid=u;Pwd=p;";
    const std::string rewritten = text + "TDS_Version=7.4;Port=1433;ClientCharset=UTF-8;";
    struct Case {
        const char* name;
        std::map<std::string, std::string> registered;
        std::string freeTds;
        std::string expectedText;
        std::string expectedLibrary;
        bool expectedFreeTds;
        std::string input = "";  // the text planned, when not `text`
    };
    const std::string byPath = "Driver=/l/libtdsodbc.so;Server=h;Database=d;Uid=u;Pwd=p;";
    const Case cases[] = {
        {"registered SQLite: its step API on", {{"SQL Server", "/l/libsqlite3odbc.so"}},
         "/l/libtdsodbc.so", text + "StepAPI=1;", "/l/libsqlite3odbc.so", false},
        {"registered FreeTDS by bare file name: additions, driver name kept",
         {{"SQL Server", "libtdsodbc.so"}}, "", rewritten, "libtdsodbc.so", true},
        {"nothing registered: FreeTDS in its place", {}, "/l/libtdsodbc.so",
         "Driver={/l/libtdsodbc.so};Server=h;Database=d;Uid=u;Pwd=p;TDS_Version=7.4;Port=1433;"
         "ClientCharset=UTF-8;",
         "/l/libtdsodbc.so", true},
        {"nothing registered, no FreeTDS: the driver manager says so", {}, "", text, "", false},
        {"a registered FreeTDS under another name does not count", {{"FreeTDS", "/l/libtdsodbc.so"}},
         "", text, "", false},
        {"FreeTDS named by its library's path: its additions", {}, "",
         byPath + "TDS_Version=7.4;Port=1433;ClientCharset=UTF-8;", "/l/libtdsodbc.so", true, byPath},
    };
    for (const Case& c : cases) {
        FakeRegistry registry;
        registry.registered = c.registered;
        registry.freeTds = c.freeTds;
        const auto plan = platform::odbc::PlanConnection(c.input.empty() ? text : c.input, registry);
        EXPECT_EQ(plan.driverText.reveal(), c.expectedText) << c.name;
        EXPECT_EQ(plan.library, c.expectedLibrary) << c.name;
        EXPECT_EQ(plan.freeTds, c.expectedFreeTds) << c.name;
        EXPECT_EQ(plan.lazyRows, c.expectedLibrary.ends_with("sqlite3odbc.so")) << c.name;
    }
    // A step API the text names is left as named.
    FakeRegistry sqlite;
    sqlite.registered = {{"SQL Server", "libsqlite3odbc.so"}};
    EXPECT_EQ(platform::odbc::PlanConnection("Driver={SQL Server};StepAPI=0", sqlite).driverText.reveal(),
              "Driver={SQL Server};StepAPI=0");
}

TEST(PlanConnection, OtherDriversAndDsnTextsPassUnchanged)
{
    FakeRegistry registry;
    registry.freeTds = "/l/libtdsodbc.so";
    for (const std::string text : {"DSN=sales;Uid=u;", "Driver={PostgreSQL};Server=h;",
                                   "Driver={sql server};Server=h,1;"}) {
        const auto plan = platform::odbc::PlanConnection(text, registry);
        const bool sqlServer = text.find("sql server") != std::string::npos;
        EXPECT_EQ(plan.freeTds, sqlServer) << text;
        if (!sqlServer) {
            EXPECT_EQ(plan.driverText.reveal(), text);
        }
    }
    // A data source's library is known, so that texts reach it as it reads
    // them; only SQLite's gets an addition, its step API.
    registry.registered = {{"TDS", "/l/libtdsodbc.so"}};
    registry.dataSources = {{"sales", "TDS"}, {"demo", "/l/libsqlite3odbc.so"}};
    auto plan = platform::odbc::PlanConnection("DSN=sales;Uid=u;", registry);
    EXPECT_EQ(plan.library, "/l/libtdsodbc.so");
    EXPECT_EQ(plan.driverText.reveal(), "DSN=sales;Uid=u;");
    plan = platform::odbc::PlanConnection("DSN=demo;", registry);
    EXPECT_EQ(plan.library, "/l/libsqlite3odbc.so");
    EXPECT_EQ(plan.driverText.reveal(), "DSN=demo;StepAPI=1;");
}

// A short text lives inside its string object: taken over or moved on, it
// leaves zeros there, not the password.
TEST(SecretText, LeavesNoBytesBehindInWhatItWasTakenFrom)
{
    const std::string_view zeros("\0\0\0\0\0\0", 6);
    std::string given = "pw1234";
    const char* const givenBytes = given.data();
    platform::SecretText secret(std::move(given));
    EXPECT_EQ(std::string_view(givenBytes, 6), zeros);
    const char* const secretBytes = secret.reveal().data();
    const platform::SecretText moved(std::move(secret));
    EXPECT_EQ(std::string_view(secretBytes, 6), zeros);
    EXPECT_EQ(moved.reveal(), "pw1234");
}

TEST(Utf16, RoundTripsEveryPlaneAndReplacesBrokenInput)
{
    const std::string texts[] = {"", "plain", "Grüße – 1 €", "日本語", "😀 a 𝄞", "eight or more bytes: é, then 😀 ends it"};
    for (const std::string& text : texts)
        EXPECT_EQ(platform::odbc::Utf16ToUtf8(platform::odbc::Utf8ToUtf16(text)), text);
    EXPECT_EQ(platform::odbc::Utf8ToUtf16("€"), u"\u20AC");
    EXPECT_EQ(platform::odbc::Utf8ToUtf16("😀"), u"\U0001F600");
    EXPECT_EQ(platform::odbc::Utf8ToUtf16("a\xFF" "b"), u"a\uFFFDb");
    EXPECT_EQ(platform::odbc::Utf8ToUtf16("\xE2\x82"), u"\uFFFD\uFFFD");
    EXPECT_EQ(platform::odbc::Utf8ToUtf16("\xC0\xAF"), u"\uFFFD\uFFFD");  // overlong "/"
    EXPECT_EQ(platform::odbc::Utf16ToUtf8(u"\xD800x"), "\xEF\xBF\xBDx");
}

}  // namespace

// SQLite's driver gets a long X'..' constant as a parameter holding its bytes;
// texts, names, short or broken constants and statements with a "?" of their
// own are left as they are.
TEST(BinaryParameters, LongConstantsOutsideQuotesAndNamesBecomeParameters)
{
    const std::string hex(2048, 'a');
    const std::pair<std::string, std::optional<std::string>> cases[] = {
        {"INSERT INTO [T] VALUES(1, X'" + hex + "', 'x', x'" + hex + "')", "INSERT INTO [T] VALUES(1, ?, 'x', ?)"},
        {"INSERT INTO [T] VALUES('it''s ?', X'0A', X'" + hex + "')", "INSERT INTO [T] VALUES('it''s ?', X'0A', ?)"},
        {"INSERT INTO [MAX'] VALUES('X''" + hex + "')", std::nullopt},
        {"INSERT INTO [T] VALUES(?, X'" + hex + "')", std::nullopt},
        {"INSERT INTO [T] VALUES(X'" + hex.substr(1) + "')", std::nullopt},
    };
    for (const auto& [statement, text] : cases) {
        const auto p = platform::odbc::BinaryConstantsAsParameters(statement, 1024);
        EXPECT_EQ(p ? std::optional<std::string>(p->text) : std::nullopt, text) << statement.substr(0, 40);
        for (std::size_t i = 0; p && i < p->bytes.size(); ++i)
            EXPECT_EQ(p->bytes[i], std::string(1024, '\xAA'));
    }
}

namespace {

// What a conversion left behind: the error, the bytes taken and those written;
// through the C library's iconv where one is given (the C library's even in a
// program that carries the fast path), otherwise through ours.
std::tuple<int, std::size_t, std::string> Converted(iconv_t glibc, const std::string& input, std::size_t room)
{
    std::string output(room, '\0');
    char* in = const_cast<char*>(input.data());
    char* out = output.data();
    std::size_t inLeft = input.size(), outLeft = room;
    const char* from = in;
    int error = glibc == nullptr ? platform::odbc::Utf8ToUtf16le(from, inLeft, out, outLeft) : 0;
    static const auto next = reinterpret_cast<decltype(&iconv)>(dlsym(RTLD_NEXT, "iconv"));
    if (glibc != nullptr && next(glibc, &in, &inLeft, &out, &outLeft) == static_cast<std::size_t>(-1))
        error = errno;
    return {error, input.size() - inLeft, output.substr(0, room - outLeft)};
}

}  // namespace

// FreeTDS gets the fast UTF-8 to UTF-16LE in place of the C library's, so it
// must answer as the C library does for every input and every output size:
// what it writes, where it stops and why.
TEST(Utf16, TheFastUtf16leConversionAnswersAsTheCLibrarysIconv)
{
    const iconv_t glibc = iconv_open("UTF-16LE", "UTF-8");
    ASSERT_NE(glibc, reinterpret_cast<iconv_t>(-1));
    std::vector<std::string> inputs = {
        "", "INSERT INTO [T] VALUES(1, 'Zürich')", "sixteen ascii b.", "日本語 and 😀 𝄞 after eight bytes",
        "\xC3", "ab\xE2\x82", "\xF0\x9F\x98", "\xE2\x82" "x", "a\xFF" "b", "\x80", "\xC0\xAF", "\xC1\xBF",
        "\xE0\x80\xAF", "\xE0\x80", "\xF0\x80\x80\xAF", "\xF0\x8F", "\xED\xA0\x80", "\xED\xBF\xBF", "\xED\xA0",
        "\xEF\xBF\xBF", "\xF4\x8F\xBF\xBF", "\xF4\x90\x80\x80", "\xF4\x90", "\xF5\x80\x80\x80", "\xF7\xBF",
        "\xF8\x88\x80\x80\x80", "\xF8\x80\x80\x80\xAF", "\xF8\x88\x80",
        "\xFC\x84\x80\x80\x80\x80", "\xFC\x80\x80\x80\x80\xAF", "\xFD\xBF\xBF\xBF\xBF\xBF", "\xFC\x84", "\xFE", "\xFF\x80", "12345678\xC3\xA9" "12345678",
    };
    std::mt19937 random(20261208);
    for (std::size_t n = 0, given = inputs.size(); n < 5000; ++n)  // and three of them side by side
        inputs.push_back(inputs[random() % given] + inputs[random() % given] + inputs[random() % given]);
    for (const std::string& input : inputs) {
        for (std::size_t room = 0; room <= 2 * input.size() + 2; ++room)
            EXPECT_EQ(Converted(nullptr, input, room), Converted(glibc, input, room))
                << testing::PrintToString(input) << " into " << room << " bytes";
    }
    iconv_close(glibc);
}
