#include "tools/edit/PlistEdit.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <new>

#include "tools/edit/GivenValues.h"
#include "tools/formats/PListTextFormats.h"

namespace plistedit {

namespace {

constexpr std::array<std::string_view, 11> kValueTypes = {
    "bool", "integer", "float",      "string", "date", "data",
    "hex",  "array",   "dictionary", "xml",    "json"};

constexpr char kDateForm[] = "give YYYY-MM-DDTHH:MM:SSZ (UTC)";

bool OnlyOf(std::string_view text, std::string_view allowed) {
    return !text.empty() && text.find_first_not_of(allowed) == std::string_view::npos;
}

std::string UTF8Text(CFStringRef string) {
    CFRef<CFDataRef> utf8(CFStringCreateExternalRepresentation(kCFAllocatorDefault, string,
                                                               kCFStringEncodingUTF8, '?'));
    if (!utf8) return {};
    return std::string(reinterpret_cast<const char*>(CFDataGetBytePtr(utf8.Get())),
                       static_cast<size_t>(CFDataGetLength(utf8.Get())));
}

// The property-list reader on `text`: the one place that says what an integer or a real may
// look like, so a value given here reads as it would in a file. NULL with `reason` set when it
// refuses.
CFPropertyListRef CreateFromText(std::string_view text, std::string& reason) {
    CFRef<CFDataRef> data(CFDataCreate(kCFAllocatorDefault,
                                       reinterpret_cast<const UInt8*>(text.data()),
                                       static_cast<CFIndex>(text.size())));
    CFStringRef complaint = nullptr;
    CFPropertyListRef value =
        data ? CFPropertyListCreateFromXMLData(kCFAllocatorDefault, data.Get(),
                                               kCFPropertyListImmutable, &complaint)
             : nullptr;
    CFRef<CFStringRef> ownedComplaint(complaint);
    if (!value) reason = complaint ? UTF8Text(complaint) : "not a property list";
    return value;
}

// <tag>text</tag> through the reader: only a value of the type asked for counts ("0x" and
// such read as 0 in XML).
bool CreateNumber(const char* tag, std::string_view text, bool real,
                  CFRef<CFPropertyListRef>& out) {
    std::string reason;
    out.Reset(CreateFromText("<" + std::string(tag) + ">" + std::string(text) + "</" + tag + ">",
                             reason));
    if (out && CFGetTypeID(out.Get()) == CFNumberGetTypeID() &&
        CFNumberIsFloatType(static_cast<CFNumberRef>(out.Get())) == real)
        return true;
    out.Reset();
    return false;
}

bool CreateReal(std::string_view text, CFRef<CFPropertyListRef>& out, std::string& why) {
    why = "is not a real; give a number such as 1.5 or 1e+16, or inf or nan";
    if (!OnlyOf(text, "+-.0123456789eEnaifINAFtyTY") || !CreateNumber("real", text, true, out))
        return false;
    // The reader reads 1e400 as an infinity and 1e-400 as 0: only inf and nan say so.
    const bool named = text.find_first_of("nN") != std::string_view::npos;
    errno = 0;
    const double parsed = std::strtod(std::string(text).c_str(), nullptr);
    if (!named && errno == ERANGE && (std::isinf(parsed) || parsed == 0)) {
        out.Reset();
        why = std::isinf(parsed) ? "is beyond the range of a real (about 1.8e308); give inf "
                                   "for an infinity"
                                 : "is too small for a real and would be stored as 0; give 0";
        return false;
    }
    return true;
}

bool CreateDate(std::string_view text, CFRef<CFPropertyListRef>& out, std::string& why) {
    if (!IsCalendarDate(text)) {
        why = std::string(IsDateShape(text) ? "is not a date that exists; " : "is not a date; ") +
              kDateForm;
        return false;
    }
    std::string reason;
    out.Reset(CreateFromText("<date>" + std::string(text) + "</date>", reason));
    if (!out) why = "is a date the reader refuses (" + reason + "); " + kDateForm;
    return static_cast<bool>(out);
}

bool CreateData(std::string_view type, std::string_view text, CFRef<CFPropertyListRef>& out,
                std::string& why) {
    std::string bytes;
    if (type == "hex" ? !DecodeHex(text, bytes, why) : !DecodeBase64(text, bytes, why)) {
        why = type == "hex" ? "is not hex: " + why + "; give two hex digits a byte (deadbeef)"
                            : "is not base64: " + why +
                                  "; give base64 padded to a multiple of 4 (3q2+7w==), or the "
                                  "bytes with -hex";
        return false;
    }
    out.Reset(CFDataCreate(kCFAllocatorDefault, reinterpret_cast<const UInt8*>(bytes.data()),
                           static_cast<CFIndex>(bytes.size())));
    if (!out) throw std::bad_alloc();
    return true;
}

// One XML value and nothing after it: a fragment (<dict>…</dict>, <true/>) is read as the one
// item of an array, so a second value or stray text is seen; a whole document (<?xml …>,
// <plist>) must end with its </plist>, after which the reader would ignore anything.
bool CreateXMLValue(std::string_view text, CFRef<CFPropertyListRef>& out, std::string& why) {
    const size_t first = text.find_first_not_of(" \t\r\n");
    const size_t last = text.find_last_not_of(" \t\r\n");
    constexpr char kForm[] = "give one value such as <dict>...</dict> or <true/>";
    if (first == std::string_view::npos || text[first] != '<') {
        why =
            std::string(first == std::string_view::npos ? "is no value; " : "is not XML; ") + kForm;
        return false;
    }
    const std::string_view body = text.substr(first, last + 1 - first);
    const bool document =
        body.starts_with("<?xml") || body.starts_with("<!DOCTYPE") || body.starts_with("<plist");
    if (document && !body.ends_with("</plist>")) {
        why = "has something after its </plist> or no </plist>; " + std::string(kForm);
        return false;
    }
    std::string reason;
    out.Reset(CreateFromText(
        document ? std::string(body) : "<array>" + std::string(body) + "</array>", reason));
    if (!out) {
        why = "is not a property list: " + reason;
        return false;
    }
    if (document) return true;
    const auto items = static_cast<CFArrayRef>(out.Get());
    const CFIndex count = CFArrayGetCount(items);
    if (count != 1) {
        out.Reset();
        why = std::string(count == 0 ? "is no value; " : "is more than one value; ") + kForm;
        return false;
    }
    out.Reset(CFRetain(CFArrayGetValueAtIndex(items, 0)));
    return true;
}

bool CreateJSONValue(std::string_view text, CFRef<CFPropertyListRef>& out, std::string& why) {
    if (plisttext::ReadJSONValue(text, out, why)) return true;
    why = "cannot be read: " + why;
    return false;
}

bool CreateScalar(std::string_view type, std::string_view text, CFRef<CFPropertyListRef>& out,
                  std::string& why) {
    if (type == "bool") {
        if (text == "true" || text == "yes" || text == "1") out.Reset(CFRetain(kCFBooleanTrue));
        if (text == "false" || text == "no" || text == "0") out.Reset(CFRetain(kCFBooleanFalse));
        why = "is not a Boolean; give true, false, yes, no, 1 or 0";
        return static_cast<bool>(out);
    }
    if (type == "integer") {
        why = "is not an integer from -2^63 to 2^64 - 1; give decimal digits or 0x hex";
        return OnlyOf(text, "+-0123456789xXabcdefABCDEF") &&
               CreateNumber("integer", text, false, out);
    }
    if (type == "float") return CreateReal(text, out, why);
    if (type == "date") return CreateDate(text, out, why);
    if (type == "data" || type == "hex") return CreateData(type, text, out, why);
    out.Reset(CreateKeyString(text));
    why = "is not UTF-8 text";
    return static_cast<bool>(out);
}

}  // namespace

bool IsValueType(std::string_view type) {
    return std::find(kValueTypes.begin(), kValueTypes.end(), type) != kValueTypes.end();
}

bool ValueTypeTakesText(std::string_view type) {
    return type != "array" && type != "dictionary";
}

bool CreateValue(std::string_view type, std::string_view text, CFRef<CFPropertyListRef>& out,
                 std::string& error) {
    out.Reset();
    std::string why;
    bool made;
    if (type == "array") {
        out.Reset(CFArrayCreate(kCFAllocatorDefault, nullptr, 0, &kCFTypeArrayCallBacks));
        made = static_cast<bool>(out);
    } else if (type == "dictionary") {
        out.Reset(CFDictionaryCreate(kCFAllocatorDefault, nullptr, nullptr, 0,
                                     &kCFTypeDictionaryKeyCallBacks,
                                     &kCFTypeDictionaryValueCallBacks));
        made = static_cast<bool>(out);
    } else if (type == "xml") {
        made = CreateXMLValue(text, out, why);
    } else if (type == "json") {
        made = CreateJSONValue(text, out, why);
    } else {
        made = CreateScalar(type, text, out, why);
    }
    if (!made) error = GivenValueText(type, text) + " " + why;
    return made;
}

namespace {

bool IsContainer(CFTypeRef value) {
    const CFTypeID type = CFGetTypeID(value);
    return type == CFDictionaryGetTypeID() || type == CFArrayGetTypeID();
}

// The editor walks down the path, copying each container it passes, and makes the edit in the
// copy of the last one.
class Editor {
public:
    Editor(const KeyPath& path, EditKind kind, CFPropertyListRef value, std::string& error)
        : mPath(path), mKind(kind), mValue(value), mError(error) {}

    // +1: `node` (the container at depth `depth` of the path) with the edit made below it.
    CFPropertyListRef CreateEdited(CFPropertyListRef node, size_t depth) {
        const std::string& component = mPath.components[depth];
        const bool last = depth + 1 == mPath.components.size();
        if (CFGetTypeID(node) == CFDictionaryGetTypeID()) {
            const auto dictionary = static_cast<CFDictionaryRef>(node);
            CFRef<CFStringRef> key(CreateKeyString(component));
            if (!key) return Fail("the key path " + ShownKeyPath(mPath) + " is not UTF-8");
            const void* child = nullptr;
            const bool present = CFDictionaryGetValueIfPresent(dictionary, key.Get(), &child);
            CFRef<CFPropertyListRef> edited;
            if (!last) {
                edited.Reset(CreateEdited(child, depth + 1));
                if (!edited) return nullptr;
            } else if (mKind == EditKind::Insert && present) {
                return Fail(DescribeKeyPath(mPath) + " already exists (replace changes it)");
            } else if (mKind == EditKind::Remove && !present) {
                return Fail(NoValueMessage(mPath, depth, dictionary));
            }
            CFMutableDictionaryRef copy =
                CFDictionaryCreateMutableCopy(kCFAllocatorDefault, 0, dictionary);
            if (!copy) return Fail("out of memory");
            if (last && mKind == EditKind::Remove)
                CFDictionaryRemoveValue(copy, key.Get());
            else
                CFDictionarySetValue(copy, key.Get(), last ? mValue : edited.Get());
            return copy;
        }
        const auto array = static_cast<CFArrayRef>(node);
        const CFIndex count = CFArrayGetCount(array);
        const auto index = ArrayIndex(component, count, last && mKind == EditKind::Insert);
        if (!index) return Fail(NoValueMessage(mPath, depth, array));
        CFRef<CFPropertyListRef> edited;
        if (!last) {
            edited.Reset(CreateEdited(CFArrayGetValueAtIndex(array, *index), depth + 1));
            if (!edited) return nullptr;
        }
        CFMutableArrayRef copy = CFArrayCreateMutableCopy(kCFAllocatorDefault, 0, array);
        if (!copy) return Fail("out of memory");
        if (!last)
            CFArraySetValueAtIndex(copy, *index, edited.Get());
        else if (mKind == EditKind::Insert)
            CFArrayInsertValueAtIndex(copy, *index, mValue);
        else if (mKind == EditKind::Remove)
            CFArrayRemoveValueAtIndex(copy, *index);
        else
            CFArraySetValueAtIndex(copy, *index, mValue);
        return copy;
    }

private:
    CFPropertyListRef Fail(std::string message) {
        mError = std::move(message);
        return nullptr;
    }

    const KeyPath& mPath;
    EditKind mKind;
    CFPropertyListRef mValue;
    std::string& mError;
};

}  // namespace

bool EditPlist(CFPropertyListRef root, const KeyPath& path, EditKind kind, CFPropertyListRef value,
               CFRef<CFPropertyListRef>& out, std::string& error) {
    out.Reset();
    if (kind == EditKind::Append) {
        CFPropertyListRef target = LookUp(root, path, error);
        if (!target) return false;
        if (CFGetTypeID(target) != CFArrayGetTypeID()) {
            error = DescribeKeyPath(path) + " is " + TypeWithArticle(target) +
                    "; --append adds to an array";
            return false;
        }
        KeyPath end = path;
        end.components.push_back(std::to_string(CFArrayGetCount(static_cast<CFArrayRef>(target))));
        return EditPlist(root, end, EditKind::Insert, value, out, error);
    }
    if (path.IsRoot()) {
        if (kind != EditKind::Replace) {
            error = "the top value cannot be inserted or removed (replace changes it)";
            return false;
        }
        out.Reset(CFRetain(value));
        return true;
    }
    // The containers on the way must all exist: LookUp says which one does not.
    KeyPath parentPath = path;
    parentPath.components.pop_back();
    CFPropertyListRef parent = LookUp(root, parentPath, error);
    if (!parent) return false;
    if (!IsContainer(parent)) {
        error = NoValueMessage(path, parentPath.components.size(), parent);
        return false;
    }
    Editor editor(path, kind, value, error);
    out.Reset(editor.CreateEdited(root, 0));
    return static_cast<bool>(out);
}

}  // namespace plistedit
