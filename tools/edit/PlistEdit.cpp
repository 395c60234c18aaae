#include "tools/edit/PlistEdit.h"

#include <algorithm>
#include <array>

#include "tools/formats/PListTextFormats.h"

namespace plistedit {

namespace {

constexpr std::array<std::string_view, 10> kValueTypes = {
    "bool", "integer", "float", "string", "date", "data", "array", "dictionary", "xml", "json"};

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

// The property-list reader on `text`: the one place that says what an integer, a real, a date
// or base64 data may look like, so a value given here reads as it would in a file. NULL with
// `reason` set when it refuses.
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

// A date as the XML writer writes it: 2024-01-05T10:00:26Z, each field in its range.
bool IsDateText(std::string_view text) {
    constexpr std::string_view kShape = "dddd-dd-ddTdd:dd:ddZ";
    if (text.size() != kShape.size()) return false;
    for (size_t i = 0; i < text.size(); ++i)
        if (kShape[i] == 'd' ? (text[i] < '0' || text[i] > '9') : text[i] != kShape[i])
            return false;
    auto field = [&](size_t at) { return (text[at] - '0') * 10 + (text[at + 1] - '0'); };
    return field(5) >= 1 && field(5) <= 12 && field(8) >= 1 && field(8) <= 31 && field(11) < 24 &&
           field(14) < 60 && field(17) < 60;
}

// The tag that reads `text` as `type`, or nullptr when the text cannot be one.
const char* ScalarTag(std::string_view type, std::string_view text) {
    if (type == "integer" && OnlyOf(text, "+-0123456789xXabcdefABCDEF")) return "integer";
    if (type == "float" && OnlyOf(text, "+-.0123456789eEnaifINAF")) return "real";
    if (type == "date" && IsDateText(text)) return "date";
    if (type == "data" &&
        (text.empty() ||
         OnlyOf(text, "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/= \n")))
        return "data";
    return nullptr;
}

bool CreateScalar(std::string_view type, std::string_view text, CFRef<CFPropertyListRef>& out) {
    const char* tag = ScalarTag(type, text);
    if (!tag) return false;
    const std::string element =
        "<" + std::string(tag) + ">" + std::string(text) + "</" + std::string(tag) + ">";
    std::string reason;
    out.Reset(CreateFromText(element, reason));
    // "0x" and such read as 0 in XML; only a value of the type asked for counts.
    return out && (type == "float") == (CFGetTypeID(out.Get()) == CFNumberGetTypeID() &&
                                        CFNumberIsFloatType(static_cast<CFNumberRef>(out.Get())));
}

bool CreateJSONValue(std::string_view text, CFRef<CFPropertyListRef>& out, std::string& error) {
    // Any JSON value, scalars included: read as the one item of an array.
    CFRef<CFPropertyListRef> array;
    if (!plisttext::ReadJSON("[" + std::string(text) + "]", array, error)) {
        error = "the json value is not valid: " + error;
        return false;
    }
    const auto items = static_cast<CFArrayRef>(array.Get());
    if (CFArrayGetCount(items) != 1) {
        error = "the json value is more than one value";
        return false;
    }
    out.Reset(CFRetain(CFArrayGetValueAtIndex(items, 0)));
    return true;
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
    if (type == "bool") {
        if (text == "true" || text == "yes" || text == "1") out.Reset(CFRetain(kCFBooleanTrue));
        if (text == "false" || text == "no" || text == "0") out.Reset(CFRetain(kCFBooleanFalse));
    } else if (type == "string") {
        out.Reset(CreateKeyString(text));
    } else if (type == "array") {
        out.Reset(CFArrayCreate(kCFAllocatorDefault, nullptr, 0, &kCFTypeArrayCallBacks));
    } else if (type == "dictionary") {
        out.Reset(CFDictionaryCreate(kCFAllocatorDefault, nullptr, nullptr, 0,
                                     &kCFTypeDictionaryKeyCallBacks,
                                     &kCFTypeDictionaryValueCallBacks));
    } else if (type == "xml") {
        out.Reset(CreateFromText(text, error));
        if (!out) error = "the xml value is not a property list: " + error;
        return static_cast<bool>(out);
    } else if (type == "json") {
        return CreateJSONValue(text, out, error);
    } else {
        CreateScalar(type, text, out);
    }
    if (!out) error = "'" + std::string(text) + "' is not a valid " + std::string(type) + " value";
    return static_cast<bool>(out);
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
