// The Paradox source: does the folder hold tables, the list of its tables (with
// those of its subfolders), the offer to copy a folder whose path holds a space,
// the source connection text, and the two buttons of the "Paradox Database" frame.
#pragma once

#include "core/main_form.h"
#include "core/services.h"

#include <string>

namespace Paradox {

// True when the folder named by the folder field holds a file ending in ".db".
bool HasTables(core::MainForm& form);

// Why the folder holds no table to convert, as one sentence that names it: the
// field is empty, the folder does not exist, is a file, cannot be read (with
// the file system's reason), is empty, or holds no table file.
std::string NoTablesReason(const std::string& folder);

// Clears the list and fills it with the table names of the folder and its
// subfolders, breadth-first: file names upper-cased with every ".DB" removed,
// names starting with "~" left out. Returns the number of reports the folder walk made.
int ListTables(core::Services& services, core::MainForm& form, core::ListItems& list);

// Offers to copy the folder into the space-free folder TestDB at the drive root
// (the user's home folder) and switches the folder field to the copy. Links are
// copied as links. sample selects the question's wording. Returns the number
// of reports it made.
int CopyDB(core::Services& services, core::MainForm& form, bool sample);

std::string ConnectionText(core::MainForm& form);

// "Test Connection" of the Paradox frame (PushButton3).
void TestConnection(core::Services& services, core::MainForm& form);
// "Load Sample/Example Database" (PushButton2).
void LoadSample(core::Services& services, core::MainForm& form);

// The table name of a table file: upper-cased, every ".DB" removed.
std::string TableNameOf(const std::string& fileName);

}  // namespace Paradox
