/*
 * Carbon.h — umbrella over CoreServices and the scripting framework, as code that uses the
 * script runner's keywords (keyASUserRecordFields) includes them.
 */
#ifndef __CARBON__
#define __CARBON__

#include <CoreServices/CoreServices.h>
#include <OpenScripting/OpenScripting.h>

#endif
