// The old-style scanner: bare and quoted strings (backslash escapes), <hex data>, ( ) arrays,
// { } dictionaries and a strings file's entries without braces, with // and /* */ comments
// wherever space may be, as the platform's old-style reader takes them. Escaped keys are
// decoded by that reader.
#include "desc/CFRef.h"
#include "tools/edit/EntryScanner.h"
#include "tools/formats/PListTextFormats.h"

namespace plistedit::surgery {
namespace {

bool IsOldSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// What a bare string may hold, as the reader's table says.
bool IsBare(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
           c == '$' || c == '/' || c == ':' || c == '.' || c == '-';
}

class OldStyleScanner : public EntryScanner {
public:
    explicit OldStyleScanner(std::string_view text) : EntryScanner(text) {
        // Non-ASCII text as itself unless the file spells it only as \U escapes.
        bool raw = false;
        for (char c : text) raw = raw || (c & 0x80);
        mStyle.escapeNonASCII = !raw && text.find("\\U") != std::string_view::npos;
    }

    bool Top(size_t& begin, bool& braceless) override {
        const size_t start = mText.starts_with("\xEF\xBB\xBF") ? 3 : 0;
        size_t pos = start;
        braceless = false;
        if (!SkipSpace(pos)) return false;
        begin = pos;
        if (pos == mText.size()) {  // space and comments only: an empty strings file
            braceless = true;
            begin = start;
            return true;
        }
        if (mText[pos] != '"' && mText[pos] != '\'' && !IsBare(mText[pos])) return true;
        // A string followed by more is the first key of a strings file.
        size_t end = 0;
        if (!SkipValue(pos, end)) return false;
        if (!SkipSpace(end)) return false;
        if (end < mText.size()) {
            braceless = true;
            begin = start;
        }
        return true;
    }

    bool Open(size_t begin, Container& container) override {
        return OpenBracketed(begin, '(', container);
    }

    bool NextKey(const Container& container, size_t& pos, Entry& entry) override {
        entry = Entry();
        if (!SkipSpace(pos) || pos == mText.size()) return false;
        const char c = mText[pos];
        if (!container.dictionary) {
            if (c == ')') return false;
            entry.value.begin = pos;
            return true;
        }
        if (c == '}' && !container.braceless) return false;
        const bool quoted = c == '"' || c == '\'';
        if (!quoted && !IsBare(c)) {
            if (container.braceless) return false;  // the reader ends the entries here too
            return Fail("a dictionary key the scanner cannot read");
        }
        entry.key.begin = pos;
        if (!SkipString(pos)) return false;
        entry.key.end = pos;
        entry.keyText = quoted ? Span{entry.key.begin + 1, pos - 1} : entry.key;
        if (!SkipSpace(pos)) return false;
        if (pos < mText.size() && mText[pos] == ';') {
            entry.keyOnly = true;
            entry.value = entry.key;
            return true;
        }
        if (pos == mText.size() || mText[pos] != '=') return Fail("a key without '=' or ';'");
        ++pos;
        if (!SkipSpace(pos)) return false;
        entry.value.begin = pos;
        return true;
    }

    bool SkipValue(size_t begin, size_t& end) override {
        size_t pos = begin;
        int depth = 0;
        do {
            if (!SkipSpace(pos)) return false;
            if (pos == mText.size()) return Fail("a value that does not end");
            const char c = mText[pos];
            if (c == '{' || c == '(') {
                ++depth;
                ++pos;
            } else if ((c == '}' || c == ')') && depth > 0) {
                --depth;
                ++pos;
            } else if (c == '<') {
                pos = mText.find('>', pos);
                if (pos == std::string_view::npos) return Fail("data that does not end");
                ++pos;
            } else if (c == '"' || c == '\'' || IsBare(c)) {
                if (!SkipString(pos)) return false;
            } else if (depth > 0 && (c == ';' || c == ',' || c == '=')) {
                ++pos;
            } else {
                return Fail("a character the scanner cannot read");
            }
        } while (depth > 0);
        end = pos;
        return true;
    }

    bool Terminate(const Container& container, Entry& entry, size_t& pos) override {
        pos = entry.keyOnly ? entry.key.end : entry.value.end;
        entry.end = pos;
        if (!SkipSpace(pos)) return false;
        const bool separator =
            pos < mText.size() && mText[pos] == (container.dictionary ? ';' : ',');
        if (!separator) {
            pos = entry.end;
            return container.dictionary ? Fail("an entry without ';'") : true;
        }
        entry.hasComma = !container.dictionary;
        entry.end = ++pos;
        return true;
    }

    bool Close(const Container& container, size_t pos, size_t& end) override {
        end = container.braceless ? mText.size() : pos + 1;
        return true;
    }

    bool DecodeKey(const Entry& entry, std::string& utf8) override {
        const std::string_view text = Slice(entry.keyText);
        if (text.find('\\') == std::string_view::npos) {
            utf8.assign(text);
            return true;
        }
        return ReadStringDocument(Slice(entry.key), false, utf8);
    }

    bool CommaSeparated(const Container& container) const override { return !container.dictionary; }
    std::string EntryText(std::string_view key, std::string_view between,
                          std::string_view value) const override {
        return std::string(key) + std::string(between) + std::string(value) + ";";
    }
    std::string DefaultBetween(std::string_view, std::string_view) const override { return " = "; }
    bool IsBetween(std::string_view between) const override {
        return IsOneSeparator(between, '=', IsOldSpace);
    }

    bool ValueText(CFPropertyListRef value, std::string& text, std::string& why) override {
        if (!plisttext::WriteOpenStep(value, text, why, mStyle)) return false;
        text.pop_back();  // the writer's final newline
        return true;
    }
    bool KeyText(std::string_view utf8, std::string& text, std::string& why) override {
        CFRef<CFStringRef> key(CFStringCreateWithBytes(
            nullptr, reinterpret_cast<const UInt8*>(utf8.data()), static_cast<CFIndex>(utf8.size()),
            kCFStringEncodingUTF8, false));
        return key && ValueText(key.Get(), text, why);
    }
    std::string_view WriterUnit() const override { return "\t"; }

    // Quoted strings where the file quotes them: a .strings file quotes every one.
    void FollowStyle(const Entry& entry) override {
        const size_t at = entry.key.end > entry.key.begin ? entry.key.begin : entry.value.begin;
        mStyle.quoteAll = at < mText.size() && mText[at] == '"';
    }

private:
    // Space and comments; false only for an unterminated block comment.
    bool SkipSpace(size_t& pos) {
        for (;;) {
            while (pos < mText.size() && IsOldSpace(mText[pos])) ++pos;
            if (mText.substr(pos).starts_with("//")) {
                pos = mText.find_first_of("\r\n", pos);
                if (pos == std::string_view::npos) pos = mText.size();
            } else if (mText.substr(pos).starts_with("/*")) {
                pos = mText.find("*/", pos + 2);
                if (pos == std::string_view::npos) return Fail("a comment that does not end");
                pos += 2;
            } else {
                return true;
            }
        }
    }

    // At a quote or a bare character: past the string.
    bool SkipString(size_t& pos) {
        const char quote = mText[pos];
        if (quote != '"' && quote != '\'') {
            while (pos < mText.size() && IsBare(mText[pos])) ++pos;
            return true;
        }
        const char stops[] = {quote, '\\', '\0'};
        for (++pos;;) {
            pos = mText.find_first_of(stops, pos);
            if (pos == std::string_view::npos) return Fail("a quoted string that does not end");
            if (mText[pos] == quote) break;
            pos += 2;  // an escape's first character can be neither quote nor its end
        }
        ++pos;
        return true;
    }

    plisttext::OpenStepStyle mStyle;
};

}  // namespace

std::unique_ptr<EntryScanner> MakeOldStyleScanner(std::string_view text) {
    return std::make_unique<OldStyleScanner>(text);
}

}  // namespace plistedit::surgery
