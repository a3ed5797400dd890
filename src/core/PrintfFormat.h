// DARVIK_PRINTF_FORMAT: lets the compiler check a printf-style function's
// format against its arguments (1-based positions of the format and of the
// first argument). mingw's runtime formats like C99 (gnu_printf), not like
// the MS runtime.
//
// A macro only; nothing to own or call.
#pragma once

#if defined(__MINGW32__)
#define DARVIK_PRINTF_FORMAT(formatIndex, firstArgument) \
    __attribute__((format(gnu_printf, formatIndex, firstArgument)))
#elif defined(__GNUC__)
#define DARVIK_PRINTF_FORMAT(formatIndex, firstArgument) \
    __attribute__((format(printf, formatIndex, firstArgument)))
#else
#define DARVIK_PRINTF_FORMAT(formatIndex, firstArgument)
#endif
