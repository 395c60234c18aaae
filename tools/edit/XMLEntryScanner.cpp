// The XML scanner: tags, comments, processing instructions, a DOCTYPE before the root and
// CDATA inside text, as the platform's XML reader takes them. Keys with entities or CDATA are
// decoded by that reader.
#include <algorithm>

#include "desc/CFRef.h"
#include "tools/edit/EntryScanner.h"

namespace plistedit::surgery {
namespace {

bool IsXMLSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

class XMLScanner : public EntryScanner {
public:
    using EntryScanner::EntryScanner;

    bool Top(size_t& begin, bool& braceless) override {
        braceless = false;
        size_t pos = mText.starts_with("\xEF\xBB\xBF") ? 3 : 0;
        if (!SkipMisc(pos, true)) return false;
        for (;;) {
            Tag tag;
            if (!ReadTag(pos, tag)) return false;
            if (tag.name != "plist") {
                begin = pos;
                return true;
            }
            if (tag.empty) return Fail("an empty plist element");
            pos = tag.end;
            if (!SkipMisc(pos, false)) return false;
        }
    }

    bool Open(size_t begin, Container& container) override {
        Tag tag;
        if (!ReadTag(begin, tag)) return false;
        if (tag.name != "dict" && tag.name != "array") return false;
        container.value = {begin, tag.empty ? tag.end : std::string_view::npos};
        container.dictionary = tag.name == "dict";
        container.contentBegin = tag.end;
        container.selfClosed = tag.empty;
        return true;
    }

    bool NextKey(const Container& container, size_t& pos, Entry& entry) override {
        entry = Entry();
        if (container.selfClosed || !SkipMisc(pos, false) || At(pos, "</")) return false;
        if (container.dictionary) {
            Tag tag;
            if (!ReadTag(pos, tag)) return false;
            if (tag.name != "key") return Fail("a dictionary entry without a key");
            entry.key.begin = pos;
            entry.keyText = {tag.end, tag.end};
            pos = tag.end;
            if (!tag.empty && !SkipText(pos, "key", entry.keyText.end)) return false;
            entry.key.end = pos;
            if (!SkipMisc(pos, false)) return false;
        }
        if (!At(pos, "<") || At(pos, "</")) return Fail("an entry without a value");
        entry.value.begin = pos;
        return true;
    }

    bool SkipValue(size_t begin, size_t& end) override {
        // Elements counted open and closed: text holds no '<' but in CDATA, so every other
        // '<' is markup.
        size_t pos = begin;
        int depth = 0;
        do {
            pos = mText.find('<', pos);
            if (pos == std::string_view::npos) return Fail("an element that does not end");
            if (At(pos, "<![CDATA[")) {
                if (!Past(pos, "]]>")) return false;
            } else if (At(pos, "<!--")) {
                if (!Past(pos, "-->")) return false;
            } else if (At(pos, "<?")) {
                if (!Past(pos, "?>")) return false;
            } else {
                const bool closing = At(pos, "</");
                if (!Past(pos, ">")) return false;
                if (closing) {
                    --depth;
                } else if (mText[pos - 2] != '/') {
                    ++depth;
                }
            }
        } while (depth > 0);
        end = pos;
        return true;
    }

    bool Terminate(const Container&, Entry& entry, size_t& pos) override {
        entry.end = pos = entry.value.end;
        return true;
    }

    bool Close(const Container& container, size_t pos, size_t& end) override {
        if (container.selfClosed) {
            end = container.contentBegin;
            return true;
        }
        if (!Past(pos, ">")) return false;
        end = pos;
        return true;
    }

    bool DecodeKey(const Entry& entry, std::string& utf8) override {
        const std::string_view text = Slice(entry.keyText);
        if (text.find_first_of("&<") == std::string_view::npos) {
            utf8.assign(text);
            return true;
        }
        return ReadStringDocument("<string>" + std::string(text) + "</string>", false, utf8);
    }

    bool CommaSeparated(const Container&) const override { return false; }
    std::string EntryText(std::string_view key, std::string_view between,
                          std::string_view value) const override {
        return std::string(key) + std::string(between) + std::string(value);
    }
    std::string DefaultBetween(std::string_view newline, std::string_view indent) const override {
        return std::string(newline) + std::string(indent);
    }
    bool IsBetween(std::string_view between) const override {
        for (char c : between)
            if (!IsXMLSpace(c)) return false;
        return true;
    }

    // The platform's writer, without its prolog and <plist> wrapper.
    bool ValueText(CFPropertyListRef value, std::string& text, std::string& why) override {
        CFRef<CFDataRef> data(
            CFPropertyListCreateData(nullptr, value, kCFPropertyListXMLFormat_v1_0, 0, nullptr));
        if (!data) {
            why = "the writer refuses the new value";
            return false;
        }
        std::string_view all(reinterpret_cast<const char*>(CFDataGetBytePtr(data.Get())),
                             static_cast<size_t>(CFDataGetLength(data.Get())));
        constexpr std::string_view kOpen = "<plist version=\"1.0\">\n";
        const size_t begin = all.find(kOpen);
        const size_t end = all.rfind("\n</plist>");
        if (begin == std::string_view::npos || end == std::string_view::npos) {
            why = "the writer's output has no plist element";
            return false;
        }
        text.assign(all.substr(begin + kOpen.size(), end - begin - kOpen.size()));
        return true;
    }

    bool KeyText(std::string_view utf8, std::string& text, std::string& why) override {
        CFRef<CFStringRef> key(CFStringCreateWithBytes(
            nullptr, reinterpret_cast<const UInt8*>(utf8.data()), static_cast<CFIndex>(utf8.size()),
            kCFStringEncodingUTF8, false));
        if (!key || !ValueText(key.Get(), text, why)) return false;
        if (text.starts_with("<string>") && text.ends_with("</string>"))
            text = "<key>" + text.substr(8, text.size() - 17) + "</key>";
        else if (text == "<string/>")
            text = "<key></key>";
        return true;
    }

    std::string_view WriterUnit() const override { return "\t"; }

private:
    struct Tag {
        std::string_view name;
        size_t end = 0;
        bool empty = false;
    };

    bool At(size_t pos, std::string_view what) const {
        return mText.substr(std::min(pos, mText.size())).starts_with(what);
    }

    // Moves `pos` past the next `close`.
    bool Past(size_t& pos, std::string_view close) {
        const size_t at = mText.find(close, pos + 1);
        if (at == std::string_view::npos) return Fail("markup that does not end");
        pos = at + close.size();
        return true;
    }

    // Whitespace, comments, processing instructions and, in the prolog, a DOCTYPE.
    bool SkipMisc(size_t& pos, bool prolog) {
        for (;;) {
            while (pos < mText.size() && IsXMLSpace(mText[pos])) ++pos;
            if (At(pos, "<!--")) {
                if (!Past(pos, "-->")) return false;
            } else if (At(pos, "<?")) {
                if (!Past(pos, "?>")) return false;
            } else if (prolog && At(pos, "<!DOCTYPE")) {
                if (!Past(pos, ">")) return false;
            } else {
                return true;
            }
        }
    }

    // At '<': the name and the end of the tag (attributes skipped to the first '>').
    bool ReadTag(size_t pos, Tag& tag) {
        if (!At(pos, "<")) return Fail("text where an element was expected");
        size_t end = pos + 1;
        while (end < mText.size() && !IsXMLSpace(mText[end]) && mText[end] != '/' &&
               mText[end] != '>')
            ++end;
        tag.name = mText.substr(pos + 1, end - pos - 1);
        const size_t close = mText.find('>', end);
        if (close == std::string_view::npos) return Fail("a tag that does not end");
        tag.empty = mText[close - 1] == '/';
        tag.end = close + 1;
        return true;
    }

    // Past the text of a <key> and its close tag; `textEnd` where the text stops.
    bool SkipText(size_t& pos, std::string_view name, size_t& textEnd) {
        for (;;) {
            pos = mText.find('<', pos);
            if (pos == std::string_view::npos) return Fail("text that does not end");
            if (!At(pos, "<![CDATA[")) break;
            if (!Past(pos, "]]>")) return false;
        }
        textEnd = pos;
        if (!At(pos + 2, name) || !At(pos, "</")) return Fail("markup inside a key");
        pos += 2 + name.size();
        while (pos < mText.size() && IsXMLSpace(mText[pos])) ++pos;
        if (!At(pos, ">")) return Fail("a key's close tag that does not end");
        ++pos;
        return true;
    }
};

}  // namespace

std::unique_ptr<EntryScanner> MakeXMLScanner(std::string_view text) {
    return std::make_unique<XMLScanner>(text);
}

}  // namespace plistedit::surgery
