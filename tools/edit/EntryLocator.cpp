#include "tools/edit/EntryLocator.h"

#include <algorithm>
#include <climits>
#include <memory>
#include <optional>
#include <vector>

#include "tools/edit/EntryScanner.h"
#include "tools/edit/TextEncoding.h"
#include "tools/formats/PListTextFormats.h"

namespace plistedit {
namespace surgery {

bool ReadStringDocument(std::string_view document, bool json, std::string& utf8) {
    CFRef<CFPropertyListRef> value;
    if (json) {
        std::string error;
        if (!plisttext::ReadJSON(document, value, error)) return false;
        value.Reset(CFRetain(CFArrayGetValueAtIndex(static_cast<CFArrayRef>(value.Get()), 0)));
    } else {
        CFRef<CFDataRef> data(CFDataCreate(nullptr, reinterpret_cast<const UInt8*>(document.data()),
                                           static_cast<CFIndex>(document.size())));
        if (data)
            value.Reset(CFPropertyListCreateFromXMLData(nullptr, data.Get(),
                                                        kCFPropertyListImmutable, nullptr));
    }
    if (!value || CFGetTypeID(value.Get()) != CFStringGetTypeID()) return false;
    utf8 = UTF8Of(static_cast<CFStringRef>(value.Get()));
    return true;
}

namespace {

struct Splice {
    size_t begin;
    size_t end;
    std::string text;
};

bool IsHorizontalSpace(char c) {
    return c == ' ' || c == '\t';
}

bool IsSpaceOnly(std::string_view text) {
    return text.find_first_not_of(" \t\r\n\v\f") == std::string_view::npos;
}

// A comment of old-style text or XML that `text` holds whole, and nothing else.
bool IsWholeComment(std::string_view text) {
    if (text.starts_with("//")) return true;
    if (text.starts_with("/*")) return text.size() >= 4 && text.ends_with("*/");
    return text.starts_with("<!--") && text.size() >= 7 && text.ends_with("-->");
}

// The edit of one file's text: finds the container the path ends in, then makes the splices.
class Surgeon {
public:
    Surgeon(EntryScanner& scanner, std::string_view text, bool keepsTextLines)
        : mScanner(scanner), mText(text), mKeepsTextLines(keepsTextLines) {
        const size_t newline = text.find_first_of("\r\n");
        if (newline != std::string_view::npos)
            mNewline = text.substr(newline, text.substr(newline).starts_with("\r\n") ? 2 : 1);
        mUnit = scanner.WriterUnit();
    }

    bool Edit(const KeyPath& path, EditKind kind, CFPropertyListRef value,
              CFPropertyListRef expected, std::string& out) {
        size_t top = 0;
        bool braceless = false;
        if (!mScanner.Top(top, braceless)) return Fail(mScanner.whyNot);
        if (path.IsRoot()) {
            if (braceless) return Fail("the top value of a strings file is replaced");
            mWholeCheck = true;
            Span whole{top, 0};
            if (!mScanner.SkipValue(top, whole.end)) return Fail(mScanner.whyNot);
            if (!ReplaceSpan(whole, value)) return false;
            return Apply(out);
        }
        mContainerPath = path;
        if (kind != EditKind::Append) mContainerPath.components.pop_back();
        mWholeCheck = braceless;
        if (!Descend(top, braceless, mContainerPath) || !ListEntries() || !CheckAncestors())
            return false;
        const bool edited = kind == EditKind::Remove ? Remove(path, expected)
                            : kind == EditKind::Append
                                ? Insert(std::nullopt, mEntries.size(), value, expected)
                                : EditLast(path, kind, value, expected);
        return edited && Apply(out);
    }

    // Where the edited container lies in the edited text, which is what must read back as the
    // edit; false when only the whole text will do.
    bool EditedContainer(Span& span) const {
        if (mWholeCheck) return false;
        span = mContainer.value;
        for (const Splice& splice : mSplices)
            span.end += splice.text.size() - (splice.end - splice.begin);
        return true;
    }

    std::string whyNot;

private:
    bool Fail(std::string why) {
        whyNot = why.empty() ? "the scanner lost its place" : std::move(why);
        return false;
    }
    std::string_view Slice(size_t begin, size_t end) const {
        return mText.substr(begin, end - begin);
    }

    size_t LineStart(size_t pos) const {
        while (pos > 0 && mText[pos - 1] != '\n' && mText[pos - 1] != '\r') --pos;
        return pos;
    }
    // The spaces and tabs that begin the line `pos` is on.
    std::string_view LineIndent(size_t pos) const {
        const size_t start = LineStart(pos);
        size_t end = start;
        while (end < pos && IsHorizontalSpace(mText[end])) ++end;
        return Slice(start, end);
    }
    bool StartsLine(size_t pos) const { return LineIndent(pos).size() == pos - LineStart(pos); }
    size_t LineEnd(size_t pos) const {
        const size_t end = mText.find_first_of("\r\n", pos);
        return end == std::string_view::npos ? mText.size() : end;
    }

    // Past a comment that ends the line `pos` is on, at the line's end: what an entry's own
    // line says of it stays with it. `pos` itself when the rest of the line is anything else.
    size_t PastTrailingComment(size_t pos) const {
        const size_t end = LineEnd(pos);
        std::string_view rest = Slice(pos, end);
        rest.remove_prefix(std::min(rest.find_first_not_of(" \t"), rest.size()));
        while (!rest.empty() && IsHorizontalSpace(rest.back())) rest.remove_suffix(1);
        return IsWholeComment(rest) ? end : pos;
    }

    // Where the comment lines right above the entry at `begin` start: they belong to it.
    size_t PastCommentsAbove(size_t begin) const {
        while (StartsLine(begin)) {
            const size_t lineStart = LineStart(begin);
            if (lineStart == 0) break;
            size_t previousEnd = lineStart - 1;
            if (mText[previousEnd] == '\n' && previousEnd > 0 && mText[previousEnd - 1] == '\r')
                --previousEnd;
            const size_t previousStart = LineStart(previousEnd);
            std::string_view line = Slice(previousStart, previousEnd);
            const size_t indent = std::min(line.find_first_not_of(" \t"), line.size());
            line.remove_prefix(indent);
            while (!line.empty() && IsHorizontalSpace(line.back())) line.remove_suffix(1);
            if (!IsWholeComment(line)) break;
            begin = previousStart + indent;
        }
        return begin;
    }

    // To the container that `path` names, noting the file's indentation unit on the way.
    bool Descend(size_t top, bool braceless, const KeyPath& path) {
        if (braceless) {
            mContainer.value = {top, mText.size()};
            mContainer.dictionary = mContainer.braceless = true;
            mContainer.contentBegin = top;
        } else if (!mScanner.Open(top, mContainer)) {
            return Fail("the top value is no container");
        }
        for (const std::string& component : path.components) {
            size_t pos = mContainer.contentBegin;
            Entry entry;
            for (CFIndex index = 0;; ++index) {
                if (!mScanner.NextKey(mContainer, pos, entry)) return Fail(mScanner.whyNot);
                if (index == 0) NoteUnit(entry);
                if (Matches(entry, component, index)) break;
                if (!Finish(mContainer, entry, pos)) return false;
            }
            Container child;
            if (entry.keyOnly || !mScanner.Open(entry.value.begin, child))
                return Fail("a value on the path is no container");
            mLevels.push_back({mContainer, entry, &component});
            mContainer = child;
        }
        return true;
    }

    bool Matches(const Entry& entry, const std::string& component, CFIndex index) {
        if (!mContainer.dictionary) return ArrayIndex(component, LONG_MAX, false) == index;
        std::string key;
        return mScanner.DecodeKey(entry, key) && key == component;
    }

    bool Finish(const Container& container, Entry& entry, size_t& pos) {
        if (!entry.keyOnly && !mScanner.SkipValue(entry.value.begin, entry.value.end))
            return Fail(mScanner.whyNot);
        return mScanner.Terminate(container, entry, pos) || Fail(mScanner.whyNot);
    }

    // The rest of each container on the path, from the inside out: a key on the path that comes
    // again would be the one the readers keep. One pass over the file in all.
    bool CheckAncestors() {
        size_t childEnd = mContainer.value.end;
        for (auto level = mLevels.rbegin(); level != mLevels.rend(); ++level) {
            Entry entry = level->entry;
            entry.value.end = childEnd;
            size_t pos = 0;
            if (!mScanner.Terminate(level->container, entry, pos)) return Fail(mScanner.whyNot);
            std::string key;
            while (mScanner.NextKey(level->container, pos, entry)) {
                if (level->container.dictionary && mScanner.DecodeKey(entry, key) &&
                    key == *level->component)
                    return Fail("a key on the path comes twice");
                if (!Finish(level->container, entry, pos)) return false;
            }
            if (!mScanner.whyNot.empty() || !mScanner.Close(level->container, pos, childEnd))
                return Fail(mScanner.whyNot);
        }
        return true;
    }

    void NoteUnit(const Entry& first) {
        const std::string_view outer = LineIndent(mContainer.value.begin);
        const std::string_view inner = LineIndent(first.Begin());
        if (StartsLine(first.Begin()) && inner.size() > outer.size() && inner.starts_with(outer))
            mUnit = inner.substr(outer.size());
    }

    // Every entry of the container, with its key; the container's end.
    bool ListEntries() {
        size_t pos = mContainer.contentBegin;
        Entry entry;
        while (mScanner.NextKey(mContainer, pos, entry)) {
            if (mEntries.empty()) NoteUnit(entry);
            if (!Finish(mContainer, entry, pos)) return false;
            std::string key;
            if (mContainer.dictionary && !mScanner.DecodeKey(entry, key))
                return Fail("a key the reader does not read");
            mEntries.push_back(entry);
            mKeys.push_back(std::move(key));
        }
        if (!mScanner.whyNot.empty()) return Fail(mScanner.whyNot);
        return mScanner.Close(mContainer, pos, mContainer.value.end) || Fail(mScanner.whyNot);
    }

    std::optional<size_t> Find(const std::string& component) const {
        if (!mContainer.dictionary) {
            const auto index = ArrayIndex(component, static_cast<CFIndex>(mEntries.size()), false);
            if (index) return static_cast<size_t>(*index);
            return std::nullopt;
        }
        // The last of equal keys is the one the readers keep.
        for (size_t i = mKeys.size(); i-- > 0;)
            if (mKeys[i] == component) return i;
        return std::nullopt;
    }

    bool EditLast(const KeyPath& path, EditKind kind, CFPropertyListRef value,
                  CFPropertyListRef expected) {
        const std::string& component = path.components.back();
        const auto found = Find(component);
        if (kind == EditKind::Replace && found) {
            if (mEntries[*found].keyOnly) return Fail("a key without a value");
            mScanner.FollowStyle(mEntries[*found]);
            return ReplaceSpan(mEntries[*found].value, value);
        }
        if (mContainer.dictionary)
            return Insert(component, SortedPlace(component), value, expected);
        const auto index = ArrayIndex(component, static_cast<CFIndex>(mEntries.size()), true);
        if (!index) return Fail("no such array index");
        return Insert(std::nullopt, static_cast<size_t>(*index), value, expected);
    }

    // Where a new key goes: in order when the keys are sorted, else at the end.
    size_t SortedPlace(const std::string& key) const {
        if (!std::is_sorted(mKeys.begin(), mKeys.end())) return mKeys.size();
        return static_cast<size_t>(std::upper_bound(mKeys.begin(), mKeys.end(), key) -
                                   mKeys.begin());
    }

    // The value's text, its lines after the first indented from `base` in the file's unit.
    bool Render(CFPropertyListRef value, std::string_view base, std::string& out) {
        std::string text, why;
        if (!mScanner.ValueText(value, text, why)) return Fail(why);
        out.clear();
        const std::string_view unit = mScanner.WriterUnit();
        bool inText = false;  // inside an XML <string> or <key>, whose line breaks are content
        for (size_t i = 0; i < text.size();) {
            if (text[i] == '\n' && !inText) {
                out += mNewline;
                out += base;
                for (++i; std::string_view(text).substr(i).starts_with(unit); i += unit.size())
                    out += mUnit;
                continue;
            }
            if (mKeepsTextLines && text[i] == '<')
                inText = !inText &&
                         (text.compare(i, 8, "<string>") == 0 || text.compare(i, 5, "<key>") == 0);
            out.push_back(text[i++]);
        }
        return true;
    }

    bool ReplaceSpan(Span span, CFPropertyListRef value) {
        std::string text;
        if (!Render(value, LineIndent(span.begin), text)) return false;
        mSplices.push_back({span.begin, span.end, std::move(text)});
        return true;
    }

    // The container made anew from the expected result: for the first entry of an empty one,
    // or the last one taken out.
    bool ReplaceContainer(CFPropertyListRef expected) {
        std::string error;
        CFPropertyListRef container = LookUp(expected, mContainerPath, error);
        if (!container) return Fail(error);
        return ReplaceSpan(mContainer.value, container);
    }

    // What separates two entries in this container: the space between two of them, else a new
    // line at the indentation of `near`.
    std::string Separator(size_t at, size_t near) const {
        const size_t count = mEntries.size();
        for (size_t k = 0; k < count; ++k) {
            // The gap where the entry goes first, then the others in order.
            const size_t j = k == 0 ? std::clamp<size_t>(at, 1, count - 1) : k;
            if (j == 0 || j >= count) continue;
            const std::string_view gap = Slice(mEntries[j - 1].end, mEntries[j].Begin());
            if (IsSpaceOnly(gap)) return std::string(gap);
        }
        if (StartsLine(near)) return mNewline + std::string(LineIndent(near));
        return " ";
    }

    bool Insert(const std::optional<std::string>& key, size_t at, CFPropertyListRef value,
                CFPropertyListRef expected) {
        const size_t count = mEntries.size();
        if (count == 0 && !mContainer.braceless) return ReplaceContainer(expected);
        const size_t near =
            count == 0 ? mContainer.value.end : mEntries[std::min(at, count - 1)].Begin();
        if (count > 0) mScanner.FollowStyle(mEntries[std::min(at, count - 1)]);
        std::string entry;
        if (!Render(value, LineIndent(near), entry)) return false;
        if (key && !KeyedEntry(*key, near, std::min(at, count - 1), entry)) return false;
        if (count == 0) {  // an empty strings file
            const bool ended = mText.empty() || mText.back() == '\n' || mText.back() == '\r';
            mSplices.push_back({mText.size(), mText.size(),
                                (ended ? "" : mNewline) + entry + std::string(mNewline)});
            return true;
        }
        const bool commas = mScanner.CommaSeparated(mContainer);
        const std::string separator = Separator(at, near);
        // An entry on lines of its own keeps the comments on its line and right above it.
        const bool ownLines = !mNewline.empty() && separator.starts_with(mNewline);
        if (at < count) {
            const size_t begin =
                ownLines ? PastCommentsAbove(mEntries[at].Begin()) : mEntries[at].Begin();
            mSplices.push_back({begin, begin, entry + (commas ? "," : "") + separator});
            return true;
        }
        const Entry& last = mEntries.back();
        if (commas && !last.hasComma)
            mSplices.push_back({last.value.end, last.value.end, "," + separator + entry});
        else {
            const size_t after = ownLines ? PastTrailingComment(last.end) : last.end;
            mSplices.push_back({after, after, separator + entry + (commas ? "," : "")});
        }
        return true;
    }

    // `entry` (the value's text) as a dictionary entry, spaced as entry `sample` is.
    bool KeyedEntry(const std::string& key, size_t near, size_t sample, std::string& entry) {
        std::string keyText, why;
        if (!mScanner.KeyText(key, keyText, why)) return Fail(why);
        std::string between = mScanner.DefaultBetween(mNewline, LineIndent(near));
        if (sample < mEntries.size() && !mEntries[sample].keyOnly) {
            const std::string_view gap =
                Slice(mEntries[sample].key.end, mEntries[sample].value.begin);
            if (mScanner.IsBetween(gap)) between.assign(gap);
        }
        entry = mScanner.EntryText(keyText, between, entry);
        return true;
    }

    bool Remove(const KeyPath& path, CFPropertyListRef expected) {
        const auto found = Find(path.components.back());
        if (!found) return Fail("no such entry");
        const size_t count = mEntries.size();
        if (count == 1 && !mContainer.braceless) return ReplaceContainer(expected);
        const Entry& entry = mEntries[*found];
        RemoveSpan(entry.Begin(), entry.end);
        // The last item of a comma-separated container takes the comma before it along.
        if (mScanner.CommaSeparated(mContainer) && !entry.hasComma && *found > 0)
            mSplices.push_back({mEntries[*found - 1].end - 1, mEntries[*found - 1].end, ""});
        return true;
    }

    // Whole lines when the span has them to itself, else the span and the spaces beside it.
    void RemoveSpan(size_t begin, size_t end) {
        size_t before = begin;
        while (before > 0 && IsHorizontalSpace(mText[before - 1])) --before;
        size_t after = end;
        while (after < mText.size() && IsHorizontalSpace(mText[after])) ++after;
        const bool startsLine =
            before == 0 || mText[before - 1] == '\n' || mText[before - 1] == '\r';
        const bool endsLine = after == mText.size() || mText[after] == '\n' || mText[after] == '\r';
        if (startsLine && endsLine) {
            if (after < mText.size()) after += mText.substr(after).starts_with("\r\n") ? 2 : 1;
            mSplices.push_back({before, after, ""});
        } else if (!startsLine && before < begin) {
            mSplices.push_back({before, end, ""});  // "a, b" less ", b" or " b"
        } else {
            mSplices.push_back({begin, endsLine ? end : after, ""});  // "[a, b" less "a, "
        }
    }

    bool Apply(std::string& out) {
        std::sort(mSplices.begin(), mSplices.end(),
                  [](const Splice& a, const Splice& b) { return a.begin < b.begin; });
        out.clear();
        size_t size = mText.size();
        for (const Splice& splice : mSplices)
            size += splice.text.size() - (splice.end - splice.begin);
        out.reserve(size);
        size_t done = 0;
        for (const Splice& splice : mSplices) {
            if (splice.begin < done) return Fail("the edits overlap");
            out.append(Slice(done, splice.begin));
            out += splice.text;
            done = splice.end;
        }
        out.append(mText.substr(done));
        return true;
    }

    struct Level {
        Container container;
        Entry entry;  // the one the path goes through
        const std::string* component;
    };

    EntryScanner& mScanner;
    std::string_view mText;
    std::vector<Level> mLevels;
    KeyPath mContainerPath;
    bool mWholeCheck = false;
    bool mKeepsTextLines;
    std::string mNewline = "\n";
    std::string mUnit;
    Container mContainer;
    std::vector<Entry> mEntries;
    std::vector<std::string> mKeys;
    std::vector<Splice> mSplices;
};

std::unique_ptr<EntryScanner> MakeScanner(std::string_view format, std::string_view text) {
    if (format == "xml") return MakeXMLScanner(text);
    if (format == "openstep") return MakeOldStyleScanner(text);
    if (format == "json") return MakeJSONScanner(text);
    return nullptr;
}

bool ReadsAs(std::string_view bytes, std::string_view format, CFPropertyListRef expected) {
    CFRef<CFPropertyListRef> value;
    if (format == "json") {
        std::string error;
        plisttext::ReadJSON(bytes, value, error);
    } else {
        CFRef<CFDataRef> data(
            CFDataCreateWithBytesNoCopy(nullptr, reinterpret_cast<const UInt8*>(bytes.data()),
                                        static_cast<CFIndex>(bytes.size()), kCFAllocatorNull));
        if (data)
            value.Reset(CFPropertyListCreateFromXMLData(nullptr, data.Get(),
                                                        kCFPropertyListImmutable, nullptr));
    }
    return value && CFEqual(value.Get(), expected);
}

// True when an XML declaration names an encoding other than UTF-8 and UTF-16: a part of the
// text, which has no declaration, would not read as the file does.
bool DeclaresOtherEncoding(std::string_view text) {
    if (!text.starts_with("<?xml")) return false;
    const std::string_view declaration = text.substr(0, text.find("?>"));
    const size_t name = declaration.find("encoding");
    if (name == std::string_view::npos) return false;
    const size_t quote = declaration.find_first_of("\"'", name);
    if (quote == std::string_view::npos) return true;
    std::string value;
    for (char c : declaration.substr(quote + 1, 6)) value.push_back(static_cast<char>(tolower(c)));
    return value != "utf-8\"" && value != "utf-8'" && !value.starts_with("utf-16");
}

// The edited text read back: the edited container where the rest of the file is the same bytes
// the scanners followed to it, as an entry of the path that comes once; else the whole file.
bool ReadsAsEdit(const Surgeon& surgeon, std::string_view edited, std::string_view bytes,
                 std::string_view format, const KeyPath& path, EditKind kind,
                 CFPropertyListRef expected) {
    Span span;
    if (!surgeon.EditedContainer(span) || (format == "xml" && DeclaresOtherEncoding(edited)))
        return ReadsAs(bytes, format, expected);
    KeyPath containerPath = path;
    if (kind != EditKind::Append) containerPath.components.pop_back();
    std::string error;
    CFPropertyListRef container = LookUp(expected, containerPath, error);
    return container &&
           ReadsAs(edited.substr(span.begin, span.end - span.begin), format, container);
}

}  // namespace
}  // namespace surgery

bool EditTextSurgically(std::string_view fileBytes, std::string_view format, const KeyPath& path,
                        EditKind kind, CFPropertyListRef newValue, CFPropertyListRef expectedResult,
                        std::string& outBytes, std::string& whyNot) {
    outBytes.clear();
    whyNot.clear();
    if (format != "xml" && format != "openstep" && format != "json") return false;
    surgery::TextEncoding encoding;
    std::string transcoded;
    if (!surgery::DecodeText(fileBytes, encoding, transcoded, whyNot)) return false;
    const std::string_view text = encoding.utf16 ? std::string_view(transcoded) : fileBytes;
    auto scanner = surgery::MakeScanner(format, text);
    surgery::Surgeon surgeon(*scanner, text, format == "xml");
    std::string edited;
    if (!surgeon.Edit(path, kind, newValue, expectedResult, edited)) {
        whyNot = surgeon.whyNot;
        return false;
    }
    if (!encoding.utf16)
        outBytes.swap(edited);
    else if (!surgery::EncodeText(edited, encoding, outBytes, whyNot))
        return false;
    const std::string_view editedText = encoding.utf16 ? std::string_view(edited) : outBytes;
    if (!surgery::ReadsAsEdit(surgeon, editedText, outBytes, format, path, kind, expectedResult)) {
        outBytes.clear();
        whyNot = "the edited text did not read back as the edit";
        return false;
    }
    return true;
}

CFPropertyListRef CreateAsFormatReadsIt(CFPropertyListRef value, std::string_view format) {
    std::string text, error;
    const bool written = format == "json" ? plisttext::WriteJSON(value, false, text, error, true)
                         : format == "openstep" ? plisttext::WriteOpenStep(value, text, error)
                                                : false;
    CFRef<CFPropertyListRef> read;
    if (written) {
        if (format == "json") {
            plisttext::ReadJSON("[" + text + "]", read, error);
            if (read)
                read.Reset(
                    CFRetain(CFArrayGetValueAtIndex(static_cast<CFArrayRef>(read.Get()), 0)));
        } else {
            CFRef<CFDataRef> data(CFDataCreate(nullptr, reinterpret_cast<const UInt8*>(text.data()),
                                               static_cast<CFIndex>(text.size())));
            if (data)
                read.Reset(CFPropertyListCreateFromXMLData(nullptr, data.Get(),
                                                           kCFPropertyListImmutable, nullptr));
        }
    }
    return read ? read.Detach() : CFRetain(value);
}

}  // namespace plistedit
