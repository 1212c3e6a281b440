// What a statement's T-SQL text holds, read as SQL Server reads it: quotes,
// brackets and comments are skipped, and T-SQL needs no ";" between
// statements. Direct mode and Execute SQL ask it which statements may share a
// transaction.
#pragma once

#include <string_view>

namespace conversion {

// The text starts (after blanks) with the word INSERT in any letter case.
bool StartsWithInsert(std::string_view statement);

// One statement and nothing that touches the transaction: no ";" outside
// quotes, brackets and comments but a last one before blanks, and none of the
// words COMMIT, ROLLBACK, BEGIN, SAVE, EXEC or EXECUTE outside them.
bool SingleStatement(std::string_view statement);

// A single INSERT statement that leaves the transaction alone.
bool Batchable(std::string_view statement);

}  // namespace conversion
