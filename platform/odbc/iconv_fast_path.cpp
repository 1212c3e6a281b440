// The program's own iconv_open(), iconv() and iconv_close(). The executables
// export them (iconv_fast_path.list), so the ODBC drivers loaded at run time
// call these instead of the C library's: the conversion FreeTDS asks for on
// every statement it sends, UTF-8 to UTF-16LE, goes through Utf8ToUtf16le; any
// other conversion, and any other caller's, goes on to the C library as before.
#include <dlfcn.h>
#include <iconv.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <cstring>

#include "platform/odbc/utf16le_iconv.h"

namespace {

// The next definitions in the search order: the C library's (or a sanitizer's
// in front of it).
struct NextIconv {
    iconv_t (*open)(const char*, const char*);
    std::size_t (*convert)(iconv_t, char**, std::size_t*, char**, std::size_t*);
    int (*close)(iconv_t);
};

const NextIconv& Next()
{
    static const NextIconv next{
        reinterpret_cast<iconv_t (*)(const char*, const char*)>(dlsym(RTLD_NEXT, "iconv_open")),
        reinterpret_cast<std::size_t (*)(iconv_t, char**, std::size_t*, char**, std::size_t*)>(
            dlsym(RTLD_NEXT, "iconv")),
        reinterpret_cast<int (*)(iconv_t)>(dlsym(RTLD_NEXT, "iconv_close")),
    };
    return next;
}

// The open handles of the fast conversion. Each is a real one of the C
// library's for the same pair, so that a caller that reaches the C library's
// iconv() or iconv_close() by another way still gets a right answer; past the
// table's size a handle is simply not fast.
std::array<std::atomic<iconv_t>, 16> fastHandles;

bool IsFast(iconv_t cd)
{
    for (const std::atomic<iconv_t>& slot : fastHandles) {
        if (slot.load(std::memory_order_acquire) == cd)
            return true;
    }
    return false;
}

void RememberFast(iconv_t cd)
{
    for (std::atomic<iconv_t>& slot : fastHandles) {
        iconv_t empty = nullptr;
        if (slot.compare_exchange_strong(empty, cd, std::memory_order_acq_rel))
            return;
    }
}

void ForgetFast(iconv_t cd)
{
    for (std::atomic<iconv_t>& slot : fastHandles) {
        iconv_t expected = cd;
        if (slot.compare_exchange_strong(expected, nullptr, std::memory_order_acq_rel))
            return;
    }
}

bool Unavailable(int error)
{
    errno = error;
    return true;
}

}  // namespace

extern "C" {

iconv_t iconv_open(const char* tocode, const char* fromcode)
{
    if (Next().open == nullptr && Unavailable(EINVAL))
        return reinterpret_cast<iconv_t>(-1);
    const iconv_t cd = Next().open(tocode, fromcode);
    if (cd != reinterpret_cast<iconv_t>(-1) && tocode != nullptr && fromcode != nullptr
        && std::strcmp(tocode, "UTF-16LE") == 0 && std::strcmp(fromcode, "UTF-8") == 0)
        RememberFast(cd);
    return cd;
}

std::size_t iconv(iconv_t cd, char** inbuf, std::size_t* inbytesleft, char** outbuf, std::size_t* outbytesleft)
{
    // No input: the call that resets the shift state, which the C library does.
    if (inbuf == nullptr || *inbuf == nullptr || !IsFast(cd)) {
        if (Next().convert == nullptr && Unavailable(EBADF))
            return static_cast<std::size_t>(-1);
        return Next().convert(cd, inbuf, inbytesleft, outbuf, outbytesleft);
    }
    const char* in = *inbuf;
    const int error = platform::odbc::Utf8ToUtf16le(in, *inbytesleft, *outbuf, *outbytesleft);
    *inbuf = const_cast<char*>(in);
    if (error == 0)
        return 0;
    errno = error;
    return static_cast<std::size_t>(-1);
}

int iconv_close(iconv_t cd)
{
    ForgetFast(cd);
    if (Next().close == nullptr && Unavailable(EBADF))
        return -1;
    return Next().close(cd);
}

}  // extern "C"
