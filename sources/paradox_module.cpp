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
#include <fstream>
#include <map>
#include <optional>
#include <set>
#include <stdexcept>
#include <system_error>

namespace Paradox {

namespace {
namespace fs = std::filesystem;

const char* const kConnectionPrefix = "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=";
const char* const kConnectionSuffix = ";Extended Properties=Paradox 5.x;";

platform::Answer Ask(core::Services& services, const std::string& text, platform::Buttons buttons,
                     platform::Icon icon = platform::Icon::None)
{
    platform::Message m;
    m.text = text;
    m.title = core::AppTitle();
    m.buttons = buttons;
    m.icon = icon;
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

// The space-free folder's own record of what the program copied into it: one
// path a line, relative to the folder, "\", a tab and a line break written as
// "\\", "\t" and "\n"; a file's line goes on after a tab with its size and
// time as copied. Its leading dot keeps it out of sight; it is no table.
const char* const kCopiedRecord = ".dovenmark-copied";
// Where a copied file that changed since it was copied is moved before the
// next copy: it may hold the user's work, so it is never removed.
const char* const kKeptFolder = ".dovenmark-kept";
const char* const kKeptAsideText =
    "Files an earlier copy put here had changed since, so they were moved aside, not removed:";

// Paths relative to the space-free folder (a folder sorts before what it
// holds), each with a copied file's size and time, empty for the others.
using CopiedEntries = std::map<fs::path, std::string>;

// A file's size and modification time, as the record keeps them.
std::string Stamp(const fs::path& file)
{
    std::error_code failure;
    const auto size = fs::file_size(file, failure);
    const auto time = fs::last_write_time(file, failure);
    if (failure)
        return {};
    return std::to_string(size) + " " + std::to_string(time.time_since_epoch().count());
}

std::string Escaped(const std::string& path)
{
    std::string line;
    for (const char c : path) {
        if (c == '\\' || c == '\n' || c == '\t')
            line.push_back('\\');
        line.push_back(c == '\n' ? 'n' : c == '\t' ? 't' : c);
    }
    return line;
}

std::string Unescaped(const std::string& line)
{
    std::string path;
    for (std::size_t i = 0; i < line.size(); ++i) {
        if (line[i] != '\\' || i + 1 == line.size())
            path.push_back(line[i]);
        else
        {
            ++i;
            path.push_back(line[i] == 'n' ? '\n' : line[i] == 't' ? '\t' : line[i]);
        }
    }
    return path;
}

// A path the record may name: relative, normal, leading nowhere outside the
// folder and not the record itself. The record's other lines are ignored.
bool IsRecordable(const fs::path& entry)
{
    return !entry.empty() && entry.is_relative() && entry == entry.lexically_normal() && entry != "."
        && *entry.begin() != ".." && entry != kCopiedRecord && *entry.begin() != kKeptFolder;
}

CopiedEntries ReadCopied(const fs::path& target)
{
    CopiedEntries entries;
    const fs::path record = target / kCopiedRecord;
    std::error_code failure;
    if (!fs::is_regular_file(fs::symlink_status(record, failure)))
        return entries;  // nothing copied yet: all the folder holds is the user's
    std::ifstream in(record);
    for (std::string line; std::getline(in, line);) {
        const std::size_t tab = line.find('\t');  // an escaped one is "\t"
        const fs::path entry = Unescaped(line.substr(0, tab));
        if (IsRecordable(entry))
            entries[entry] = tab == std::string::npos ? std::string() : line.substr(tab + 1);
    }
    return entries;
}

// Replaces the record (a link in its place is replaced, never written through).
void WriteCopied(const fs::path& target, const CopiedEntries& entries)
{
    const fs::path record = target / kCopiedRecord;
    fs::remove(record);
    if (entries.empty())
        return;
    std::ofstream out(record);
    if (!out.is_open())
        throw fs::filesystem_error("cannot write", record, std::error_code(errno, std::generic_category()));
    for (const auto& [entry, stamp] : entries)
        out << Escaped(entry.string()) << (stamp.empty() ? "" : "\t" + stamp) << '\n';
    out.close();
    if (!out)
        throw fs::filesystem_error("cannot write", record, std::make_error_code(std::errc::io_error));
}

// Whether the entry lies below the target behind real folders only: where a
// folder of an earlier copy has become a link, the entry lies elsewhere.
bool ReachedWithoutLinks(const fs::path& target, const fs::path& entry)
{
    fs::path folder = target;
    for (const fs::path& name : entry.parent_path()) {
        folder /= name;
        std::error_code failure;
        if (!fs::is_directory(fs::symlink_status(folder, failure)))
            return false;
    }
    return true;
}

struct Clearing {
    CopiedEntries left;                 // recorded and still there
    std::vector<std::string> failures;  // what could not be removed, and why
    std::vector<std::string> keptAside; // changed since copied: where each went
};

// Moves a copied file that changed since it was copied below the kept folder;
// false when it cannot be moved.
bool KeepAside(const fs::path& target, const fs::path& entry, Clearing& clearing)
{
    const fs::path kept = target / kKeptFolder / entry;
    std::error_code failure;
    fs::create_directories(kept.parent_path(), failure);
    if (!failure && !fs::exists(fs::symlink_status(kept, failure)))
        fs::rename(target / entry, kept, failure);
    else if (!failure)
        failure = std::make_error_code(std::errc::file_exists);
    if (failure) {
        clearing.failures.push_back(fs::filesystem_error("cannot keep aside", target / entry, kept, failure).what());
        return false;
    }
    clearing.keptAside.push_back((target / entry).string() + " -> " + kept.string());
    return true;
}

// Removes what an earlier copy put into the target and is still there, what a
// folder holds before the folder. A folder that holds anything else stays, as
// does all the record does not name; a copied file that changed since (the
// user may have worked on it) is moved below the kept folder instead, never
// removed. `source`, when not empty, is the folder about to be copied, lying
// inside the target: it and its contents stay.
Clearing ClearEarlierCopy(const fs::path& target, const CopiedEntries& earlier, const fs::path& source)
{
    Clearing clearing;
    for (auto it = earlier.rbegin(); it != earlier.rend(); ++it) {
        const auto& [entry, stamp] = *it;
        const fs::path path = target / entry;
        std::error_code failure;
        const fs::file_status status = fs::symlink_status(path, failure);
        if (!fs::exists(status) || !ReachedWithoutLinks(target, entry))
            continue;
        if (!source.empty() && (LiesInside(path, source) || LiesInside(source, path))) {
            clearing.left.insert(*it);
            continue;
        }
        if (fs::is_regular_file(status) && !stamp.empty() && Stamp(path) != stamp) {
            if (!KeepAside(target, entry, clearing))
                clearing.left.insert(*it);
            continue;
        }
        fs::remove(path, failure);
        if (!failure)
            continue;
        clearing.left.insert(*it);
        const bool holdsMore = fs::is_directory(status)
            && (failure == std::errc::directory_not_empty || failure == std::errc::file_exists);
        if (!holdsMore)
            clearing.failures.push_back(fs::filesystem_error("cannot remove", path, failure).what());
    }
    return clearing;
}

// One copy of a folder into the space-free folder.
struct FolderCopy {
    fs::path top;             // the folder being copied
    fs::path target;          // the space-free folder
    CopiedEntries recorded;   // what the copy put there (files, links, folders it made) and what was left
};

// Copies what one folder holds into its place below the target (`inside`
// it), replacing files of the same name and keeping the others. A symbolic
// link is copied as a link, never followed (a link to a big folder elsewhere
// stays a link), and a link already in the target is replaced, never written
// through: the copy writes nothing outside the target. The target itself is
// passed over where it lies inside the folder being copied.
void CopyContents(FolderCopy& copy, const fs::directory_iterator& listing, const fs::path& inside)
{
    for (const fs::directory_entry& entry : listing) {
        const fs::path name = entry.path().filename();
        if (inside.empty() && name == kCopiedRecord)
            continue;  // another copy's record is no part of this one
        const fs::path relative = inside / name;
        const fs::path into = copy.target / relative;
        const fs::file_status status = entry.symlink_status();
        const fs::file_status there = fs::symlink_status(into);
        if (fs::is_directory(status) && !fs::is_symlink(status)) {
            if (fs::equivalent(entry.path(), copy.target))
                continue;
            if (fs::is_symlink(there))
                fs::remove(into);
            if (fs::create_directory(into))
                copy.recorded[relative] = {};
            CopyContents(copy, fs::directory_iterator(entry.path()), relative);
            continue;
        }
        // A file is removed before its copy is made, so that a read-only copy
        // is replaced as well and a file linked to one elsewhere is left whole.
        if (fs::is_symlink(there) || fs::is_regular_file(there))
            fs::remove(into);
        if (fs::is_symlink(status)) {
            fs::create_symlink(CopiedLinkTarget(entry.path(), copy.top), into);
            copy.recorded[relative] = {};
        } else {
            fs::copy_file(entry.path(), into);
            // The copy is the program's, for the next copy to replace, even
            // where the source is read-only (a CD, a read-only share).
            fs::permissions(into, fs::perms::owner_write, fs::perm_options::add);
            copy.recorded[relative] = Stamp(into);
        }
    }
}

// Copies the folder into the space-free folder, after removing what an earlier
// copy put there: what the user put there stays, but for files of the same
// name, which the copy replaces. A part that cannot be removed is reported and
// the copy goes on; the answer is whether the target was cleared.
bool CopyIntoTarget(core::GuardedOperation& op, const fs::path& from, const fs::path& target,
                    std::vector<std::string>& keptAside)
{
    const fs::directory_iterator listing(from);  // a folder that cannot be read clears nothing
    std::error_code failure;
    if (fs::equivalent(from, target, failure))
        return true;  // the copy itself, asked for again
    const fs::path realTarget = fs::canonical(target);
    const fs::path realFrom = fs::canonical(from);
    Clearing clearing = ClearEarlierCopy(realTarget, ReadCopied(realTarget),
                                         LiesInside(realFrom, realTarget) ? realFrom : fs::path());
    if (!clearing.failures.empty()) {
        std::string failures;
        for (const std::string& f : clearing.failures)
            failures += (failures.empty() ? "" : "\r\n") + f;
        op.report(failures);
    }
    keptAside = std::move(clearing.keptAside);
    FolderCopy copy{from, realTarget, std::move(clearing.left)};
    try {
        CopyContents(copy, listing, {});
    } catch (...) {
        WriteCopied(realTarget, copy.recorded);  // the part copied is the program's as well
        throw;
    }
    WriteCopied(realTarget, copy.recorded);
    return clearing.failures.empty();
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
        throw FoldersUnreadable(UnreadableFolderText({folder, failure.message()}));
    const FoundFiles found = FindTableFiles(services, folder);
    if (!found.files.empty())
        return true;
    // None found, perhaps because some could not be: say where.
    std::string unreadable;
    for (const AddFolder::UnreadableFolder& f : found.unreadable)
        unreadable += (unreadable.empty() ? "" : " ") + UnreadableFolderText(f);
    if (!unreadable.empty())
        throw FoldersUnreadable(unreadable);
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
        // A copy that fails part-way, or beside an earlier copy's files that
        // could not be removed, leaves the field on the original folder: the
        // user must not convert a copy believing it the folder they chose.
        bool cleared = false;
        std::vector<std::string> keptAside;
        const bool copied = op.step(120, [&] {
            fs::path from = fs::absolute(form.folder()).lexically_normal();
            if (!from.has_filename())
                from = from.parent_path();  // a trailing "/"
            cleared = CopyIntoTarget(op, from, target, keptAside);
        });
        if (!keptAside.empty()) {
            std::string list;
            for (const std::string& k : keptAside)
                list += "\r\n" + k;
            op.step(120, [&] { Ask(services, std::string(kKeptAsideText) + list, platform::Buttons::Ok); });
        }
        if (copied && cleared)
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
    std::optional<std::string> why;
    if (op.step(106, [&] {
            try {
                found = HasTables(services, form);
            } catch (const FoldersUnreadable& e) {
                why = e.what();
            }
        })) {
        if (found)
            op.step(108, [&] { Ask(services, "Connection successful.", platform::Buttons::Ok); });
        else
            op.step(110, [&] {
                Ask(services, "Could not connect.\r\n" + why.value_or(NoTablesReason(form.folder())),
                    platform::Buttons::Ok, platform::Icon::Warning);
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
