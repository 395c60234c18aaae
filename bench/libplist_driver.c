/*
 * Benchmark peer driver: times another property-list library's XML reader or writer on a
 * file, best of N runs, in the same output format as PropertyListBench; or does the whole job
 * once, as a process to be timed from outside: reads FILE into its tree and writes the tree
 * back as XML on standard output. Built only by bench/compare.sh and bench/commands.sh, never
 * part of the product.
 *
 *   libplist_driver read|write FILE [RUNS]
 *   libplist_driver convert-xml|convert-binary FILE [RUNS]   read the XML, then write it as XML
 *                                                            or binary (bench/convert.sh)
 *   libplist_driver read-binary FILE [RUNS]   read a binary list into the tree and free it
 *                                            (bench/binary.sh; RUNS 1 as a timed process)
 *   libplist_driver binary-to-xml IN OUT   read a binary list, write it as XML (a check that
 *                                          libplist reads our binary)
 *   libplist_driver roundtrip FILE
 */
#include <plist/plist.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

/* CPU time (user + system) is what counts on a shared machine; wall time is shown too. */
static double Clock(clockid_t clock) {
    struct timespec ts;
    clock_gettime(clock, &ts);
    return (double)ts.tv_sec + (double)ts.tv_nsec / 1e9;
}

static char* Load(const char* path, long* length) {
    FILE* in = fopen(path, "rb");
    if (!in) return NULL;
    fseek(in, 0, SEEK_END);
    *length = ftell(in);
    fseek(in, 0, SEEK_SET);
    char* bytes = malloc((size_t)*length);
    if (bytes && fread(bytes, 1, (size_t)*length, in) != (size_t)*length) {
        free(bytes);
        bytes = NULL;
    }
    fclose(in);
    return bytes;
}

static int BinaryToXML(const char* in, const char* outPath) {
    long length = 0;
    char* bytes = Load(in, &length);
    if (!bytes) return 1;
    plist_t value = NULL;
    plist_from_bin(bytes, (uint32_t)length, &value);
    free(bytes);
    if (!value) return 1;
    char* xml = NULL;
    uint32_t xmlLength = 0;
    plist_to_xml(value, &xml, &xmlLength);
    plist_free(value);
    FILE* out = fopen(outPath, "wb");
    int ok = xml && out && fwrite(xml, 1, xmlLength, out) == xmlLength;
    if (out && fclose(out) != 0) ok = 0;
    free(xml);
    return ok ? 0 : 1;
}

/* The whole job, as a user would run it: file -> tree -> XML on standard output. */
static int RoundTrip(const char* path) {
    long length = 0;
    char* xml = Load(path, &length);
    if (!xml) return 1;
    plist_t value = NULL;
    plist_from_xml(xml, (uint32_t)length, &value);
    free(xml);
    if (!value) return 1;
    char* out = NULL;
    uint32_t outLength = 0;
    plist_to_xml(value, &out, &outLength);
    plist_free(value);
    if (!out) return 1;
    int ok = fwrite(out, 1, outLength, stdout) == outLength;
    free(out);
    return ok ? 0 : 1;
}

int main(int argc, char** argv) {
    if (argc < 3) {
        fprintf(stderr,
                "usage: %s read|write|read-binary FILE [RUNS] | convert-xml|convert-binary FILE "
                "[RUNS] | "
                "binary-to-xml IN OUT | roundtrip FILE\n",
                argv[0]);
        return 2;
    }
    if (strcmp(argv[1], "binary-to-xml") == 0 && argc >= 4) return BinaryToXML(argv[2], argv[3]);
    if (strcmp(argv[1], "roundtrip") == 0) return RoundTrip(argv[2]);
    int write = strcmp(argv[1], "write") == 0;
    int convertXML = strcmp(argv[1], "convert-xml") == 0;
    int convertBinary = strcmp(argv[1], "convert-binary") == 0;
    int readBinary = strcmp(argv[1], "read-binary") == 0;
    int runs = argc >= 4 ? atoi(argv[3]) : 3;
    long length = 0;
    char* xml = Load(argv[2], &length);
    if (!xml) return 1;
    plist_t value = NULL;
    if (write) { /* the writer needs only the value: keep the input out of its peak memory */
        plist_from_xml(xml, (uint32_t)length, &value);
        free(xml);
        xml = NULL;
    }
    double bestCPU = 1e300, bestWall = 1e300;
    for (int i = 0; i < runs; ++i) {
        double startCPU = Clock(CLOCK_PROCESS_CPUTIME_ID), startWall = Clock(CLOCK_MONOTONIC);
        if (convertXML || convertBinary) {
            plist_t parsed = NULL;
            plist_from_xml(xml, (uint32_t)length, &parsed);
            if (!parsed) return 1;
            char* out = NULL;
            uint32_t outLength = 0;
            if (convertXML)
                plist_to_xml(parsed, &out, &outLength);
            else
                plist_to_bin(parsed, &out, &outLength);
            if (!out) return 1;
            free(out);
            plist_free(parsed);
        } else if (write) {
            char* out = NULL;
            uint32_t outLength = 0;
            plist_to_xml(value, &out, &outLength);
            if (!out) return 1;
            free(out);
        } else {
            plist_t parsed = NULL;
            if (readBinary)
                plist_from_bin(xml, (uint32_t)length, &parsed);
            else
                plist_from_xml(xml, (uint32_t)length, &parsed);
            if (!parsed) return 1;
            plist_free(parsed);
        }
        double cpu = Clock(CLOCK_PROCESS_CPUTIME_ID) - startCPU;
        double wall = Clock(CLOCK_MONOTONIC) - startWall;
        if (cpu < bestCPU) bestCPU = cpu;
        if (wall < bestWall) bestWall = wall;
    }
    double mb = (double)length / 1e6;
    printf("libplist %s: %.1f MB, CPU %.3f s = %.1f MB/s, wall %.3f s = %.1f MB/s\n", argv[1], mb,
           bestCPU, mb / bestCPU, bestWall, mb / bestWall);
    if (value) plist_free(value);
    free(xml);
    return 0;
}
