/*
 * OpenScripting.h — umbrella for the scripting framework's pieces the project uses.
 */
#ifndef __OPENSCRIPTING__
#define __OPENSCRIPTING__

#include <OpenScripting/ASRegistry.h>

#endif
