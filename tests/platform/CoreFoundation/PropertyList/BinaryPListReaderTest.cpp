// The binary property-list reader: accepted object kinds (read back through the XML writer),
// corrupt and truncated files, cycles, nesting and allocation failure.
#include <CoreFoundation/CoreFoundation.h>

#include <string>
#include <vector>

#include "desc/CFRef.h"
#include "platform/CoreFoundation/CFInternal.h"
#include "platform/CoreFoundation/PropertyList/CFPropertyListInternal.h"
#include "support/PlatformTest.h"

namespace {

using Bytes = std::string;

Bytes BigEndian(uint64_t value, size_t size) {
    Bytes out(size, '\0');
    for (size_t i = size; i-- > 0; value >>= 8) out[i] = static_cast<char>(value & 0xFF);
    return out;
}

// Object encodings, with one-byte references.
Bytes Marker(int type, uint64_t count) {
    if (count < 15) return Bytes(1, static_cast<char>(type << 4 | count));
    return Bytes(1, static_cast<char>(type << 4 | 0xF)) + "\x13" + BigEndian(count, 8);
}
Bytes Int(uint64_t value, int sizeLog2 = 3) {
    return Bytes(1, static_cast<char>(0x10 | sizeLog2)) + BigEndian(value, size_t{1} << sizeLog2);
}
Bytes Ascii(const Bytes& text) {
    return Marker(5, text.size()) + text;
}
Bytes Refs(std::vector<int> refs) {
    Bytes out;
    for (int r : refs) out += static_cast<char>(r);
    return out;
}
Bytes Array(std::vector<int> refs) {
    return Marker(0xA, refs.size()) + Refs(refs);
}
Bytes Dict(std::vector<int> keys, std::vector<int> values) {
    return Marker(0xD, keys.size()) + Refs(keys) + Refs(values);
}

struct Layout {
    size_t offsetSize = 1;
    size_t refSize = 1;
    uint64_t top = 0;
    // Overrides for corrupting the trailer; UINT64_MAX keeps the computed value.
    uint64_t objectCount = UINT64_MAX;
    uint64_t tableOffset = UINT64_MAX;
};

Bytes Build(const std::vector<Bytes>& objects, Layout layout = {}) {
    Bytes file = "bplist00";
    std::vector<uint64_t> offsets;
    for (const Bytes& object : objects) {
        offsets.push_back(file.size());
        file += object;
    }
    uint64_t table = file.size();
    for (uint64_t offset : offsets) file += BigEndian(offset, layout.offsetSize);
    file += Bytes(6, '\0');
    file += static_cast<char>(layout.offsetSize);
    file += static_cast<char>(layout.refSize);
    file += BigEndian(layout.objectCount != UINT64_MAX ? layout.objectCount : objects.size(), 8);
    file += BigEndian(layout.top, 8);
    file += BigEndian(layout.tableOffset != UINT64_MAX ? layout.tableOffset : table, 8);
    return file;
}

CFRef<CFTypeRef> Read(const Bytes& file, CFOptionFlags mutability = kCFPropertyListImmutable,
                      std::string* error = nullptr) {
    // An exact-size copy, so that any over-read is caught by the address sanitizer.
    std::vector<uint8_t> bytes(file.begin(), file.end());
    CFStringRef message = nullptr;
    CFRef<CFTypeRef> result(
        cf::plist::ReadBinary(bytes.data(), bytes.size(), mutability, &message));
    CFRef<CFStringRef> owned(message);
    EXPECT_EQ(!result, message != nullptr) << "an error string exactly when refused";
    if (error && message) {
        error->clear();
        cf::AppendUTF8(message, *error);
    }
    return result;
}

// The XML body between the <plist> lines, as the writer prints the value.
// `file` with one byte changed. (Not replace(at, 1, "…"): gcc 12 misreads it as an overlapping
// copy, -Wrestrict.)
Bytes WithByte(Bytes file, size_t at, char byte) {
    file.at(at) = byte;
    return file;
}

std::string Body(CFTypeRef value) {
    CFRef<CFDataRef> xml(cf::plist::WriteXML(value));
    if (!xml) return "(not writable)";
    std::string text(reinterpret_cast<const char*>(cf::DataBytes(xml.Get())),
                     cf::DataLength(xml.Get()));
    size_t start = text.find("<plist version=\"1.0\">\n") + 22;
    return text.substr(start, text.size() - start - 9);
}

using BinaryPListReader = PlatformTest;

TEST_F(BinaryPListReader, ReadsEveryObjectKind) {
    struct Case {
        const char* name;
        std::vector<Bytes> objects;
        Layout layout;
        const char* body;
    } cases[] = {
        {"one-byte int is unsigned", {Int(0xFF, 0)}, {}, "<integer>255</integer>\n"},
        {"four-byte int is unsigned", {Int(0xFFFFFFFF, 2)}, {}, "<integer>4294967295</integer>\n"},
        {"eight-byte int is signed", {Int(~uint64_t{0})}, {}, "<integer>-1</integer>\n"},
        {"sixteen-byte int, high half zero",
         {Bytes("\x14", 1) + BigEndian(0, 8) + BigEndian(~uint64_t{0}, 8)},
         {},
         "<integer>18446744073709551615</integer>\n"},
        {"sixteen-byte negative int",
         {Bytes("\x14", 1) + BigEndian(~uint64_t{0}, 8) + BigEndian(~uint64_t{0} - 4, 8)},
         {},
         "<integer>-5</integer>\n"},
        {"double", {Bytes("\x23") + BigEndian(0x3FF8000000000000, 8)}, {}, "<real>1.5</real>\n"},
        {"float",
         {Bytes("\x22") + BigEndian(0x3DCCCCCD, 4)},
         {},
         "<real>0.10000000149011612</real>\n"},
        {"date",
         {Bytes("\x33") + BigEndian(0x41CDCD6500000000, 8)},
         {},
         "<date>2032-09-09T01:46:40Z</date>\n"},
        {"data", {Bytes("\x43Hel")}, {}, "<data>\nSGVs\n</data>\n"},
        {"booleans",
         {Array({1, 2}), Bytes("\x09"), Bytes("\x08")},
         {},
         "<array>\n\t<true/>\n\t<false/>\n</array>\n"},
        {"long ASCII string",
         {Ascii("fifteen or more chars")},
         {},
         "<string>fifteen or more chars</string>\n"},
        {"UTF-16 string with a pair",
         {Bytes("\x63\x00\xE9\xD8\x3D\xDE\x00", 7)},
         {},
         "<string>\xC3\xA9\xF0\x9F\x98\x80</string>\n"},
        {"UID becomes a CF$UID dictionary",
         {Bytes("\x81\x01\x02", 3)},
         {},
         "<dict>\n\t<key>CF$UID</key>\n\t<integer>258</integer>\n</dict>\n"},
        {"set reads as a set, which no XML holds",
         {Marker(0xC, 1) + Refs({1}), Ascii("x")},
         {},
         "(not writable)"},
        {"shared object",
         {Array({1, 1}), Ascii("s")},
         {},
         "<array>\n\t<string>s</string>\n\t<string>s</string>\n</array>\n"},
        {"dictionary, first duplicate wins",
         {Dict({1, 1}, {2, 3}), Ascii("k"), Int(1), Int(2)},
         {},
         "<dict>\n\t<key>k</key>\n\t<integer>1</integer>\n</dict>\n"},
        {"ASCII string read as Latin 1", {Ascii("caf\xE9")}, {}, "<string>caf\xC3\xA9</string>\n"},
        {"UID of sixteen bytes within 32 bits",
         {Bytes("\x8F") + BigEndian(0, 12) + BigEndian(7, 4)},
         {},
         "<dict>\n\t<key>CF$UID</key>\n\t<integer>7</integer>\n</dict>\n"},
        {"count of sixteen bytes",
         {Bytes("\xAF\x14") + BigEndian(0, 8) + BigEndian(1, 8) + Refs({1}), Ascii("c")},
         {},
         "<array>\n\t<string>c</string>\n</array>\n"},
        {"reference size beyond 8, never used", {Dict({}, {})}, {1, 9, 0}, "<dict/>\n"},
        {"wide offsets and references",
         {Bytes("\xA1\x00\x00\x00\x01", 5), Ascii("w")},
         {8, 4, 0},
         "<array>\n\t<string>w</string>\n</array>\n"},
        {"top object not first", {Ascii("a"), Ascii("b")}, {1, 1, 1}, "<string>b</string>\n"},
    };
    for (const Case& c : cases) {
        std::string error;
        CFRef<CFTypeRef> value = Read(Build(c.objects, c.layout), kCFPropertyListImmutable, &error);
        ASSERT_TRUE(value) << c.name << ": " << error;
        EXPECT_EQ(Body(value.Get()), c.body) << c.name;
    }
    // Any "bplist0" version is read.
    EXPECT_TRUE(Read("bplist0x" + Build({Ascii("v")}).substr(8)));
}

// Repeated keys are found by value, not by object: equal keys in distinct objects (a writer
// that does not share them), keys equal across kinds, and a dictionary whose values hold
// dictionaries with the same keys; the first pair of each key wins under every option.
TEST_F(BinaryPListReader, RepeatedKeysAreFoundByValueWhereverTheyLie) {
    struct Case {
        const char* name;
        std::vector<std::string> objects;
        const char* body;
    } cases[] = {
        {"equal keys in distinct objects",
         {Dict({1, 2}, {3, 4}), Ascii("k"), Ascii("k"), Int(1), Int(2)},
         "<dict>\n\t<key>k</key>\n\t<integer>1</integer>\n</dict>\n"},
        {"the same key in ASCII and in UTF-16",
         {Dict({1, 2}, {3, 4}), Ascii("k"), Bytes("\x61\x00k", 3), Int(1), Int(2)},
         "<dict>\n\t<key>k</key>\n\t<integer>1</integer>\n</dict>\n"},
        {"a nested dictionary between the repeats",
         {Dict({1, 2, 1}, {3, 4, 5}), Ascii("a"), Ascii("b"), Dict({1, 2}, {4, 5}), Int(1), Int(2)},
         "<dict>\n\t<key>a</key>\n\t<dict>\n\t\t<key>a</key>\n\t\t<integer>1</integer>\n"
         "\t\t<key>b</key>\n\t\t<integer>2</integer>\n\t</dict>\n\t<key>b</key>\n"
         "\t<integer>1</integer>\n</dict>\n"},
        {"distinct keys that hash alike stay apart",
         {Dict({1, 2, 3}, {4, 4, 4}), Ascii("ab"), Ascii("ba"), Ascii("ab "), Int(7)},
         "<dict>\n\t<key>ab</key>\n\t<integer>7</integer>\n\t<key>ab </key>\n"
         "\t<integer>7</integer>\n\t<key>ba</key>\n\t<integer>7</integer>\n</dict>\n"},
    };
    for (const Case& c : cases) {
        for (CFOptionFlags option : {kCFPropertyListImmutable, kCFPropertyListMutableContainers,
                                     kCFPropertyListMutableContainersAndLeaves}) {
            std::string error;
            CFRef<CFTypeRef> value = Read(Build(c.objects), option, &error);
            ASSERT_TRUE(value) << c.name << ": " << error;
            EXPECT_EQ(Body(value.Get()), c.body) << c.name << ", option " << option;
        }
    }
}

TEST_F(BinaryPListReader, SetsKeepTheirDistinctValuesInOrder) {
    CFRef<CFTypeRef> value =
        Read(Build({Marker(0xC, 4) + Refs({1, 2, 3, 1}), Ascii("b"), Ascii("a"), Ascii("b")}));
    ASSERT_TRUE(value);
    ASSERT_EQ(CFGetTypeID(value.Get()), CFSetGetTypeID());
    auto set = static_cast<CFSetRef>(value.Get());
    EXPECT_EQ(CFSetGetCount(set), 2);
    std::string order;
    CFSetApplyFunction(
        set,
        [](const void* item, void* context) {
            char c = 0;
            CFStringGetBytes(static_cast<CFStringRef>(item), CFRangeMake(0, 1),
                             kCFStringEncodingUTF8, 0, false, reinterpret_cast<UInt8*>(&c), 1,
                             nullptr);
            *static_cast<std::string*>(context) += c;
        },
        &order);
    EXPECT_EQ(order, "ba");
}

TEST_F(BinaryPListReader, KeepsFloat32AndMakesEveryIntegerSInt64) {
    CFRef<CFTypeRef> value =
        Read(Build({Array({1, 2}), Bytes("\x22") + BigEndian(0x3F800000, 4), Int(7, 0)}));
    ASSERT_TRUE(value);
    auto array = static_cast<CFArrayRef>(value.Get());
    EXPECT_EQ(cf::NumberType(static_cast<CFNumberRef>(cf::ArrayValue(array, 0))),
              kCFNumberFloat32Type);
    EXPECT_EQ(cf::NumberType(static_cast<CFNumberRef>(cf::ArrayValue(array, 1))),
              kCFNumberSInt64Type);
}

TEST_F(BinaryPListReader, RefusesCorruptFiles) {
    const Bytes string = Ascii("x");
    struct Case {
        const char* name;
        Bytes file;
    } cases[] = {
        {"empty", ""},
        {"wrong magic", "bplist10" + Build({string}).substr(8)},
        {"second trailer",
         [&] {
             Bytes file = Build({string});
             return file + file.substr(file.size() - 32);
         }()},
        {"object running into the offset table", Build({Marker(5, 2) + "a"})},
        {"offset size 0", Build({string}, {0, 1, 0})},
        {"offset size 9", Build({string}, {9, 1, 0})},
        {"reference size 0", Build({Array({})}, {1, 0, 0})},
        {"no objects", Build({string}, {1, 1, 0, 0})},
        {"top object out of range", Build({string}, {1, 1, 1})},
        {"object count beyond the table", Build({string}, {1, 1, 0, 3})},
        {"huge object count", Build({string}, {8, 1, 0, UINT64_MAX / 2})},
        {"table offset past the end", Build({string}, {1, 1, 0, UINT64_MAX, 1000})},
        {"table offset inside the header", Build({string}, {1, 1, 0, UINT64_MAX, 3})},
        {"object offset out of range", WithByte(Build({Array({1}), string}), 12, '\x7F')},
        {"reference out of range", Build({Array({5})})},
        {"array contains itself", Build({Array({0})})},
        {"indirect cycle", Build({Array({1}), Dict({2}, {0}), Ascii("k")})},
        {"container as key", Build({Dict({1}, {2}), Array({}), Int(1)})},
        {"empty UTF-16 string", Build({Bytes("\x60")})},
        {"unpaired surrogate", Build({Bytes("\x62\x00\x61\xD8\x3D", 5)})},
        {"string longer than the file", Build({Marker(5, 1000) + "abc"})},
        {"array count beyond the file", Build({Marker(0xA, UINT64_MAX / 2)})},
        {"count with a non-integer marker", Build({Bytes("\x5F\x23") + BigEndian(1, 8)})},
        {"fill byte as object", Build({Bytes("\x0F")})},
        {"unknown marker", Build({Bytes("\x70")})},
        {"real of unsupported size", Build({Bytes("\x21\x00\x00", 3)})},
        {"sixteen-byte int beyond 64 bits",
         {Build({Bytes("\x14", 1) + BigEndian(1, 8) + BigEndian(0, 8)})}},
        {"UID beyond 32 bits", Build({Bytes("\x84") + BigEndian(UINT64_C(1) << 32, 5)})},
        {"UID of nine bytes beyond 32 bits", Build({Bytes("\x88") + BigEndian(UINT64_MAX, 9)})},
    };
    for (const Case& c : cases) {
        std::string error;
        EXPECT_FALSE(Read(c.file, kCFPropertyListImmutable, &error)) << c.name;
        EXPECT_NE(error.find("byte"), std::string::npos) << c.name << ": " << error;
    }
}

TEST_F(BinaryPListReader, EveryTruncationIsRefused) {
    Bytes file = Build({Dict({1, 2}, {3, 4}), Ascii("key"), Ascii("other"), Array({5, 6}),
                        Bytes("\x43\x01\x02\x03"), Int(42, 1), Bytes("\x23") + BigEndian(0, 8)});
    ASSERT_TRUE(Read(file));
    for (size_t length = 0; length < file.size(); ++length)
        EXPECT_FALSE(Read(file.substr(0, length))) << "prefix of " << length << " bytes";
    // Cut where no trailer can be, or where the last bytes are none: said as such.
    for (size_t length : {size_t{8}, size_t{9}, size_t{41}, file.size() - 1, file.size() - 20}) {
        std::string error;
        EXPECT_FALSE(Read(file.substr(0, length), kCFPropertyListImmutable, &error));
        EXPECT_NE(error.find("the file ends early"), std::string::npos) << length << ": " << error;
    }
}

// Nested arrays: object i holds object i + 1; the last is empty.
Bytes Nested(size_t containers) {
    std::vector<Bytes> objects;
    for (size_t i = 0; i + 1 < containers; ++i)
        objects.push_back(Bytes("\xA1") + BigEndian(i + 1, 2));
    objects.push_back(Bytes("\xA0"));
    return Build(objects, {4, 2, 0});
}

TEST_F(BinaryPListReader, NestingLimitIs512Containers) {
    // The innermost container is empty and does not count.
    EXPECT_TRUE(Read(Nested(513)));
    std::string error;
    EXPECT_FALSE(Read(Nested(514), kCFPropertyListImmutable, &error));
    EXPECT_NE(error.find("deep"), std::string::npos) << error;
}

TEST_F(BinaryPListReader, MutableContainersAreNotShared) {
    Bytes file = Build({Array({1, 1}), Array({2}), Ascii("s")});
    CFRef<CFTypeRef> immutable = Read(file);
    ASSERT_TRUE(immutable);
    auto outer = static_cast<CFArrayRef>(immutable.Get());
    EXPECT_EQ(cf::ArrayValue(outer, 0), cf::ArrayValue(outer, 1));

    CFRef<CFTypeRef> mutableCopy = Read(file, kCFPropertyListMutableContainers);
    ASSERT_TRUE(mutableCopy);
    outer = static_cast<CFArrayRef>(mutableCopy.Get());
    EXPECT_TRUE(cf::IsMutable(outer));
    EXPECT_NE(cf::ArrayValue(outer, 0), cf::ArrayValue(outer, 1));
    EXPECT_TRUE(cf::IsMutable(cf::ArrayValue(outer, 0)));
    EXPECT_FALSE(
        cf::IsMutable(cf::ArrayValue(static_cast<CFArrayRef>(cf::ArrayValue(outer, 0)), 0)));

    CFRef<CFTypeRef> leaves = Read(file, kCFPropertyListMutableContainersAndLeaves);
    ASSERT_TRUE(leaves);
    auto inner = static_cast<CFArrayRef>(cf::ArrayValue(static_cast<CFArrayRef>(leaves.Get()), 0));
    EXPECT_TRUE(cf::IsMutable(cf::ArrayValue(inner, 0)));
}

// Each array holds the next one twice: 60 objects, 2^60 nodes once expanded.
TEST_F(BinaryPListReader, ExponentialSharingIsBoundedWhenCopying) {
    std::vector<Bytes> objects;
    for (int i = 0; i < 59; ++i) objects.push_back(Array({i + 1, i + 1}));
    objects.push_back(Ascii("leaf"));
    Bytes file = Build(objects);
    EXPECT_TRUE(Read(file));  // shared: linear
    std::string error;
    EXPECT_FALSE(Read(file, kCFPropertyListMutableContainers, &error));
    EXPECT_NE(error.find("expanded"), std::string::npos) << error;
}

TEST_F(BinaryPListReader, AllocationFailureAtAnyPointLeaksNothing) {
    Bytes file = Build({Dict({1, 2}, {3, 4}), Ascii("key"), Ascii("other"), Array({5, 1}),
                        Bytes("\x81\x07", 2), Bytes("\x43\x01\x02\x03")});
    bool succeeded = false;
    for (long skip = 0; skip < 100 && !succeeded; ++skip) {
        PTFailCFAllocations(skip, 1);
        succeeded = static_cast<bool>(Read(file));
        PTClearFaults();
    }
    EXPECT_TRUE(succeeded);
}

}  // namespace

namespace {

// What the reader counts of each reference it follows (CFPropertyListPrivate.h), read through
// the public entry point.
struct MeasureCase {
    const char* name;
    std::vector<Bytes> objects;
    CFOptionFlags mutability;
    PBBinaryReadMeasure expected;  // root: unused
};

TEST(BinaryReadMeasure, CountsEveryReferenceAndFlagsSharedContainers) {
    const Bytes uid = "\x80\x05";
    const std::vector<MeasureCase> cases = {
        {"a string twice",
         {Array({1, 1}), Ascii("abc")},
         kCFPropertyListImmutable,
         {nullptr, 3, 2, 6, 0}},
        {"a string twice, made afresh",
         {Array({1, 1}), Ascii("abc")},
         kCFPropertyListMutableContainersAndLeaves,
         {nullptr, 3, 2, 6, 0}},
        {"a key and a value",
         {Dict({1}, {2}), Ascii("k"), Ascii("vv")},
         kCFPropertyListImmutable,
         {nullptr, 3, 2, 3, 0}},
        {"nested values count their depth",
         {Array({1}), Array({2}), Int(7)},
         kCFPropertyListImmutable,
         {nullptr, 3, 3, 0, 0}},
        {"an empty array twice",
         {Array({1, 1}), Array({})},
         kCFPropertyListImmutable,
         {nullptr, 3, 2, 0, 0}},
        {"an array twice",
         {Array({1, 1}), Array({2}), Int(7)},
         kCFPropertyListImmutable,
         {nullptr, 4, 4, 0, 1}},
        {"an array twice, made afresh",
         {Array({1, 1}), Array({2}), Int(7)},
         kCFPropertyListMutableContainers,
         {nullptr, 5, 6, 0, 0}},
        {"a UID twice (a dictionary)",
         {Array({1, 1}), uid},
         kCFPropertyListImmutable,
         {nullptr, 5, 6, 6, 1}},
    };
    for (const MeasureCase& c : cases) {
        const Bytes file = Build(c.objects);
        CFRef<CFDataRef> data(CFDataCreate(nullptr, reinterpret_cast<const UInt8*>(file.data()),
                                           static_cast<CFIndex>(file.size())));
        CFRef<CFPropertyListRef> value(
            CFPropertyListCreateFromXMLData(nullptr, data.Get(), c.mutability, nullptr));
        ASSERT_TRUE(value) << c.name;
        PBBinaryReadMeasure measure{};
        PBPropertyListLastBinaryRead(&measure);
        EXPECT_EQ(measure.root, value.Get()) << c.name;
        EXPECT_EQ(measure.references, c.expected.references) << c.name;
        EXPECT_EQ(measure.depths, c.expected.depths) << c.name;
        EXPECT_EQ(measure.contentUnits, c.expected.contentUnits) << c.name;
        EXPECT_EQ(measure.sharedContainer, c.expected.sharedContainer) << c.name;
    }
}

TEST(BinaryReadMeasure, NamesNoRootAfterAFailedOrTextRead) {
    const auto measuredRoot = [](const Bytes& file) {
        CFRef<CFDataRef> data(CFDataCreate(nullptr, reinterpret_cast<const UInt8*>(file.data()),
                                           static_cast<CFIndex>(file.size())));
        CFRef<CFPropertyListRef> value(CFPropertyListCreateFromXMLData(
            nullptr, data.Get(), kCFPropertyListImmutable, nullptr));
        PBBinaryReadMeasure measure{};
        PBPropertyListLastBinaryRead(&measure);
        return measure.root;
    };
    EXPECT_NE(measuredRoot(Build({Array({1}), Ascii("a")})), nullptr);
    EXPECT_EQ(measuredRoot(Build({Array({0})})), nullptr) << "a cycle";
    EXPECT_NE(measuredRoot(Build({Array({1}), Ascii("a")})), nullptr);
    EXPECT_EQ(measuredRoot("<plist><string>a</string></plist>"), nullptr) << "XML";
}

}  // namespace
