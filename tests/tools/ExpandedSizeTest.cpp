// The expansion measure the binary reader counts as it reads bounds the walk's measure from
// above for every form, so a list it lets through would pass the walk too: checked on every
// binary file of the test data (corpus, golden cases, mutants).
#include <CoreFoundation/CoreFoundation.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "desc/CFRef.h"
#include "platform/CoreFoundation/CFPropertyListPrivate.h"
#include "support/PlatformTest.h"
#include "tools/formats/ExpandedSize.h"

namespace {

namespace fs = std::filesystem;

constexpr const char* kForms[] = {"xml", "binary", "json", "openstep", "print", "compare"};

// Reads `bytes`; false when they are no binary list that reads without a shared container.
bool ReadMeasured(const std::string& bytes, CFRef<CFPropertyListRef>& value,
                  PBBinaryReadMeasure& measure) {
    CFRef<CFDataRef> data(CFDataCreate(nullptr, reinterpret_cast<const UInt8*>(bytes.data()),
                                       static_cast<CFIndex>(bytes.size())));
    value.Reset(
        CFPropertyListCreateFromXMLData(nullptr, data.Get(), kCFPropertyListImmutable, nullptr));
    PBPropertyListLastBinaryRead(&measure);
    return value && measure.root == value.Get() && !measure.sharedContainer;
}

void ExpectBounds(const std::string& bytes, const std::string& name, int& measured) {
    CFRef<CFPropertyListRef> value;
    PBBinaryReadMeasure measure{};
    if (!ReadMeasured(bytes, value, measure)) return;
    ++measured;
    for (const char* form : kForms) {
        const plisttext::ExpansionCosts& costs = plisttext::CostsOf(form);
        EXPECT_GE(plisttext::MeasuredSize(measure.references, measure.depths, measure.contentUnits,
                                          costs),
                  plisttext::ExpandedSize(value.Get(), costs, UINT64_MAX))
            << name << " as " << form;
    }
}

TEST(ExpansionMeasure, BoundsTheWalkOnEveryBinaryFileOfTheTestData) {
    int measured = 0;
    for (const auto& entry : fs::recursive_directory_iterator(PLISTBRIDGE_TEST_DATA_DIR)) {
        if (!entry.is_regular_file() || entry.file_size() > (size_t{4} << 20)) continue;
        std::ifstream in(entry.path(), std::ios::binary);
        std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (bytes.starts_with("bplist")) ExpectBounds(bytes, entry.path().string(), measured);
    }
    EXPECT_GT(measured, 100) << "too few binary files read to check the bound";
}

TEST(ExpansionMeasure, SaturatesInsteadOfWrapping) {
    const plisttext::ExpansionCosts& xml = plisttext::CostsOf("xml");
    EXPECT_EQ(plisttext::MeasuredSize(UINT64_MAX / 2, 0, 0, xml), UINT64_MAX);
    EXPECT_EQ(plisttext::MeasuredSize(1, UINT64_MAX, 0, xml), UINT64_MAX);
    EXPECT_EQ(plisttext::MeasuredSize(1, 0, UINT64_MAX, xml), UINT64_MAX);
    EXPECT_EQ(plisttext::MeasuredSize(2, 3, 100, plisttext::CostsOf("binary")), 8u)
        << "binary lists write shared contents once";
}

}  // namespace
