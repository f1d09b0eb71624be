#pragma once

// libgme's own header, without the macros it leaves behind (byte, check,
// require, likely, ...), which break other headers and QtTest. Included
// last, and only by the .cpp files that talk to libgme.
#include <gme/gme.h>

#undef byte
#undef check
#undef require
#undef likely
#undef unlikely
#undef debug_printf
#undef RETURN_ERR
#undef CHECK_ALLOC
#undef BLARGG_CHECK_ALLOC
#undef BLARGG_RETURN_ERR
