/* CFError.h — the error type of the property-list calls that report one. */
#ifndef __COREFOUNDATION_CFERROR__
#define __COREFOUNDATION_CFERROR__

#include <CoreFoundation/CFBase.h>

CF_EXTERN_C_BEGIN

/* The stand-in makes no error objects: a call taking a CFErrorRef* sets it to NULL, and its
   result (NULL, or 0 bytes written) alone says that it failed. */
typedef struct __CFError* CFErrorRef;

CF_EXTERN_C_END

#endif
