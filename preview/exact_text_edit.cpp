// The exact text box. The loaded bytes are cut into pieces (a line break, one
// character, or one byte that is not UTF-8), each shown as one or two
// characters; every character of the document remembers the piece it shows.
// Each change of the document is compared with the text known before it:
// what differs is the user's, what is left alone keeps its piece, and writing
// back puts each untouched piece's own bytes where it stands.
#include "preview/exact_text_edit.h"

#include "core/error_report.h"

#include <QTextDocument>

#include <algorithm>
#include <limits>

namespace preview {

namespace {

// A piece of the loaded bytes and the characters the document holds for it.
struct Piece {
    std::size_t bytes = 1;
    QChar shown[2];
    int length = 1;
    bool lineBreak = false;  // CR LF, CR or LF
};

// The length of the valid UTF-8 sequence at `at` and its code point; 0 when it is not valid.
std::size_t Utf8Sequence(std::string_view s, std::size_t at, char32_t& code)
{
    const auto lead = static_cast<unsigned char>(s[at]);
    std::size_t length = 0;
    char32_t least = 0;
    if (lead < 0x80) {
        code = lead;
        return 1;
    }
    if ((lead & 0xE0) == 0xC0) {
        length = 2, code = lead & 0x1Fu, least = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3, code = lead & 0x0Fu, least = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4, code = lead & 0x07u, least = 0x10000;
    } else {
        return 0;
    }
    if (at + length > s.size())
        return 0;
    for (std::size_t k = 1; k < length; ++k) {
        const auto next = static_cast<unsigned char>(s[at + k]);
        if ((next & 0xC0) != 0x80)
            return 0;
        code = (code << 6) | (next & 0x3Fu);
    }
    if (code < least || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
        return 0;
    return length;
}

Piece PieceAt(std::string_view s, std::size_t at)
{
    Piece p;
    p.shown[0] = QChar::ParagraphSeparator;
    if (s[at] == '\r' || s[at] == '\n') {
        p.lineBreak = true;
        p.bytes = s[at] == '\r' && at + 1 < s.size() && s[at + 1] == '\n' ? 2 : 1;
        return p;
    }
    char32_t code = 0;
    p.bytes = Utf8Sequence(s, at, code);
    if (p.bytes == 0) {
        p.bytes = 1;
        p.shown[0] = QChar::ReplacementCharacter;
    } else if (code == QChar::ParagraphSeparator || code == 0xFDD0 || code == 0xFDD1) {
        // The document starts a new paragraph for these as for a line break.
    } else if (QChar::requiresSurrogates(code)) {
        p.shown[0] = QChar(QChar::highSurrogate(code));
        p.shown[1] = QChar(QChar::lowSurrogate(code));
        p.length = 2;
    } else {
        p.shown[0] = QChar(static_cast<char16_t>(code));
    }
    return p;
}

// How two texts agree: the same first `prefix` characters (at most `limit`)
// and after that the same last `suffix` characters.
struct Agreement {
    qsizetype prefix = 0;
    qsizetype suffix = 0;
};

Agreement Agree(const QString& before, const QString& after, qsizetype limit)
{
    const qsizetype shorter = std::min(before.size(), after.size());
    Agreement a;
    const qsizetype prefixLimit = std::min(shorter, limit);
    while (a.prefix < prefixLimit && before[a.prefix] == after[a.prefix])
        ++a.prefix;
    const qsizetype suffixLimit = shorter - a.prefix;
    while (a.suffix < suffixLimit
           && before[before.size() - 1 - a.suffix] == after[after.size() - 1 - a.suffix])
        ++a.suffix;
    return a;
}

// Typed text as bytes: a paragraph break or a line separator (Shift+Enter) is
// the user's line break and takes the text's own form.
void AppendTyped(std::string& out, const QString& typed, const std::string& lineBreak)
{
    qsizetype start = 0;
    for (qsizetype i = 0; i <= typed.size(); ++i) {
        if (i < typed.size() && typed[i] != QChar::ParagraphSeparator && typed[i] != QChar::LineSeparator)
            continue;
        const QByteArray bytes = QStringView(typed).mid(start, i - start).toUtf8();
        out.append(bytes.constData(), static_cast<std::size_t>(bytes.size()));
        if (i < typed.size())
            out += lineBreak;
        start = i + 1;
    }
}

}  // namespace

ExactTextEdit::ExactTextEdit(QWidget* parent) : QPlainTextEdit(parent)
{
    connect(document(), &QTextDocument::contentsChange, this, [this](int position, int, int) {
        if (!dialogs_) {
            try {
                follow(position);
            } catch (...) {
                origin_.clear();  // the links are lost; the text itself stays
                known_.clear();
            }
            return;
        }
        core::GuardedOperation op(*dialogs_, location_);
        op.step(100, [&] { follow(position); });
    });
}

void ExactTextEdit::reportFailuresTo(platform::Dialogs& dialogs, std::string location)
{
    dialogs_ = &dialogs;
    location_ = std::move(location);
}

void ExactTextEdit::setExactText(std::string text)
{
    original_ = std::move(text);
    QString shown;
    std::vector<qsizetype> origin;
    shown.reserve(static_cast<qsizetype>(original_.size()));
    origin.reserve(original_.size());
    lineBreak_ = "\r\n";
    bool breakSeen = false;
    for (std::size_t at = 0; at < original_.size();) {
        const Piece p = PieceAt(original_, at);
        if (p.lineBreak && !breakSeen) {
            lineBreak_ = original_.substr(at, p.bytes);
            breakSeen = true;
        }
        for (int k = 0; k < p.length; ++k) {
            shown += p.shown[k];
            origin.push_back(static_cast<qsizetype>(at));
        }
        at += p.bytes;
    }
    following_ = false;
    try {
        setPlainText(shown);
    } catch (...) {
        following_ = true;
        throw;
    }
    following_ = true;
    known_ = shown;
    origin_ = std::move(origin);
    // Whatever the document made of it otherwise is no longer the loaded text there.
    follow(std::numeric_limits<int>::max());
    loaded_ = known_;
    loadedOrigin_ = origin_;
}

void ExactTextEdit::follow(int position)
{
    if (!following_)
        return;
    if (origin_.size() != static_cast<std::size_t>(known_.size())) {
        origin_.clear();
        known_.clear();
    }
    const QString now = document()->toRawText();
    if (now == loaded_) {
        // Back to the text as loaded (undone, or typed again): its own bytes again.
        known_ = now;
        origin_ = loadedOrigin_;
        return;
    }
    // The change starts at `position`; characters before it are the same ones.
    const Agreement a = Agree(known_, now, std::max(position, 0));
    origin_.erase(origin_.begin() + a.prefix, origin_.end() - a.suffix);
    const auto typed = static_cast<std::size_t>(now.size() - a.prefix - a.suffix);
    origin_.insert(origin_.begin() + a.prefix, typed, -1);
    known_ = now;
}

std::string ExactTextEdit::exactText() const
{
    const QString now = document()->toRawText();
    const qsizetype n = now.size();
    const qsizetype known = known_.size();
    const bool linked = origin_.size() == static_cast<std::size_t>(known);
    const Agreement a = linked ? Agree(known_, now, n) : Agreement{};
    auto originAt = [&](qsizetype i) -> qsizetype {
        if (i < a.prefix)
            return origin_[static_cast<std::size_t>(i)];
        if (i >= n - a.suffix)
            return origin_[static_cast<std::size_t>(i - n + known)];
        return -1;
    };

    std::string out;
    out.reserve(original_.size());
    QString typed;
    for (qsizetype i = 0; i < n;) {
        const qsizetype at = originAt(i);
        if (at >= 0) {
            const Piece p = PieceAt(original_, static_cast<std::size_t>(at));
            bool whole = i + p.length <= n;
            for (int k = 1; whole && k < p.length; ++k)
                whole = originAt(i + k) == at;
            if (whole) {
                AppendTyped(out, typed, lineBreak_);
                typed.clear();
                out.append(original_, static_cast<std::size_t>(at), p.bytes);
                i += p.length;
                continue;
            }
        }
        typed += now[i];
        ++i;
    }
    AppendTyped(out, typed, lineBreak_);
    return out;
}

}  // namespace preview
