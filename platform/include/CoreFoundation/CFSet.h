/* CFSet.h — unordered collections of distinct values. Only the reading side the property-list
   readers and their callers need: a binary property list's set is read as one. */
#ifndef __COREFOUNDATION_CFSET__
#define __COREFOUNDATION_CFSET__

#include <CoreFoundation/CFBase.h>

CF_EXTERN_C_BEGIN

typedef void (*CFSetApplierFunction)(const void* value, void* context);

typedef const struct __CFSet* CFSetRef;

CF_EXPORT CFTypeID CFSetGetTypeID(void);

/* Number of values; 0 for NULL. */
CF_EXPORT CFIndex CFSetGetCount(CFSetRef theSet);

/* Calls applier once for each value, in the order the set was made in. */
CF_EXPORT void CFSetApplyFunction(CFSetRef theSet, CFSetApplierFunction applier, void* context);

CF_EXTERN_C_END

#endif
