// The Paradox source: does the folder hold tables, the list of its tables (with
// those of its subfolders), the offer to copy a folder whose path holds a space,
// the source connection text, and the two buttons of the "Paradox Database" frame.
#pragma once

#include "core/main_form.h"
#include "core/services.h"
#include "sources/add_folder.h"

#include <stdexcept>
#include <string>
#include <vector>

namespace Paradox {

// True when the folder named by the folder field, or one of its subfolders,
// holds a file ending in ".db" (names starting with "~" count here). Throws,
// naming the folder and the reason, when none was found and the folder or a
// subfolder could not be read; a folder that does not exist holds none.
bool HasTables(core::Services& services, core::MainForm& form);
// What HasTables throws when no table was found and a folder could not be
// read: the text names each such folder and the system's reason.
class FoldersUnreadable : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Where the folder walk found the table of one entry of the table list.
struct TableFile {
    std::string path;  // the table file, in the folder where it lies
    // A table of a name listed before it (nearer the top folder, or earlier
    // in the same folder) is not converted: this is the file that keeps the
    // name. Empty for the first of its name.
    std::string keptBy;
};

// What the table list was made from, beside the names.
struct TableListing {
    std::vector<TableFile> files;  // one per entry of the list, in its order
    std::vector<AddFolder::UnreadableFolder> unreadable;  // folders whose tables could not be listed
    int reports = 0;               // made by the folder walk
};

// Why the folder holds no table to convert, as one sentence that names it: the
// field is empty, the folder does not exist, is a file, cannot be read (with
// the file system's reason), is empty, or holds no table file.
std::string NoTablesReason(const std::string& folder);

// Clears the list and fills it with the table names of the folder and its
// subfolders, breadth-first: file names upper-cased with every ".DB" removed,
// names starting with "~" left out. Two tables of one name give two equal
// entries; the listing tells which of them keeps the name.
TableListing ListTables(core::Services& services, core::MainForm& form, core::ListItems& list);

// "The folder F cannot be read: REASON."
std::string UnreadableFolderText(const AddFolder::UnreadableFolder& folder);

// Offers to copy the folder into the space-free folder TestDB at the drive root
// (the user's home folder) and switches the folder field to the copy. What an
// earlier copy put there (named in the folder's record of it) is removed first;
// what the user put there stays, but for files of the same name, which the copy
// replaces. Copies are writable by their owner; links are copied as links.
// sample selects the question's wording. Returns the number of reports it made.
int CopyDB(core::Services& services, core::MainForm& form, bool sample);

std::string ConnectionText(core::MainForm& form);

// "Test Connection" of the Paradox frame (PushButton3).
void TestConnection(core::Services& services, core::MainForm& form);
// "Load Sample/Example Database" (PushButton2).
void LoadSample(core::Services& services, core::MainForm& form);

// The table name of a table file: upper-cased, every ".DB" removed.
std::string TableNameOf(const std::string& fileName);

}  // namespace Paradox
