// Path and file tests on std::filesystem: a failure answers false.
#include "core/paths.h"

#include <filesystem>
#include <system_error>

namespace core {

std::string FileNameOf(std::string_view path)
{
    const auto cut = path.find_last_of("/\\");
    return std::string(cut == std::string_view::npos ? path : path.substr(cut + 1));
}

bool IsFolder(const std::string& path)
{
    std::error_code ec;
    return !path.empty() && std::filesystem::is_directory(path, ec);
}

bool FileExists(const std::string& path)
{
    if (path.empty())
        return false;
    std::error_code ec;
    [[maybe_unused]] const auto modified = std::filesystem::last_write_time(path, ec);
    return !ec;
}

std::string ProgramDriveRoot(const ProgramPaths& paths)
{
    std::string root = paths.driveRoot.empty() ? std::string("/") : paths.driveRoot;
    if (root.back() != '/')
        root.push_back('/');
    return root;
}

}  // namespace core
