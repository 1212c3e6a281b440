// The one error type of the Paradox library: a file that is not what it claims
// to be, or cannot be read. The message names the file and what is wrong.
#pragma once

#include <stdexcept>
#include <string>

namespace paradox {

class FormatError : public std::runtime_error {
public:
    FormatError(const std::string& file, const std::string& problem)
        : std::runtime_error(file.empty() ? problem : file + ": " + problem), file_(file), problem_(problem)
    {
    }
    const std::string& file() const { return file_; }
    const std::string& problem() const { return problem_; }

private:
    std::string file_;
    std::string problem_;
};

}  // namespace paradox
