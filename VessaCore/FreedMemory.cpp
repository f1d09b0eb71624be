#include "VessaCore/FreedMemory.h"

// Any C library header tells which C library this is.
#include <cstdlib>

#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace vessa {

void releaseFreedMemory()
{
#ifdef __GLIBC__
    malloc_trim(0);
#endif
}

} // namespace vessa
