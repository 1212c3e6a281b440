// Unicode letter case through QString (Qt Core only, no widgets).
#include "core/unicode_case.h"

#include <QString>

namespace core {

std::string LowerCase(std::string_view text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())).toLower().toStdString();
}

std::string UpperCase(std::string_view text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())).toUpper().toStdString();
}

bool ContainsIgnoringCase(std::string_view text, std::string_view word)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()))
        .contains(QString::fromUtf8(word.data(), static_cast<qsizetype>(word.size())), Qt::CaseInsensitive);
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b)
{
    return QString::fromUtf8(a.data(), static_cast<qsizetype>(a.size()))
               .compare(QString::fromUtf8(b.data(), static_cast<qsizetype>(b.size())), Qt::CaseInsensitive)
        == 0;
}

std::size_t CharacterCount(std::string_view text)
{
    std::size_t count = 0;
    for (unsigned char c : text) {
        if ((c & 0xC0) != 0x80)
            ++count;
    }
    return count;
}

}  // namespace core
