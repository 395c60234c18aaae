// Where the entries of a text property list lie in its bytes: one small scanner per text format
// (XML, old-style, JSON) that finds a container's entries and skips over values without
// building them. The scanners follow the readers' rules for what ends a value (comments,
// quoting, escapes, CDATA) and hand the decoding of an escaped key to the readers themselves.
// Private to EntryLocator.cpp and its tests.
#ifndef TOOLS_EDIT_ENTRYSCANNER_H
#define TOOLS_EDIT_ENTRYSCANNER_H

#include <CoreFoundation/CoreFoundation.h>

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

namespace plistedit::surgery {

struct Span {
    size_t begin = 0;
    size_t end = 0;
};

// One key and value of a dictionary, or one item of an array (no key).
struct Entry {
    Span key;               // the whole key (element, quoted or bare string)
    Span keyText;           // what the key holds before decoding (inside the quotes or tags)
    Span value;             // the whole value
    size_t end = 0;         // past the entry's own ';' or ',', else value.end
    bool keyOnly = false;   // old-style "key;", whose value is the key
    bool hasComma = false;  // followed by its own ','
    size_t Begin() const { return key.end > key.begin ? key.begin : value.begin; }
};

struct Container {
    Span value;  // the whole container
    bool dictionary = false;
    bool braceless = false;   // an old-style strings file: entries without enclosing braces
    size_t contentBegin = 0;  // past the opening bracket or tag
    bool selfClosed = false;  // <dict/>
};

class EntryScanner {
public:
    explicit EntryScanner(std::string_view text) : mText(text) {}
    virtual ~EntryScanner() = default;

    // The top value: where it starts. False when the text has none the scanner understands.
    virtual bool Top(size_t& begin, bool& braceless) = 0;
    // The container starting at `begin`; false (whyNot empty) when the value there is no
    // container.
    virtual bool Open(size_t begin, Container& container) = 0;
    // The next entry of `container` from `pos`: its key and the start of its value. False at
    // the container's end (whyNot empty) or at what the scanner cannot read (whyNot set).
    virtual bool NextKey(const Container& container, size_t& pos, Entry& entry) = 0;
    // Past the value at `begin`.
    virtual bool SkipValue(size_t begin, size_t& end) = 0;
    // After entry.value: its ';' or ',' (entry.end); `pos` past the entry.
    virtual bool Terminate(const Container& container, Entry& entry, size_t& pos) = 0;
    // The key's text as UTF-8: the bytes themselves when nothing is escaped, else the reader's
    // reading of them.
    virtual bool DecodeKey(const Entry& entry, std::string& utf8) = 0;

    // The end of a container (past its closing bracket or tag) from the position of its close.
    virtual bool Close(const Container& container, size_t pos, size_t& end) = 0;

    // How the format writes things, for the text of a new entry.
    virtual bool CommaSeparated(const Container& container) const = 0;
    // A dictionary entry from a key's text, the text between key and value, and the value's.
    virtual std::string EntryText(std::string_view key, std::string_view between,
                                  std::string_view value) const = 0;
    // The text between key and value when the container shows none.
    virtual std::string DefaultBetween(std::string_view newline, std::string_view indent) const = 0;
    // True when `between` (from an existing entry) may be reused between a key and a value.
    virtual bool IsBetween(std::string_view between) const = 0;
    // The value as the format's writer writes it, at level 0, with `WriterUnit()` per level and
    // "\n" between lines; the key as a dictionary key. False with `why`.
    virtual bool ValueText(CFPropertyListRef value, std::string& text, std::string& why) = 0;
    virtual bool KeyText(std::string_view utf8, std::string& text, std::string& why) = 0;
    virtual std::string_view WriterUnit() const = 0;
    // Called with a value being replaced or a container's first entry, to follow its quoting.
    virtual void FollowStyle(const Entry&) {}

    std::string whyNot;

protected:
    std::string_view Slice(Span span) const {
        return mText.substr(span.begin, span.end - span.begin);
    }
    bool Fail(std::string why) {
        whyNot = std::move(why);
        return false;
    }
    // A container of the text formats that open a dictionary with '{' and an array with
    // `arrayOpen`, starting at `begin`.
    bool OpenBracketed(size_t begin, char arrayOpen, Container& container) const {
        if (begin >= mText.size() || (mText[begin] != '{' && mText[begin] != arrayOpen))
            return false;
        container.value.begin = begin;
        container.dictionary = mText[begin] == '{';
        container.contentBegin = begin + 1;
        return true;
    }
    // True when `between` is one `separator` with only the format's spaces around it.
    static bool IsOneSeparator(std::string_view between, char separator, bool (*isSpace)(char)) {
        size_t separators = 0;
        for (char c : between) {
            if (c == separator)
                ++separators;
            else if (!isSpace(c))
                return false;
        }
        return separators == 1;
    }

    std::string_view mText;
};

// "xml", "openstep" or "json"; NULL for any other format.
std::unique_ptr<EntryScanner> MakeXMLScanner(std::string_view text);
std::unique_ptr<EntryScanner> MakeOldStyleScanner(std::string_view text);
std::unique_ptr<EntryScanner> MakeJSONScanner(std::string_view text);

// The string the reader makes of `document` (a property list holding one string), as UTF-8.
bool ReadStringDocument(std::string_view document, bool json, std::string& utf8);

}  // namespace plistedit::surgery

#endif
