// A text that holds a password: the password itself, or a connection text with
// its Pwd=. Its bytes are overwritten before its memory goes back (when it is
// dropped, replaced, moved from or outgrows its buffer); it moves rather than
// copies (copy() where a second one is needed), and it is read through a view,
// never handed out as a std::string of its own.
#pragma once

#include <string.h>  // explicit_bzero
#include <sys/prctl.h>

#include <algorithm>
#include <cstddef>
#include <string>
#include <string_view>
#include <utility>

namespace platform {

// A process that holds a password leaves no core dump, and others of its user
// cannot read its memory: PR_SET_DUMPABLE off for the rest of the process.
// False where the system refuses.
inline bool KeepOutOfCoreDumps() noexcept
{
    return ::prctl(PR_SET_DUMPABLE, 0) == 0;
}

// Overwrites the bytes so that the compiler cannot leave the writes out.
inline void WipeBytes(void* data, std::size_t size) noexcept
{
    if (size > 0)
        ::explicit_bzero(data, size);
}

class SecretText {
public:
    SecretText() = default;
    // Takes the text over; what its short-string buffer kept is wiped.
    SecretText(std::string&& text) noexcept : text_(std::move(text)) { Wipe(text); }
    SecretText(const char* text) : SecretText(std::string_view(text)) {}
    explicit SecretText(std::string_view text) { append(text); }
    SecretText(SecretText&& other) noexcept : text_(std::move(other.text_)) { Wipe(other.text_); }
    SecretText& operator=(SecretText&& other) noexcept
    {
        if (this != &other) {
            Wipe(text_);
            text_ = std::move(other.text_);
            Wipe(other.text_);
        }
        return *this;
    }
    SecretText(const SecretText&) = delete;
    SecretText& operator=(const SecretText&) = delete;
    ~SecretText() { Wipe(text_); }

    // A second text of the same bytes, for a holder that keeps its own.
    SecretText copy() const { return SecretText(reveal()); }
    // The bytes, valid while this text lives unchanged. A copy made from them
    // is the caller's to wipe.
    std::string_view reveal() const { return text_; }
    bool empty() const { return text_.empty(); }

    SecretText& append(std::string_view more)
    {
        if (text_.size() + more.size() > text_.capacity()) {
            // Moved to a bigger buffer by hand, so that the old one is wiped first.
            std::string bigger;
            bigger.reserve(std::max(2 * text_.capacity(), text_.size() + more.size()));
            bigger.append(text_);
            Wipe(text_);
            text_.swap(bigger);
        }
        text_.append(more);
        return *this;
    }
    SecretText& operator+=(std::string_view more) { return append(more); }
    SecretText& operator+=(char c) { return append(std::string_view(&c, 1)); }

private:
    // Every byte of the string's buffer, spare room included; then empty.
    static void Wipe(std::string& s) noexcept
    {
        s.resize(s.capacity());
        WipeBytes(s.data(), s.size());
        s.clear();
    }

    std::string text_;
};

}  // namespace platform
