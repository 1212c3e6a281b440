// Standard output as the commands check it. A stream that cannot write (a
// full disk, an I/O error, a reader that went away) fails without a word, so
// every write is looked at while the system's reason is still known.
#pragma once

#include <iosfwd>
#include <string>

namespace cli {

class OutputCheck {
public:
    explicit OutputCheck(std::ostream& out) : out_(out) {}

    // False once a write to the stream failed; called right after writing, it
    // keeps the system's reason of the first failure.
    bool ok();
    // Flushes the stream, then ok().
    bool flushed();
    // The end of a command whose output failed: exit status 1, with "what:"
    // and the reason ("No space left on device") on err; where the reader of a
    // pipe went away (`| head`) nothing is said.
    int failure(std::ostream& err, const std::string& what) const;

private:
    std::ostream& out_;
    int error_ = 0;
};

}  // namespace cli
