/* The module's side of the C hosts: the calling convention of a slot, the
 * driver's and the video capture's tables in slot order, and the types of the
 * exports that create and delete a driver.
 *
 * The module's interfaces are C++ classes called by virtual-table slot
 * (docs/contract.md). C has no classes, so each table is declared here as a
 * struct of function pointers in slot order: an object is a pointer to its
 * table, and every call passes the object as its first argument. The headers
 * in include/darvik give the slot numbers; they are C++ and are not included.
 *
 * The calling convention of every slot is the one of C++ member functions:
 * on 32-bit Windows that is __thiscall (object in ECX, the rest on the
 * stack, callee pops); everywhere else an ordinary call with the object as
 * first argument. SLOT, SELF, SELF_T and SELF_ARG hide the difference.
 *
 * Included by sample_host.c and by the project's own C host test; it needs
 * <stdint.h> before it.
 */
#ifndef SAMPLE_TABLES_H
#define SAMPLE_TABLES_H

/* ---- calling convention of the slots ---- */

#if defined(_WIN32) && defined(_M_IX86) && defined(_MSC_VER) && !defined(__clang__)
/* Microsoft's C compiler cannot declare a free function __thiscall.
 * __fastcall passes the first two arguments in ECX and EDX, the rest on the
 * stack, and the callee pops: with an unused second parameter that is
 * exactly __thiscall (the object in ECX, EDX ignored). */
#define SLOT __fastcall
#define SELF void *self, void *unusedEdx
#define SELF_T void *, void *
#define SELF_ARG(object) (object), NULL
#define IGNORE_SELF() ((void)self, (void)unusedEdx)
#elif defined(_WIN32) && (defined(__i386__) || defined(_M_IX86))
/* GCC, Clang and mingw-w64 on 32-bit Windows. */
#define SLOT __attribute__((thiscall))
#define SELF void *self
#define SELF_T void *
#define SELF_ARG(object) (object)
#define IGNORE_SELF() ((void)self)
#else
/* x86-64 Windows, Linux and every other target: one convention. */
#define SLOT
#define SELF void *self
#define SELF_T void *
#define SELF_ARG(object) (object)
#define IGNORE_SELF() ((void)self)
#endif

/* A C++ bool result or argument: one byte, 0 or 1. */
typedef uint8_t Bool8;

/* Slot 0 of every table, and a slot the caller never uses. */
typedef void *(SLOT *Slot0Fn)(SELF_T, unsigned flags);
typedef void(SLOT *UnusedFn)(SELF_T);

/* ---- the module's tables ---- */

typedef struct {
    Slot0Fn DeletingDestructor;                                                       /* 0: not for the host */
    Bool8(SLOT *Open)(SELF_T, void *sink, void *allocator, void *parameters);         /* 1 */
    void(SLOT *Close)(SELF_T);                                                        /* 2 */
    void *(SLOT *GetVideoCapture)(SELF_T);                                            /* 3 */
    void *(SLOT *GetCaptureIO)(SELF_T);                                               /* 4 */
    void *(SLOT *GetExtraInterface)(SELF_T);                                          /* 5 (Ex) */
    void *(SLOT *GetPTZDriver)(SELF_T);                                               /* 6 (Ex) */
} DriverTable;
typedef struct {
    const DriverTable *table;
} Driver;

typedef struct {
    Slot0Fn DeletingDestructor;                                                               /* 0 */
    uint32_t(SLOT *GetChannelCount)(SELF_T);                                                  /* 1 */
    Bool8(SLOT *StartChannel)(SELF_T, uint32_t index, void *receiver, void *settings);        /* 2 */
    Bool8(SLOT *StopChannel)(SELF_T, uint32_t index);                                         /* 3 */
    Bool8(SLOT *RestartChannel)(SELF_T, uint32_t index, void *resolution, uint32_t interval); /* 4 */
    int32_t(SLOT *GetExtension)(SELF_T);                                                      /* 5 */
    Bool8(SLOT *GetChannelStatus)(SELF_T, uint32_t index, int32_t *state, int32_t *detail, char *text,
                                  uint32_t size);                                             /* 6 */
    Bool8(SLOT *Unsupported7)(SELF_T, int32_t, int32_t, int32_t);                             /* 7: false */
    Bool8(SLOT *Unsupported8)(SELF_T, int32_t, int32_t, int32_t);                             /* 8: false */
} VideoCaptureTable;
typedef struct {
    const VideoCaptureTable *table;
} VideoCapture;

/* The exports are plain C functions (__cdecl on 32-bit Windows):
 * CreateIPCapture and CreateIPCaptureEx give a driver, DeleteIPCapture and
 * DeleteIPCaptureEx take it back. */
typedef Driver *(*CreateIPCaptureFn)(void);
typedef void (*DeleteIPCaptureFn)(Driver *);

#endif /* SAMPLE_TABLES_H */
