/*
 * CoreServices.h — umbrella for the Apple Event Manager and the CarbonCore pieces.
 */
#ifndef __CORESERVICES__
#define __CORESERVICES__

#include <CoreServices/AEDataModel.h>
#include <CoreServices/AEObjects.h>
#include <CoreServices/AERegistry.h>
#include <CoreServices/AppleEvents.h>
#include <CoreServices/FixMath.h>
#include <CoreServices/MacErrors.h>
#include <CoreServices/MacMemory.h>
#include <CoreServices/MacTypes.h>
#include <CoreServices/UnicodeUtilities.h>

#endif
