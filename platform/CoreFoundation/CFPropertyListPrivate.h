// What the stand-in's property-list reading tells beyond the SDK: the plistbridge tool uses it
// to bound what a binary list expands to without walking the value it read. Code written
// against the SDK (the bundle) never includes this header.
#ifndef PLATFORM_COREFOUNDATION_CFPROPERTYLISTPRIVATE_H
#define PLATFORM_COREFOUNDATION_CFPROPERTYLISTPRIVATE_H

#ifdef __cplusplus
extern "C" {
#endif
// The platform library is built with hidden visibility; these it exports.
#pragma GCC visibility push(default)

// Counted by the binary reader as it follows every reference of the file, so that each value
// appears as often as a writer of the value read would meet it.
typedef struct {
    const void* root;                 // the value the read returned; NULL when it failed
    unsigned long long references;    // values and keys, every time one is referenced
    unsigned long long depths;        // the sum of their nesting depths (the top is 0)
    unsigned long long contentUnits;  // string units and data bytes, every time referenced
    int sharedContainer;              // a container holding something is referenced more than once
} PBBinaryReadMeasure;

// The measure of the last binary list this thread read; root is NULL when the last property
// list read was no binary one, or failed.
void PBPropertyListLastBinaryRead(PBBinaryReadMeasure* measure);

#pragma GCC visibility pop

#ifdef __cplusplus
}
#endif

#endif
