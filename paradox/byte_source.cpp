// File and memory byte sources. Files are only ever read: no mapping, no
// locks, nothing created beside them.
#include "paradox/byte_source.h"

#include "paradox/error.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace paradox {

void ByteSource::read(std::uint64_t offset, std::uint8_t* dst, std::size_t n)
{
    if (!contains(offset, n))
        throw FormatError(name(), "the file ends before offset " + std::to_string(offset + n) +
                                      " (it has " + std::to_string(size()) + " bytes)");
    std::size_t done = 0;
    while (done < n) {
        const std::size_t got = readAt(offset + done, dst + done, n - done);
        if (got == 0)
            throw FormatError(name(), "the file became shorter while it was read");
        done += got;
    }
}

std::unique_ptr<FileSource> FileSource::open(const std::filesystem::path& path)
{
    const std::string name = path.string();
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOATIME);
    if (fd < 0 && errno == EPERM)  // O_NOATIME needs ownership of the file
        fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        throw FormatError(name, std::string("cannot open the file: ") + std::strerror(errno));
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        const int err = errno;
        ::close(fd);
        throw FormatError(name, S_ISDIR(st.st_mode) ? std::string("is a folder, not a table file")
                                                     : std::string("cannot read the file: ") + std::strerror(err));
    }
    return std::unique_ptr<FileSource>(new FileSource(fd, static_cast<std::uint64_t>(st.st_size), name));
}

FileSource::~FileSource()
{
    ::close(fd_);
}

std::size_t FileSource::readAt(std::uint64_t offset, std::uint8_t* dst, std::size_t n)
{
    for (;;) {
        const ssize_t got = ::pread(fd_, dst, n, static_cast<off_t>(offset));
        if (got >= 0)
            return static_cast<std::size_t>(got);
        if (errno != EINTR)
            throw FormatError(name_, std::string("read error: ") + std::strerror(errno));
    }
}

std::size_t MemorySource::readAt(std::uint64_t offset, std::uint8_t* dst, std::size_t n)
{
    if (offset >= bytes_.size())
        return 0;
    const std::size_t take = std::min<std::size_t>(n, bytes_.size() - static_cast<std::size_t>(offset));
    std::memcpy(dst, bytes_.data() + offset, take);
    return take;
}

}  // namespace paradox
