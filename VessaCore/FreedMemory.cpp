#include "VessaCore/FreedMemory.h"

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
