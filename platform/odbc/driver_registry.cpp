// Driver lookup through odbcinst (the same registry the driver manager reads)
// and the FreeTDS search for machines that register no "SQL Server".
#include "platform/odbc/driver_registry.h"

#include "platform/odbc/connection_text.h"

#include <odbcinst.h>

#include <dlfcn.h>
#include <glob.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <filesystem>
#include <system_error>
#include <vector>

namespace platform::odbc {

namespace {

constexpr const char* kFreeTdsFileName = "libtdsodbc.so";

bool IsLoadableFile(const std::string& path)
{
    std::error_code ec;
    return !path.empty() && std::filesystem::is_regular_file(path, ec);
}

// Debian and Ubuntu keep drivers in /usr/lib/<multiarch>/odbc; others in lib64
// or plain lib, under /usr or /usr/local.
std::vector<std::string> DriverFolders()
{
    std::vector<std::string> folders;
    glob_t found{};
    if (glob("/usr/lib/*/odbc", GLOB_ONLYDIR, nullptr, &found) == 0) {
        for (std::size_t i = 0; i < found.gl_pathc; ++i)
            folders.emplace_back(found.gl_pathv[i]);
    }
    globfree(&found);
    for (const char* folder : {"/usr/lib/odbc", "/usr/lib64/odbc", "/usr/lib64",
                               "/usr/local/lib/odbc", "/usr/local/lib", "/usr/lib"})
        folders.emplace_back(folder);
    return folders;
}

std::string LowerAscii(std::string_view text)
{
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
}

std::vector<std::string> InstalledDriverNames()
{
    std::array<char, 8192> buffer{};
    WORD length = 0;
    if (!SQLGetInstalledDrivers(buffer.data(), static_cast<WORD>(buffer.size() - 1), &length))
        return {};
    std::vector<std::string> names;
    // Names one after another, each closed by a NUL, the list by a second one.
    const char* const end = buffer.data() + buffer.size();
    for (const char* p = buffer.data(); p < end && *p != '\0';) {
        names.emplace_back(p);
        p += names.back().size() + 1;
    }
    return names;
}

}  // namespace

std::string SystemDriverRegistry::registeredLibrary(const std::string& name) const
{
    std::array<char, 4096> buffer{};
    const int length = SQLGetPrivateProfileString(name.c_str(), "Driver", "", buffer.data(),
                                                  static_cast<int>(buffer.size()), "ODBCINST.INI");
    return length > 0 ? std::string(buffer.data()) : std::string();
}

std::string SystemDriverRegistry::dataSourceDriver(const std::string& dsn) const
{
    std::array<char, 4096> buffer{};
    const int length = SQLGetPrivateProfileString(dsn.c_str(), "Driver", "", buffer.data(),
                                                  static_cast<int>(buffer.size()), "ODBC.INI");
    return length > 0 ? std::string(buffer.data()) : std::string();
}

std::string SystemDriverRegistry::freeTdsLibrary() const
{
    // A FreeTDS registered under another name tells where this machine keeps it.
    for (const std::string& name : InstalledDriverNames()) {
        const std::string library = registeredLibrary(name);
        if (IsFreeTdsLibrary(library)) {
            if (std::string path = ResolveDriverLibrary(library); !path.empty())
                return path;
        }
    }
    return ResolveDriverLibrary(kFreeTdsFileName);
}

bool IsFreeTdsLibrary(std::string_view library)
{
    const std::string name = LowerAscii(std::filesystem::path(library).filename().string());
    return name.find("tdsodbc") != std::string::npos;
}

std::string ResolveDriverLibrary(const std::string& library)
{
    if (library.empty())
        return {};
    if (library.front() == '/')
        return IsLoadableFile(library) ? library : std::string();
    for (const std::string& folder : DriverFolders()) {
        std::string candidate = folder + "/" + library;
        if (IsLoadableFile(candidate))
            return candidate;
    }
    return {};
}

bool LibraryHasWideCalls(const std::string& library)
{
    const std::string path = ResolveDriverLibrary(library);
    if (path.empty())
        return true;
    // The library stays loaded until the program ends. The driver manager
    // loads it for the connection anyway and unloads it when the connection is
    // freed; each unload also unloads what it pulled in (FreeTDS: GnuTLS,
    // Kerberos, with thread-local storage of their own), and loading all of it
    // again for every connection costs time and leaves the thread-local
    // storage's slots to be reused (LeakSanitizer then reads a stale one).
    void* handle = dlopen(path.c_str(), RTLD_LAZY | RTLD_LOCAL);
    if (handle == nullptr)
        return true;
    return dlsym(handle, "SQLExecDirectW") != nullptr;
}

namespace {

// SQLite's ODBC driver reads the whole result of a query into memory before it
// hands out the first row, unless its step API is on: then the rows come as
// SQLite reads them, and reading a table back takes the memory of one row.
bool IsSqliteLibrary(std::string_view library)
{
    return LowerAscii(std::filesystem::path(library).filename().string()).find("sqlite3odbc") != std::string::npos;
}

SecretText WithStepApi(std::string_view text)
{
    SecretText with(text);
    if (!ConnectionValue(text, "StepAPI"))
        with.append(text.empty() || text.back() == ';' ? "" : ";").append("StepAPI=1;");
    return with;
}

// FreeTDS reads narrow texts in its client character set, UTF-8 unless the text names another.
bool Utf8Client(std::string_view text)
{
    const std::string charset = LowerAscii(ConnectionValue(text, "ClientCharset").value_or("UTF-8"));
    return charset == "utf-8" || charset == "utf8";
}

}  // namespace

ConnectionPlan PlanConnection(std::string_view text, const DriverRegistry& registry)
{
    ConnectionPlan plan;
    plan.driverText = SecretText(text);
    const std::optional<std::string> driver = ConnectionValue(text, "Driver");
    if (!driver) {
        // A data source's library decides how texts are passed, and SQLite's
        // gets its step API; the rest of the text stays as the data source has it.
        if (const std::optional<std::string> dsn = ConnectionValue(text, "DSN")) {
            const std::string named = registry.dataSourceDriver(*dsn);
            plan.library = std::filesystem::path(named).is_absolute() ? named : registry.registeredLibrary(named);
            if ((plan.lazyRows = IsSqliteLibrary(plan.library)))
                plan.driverText = WithStepApi(text);
        }
        return plan;
    }
    plan.library = registry.registeredLibrary(*driver);
    // A driver named by its library's path is that library (unixODBC loads it so).
    if (plan.library.empty() && std::filesystem::path(*driver).is_absolute())
        plan.library = *driver;
    if (!plan.library.empty()) {
        plan.freeTds = IsFreeTdsLibrary(plan.library);
        if (plan.freeTds)
            plan.driverText = FreeTdsConnectionText(text, {});
        else if ((plan.lazyRows = IsSqliteLibrary(plan.library)))
            plan.driverText = WithStepApi(text);
        plan.utf8Calls = plan.lazyRows || (plan.freeTds && Utf8Client(text));
        return plan;
    }
    if (LowerAscii(*driver) == LowerAscii(kSqlServerDriver)) {
        plan.library = registry.freeTdsLibrary();
        if (!plan.library.empty()) {
            plan.freeTds = true;
            plan.driverText = FreeTdsConnectionText(text, plan.library);
            plan.utf8Calls = Utf8Client(text);
        }
    }
    return plan;
}

}  // namespace platform::odbc
