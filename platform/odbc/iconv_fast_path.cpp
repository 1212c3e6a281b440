// The program's own iconv_open(), iconv() and iconv_close(). The executables
// export them (iconv_fast_path.list), so the ODBC drivers loaded at run time
// call these instead of the C library's: the conversion FreeTDS asks for on
// every statement it sends, UTF-8 to UTF-16LE, goes through Utf8ToUtf16le; any
// other conversion, and any other caller's, goes on to the C library as before.
#include <dlfcn.h>
#include <iconv.h>

#include <cerrno>
#include <cstring>

#include "platform/odbc/utf16le_iconv.h"

namespace {

// The handle of the fast conversion: an address no iconv_open() returns.
char fastPath;

iconv_t FastPathHandle()
{
    return reinterpret_cast<iconv_t>(&fastPath);
}

// The next definitions in the search order: the C library's (or a sanitizer's
// in front of it). Without them (a C library without iconv) every other
// conversion fails as an unknown one would.
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

}  // namespace

extern "C" {

iconv_t iconv_open(const char* tocode, const char* fromcode)
{
    if (tocode != nullptr && fromcode != nullptr && std::strcmp(tocode, "UTF-16LE") == 0
        && std::strcmp(fromcode, "UTF-8") == 0)
        return FastPathHandle();
    if (Next().open == nullptr) {
        errno = EINVAL;
        return reinterpret_cast<iconv_t>(-1);
    }
    return Next().open(tocode, fromcode);
}

std::size_t iconv(iconv_t cd, char** inbuf, std::size_t* inbytesleft, char** outbuf, std::size_t* outbytesleft)
{
    if (cd != FastPathHandle()) {
        if (Next().convert == nullptr) {
            errno = EBADF;
            return static_cast<std::size_t>(-1);
        }
        return Next().convert(cd, inbuf, inbytesleft, outbuf, outbytesleft);
    }
    // No input: the call that resets the shift state, and this one has none.
    if (inbuf == nullptr || *inbuf == nullptr)
        return 0;
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
    if (cd == FastPathHandle())
        return 0;
    if (Next().close == nullptr) {
        errno = EBADF;
        return -1;
    }
    return Next().close(cd);
}

}  // extern "C"
