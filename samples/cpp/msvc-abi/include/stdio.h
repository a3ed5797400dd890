/* The part of <stdio.h> the sample host uses, as msvcrt.dll exports it.
 * Only for the clang recipe of build.sh: mingw-w64's own <stdio.h> does not
 * parse in Microsoft's mode (attributes after the declarator). A Visual
 * Studio build uses the Windows SDK's headers instead. */
#pragma once
#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct _iobuf FILE;

__declspec(dllimport) int __cdecl printf(const char* format, ...);
__declspec(dllimport) int __cdecl fflush(FILE* stream);

#ifdef __cplusplus
}
#endif
