// The JSON scanner: objects, arrays, strings with backslash escapes and bare words (numbers,
// true, false), as the tool's JSON reader takes them. Escaped keys are decoded by that reader.
#include "desc/CFRef.h"
#include "tools/edit/EntryScanner.h"
#include "tools/formats/PListTextFormats.h"

namespace plistedit::surgery {
namespace {

bool IsJSONSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

class JSONScanner : public EntryScanner {
public:
    using EntryScanner::EntryScanner;

    bool Top(size_t& begin, bool& braceless) override {
        braceless = false;
        begin = mText.starts_with("\xEF\xBB\xBF") ? 3 : 0;
        SkipSpace(begin);
        return begin < mText.size() || Fail("no value");
    }

    bool Open(size_t begin, Container& container) override {
        return OpenBracketed(begin, '[', container);
    }

    bool NextKey(const Container& container, size_t& pos, Entry& entry) override {
        entry = Entry();
        SkipSpace(pos);
        if (pos == mText.size()) return Fail("a container that does not end");
        if (mText[pos] == (container.dictionary ? '}' : ']')) return false;
        if (container.dictionary) {
            if (mText[pos] != '"') return Fail("a key that is not a string");
            entry.key.begin = pos;
            if (!SkipString(pos)) return false;
            entry.key.end = pos;
            entry.keyText = {entry.key.begin + 1, pos - 1};
            SkipSpace(pos);
            if (pos == mText.size() || mText[pos] != ':') return Fail("a key without ':'");
            SkipSpace(++pos);
        }
        entry.value.begin = pos;
        return true;
    }

    bool SkipValue(size_t begin, size_t& end) override {
        size_t pos = begin;
        int depth = 0;
        do {
            SkipSpace(pos);
            if (pos == mText.size()) return Fail("a value that does not end");
            const char c = mText[pos];
            if (c == '{' || c == '[') {
                ++depth;
                ++pos;
            } else if ((c == '}' || c == ']') && depth > 0) {
                --depth;
                ++pos;
            } else if (c == '"') {
                if (!SkipString(pos)) return false;
            } else if (depth > 0 && (c == ',' || c == ':')) {
                ++pos;
            } else {
                const size_t stop = mText.find_first_of(",:]}[{\" \t\r\n", pos);
                if (stop == pos) return Fail("a character the scanner cannot read");
                pos = stop == std::string_view::npos ? mText.size() : stop;
            }
        } while (depth > 0);
        end = pos;
        return true;
    }

    bool Terminate(const Container&, Entry& entry, size_t& pos) override {
        pos = entry.end = entry.value.end;
        SkipSpace(pos);
        if (pos < mText.size() && mText[pos] == ',') {
            entry.hasComma = true;
            entry.end = ++pos;
        }
        return true;
    }

    bool Close(const Container&, size_t pos, size_t& end) override {
        end = pos + 1;
        return true;
    }

    bool DecodeKey(const Entry& entry, std::string& utf8) override {
        const std::string_view text = Slice(entry.keyText);
        if (text.find('\\') == std::string_view::npos) {
            utf8.assign(text);
            return true;
        }
        return ReadStringDocument("[" + std::string(Slice(entry.key)) + "]", true, utf8);
    }

    bool CommaSeparated(const Container&) const override { return true; }
    std::string EntryText(std::string_view key, std::string_view between,
                          std::string_view value) const override {
        return std::string(key) + std::string(between) + std::string(value);
    }
    std::string DefaultBetween(std::string_view, std::string_view) const override { return ": "; }
    bool IsBetween(std::string_view between) const override {
        return IsOneSeparator(between, ':', IsJSONSpace);
    }

    bool ValueText(CFPropertyListRef value, std::string& text, std::string& why) override {
        if (!plisttext::WriteJSON(value, false, text, why, true)) return false;
        text.pop_back();  // the writer's final newline
        return true;
    }
    bool KeyText(std::string_view utf8, std::string& text, std::string& why) override {
        CFRef<CFStringRef> key(CFStringCreateWithBytes(
            nullptr, reinterpret_cast<const UInt8*>(utf8.data()), static_cast<CFIndex>(utf8.size()),
            kCFStringEncodingUTF8, false));
        return key && ValueText(key.Get(), text, why);
    }
    std::string_view WriterUnit() const override { return "  "; }

private:
    void SkipSpace(size_t& pos) const {
        while (pos < mText.size() && IsJSONSpace(mText[pos])) ++pos;
    }

    bool SkipString(size_t& pos) {
        for (++pos;;) {
            pos = mText.find_first_of("\"\\", pos);
            if (pos == std::string_view::npos) return Fail("a string that does not end");
            if (mText[pos] == '"') break;
            pos += 2;
        }
        ++pos;
        return true;
    }
};

}  // namespace

std::unique_ptr<EntryScanner> MakeJSONScanner(std::string_view text) {
    return std::make_unique<JSONScanner>(text);
}

}  // namespace plistedit::surgery
