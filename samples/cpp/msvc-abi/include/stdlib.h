/* The part of <stdlib.h> the sample host uses, as msvcrt.dll exports it.
 * Only for the clang recipe of build.sh (see stdio.h beside this file). */
#pragma once
#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

#define EXIT_SUCCESS 0
#define EXIT_FAILURE 1

__declspec(dllimport) void* __cdecl malloc(size_t size);
__declspec(dllimport) void* __cdecl realloc(void* block, size_t size);
__declspec(dllimport) void __cdecl free(void* block);
__declspec(dllimport) __declspec(noreturn) void __cdecl exit(int code);
__declspec(dllimport) unsigned long __cdecl strtoul(const char* text, char** end, int base);

#ifdef __cplusplus
}
#endif
