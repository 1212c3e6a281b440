// UTF-8 to UTF-16LE the way the C library's iconv() does it, in one pass.
//
// FreeTDS hands every statement it sends to iconv() to turn the client's UTF-8
// into the UTF-16LE of the wire. glibc does that in two steps through UCS-4, a
// character at a time: about a quarter of dovenmark-cli's processor time on a
// big table, all of it on the thread that waits for the server. This converter
// does the same in one step, runs of ASCII eight bytes at a time, and answers
// exactly as glibc's iconv() does, so that a caller cannot tell the two apart:
// it stops at a malformed sequence (EILSEQ), at one the input ends inside of
// (EINVAL), and where the next character does not fit the output (E2BIG).
#pragma once

#include <cstddef>

namespace platform::odbc {

// Converts from in as much as fits at out, advancing both and counting down
// inLeft and outLeft; returns 0 when all of the input went, otherwise the
// errno value iconv() would set (EILSEQ, EINVAL or E2BIG).
int Utf8ToUtf16le(const char*& in, std::size_t& inLeft, char*& out, std::size_t& outLeft);

}  // namespace platform::odbc
