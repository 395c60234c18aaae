// Hostile and unlucky input to load plist: each case must end with a clear status in under two
// seconds of CPU time and 300 MB, never a crash, a hang or a shorter tree passed off as the whole.
// Each case runs in a child process, so that its time and peak memory are its own.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "commands/CommandTestSupport.h"
#include "common/Sanitizers.h"
#include "convert/PropertyListToDesc.h"
#include "shell/AdditionEntryPoints.h"
#include "support/PlatformTest.h"

namespace {

// The bounds hold for an optimised build; a debug or sanitizer build may take proportionally
// more (the sanitizer also keeps freed memory in quarantine): what is tested is that cost
// does not grow with what the input expands to.
#if defined(PLISTBRIDGE_ASAN) || !defined(NDEBUG)
constexpr double kSlowdown = 25;
constexpr long kMemoryFactor = 3;
#else
constexpr double kSlowdown = 1;
constexpr long kMemoryFactor = 1;
#endif

// A binary property list of `objects` (marker and payload each), object 0 on top, with
// references `width` bytes wide and offsets `offsetWidth` (default: `width`) bytes wide.
std::string Binary(const std::vector<std::string>& objects, int width, int offsetWidth = 0) {
    if (offsetWidth == 0) offsetWidth = width;
    auto bigEndian = [](uint64_t value, int size) {
        std::string bytes;
        for (int shift = 8 * (size - 1); shift >= 0; shift -= 8)
            bytes.push_back(static_cast<char>(value >> shift));
        return bytes;
    };
    std::string bytes = "bplist00", table;
    for (const std::string& object : objects) {
        table += bigEndian(bytes.size(), offsetWidth);
        bytes += object;
    }
    const uint64_t tableOffset = bytes.size();
    bytes +=
        table + std::string(6, '\0') + static_cast<char>(offsetWidth) + static_cast<char>(width);
    return bytes + bigEndian(objects.size(), 8) + bigEndian(0, 8) + bigEndian(tableOffset, 8);
}

// An array marker for `count` references (0xAF and an integer beyond 14).
std::string ArrayMarker(uint64_t count) {
    if (count < 15) return std::string(1, static_cast<char>(0xA0 | count));
    std::string marker = "\xAF\x13";
    for (int shift = 56; shift >= 0; shift -= 8)
        marker.push_back(static_cast<char>(count >> shift));
    return marker;
}

std::string Reference(uint64_t index, int width) {
    std::string bytes;
    for (int shift = 8 * (width - 1); shift >= 0; shift -= 8)
        bytes.push_back(static_cast<char>(index >> shift));
    return bytes;
}

// An ASCII string object of `length` bytes (up to 65,535).
std::string AsciiString(size_t length) {
    const std::string marker = length < 15 ? std::string(1, static_cast<char>(0x50 | length))
                                           : "\x5F\x11" + Reference(length, 2);
    return marker + std::string(length, 'x');
}

// Each level an array holding the next one twice, around one leaf (an integer unless given):
// 2^levels leaves.
std::string SharedPairs(int levels, const std::string& leaf = "\x10\x07") {
    std::vector<std::string> objects;
    for (int i = 0; i < levels; ++i)
        objects.push_back("\xA2" + Reference(i + 1, 1) + Reference(i + 1, 1));
    objects.push_back(leaf);
    return Binary(objects, 1);
}

// One array referencing one string `times` times.
std::string SharedString(size_t times, size_t length) {
    std::string top = ArrayMarker(times);
    for (size_t i = 0; i < times; ++i) top += Reference(1, 3);
    return Binary({top, AsciiString(length)}, 3);
}

// `depth` arrays, each holding the next; the innermost empty.
std::string DeepBinary(int depth) {
    std::vector<std::string> objects;
    for (int i = 0; i + 1 < depth; ++i) objects.push_back("\xA1" + Reference(i + 1, 3));
    objects.push_back("\xA0");
    return Binary(objects, 3);
}

std::string Repeat(const std::string& text, size_t times) {
    std::string out;
    out.reserve(text.size() * times);
    for (size_t i = 0; i < times; ++i) out += text;
    return out;
}

// The 163-byte file of 30 levels of [x, x] from the report that found the expansion.
const char kReportedBomb[] =
    "YnBsaXN0MDCiAQGiAgKiAwOiBASiBQWiBgaiBweiCAiiCQmiCgqiCwuiDAyiDQ2iDg6iDw+iEBCiERGiEhKiExOiFBSi"
    "FRWiFhaiFxeiGBiiGRmiGhqiGxuiHByiHR2iHh4QBwgLDhEUFxodICMmKSwvMjU4Oz5BREdKTVBTVllcX2IAAAAAAAAB"
    "AQAAAAAAAAAfAAAAAAAAAAAAAAAAAAAAZA==";

// A 163-byte file of 21 levels of [x, x] over a 14-character string: 2^22 - 1 values, within
// the value bound, but 2,097,152 copies of the string.
const char kSharedStringBomb[] =
    "62706c6973743030a20101a20202a20303a20404a20505a20606a20707a20808a20909a20a0aa20b0ba20c0ca2"
    "0d0da20e0ea20f0fa21010a21111a21212a21313a21414a215155ee9e9591717a21818a21919a21a1aa21b1ba2"
    "1c1ca21d1da21e1e1007080b0e1114171a1d202326292c2f3235383b3e4144474a4d505356595c5f6200000000"
    "00000101000000000000001f00000000000000000000000000000064";

std::string DecodeHex(const std::string& text) {
    std::string out;
    for (size_t i = 0; i + 1 < text.size(); i += 2)
        out.push_back(static_cast<char>(std::stoi(text.substr(i, 2), nullptr, 16)));
    return out;
}

std::string DecodeBase64(const std::string& text) {
    std::string out;
    uint32_t buffer = 0;
    int bits = 0;
    for (char c : text) {
        const char* digits = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
        const char* at = std::strchr(digits, c);
        if (c == '=' || !at) continue;
        buffer = (buffer << 6) | static_cast<uint32_t>(at - digits);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out.push_back(static_cast<char>(buffer >> bits));
        }
    }
    return out;
}

struct Outcome {
    OSErr status = 0;
    std::string errorText;
    long items = -1;        // top-level items of a successful result
    double cpuSeconds = 0;  // user and system time of the child
    long peakKB = 0;
    bool finished = false;
};

struct Case {
    const char* name;
    std::function<std::string()> bytes;  // the file's contents (empty: `path` is used)
    const char* path;                    // an existing path to load instead
    OSErr status;                        // the status expected, never with an 'errs' text
};

class HostileInputTest : public PlatformTest {
protected:
    // Loads `path` in a child process; what it answered, the CPU time it took and its peak
    // memory. CPU time, not wall time, so that a busy machine does not fail the test; a hang
    // is ended by the CPU limit (SIGXCPU), and the child then counts as crashed.
    Outcome LoadInChild(const std::string& path, rlim_t addressSpace = RLIM_INFINITY) {
        int fds[2];
        EXPECT_EQ(::pipe(fds), 0);
        const pid_t child = ::fork();
        if (child == 0) {
            ::close(fds[0]);
            rlimit limit{addressSpace, addressSpace};
            if (addressSpace != RLIM_INFINITY) ::setrlimit(RLIMIT_AS, &limit);
            const rlim_t cpuLimit = static_cast<rlim_t>(60 * kSlowdown);
            rlimit cpu{cpuLimit, cpuLimit};
            ::setrlimit(RLIMIT_CPU, &cpu);
            OwnedDesc event = MakeEvent(kAELoadPList), reply = MakeReply();
            PutParam(event, keyDirectObject, FileReference(typeFileURL, path));
            const OSErr status = LoadPList(&event.Get(), reply.Mutable(), 0);
            long items = -1;
            OwnedDesc result = ResultOf(reply);
            if (status == noErr && AECountItems(&result.Get(), &items) != noErr) items = 0;
            rusage usage{};
            ::getrusage(RUSAGE_SELF, &usage);
            const double cpuSeconds =
                static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
            char line[512];
            const int n = std::snprintf(line, sizeof line, "%d %ld %ld %f %s", status, items,
                                        usage.ru_maxrss, cpuSeconds, ErrorTextOf(reply).c_str());
            (void)!::write(fds[1], line, static_cast<size_t>(n));
            ::_exit(0);
        }
        ::close(fds[1]);
        std::string text;
        char buffer[512];
        for (ssize_t n; (n = ::read(fds[0], buffer, sizeof buffer)) > 0;) text.append(buffer, n);
        ::close(fds[0]);
        int wait = 0;
        ::waitpid(child, &wait, 0);
        Outcome outcome;
        int status = 0, consumed = 0;
        if (std::sscanf(text.c_str(), "%d %ld %ld %lf %n", &status, &outcome.items, &outcome.peakKB,
                        &outcome.cpuSeconds, &consumed) >= 4) {
            outcome.finished = WIFEXITED(wait);
            outcome.status = static_cast<OSErr>(status);
            outcome.errorText = text.substr(static_cast<size_t>(consumed));
        }
        return outcome;
    }

    ScratchFolder mFolder;
};

TEST_F(HostileInputTest, EachEndsWithAClearStatusInBoundedTimeAndMemory) {
    const Case cases[] = {
        {"30 levels of [x, x] (163 bytes)", [] { return DecodeBase64(kReportedBomb); }, nullptr,
         memFullErr},
        {"22 levels of [x, x]: 4,194,304 leaves", [] { return SharedPairs(22); }, nullptr,
         memFullErr},
        // Few values, many bytes: refused by the byte bound alone.
        {"21 levels of [x, x] over a string (163 bytes)",
         [] { return DecodeHex(kSharedStringBomb); }, nullptr, memFullErr},
        {"20 levels of [x, x] over 1,000 bytes (1.1 KB)",
         [] { return SharedPairs(20, AsciiString(1000)); }, nullptr, memFullErr},
        {"a 10 KB string 100,000 times (310 KB)", [] { return SharedString(100000, 10000); },
         nullptr, memFullErr},
        {"1e6-deep XML", [] { return Repeat("<array>", 1000000); }, nullptr,
         coreFoundationUnknownErr},
        {"1e6-deep old-style", [] { return Repeat("(", 1000000); }, nullptr,
         coreFoundationUnknownErr},
        {"1e6-deep binary", [] { return DeepBinary(1000000); }, nullptr, coreFoundationUnknownErr},
        {"binary object count 2^62",
         [] {
             std::string bytes = Binary({"\x09"}, 1);
             bytes[bytes.size() - 24] = 0x40;  // the count's high byte
             return bytes;
         },
         nullptr, coreFoundationUnknownErr},
        {"binary data of length 2^63",
         [] { return Binary({"\x4F\x13\x80\0\0\0\0\0\0\0" + std::string("x")}, 1); }, nullptr,
         coreFoundationUnknownErr},
        {"binary array of 2^63 references",
         [] { return Binary({ArrayMarker(uint64_t{1} << 63) + Reference(0, 1)}, 1); }, nullptr,
         coreFoundationUnknownErr},
        {"cyclic binary list",
         [] {
             return Binary({"\xA2" + Reference(1, 1) + Reference(0, 1), "\x08"}, 1);
         },
         nullptr, coreFoundationUnknownErr},
        {"entity bomb",
         [] {
             std::string doctype = "<!DOCTYPE plist [<!ENTITY a0 \"lol\">";
             for (int i = 1; i < 10; ++i)
                 doctype += "<!ENTITY a" + std::to_string(i) + " \"" +
                            Repeat("&a" + std::to_string(i - 1) + ";", 10) + "\">";
             return "<?xml version=\"1.0\"?>" + doctype + "]><plist><string>&a9;</string></plist>";
         },
         nullptr, coreFoundationUnknownErr},
        {"/dev/zero", nullptr, "/dev/zero", fnfErr},
    };
    for (const Case& c : cases) {
        std::string path = c.path ? c.path : mFolder.Path("input");
        if (c.bytes) WriteFile(path, c.bytes());
        Outcome outcome = LoadInChild(path);
        ASSERT_TRUE(outcome.finished) << c.name << " crashed";
        EXPECT_EQ(outcome.status, c.status) << c.name;
        EXPECT_EQ(outcome.errorText, "") << c.name;
        EXPECT_LT(outcome.cpuSeconds, 2.0 * kSlowdown) << c.name;
        EXPECT_LT(outcome.peakKB, 300 * 1024 * kMemoryFactor) << c.name;
    }
}

TEST_F(HostileInputTest, AnOrdinaryLibrarySharingEveryStringAndNumberLoadsWhole) {
    // 200,000 records {"name": "same", "count": 1}, every key and value one shared object, as
    // binary writers share them: about 1,000,000 values from 3.2 MB, far inside the budget.
    const uint64_t records = 200000;
    const uint64_t name = records + 1, same = records + 2, count = records + 3, one = records + 4;
    std::vector<std::string> objects;
    std::string top = ArrayMarker(records);
    for (uint64_t i = 1; i <= records; ++i) top += Reference(i, 3);
    objects.push_back(top);
    const std::string record =
        "\xD2" + Reference(name, 3) + Reference(count, 3) + Reference(same, 3) + Reference(one, 3);
    for (uint64_t i = 0; i < records; ++i) objects.push_back(record);
    objects.insert(objects.end(), {"\x54name", "\x54same",
                                   "\x55"
                                   "count",
                                   "\x10\x01"});
    const std::string path = mFolder.Path("library.plist");
    WriteFile(path, Binary(objects, 3));
    Outcome outcome = LoadInChild(path);
    ASSERT_TRUE(outcome.finished);
    EXPECT_EQ(outcome.status, noErr) << outcome.errorText;
    EXPECT_EQ(outcome.items, static_cast<long>(records));
}

TEST_F(HostileInputTest, OneDictionaryReferencedAThousandTimesLoadsWhole) {
    // As a binary writer shares objects: 1,000 references to one dictionary of 100 keys and
    // integers, about 201,000 values from under 2.5 KB.
    std::string top = ArrayMarker(1000);
    for (int i = 0; i < 1000; ++i) top += Reference(1, 1);
    std::string dict = "\xDF\x10\x64";
    for (int i = 0; i < 200; ++i) dict += Reference(2 + i, 1);
    std::vector<std::string> objects = {top, dict};
    for (int i = 0; i < 100; ++i) {
        const std::string key = "key" + std::to_string(i);
        objects.push_back(static_cast<char>(0x50 | key.size()) + key);
    }
    for (int i = 0; i < 100; ++i) objects.push_back({'\x10', static_cast<char>(i)});
    const std::string bytes = Binary(objects, 1, 2);
    EXPECT_LT(bytes.size(), 2500u);
    const std::string path = mFolder.Path("shared.plist");
    WriteFile(path, bytes);
    Outcome outcome = LoadInChild(path);
    ASSERT_TRUE(outcome.finished);
    EXPECT_EQ(outcome.status, noErr);
    EXPECT_EQ(outcome.items, 1000);
}

TEST_F(HostileInputTest, AStringSharedUpToTheByteBoundLoadsWhole) {
    // 3,000 copies of a 10,000-character string: 60 MB of 'utxt', just inside 64 MB.
    const std::string path = mFolder.Path("strings.plist");
    WriteFile(path, SharedString(3000, 10000));
    Outcome outcome = LoadInChild(path);
    ASSERT_TRUE(outcome.finished);
    EXPECT_EQ(outcome.status, noErr);
    EXPECT_EQ(outcome.items, 3000);
}

TEST_F(HostileInputTest, RunningOutOfMemoryGivesAStatusNeverAShorterList) {
#ifdef PLISTBRIDGE_ASAN
    GTEST_SKIP() << "the sanitizer's shadow memory does not fit an address-space limit";
#else
    // 4,194,304 leaves in 28 MB of XML under address-space limits from where the list cannot
    // be built whole to where it can: what was built must never be passed off as the list.
    const long leaves = 4194304;
    const std::string path = mFolder.Path("big.plist");
    WriteFile(path, "<plist><array>" + Repeat("<true/>", leaves) + "</array></plist>");
    int failed = 0;
    for (rlim_t megabytes : {100, 130, 160, 200, 250}) {
        Outcome outcome = LoadInChild(path, megabytes << 20);
        ASSERT_TRUE(outcome.finished) << megabytes << " MB: crashed";
        if (outcome.status == noErr) {
            EXPECT_EQ(outcome.items, leaves) << megabytes << " MB";
        } else {
            ++failed;
            // A file that cannot be read, for want of memory too, is -43 whatever the cause.
            EXPECT_TRUE(outcome.status == memFullErr ||
                        outcome.status == coreFoundationUnknownErr || outcome.status == fnfErr)
                << megabytes << " MB: " << outcome.status;
        }
    }
    EXPECT_GT(failed, 0) << "no limit was tight enough to test anything";
#endif
}

}  // namespace
