// Where the reader gets its bytes from: a file read with pread (never mapped,
// never written) or a buffer in memory for tests and fuzzing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

namespace paradox {

class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual std::uint64_t size() const = 0;
    // The name used in error messages (the file name).
    virtual const std::string& name() const = 0;
    // Reads exactly n bytes at offset or throws FormatError (past the end, I/O error).
    void read(std::uint64_t offset, std::uint8_t* dst, std::size_t n);
    bool contains(std::uint64_t offset, std::uint64_t n) const { return offset <= size() && n <= size() - offset; }

protected:
    // Reads up to n bytes; returns how many were read, 0 at the end.
    virtual std::size_t readAt(std::uint64_t offset, std::uint8_t* dst, std::size_t n) = 0;
};

// A file opened read-only (O_RDONLY | O_CLOEXEC, O_NOATIME where allowed).
class FileSource final : public ByteSource {
public:
    static std::unique_ptr<FileSource> open(const std::filesystem::path& path);
    ~FileSource() override;
    FileSource(const FileSource&) = delete;
    FileSource& operator=(const FileSource&) = delete;
    std::uint64_t size() const override { return size_; }
    const std::string& name() const override { return name_; }

protected:
    std::size_t readAt(std::uint64_t offset, std::uint8_t* dst, std::size_t n) override;

private:
    FileSource(int fd, std::uint64_t size, std::string name) : fd_(fd), size_(size), name_(std::move(name)) {}
    int fd_;
    std::uint64_t size_;
    std::string name_;
};

// Bytes in memory; the source keeps its own copy.
class MemorySource final : public ByteSource {
public:
    MemorySource(std::string name, std::string_view bytes) : name_(std::move(name)), bytes_(bytes) {}
    std::uint64_t size() const override { return bytes_.size(); }
    const std::string& name() const override { return name_; }

protected:
    std::size_t readAt(std::uint64_t offset, std::uint8_t* dst, std::size_t n) override;

private:
    std::string name_;
    std::string bytes_;
};

}  // namespace paradox
