// The library search path of every binary the build makes and installs: only absolute paths or
// paths relative to the binary itself ($ORIGIN), never an empty element (the current directory)
// or a relative one, which would let a folder the tool is started in supply its libraries. The
// dynamic section is read from the ELF file directly, so the test needs no binutils.
#include <elf.h>
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

namespace {

// DT_RUNPATH and DT_RPATH of a 64-bit ELF file, joined; nullopt when the file is not one.
std::optional<std::string> SearchPath(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    const std::vector<char> bytes{std::istreambuf_iterator<char>(in), {}};
    Elf64_Ehdr header;
    if (bytes.size() < sizeof header) return std::nullopt;
    std::memcpy(&header, bytes.data(), sizeof header);
    if (std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0 || header.e_ident[EI_CLASS] != ELFCLASS64)
        return std::nullopt;
    auto read = [&](auto& into, uint64_t offset) {
        if (offset > bytes.size() || bytes.size() - offset < sizeof into) return false;
        std::memcpy(&into, bytes.data() + offset, sizeof into);
        return true;
    };
    std::vector<Elf64_Phdr> segments(header.e_phnum);
    for (size_t i = 0; i < segments.size(); ++i)
        if (!read(segments[i], header.e_phoff + i * header.e_phentsize)) return std::nullopt;
    // Addresses in the dynamic section are virtual: map them to the file through PT_LOAD.
    auto fileOffset = [&](uint64_t address) -> uint64_t {
        for (const Elf64_Phdr& s : segments)
            if (s.p_type == PT_LOAD && address >= s.p_vaddr && address < s.p_vaddr + s.p_filesz)
                return address - s.p_vaddr + s.p_offset;
        return UINT64_MAX;
    };
    std::string paths;
    for (const Elf64_Phdr& s : segments) {
        if (s.p_type != PT_DYNAMIC) continue;
        uint64_t strtab = 0;
        std::vector<uint64_t> names;
        Elf64_Dyn entry;
        for (uint64_t at = s.p_offset; read(entry, at) && entry.d_tag != DT_NULL;
             at += sizeof entry) {
            if (entry.d_tag == DT_STRTAB) strtab = fileOffset(entry.d_un.d_ptr);
            if (entry.d_tag == DT_RUNPATH || entry.d_tag == DT_RPATH)
                names.push_back(entry.d_un.d_val);
        }
        for (uint64_t name : names) {
            if (strtab >= bytes.size() || name >= bytes.size() - strtab) return std::nullopt;
            paths += (paths.empty() ? "" : ";") + std::string(bytes.data() + strtab + name);
        }
    }
    return paths;
}

// The elements of a search path that could name a folder other than an absolute one.
std::vector<std::string> UnsafeElements(const std::string& paths) {
    std::vector<std::string> unsafe;
    size_t start = 0;
    if (paths.empty()) return unsafe;
    for (;;) {
        const size_t end = paths.find_first_of(":;", start);
        const std::string element = paths.substr(start, end - start);
        if (element.empty() || (element[0] != '/' && element.rfind("$ORIGIN", 0) != 0 &&
                                element.rfind("${ORIGIN}", 0) != 0))
            unsafe.push_back("'" + element + "'");
        if (end == std::string::npos) return unsafe;
        start = end + 1;
    }
}

TEST(RunPathTest, TheCheckCatchesEmptyAndRelativeElements) {
    struct Case {
        const char* paths;
        size_t unsafe;
    } cases[] = {
        {"", 0},
        {"$ORIGIN/../lib", 0},
        {"/usr/lib:$ORIGIN/../../lib", 0},
        {"${ORIGIN}/lib", 0},
        {"$ORIGIN/../lib:", 1},
        {":$ORIGIN/../lib", 1},
        {"::::", 5},
        {"lib:.", 2},
        {"$ORIGIN/../lib;..", 1},
    };
    for (const Case& c : cases) EXPECT_EQ(UnsafeElements(c.paths).size(), c.unsafe) << c.paths;
}

TEST(RunPathTest, BuiltBinariesSearchNoRelativeFolder) {
    const std::string build = PLISTBRIDGE_BINARY_DIR;
    for (const std::string& file :
         {build + "/bin/plistbridge", build + "/bin/PlistBridge.osax/Contents/MacOS/PlistBridge",
          build + "/lib/libPlistBridgePlatform.so", build + "/bin/RunPathTest"}) {
        const std::optional<std::string> paths = SearchPath(file);
        ASSERT_TRUE(paths) << file << " is no 64-bit ELF file";
        EXPECT_EQ(::testing::PrintToString(UnsafeElements(*paths)), "{}")
            << file << " searches '" << *paths << "'";
    }
}

}  // namespace
