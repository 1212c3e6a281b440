// The first failure of an output stream, and what the command says of it.
#include "cli/output_check.h"

#include "cli/commands.h"

#include <cerrno>
#include <cstring>
#include <ostream>

namespace cli {

bool OutputCheck::ok()
{
    if (error_ == 0 && !out_)
        error_ = errno != 0 ? errno : EIO;
    return error_ == 0;
}

bool OutputCheck::flushed()
{
    if (error_ == 0)
        out_.flush();
    return ok();
}

int OutputCheck::failure(std::ostream& err, const std::string& what) const
{
    if (error_ != EPIPE)
        err << "dovenmark-cli: " << what << ": " << std::strerror(error_) << "\n";
    return kExitFailure;
}

}  // namespace cli
