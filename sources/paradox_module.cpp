// The Paradox folder: table list, copy, connection text and its buttons.
#include "sources/paradox_module.h"

#include "core/app_title.h"
#include "core/error_report.h"
#include "core/paths.h"
#include "core/unicode_case.h"
#include "sources/add_folder.h"

#include <dirent.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <map>
#include <stdexcept>
#include <system_error>

namespace Paradox {

namespace {
namespace fs = std::filesystem;

const char* const kConnectionPrefix = "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=";
const char* const kConnectionSuffix = ";Extended Properties=Paradox 5.x;";

platform::Answer Ask(core::Services& services, const std::string& text, platform::Buttons buttons)
{
    platform::Message m;
    m.text = text;
    m.title = core::AppTitle();
    m.buttons = buttons;
    return services.dialogs.show(m);
}

// Whether `path` (lexically normal) lies inside the folder `top`.
bool LiesInside(const fs::path& path, const fs::path& top)
{
    const fs::path relative = path.lexically_relative(top);
    return !relative.empty() && *relative.begin() != "..";
}

// A link copied into another folder: a relative target that leads out of the
// folder being copied would lead elsewhere from the copy, so it becomes the
// absolute path it leads to from where the link lies.
fs::path CopiedLinkTarget(const fs::path& link, const fs::path& top)
{
    const fs::path target = fs::read_symlink(link);
    if (target.is_absolute())
        return target;
    const fs::path leadsTo = (link.parent_path() / target).lexically_normal();
    return LiesInside(leadsTo, top) ? target : leadsTo;
}

// Copies what the folder `from` holds into the folder `to`, replacing files of
// the same name and keeping the others. A symbolic link is copied as a link,
// never followed (a link to a big folder elsewhere stays a link), and a link
// already in the target is replaced, never written through: the copy writes
// nothing outside the target. The target itself is passed over where it lies
// inside the folder being copied (`top`).
void CopyContents(const fs::path& from, const fs::path& to, const fs::path& top, const fs::path& target)
{
    for (const fs::directory_entry& entry : fs::directory_iterator(from)) {
        const fs::path into = to / entry.path().filename();
        const fs::file_status status = entry.symlink_status();
        const fs::file_status there = fs::symlink_status(into);
        if (fs::is_symlink(status)) {
            if (fs::is_symlink(there) || fs::is_regular_file(there))
                fs::remove(into);
            fs::create_symlink(CopiedLinkTarget(entry.path(), top), into);
        } else if (fs::is_directory(status)) {
            if (fs::equivalent(entry.path(), target))
                continue;
            if (fs::is_symlink(there))
                fs::remove(into);
            fs::create_directory(into);
            CopyContents(entry.path(), into, top, target);
        } else {
            // Removed before its copy is made, so that a read-only copy is
            // replaced as well and a file linked to one elsewhere is left whole.
            if (fs::is_symlink(there) || fs::is_regular_file(there))
                fs::remove(into);
            fs::copy_file(entry.path(), into);
            // The copy is the program's, for the next copy to replace, even
            // where the source is read-only (a CD, a read-only share).
            fs::permissions(into, fs::perms::owner_write, fs::perm_options::add);
        }
    }
}

// A path with each run of "/" made one: a folder field typed with a closing
// "/" gives no "//" in the paths the program shows.
std::string SingleSeparators(const std::string& path)
{
    std::string out;
    for (const char c : path) {
        if (c != '/' || out.empty() || out.back() != '/')
            out.push_back(c);
    }
    return out;
}

bool IsMissing(const std::error_code& failure)
{
    return failure == std::errc::no_such_file_or_directory || failure == std::errc::not_a_directory;
}

struct FoundFile {
    std::string name;  // as listed
    std::string path;
};

struct FoundFiles {
    std::vector<FoundFile> files;
    std::vector<AddFolder::UnreadableFolder> unreadable;
    int reports = 0;
};

// Every "*.db" file of the folder and of its subfolders, folder by folder in
// the walk's breadth-first order, and the folders that could not be read.
FoundFiles FindTableFiles(core::Services& services, const std::string& folder)
{
    FoundFiles found;
    std::vector<std::string> folders{folder + "/"};
    // The walk's root is the file system's, not the program's drive root (the home folder).
    found.reports = AddFolder::GetSubDirectories2016(folders, true, services.dialogs, services.events, "/",
                                                     &found.unreadable);
    for (const std::string& entry : folders) {
        const std::string dir = entry.substr(0, entry.size() - 1);
        std::error_code failure;
        for (const std::string& name : AddFolder::ListFiles(dir, "*.db", failure))
            found.files.push_back({name, SingleSeparators(entry + name)});
        if (failure && !IsMissing(failure))
            found.unreadable.push_back({entry, failure.message()});
    }
    return found;
}

bool HoldsSpaceInside(const std::string& folder)
{
    const auto first = folder.find_first_not_of(' ');
    if (first == std::string::npos)
        return false;
    const auto last = folder.find_last_not_of(' ');
    return folder.substr(first, last - first + 1).find(' ') != std::string::npos;
}
}  // namespace

std::string UnreadableFolderText(const AddFolder::UnreadableFolder& folder)
{
    std::string path = SingleSeparators(folder.folder);
    if (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return "The folder " + path + " cannot be read: " + folder.reason + ".";
}

bool HasTables(core::Services& services, core::MainForm& form)
{
    const std::string folder = form.folder();
    if (folder.empty())
        return false;
    std::error_code failure;
    if (!AddFolder::ListFiles(folder, "*.db", failure).empty())
        return true;
    if (IsMissing(failure))
        return false;
    if (failure)
        throw std::runtime_error(UnreadableFolderText({folder, failure.message()}));
    const FoundFiles found = FindTableFiles(services, folder);
    if (!found.files.empty())
        return true;
    // None found, perhaps because some could not be: say where.
    std::string unreadable;
    for (const AddFolder::UnreadableFolder& f : found.unreadable)
        unreadable += (unreadable.empty() ? "" : " ") + UnreadableFolderText(f);
    if (!unreadable.empty())
        throw std::runtime_error(unreadable);
    return false;
}

std::string NoTablesReason(const std::string& folder)
{
    if (folder.empty())
        return "The field \"Paradox Folder:\" is empty.";
    std::error_code error;
    const fs::file_status status = fs::status(folder, error);
    if (status.type() == fs::file_type::not_found)
        return "The folder " + folder + " does not exist.";
    if (error)
        return "The folder " + folder + " cannot be read: " + error.message() + ".";
    if (!fs::is_directory(status))
        return folder + " is a file, not a folder.";
    DIR* listing = opendir(folder.c_str());
    if (listing == nullptr)
        return "The folder " + folder + " cannot be read: " + std::strerror(errno) + ".";
    bool empty = true;
    while (const dirent* entry = readdir(listing)) {
        if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0) {
            empty = false;
            break;
        }
    }
    closedir(listing);
    if (empty)
        return "The folder " + folder + " is empty.";
    return "The folder " + folder + " and its subfolders hold no Paradox tables (*.db).";
}

std::string TableNameOf(const std::string& fileName)
{
    std::string name = core::UpperCase(fileName);
    for (auto at = name.find(".DB"); at != std::string::npos; at = name.find(".DB"))
        name.erase(at, 3);
    return name;
}

TableListing ListTables(core::Services& services, core::MainForm& form, core::ListItems& list)
{
    list.clear();
    TableListing listing;
    const std::string folder = form.folder();
    if (folder.empty())
        return listing;
    FoundFiles found = FindTableFiles(services, folder);
    listing.unreadable = std::move(found.unreadable);
    listing.reports = found.reports;
    // The first file of each name, compared as the server's list is (in any letter case).
    std::map<std::string, std::string> firstOfName;
    for (const FoundFile& file : found.files) {
        if (!file.name.empty() && file.name[0] == '~')
            continue;
        const std::string name = TableNameOf(file.name);
        const auto [first, isFirst] = firstOfName.emplace(core::LowerCase(name), file.path);
        list.push_back(name);
        listing.files.push_back({file.path, isFirst ? std::string() : first->second});
    }
    return listing;
}

int CopyDB(core::Services& services, core::MainForm& form, bool sample)
{
    core::GuardedOperation op(services.dialogs, core::Location("Paradox", "CopyDB"));
    bool space = true;
    if (op.step(100, [&] { space = HoldsSpaceInside(form.folder()); }) && !space)
        return op.failures();
    std::string wording;
    op.step(102, [&] { wording = sample ? "sample" : "Your"; });
    std::string target;
    op.step(108, [&] { target = core::ProgramDriveRoot(services.paths) + "TestDB"; });
    bool yes = false;
    op.step(110, [&] {
        yes = Ask(services,
                  "In some cases the software needs to use a folder without spaces.\r\n"
                  "Is it OK to create the folder " + target + " and put " + wording
                      + " db files in it?",
                  platform::Buttons::YesNo)
            == platform::Answer::Yes;
    });
    if (!yes)
        return op.failures();
    if (op.test(114, [&] { return !std::filesystem::is_directory(target); })) {
        op.step(116, [&] {
            if (!std::filesystem::create_directory(target))
                throw std::runtime_error("Path not found: " + target);
        });
    }
    if (op.test(118, [&] { return std::filesystem::is_directory(target); })) {
        // A copy that fails part-way leaves the field on the original folder:
        // the user must not convert a partial copy believing it whole.
        const bool copied = op.step(120, [&] {
            fs::path from = fs::absolute(form.folder()).lexically_normal();
            if (!from.has_filename())
                from = from.parent_path();  // a trailing "/"
            CopyContents(from, target, from, target);
        });
        if (copied)
            op.step(122, [&] { form.setFolder(target); });
    }
    return op.failures();
}

std::string ConnectionText(core::MainForm& form)
{
    return kConnectionPrefix + form.folder() + kConnectionSuffix;
}

void TestConnection(core::Services& services, core::MainForm& form)
{
    core::GuardedOperation op(services.dialogs, core::Location("Form1", "PushButton3_Click"));
    op.step(100, [&] { services.sourceConnections.create(); });
    op.step(102, [&] { CopyDB(services, form, false); });
    op.step(104, [&] { form.setBusy(true); });
    bool found = false;
    if (op.step(106, [&] { found = HasTables(services, form); })) {
        if (found)
            op.step(108, [&] { Ask(services, "Connection successful.", platform::Buttons::Ok); });
        else
            op.step(110, [&] {
                Ask(services, "Could not connect.\r\n" + NoTablesReason(form.folder()), platform::Buttons::Ok);
            });
    }
    op.step(112, [&] { form.setBusy(false); });
}

void LoadSample(core::Services& services, core::MainForm& form)
{
    core::GuardedOperation op(services.dialogs, core::Location("Form1", "PushButton2_Click"));
    op.step(100, [&] { form.setFolder(services.paths.folder + "/Samples"); });
    op.step(102, [&] { CopyDB(services, form, true); });
}

}  // namespace Paradox
