/* A sample host for DarvikIPCapture, in plain C.
 *
 *   sample_host MODULE CAMERA[:PORT] [FRAMES [SECONDS [USER PASSWORD]]]
 *
 *   sample_host ./DarvikIPCapture.so 127.0.0.1:8080 25
 *   sample_host.exe DarvikIPCapture.dll 192.0.2.10 100 30 admin secret
 *
 * It loads the module, creates and opens one driver for the camera, streams
 * motion JPEG on channel 0 until FRAMES pictures (default 25) have arrived or
 * SECONDS have passed (default 20 s to connect plus 0.2 s a picture), stops
 * the channel, closes and deletes the driver, and
 * prints the module's message log. Exit status: 0 when FRAMES pictures
 * arrived, 1 when fewer did (none at all included), 2 for a usage or loading
 * error.
 *
 * The module's interfaces are C++ classes called by virtual-table slot
 * (docs/contract.md). C has no classes, so this file declares each table
 * itself as a struct of function pointers in slot order: an object is a
 * pointer to its table, and every call passes the object as its first
 * argument. Host objects are built the same way. The headers in
 * include/darvik give the slot numbers; they are C++ and are not included.
 *
 * The calling convention of every slot is the one of C++ member functions:
 * on 32-bit Windows that is __thiscall (object in ECX, the rest on the
 * stack, callee pops); everywhere else an ordinary call with the object as
 * first argument. SLOT, SELF and SELF_ARG below hide the difference.
 */
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

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

/* ---- platform: loading the module, a lock, counters, sleeping ---- */

#if defined(_WIN32)
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
typedef HMODULE Library;
static Library OpenLibrary(const char *path) { return LoadLibraryA(path); }
/* Any function pointer; cast to the export's own type before the call. */
typedef void (*ExportFn)(void);
static ExportFn FindExport(Library library, const char *name) { return (ExportFn)GetProcAddress(library, name); }
static void CloseLibrary(Library library) { FreeLibrary(library); }
static void SleepMs(unsigned ms) { Sleep(ms); }
typedef CRITICAL_SECTION Lock;
static void LockInit(Lock *lock) { InitializeCriticalSection(lock); }
static void LockTake(Lock *lock) { EnterCriticalSection(lock); }
static void LockGive(Lock *lock) { LeaveCriticalSection(lock); }
static long CounterAdd(volatile long *counter) { return InterlockedIncrement(counter); }
static long CounterRead(volatile long *counter) { return InterlockedCompareExchange(counter, 0, 0); }
#else
#include <dlfcn.h>
#include <pthread.h>
#include <time.h>
typedef void *Library;
static Library OpenLibrary(const char *path) { return dlopen(path, RTLD_NOW | RTLD_LOCAL); }
/* Any function pointer; cast to the export's own type before the call.
 * dlsym gives an object pointer, which ISO C does not cast to a function
 * pointer: the bytes are copied instead, as POSIX allows. */
typedef void (*ExportFn)(void);
static ExportFn FindExport(Library library, const char *name) {
    void *address = dlsym(library, name);
    ExportFn function;
    memcpy(&function, &address, sizeof(function));
    return function;
}
static void CloseLibrary(Library library) { dlclose(library); }
static void SleepMs(unsigned ms) {
    struct timespec pause;
    pause.tv_sec = ms / 1000;
    pause.tv_nsec = (long)(ms % 1000) * 1000000L;
    nanosleep(&pause, NULL);
}
typedef pthread_mutex_t Lock;
static void LockInit(Lock *lock) { pthread_mutex_init(lock, NULL); }
static void LockTake(Lock *lock) { pthread_mutex_lock(lock); }
static void LockGive(Lock *lock) { pthread_mutex_unlock(lock); }
static long CounterAdd(volatile long *counter) { return __atomic_add_fetch(counter, 1, __ATOMIC_SEQ_CST); }
static long CounterRead(volatile long *counter) { return __atomic_load_n(counter, __ATOMIC_SEQ_CST); }
#endif

static char *CopyText(const char *text) {
    const size_t length = strlen(text);
    char *copy = (char *)malloc(length + 1);
    if (copy != NULL) {
        memcpy(copy, text, length + 1);
    }
    return copy;
}

/* ---- slot 0 and placeholders of host objects ----
 * The module never destroys a host object, but slot 0 must be there so that
 * every later slot has its number. Unused slots get a function that does
 * nothing, never a null pointer. */

static void *SLOT HostSlot0(SELF, unsigned flags) {
    (void)flags;
    IGNORE_SELF();
    return self;
}
static void SLOT Nothing(SELF) { IGNORE_SELF(); }

typedef void *(SLOT *Slot0Fn)(SELF_T, unsigned flags);
typedef void(SLOT *UnusedFn)(SELF_T);

/* ---- the message sink (IMessageSink) ----
 * Lines come from every thread of the module at once: the log takes a lock.
 * The message object (CDebugInfoIf: slot 1 GetLevel, slot 2 GetText) lives
 * only during OnMessage, so the text is copied. */

typedef struct {
    Slot0Fn DeletingDestructor;
    int8_t(SLOT *GetLevel)(SELF_T);
    const char *(SLOT *GetText)(SELF_T);
} DebugInfoTable;
typedef struct {
    const DebugInfoTable *table;
} DebugInfo;

enum { kMaxLines = 512 };
typedef struct {
    int level;
    char *text; /* NULL for an empty line */
} LogLine;
static Lock g_logLock;
static LogLine g_log[kMaxLines];
static int g_logCount;
static int g_logDropped;

static void SLOT OnMessage(SELF, DebugInfo *message) {
    IGNORE_SELF();
    const int level = message->table->GetLevel(SELF_ARG(message));
    const char *text = message->table->GetText(SELF_ARG(message));
    LockTake(&g_logLock);
    if (g_logCount < kMaxLines) {
        g_log[g_logCount].level = level;
        g_log[g_logCount].text = text != NULL ? CopyText(text) : NULL;
        ++g_logCount;
    } else {
        ++g_logDropped;
    }
    LockGive(&g_logLock);
}
static const struct {
    Slot0Fn s0;
    void(SLOT *OnMessage)(SELF_T, DebugInfo *);
} kMessageSinkTable = {HostSlot0, OnMessage};
static struct {
    const void *table;
} g_messageSink = {&kMessageSinkTable};

/* ---- open parameters (IOpenParameters, IConnectionSettings, IDeviceDescription) ----
 * Asked only during Open; the module copies every value. */

static char g_address[256];
static uint16_t g_port = 80;
static const char *g_user = "";
static const char *g_password = "";

static const char *SLOT ConnectionGetAddress(SELF) { IGNORE_SELF(); return g_address; }
static uint16_t SLOT ConnectionGetPort(SELF) { IGNORE_SELF(); return g_port; }
static int32_t SLOT ConnectionGetStreamType(SELF) { IGNORE_SELF(); return 1; /* motion JPEG */ }
static const char *SLOT ConnectionGetUserName(SELF) { IGNORE_SELF(); return g_user; }
static const char *SLOT ConnectionGetPassword(SELF) { IGNORE_SELF(); return g_password; }
static const struct {
    Slot0Fn s0;
    const char *(SLOT *GetAddress)(SELF_T);                /* 1 */
    uint16_t(SLOT *GetPort)(SELF_T);                       /* 2 */
    UnusedFn u3;                                           /* 3 */
    int32_t(SLOT *GetStreamType)(SELF_T);                  /* 4 */
    const char *(SLOT *GetUserName)(SELF_T);               /* 5 */
    const char *(SLOT *GetPassword)(SELF_T);               /* 6 */
} kConnectionTable = {HostSlot0, ConnectionGetAddress, ConnectionGetPort, Nothing,
                      ConnectionGetStreamType, ConnectionGetUserName, ConnectionGetPassword};
static struct {
    const void *table;
} g_connection = {&kConnectionTable};

static const char *SLOT GetModelName(SELF) { IGNORE_SELF(); return "sample camera"; }
static uint32_t SLOT GetChannelCount(SELF) { IGNORE_SELF(); return 1; }
static uint32_t SLOT GetNoInputsOrOutputs(SELF) { IGNORE_SELF(); return 0; }
static const struct {
    Slot0Fn s0;
    UnusedFn u1;                                           /* 1 */
    const char *(SLOT *GetModelName)(SELF_T);              /* 2 */
    uint32_t(SLOT *GetChannelCount)(SELF_T);               /* 3 */
    UnusedFn u4;                                           /* 4 */
    uint32_t(SLOT *GetInputCount)(SELF_T);                 /* 5 */
    uint32_t(SLOT *GetOutputCount)(SELF_T);                /* 6 */
} kDeviceTable = {HostSlot0, Nothing, GetModelName, GetChannelCount, Nothing, GetNoInputsOrOutputs,
                  GetNoInputsOrOutputs};
static struct {
    const void *table;
} g_device = {&kDeviceTable};

static void *SLOT GetDeviceDescription(SELF) { IGNORE_SELF(); return &g_device; }
static void *SLOT GetConnectionSettings(SELF) { IGNORE_SELF(); return &g_connection; }
/* Custom parameter 1 is the video standard: "0" PAL, "1" NTSC. The list ends
 * at the first null. */
static const char *SLOT GetCustomParameterText(SELF, uint32_t index) {
    IGNORE_SELF();
    return index == 1 ? "0" : NULL;
}
static const struct {
    Slot0Fn s0;
    void *(SLOT *GetDeviceDescription)(SELF_T);                 /* 1 */
    void *(SLOT *GetConnectionSettings)(SELF_T);                /* 2 */
    UnusedFn u3;                                                /* 3 */
    const char *(SLOT *GetCustomParameterText)(SELF_T, uint32_t); /* 4 */
} kParametersTable = {HostSlot0, GetDeviceDescription, GetConnectionSettings, Nothing, GetCustomParameterText};
static struct {
    const void *table;
} g_parameters = {&kParametersTable};

/* ---- frames (IFrame) and the frame allocator (IFrameAllocator) ----
 * One heap object per picture: channels run on threads of their own, so
 * nothing here is shared between two frames. The module calls SetWidth,
 * SetHeight, SetSizeClass, SetDataSize, SetFormat, PrepareBuffer, GetBuffer,
 * copies the picture in, offers the frame to the receiver and releases it. */

typedef struct SampleFrame SampleFrame;
typedef struct {
    Slot0Fn s0;
    UnusedFn u1;                                      /* 1 */
    uint8_t *(SLOT *GetBuffer)(SELF_T);               /* 2 */
    UnusedFn u3;                                      /* 3 */
    void(SLOT *SetDataSize)(SELF_T, uint32_t);        /* 4 */
    void(SLOT *PrepareBuffer)(SELF_T);                /* 5 */
    UnusedFn u6, u7, u8, u9;                          /* 6-9 */
    void(SLOT *SetFormat)(SELF_T, uint32_t);          /* 10 */
    UnusedFn u11;                                     /* 11 */
    void(SLOT *SetHeight)(SELF_T, uint32_t);          /* 12 */
    UnusedFn u13;                                     /* 13 */
    void(SLOT *SetWidth)(SELF_T, uint32_t);           /* 14 */
    UnusedFn u15;                                     /* 15 */
    void(SLOT *SetSizeClass)(SELF_T, int32_t);        /* 16 */
} FrameTable;
struct SampleFrame {
    const FrameTable *table; /* first: the object's address is its table pointer */
    uint8_t *buffer;
    uint32_t capacity, size, format, width, height;
    int32_t sizeClass;
};

static uint8_t *SLOT FrameGetBuffer(SELF) {
    IGNORE_SELF();
    return ((SampleFrame *)self)->buffer;
}
static void SLOT FrameSetDataSize(SELF, uint32_t size) {
    IGNORE_SELF();
    ((SampleFrame *)self)->size = size;
}
static void SLOT FramePrepareBuffer(SELF) { IGNORE_SELF(); /* the buffer was allocated with the frame */ }
static void SLOT FrameSetFormat(SELF, uint32_t format) {
    IGNORE_SELF();
    ((SampleFrame *)self)->format = format;
}
static void SLOT FrameSetHeight(SELF, uint32_t height) {
    IGNORE_SELF();
    ((SampleFrame *)self)->height = height;
}
static void SLOT FrameSetWidth(SELF, uint32_t width) {
    IGNORE_SELF();
    ((SampleFrame *)self)->width = width;
}
static void SLOT FrameSetSizeClass(SELF, int32_t sizeClass) {
    IGNORE_SELF();
    ((SampleFrame *)self)->sizeClass = sizeClass;
}
static const FrameTable kFrameTable = {HostSlot0,       Nothing,        FrameGetBuffer, Nothing,       FrameSetDataSize,
                                       FramePrepareBuffer, Nothing,     Nothing,        Nothing,       Nothing,
                                       FrameSetFormat,  Nothing,        FrameSetHeight, Nothing,       FrameSetWidth,
                                       Nothing,         FrameSetSizeClass};

/* Frame format codes: four characters, the first in the lowest byte. */
#define FOURCC(a, b, c, d) \
    ((uint32_t)(uint8_t)(a) | ((uint32_t)(uint8_t)(b) << 8) | ((uint32_t)(uint8_t)(c) << 16) | ((uint32_t)(uint8_t)(d) << 24))
static const uint32_t kFormatJpeg = FOURCC('J', 'P', 'E', 'G');

static volatile long g_framesOut; /* frames allocated and not yet released */

static void *SLOT AllocateFrame(SELF, uint32_t format, uint32_t bufferSize, const char *sourceName) {
    IGNORE_SELF();
    (void)sourceName; /* always "DarvikIPCapture" */
    SampleFrame *frame = (SampleFrame *)calloc(1, sizeof(SampleFrame));
    if (frame == NULL) {
        return NULL; /* the module drops this picture */
    }
    frame->buffer = (uint8_t *)malloc(bufferSize > 0 ? bufferSize : 1);
    if (frame->buffer == NULL) {
        free(frame);
        return NULL;
    }
    frame->table = &kFrameTable;
    frame->capacity = bufferSize;
    frame->format = format;
    CounterAdd(&g_framesOut);
    return frame;
}
static volatile long g_released;
static void SLOT ReleaseFrame(SELF, void *object) {
    IGNORE_SELF();
    SampleFrame *frame = (SampleFrame *)object;
    free(frame->buffer);
    free(frame);
    CounterAdd(&g_released);
}
static const struct {
    Slot0Fn s0;
    UnusedFn u1;                                                           /* 1 */
    void *(SLOT *AllocateFrame)(SELF_T, uint32_t, uint32_t, const char *); /* 2 */
    UnusedFn u3, u4, u5;                                                   /* 3-5 */
    void(SLOT *ReleaseFrame)(SELF_T, void *);                              /* 6 */
} kAllocatorTable = {HostSlot0, Nothing, AllocateFrame, Nothing, Nothing, Nothing, ReleaseFrame};
static struct {
    const void *table;
} g_allocator = {&kAllocatorTable};

/* ---- the frame receiver (IFrameReceiver) ----
 * Called on the channel's worker thread. A real host would queue or store
 * the picture here; the sample checks it is a JPEG picture and counts it. */

static volatile long g_frames;     /* accepted pictures */
static volatile long g_badFrames;  /* not a JPEG picture */
static uint32_t g_lastWidth, g_lastHeight, g_lastSize; /* written by the worker only */

static Bool8 SLOT DeliverFrame(SELF, void *object) {
    IGNORE_SELF();
    const SampleFrame *frame = (const SampleFrame *)object;
    if (frame->format != kFormatJpeg || frame->size < 4 || frame->size > frame->capacity ||
        frame->buffer[0] != 0xFF || frame->buffer[1] != 0xD8) {
        CounterAdd(&g_badFrames);
        return 0; /* refused: the module releases it and reconnects */
    }
    g_lastWidth = frame->width;
    g_lastHeight = frame->height;
    g_lastSize = frame->size;
    CounterAdd(&g_frames);
    return 1;
}
static void SLOT OnSignalLost(SELF) { IGNORE_SELF(); /* MPEG-4 channels only */ }
static const struct {
    Slot0Fn s0;
    Bool8(SLOT *DeliverFrame)(SELF_T, void *); /* 1 */
    UnusedFn u2;                               /* 2 */
    void(SLOT *OnSignalLost)(SELF_T);          /* 3 */
} kReceiverTable = {HostSlot0, DeliverFrame, Nothing, OnSignalLost};
static struct {
    const void *table;
} g_receiver = {&kReceiverTable};

/* ---- stream settings (IStreamSettings -> IVideoFormat -> IResolution,
 *      IStreamSettings -> IEncodingSettings) ----
 * Read during StartChannel only. 352 x 288 at 25 pictures a second. */

static uint16_t SLOT GetWidth(SELF) { IGNORE_SELF(); return 352; }
static uint16_t SLOT GetHeight(SELF) { IGNORE_SELF(); return 288; }
static const struct {
    Slot0Fn s0;
    uint16_t(SLOT *GetWidth)(SELF_T);  /* 1 */
    uint16_t(SLOT *GetHeight)(SELF_T); /* 2 */
} kResolutionTable = {HostSlot0, GetWidth, GetHeight};
static struct {
    const void *table;
} g_resolution = {&kResolutionTable};

static void *SLOT GetResolution(SELF) { IGNORE_SELF(); return &g_resolution; }
static const struct {
    Slot0Fn s0;
    UnusedFn u1, u2;                       /* 1, 2 */
    void *(SLOT *GetResolution)(SELF_T);   /* 3 */
} kVideoFormatTable = {HostSlot0, Nothing, Nothing, GetResolution};
static struct {
    const void *table;
} g_videoFormat = {&kVideoFormatTable};

static uint16_t SLOT GetFrameInterval(SELF) { IGNORE_SELF(); return 40; /* ms */ }
static uint16_t SLOT GetQuality(SELF) { IGNORE_SELF(); return 70; /* percent */ }
static const struct {
    Slot0Fn s0;
    uint16_t(SLOT *GetFrameInterval)(SELF_T); /* 1 */
    UnusedFn u2;                              /* 2 */
    uint16_t(SLOT *GetQuality)(SELF_T);       /* 3 */
} kEncodingTable = {HostSlot0, GetFrameInterval, Nothing, GetQuality};
static struct {
    const void *table;
} g_encoding = {&kEncodingTable};

static void *SLOT GetVideoFormat(SELF) { IGNORE_SELF(); return &g_videoFormat; }
static void *SLOT GetEncoding(SELF) { IGNORE_SELF(); return &g_encoding; }
static const struct {
    Slot0Fn s0;
    void *(SLOT *GetVideoFormat)(SELF_T); /* 1 */
    void *(SLOT *GetEncoding)(SELF_T);    /* 2 */
} kStreamSettingsTable = {HostSlot0, GetVideoFormat, GetEncoding};
static struct {
    const void *table;
} g_streamSettings = {&kStreamSettingsTable};

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
} VideoCaptureTable;
typedef struct {
    const VideoCaptureTable *table;
} VideoCapture;

/* The exports are plain C functions (__cdecl on 32-bit Windows). */
typedef Driver *(*CreateIPCaptureFn)(void);
typedef void (*DeleteIPCaptureFn)(Driver *);

static const char *StateName(int32_t state) {
    switch (state) {
        case 0: return "running";
        case 1: return "connecting";
        case 2: return "signal lost";
        case 3: return "stopped";
        default: return "unknown";
    }
}

static void PrintLog(void) {
    LockTake(&g_logLock);
    printf("message log (%d line%s):\n", g_logCount, g_logCount == 1 ? "" : "s");
    for (int i = 0; i < g_logCount; ++i) {
        printf("  [%d] %s\n", g_log[i].level, g_log[i].text != NULL ? g_log[i].text : "(no text)");
        free(g_log[i].text);
    }
    if (g_logDropped > 0) {
        printf("  (%d more lines not kept)\n", g_logDropped);
    }
    g_logCount = 0;
    LockGive(&g_logLock);
}

static int ParseCamera(const char *text) {
    const char *colon = strrchr(text, ':');
    size_t length = colon != NULL ? (size_t)(colon - text) : strlen(text);
    if (length == 0 || length >= sizeof(g_address)) {
        return 0;
    }
    memcpy(g_address, text, length);
    g_address[length] = '\0';
    if (colon != NULL) {
        char *end = NULL;
        const long port = strtol(colon + 1, &end, 10);
        if (end == colon + 1 || *end != '\0' || port < 1 || port > 65535) {
            return 0;
        }
        g_port = (uint16_t)port;
    }
    return 1;
}

int main(int argc, char **argv) {
    if (argc != 3 && argc != 4 && argc != 5 && argc != 7) {
        fprintf(stderr, "usage: %s MODULE CAMERA[:PORT] [FRAMES [SECONDS [USER PASSWORD]]]\n", argv[0]);
        return 2;
    }
    long wanted = 25;
    if (argc >= 4) {
        char *end = NULL;
        wanted = strtol(argv[3], &end, 10);
        if (end == argv[3] || *end != '\0' || wanted < 1 || wanted > 1000000) {
            fprintf(stderr, "sample_host: FRAMES must be a number from 1 to 1000000\n");
            return 2;
        }
    }
    long limitMs = 20000 + wanted * 200;
    if (argc >= 5) {
        char *end = NULL;
        const long seconds = strtol(argv[4], &end, 10);
        if (end == argv[4] || *end != '\0' || seconds < 1 || seconds > 86400) {
            fprintf(stderr, "sample_host: SECONDS must be a number from 1 to 86400\n");
            return 2;
        }
        limitMs = seconds * 1000;
    }
    if (argc == 7) {
        g_user = argv[5];
        g_password = argv[6];
    }
    if (!ParseCamera(argv[2])) {
        fprintf(stderr, "sample_host: CAMERA must be HOST or HOST:PORT\n");
        return 2;
    }
    setvbuf(stdout, NULL, _IONBF, 0);
    LockInit(&g_logLock);

    Library module = OpenLibrary(argv[1]);
    if (module == NULL) {
        fprintf(stderr, "sample_host: cannot load %s\n", argv[1]);
        return 2;
    }
    CreateIPCaptureFn create = (CreateIPCaptureFn)FindExport(module, "CreateIPCapture");
    DeleteIPCaptureFn destroy = (DeleteIPCaptureFn)FindExport(module, "DeleteIPCapture");
    if (create == NULL || destroy == NULL) {
        fprintf(stderr, "sample_host: %s does not export CreateIPCapture and DeleteIPCapture\n", argv[1]);
        CloseLibrary(module);
        return 2;
    }

    /* 1. Create and open one driver for the camera. */
    Driver *driver = create();
    if (driver == NULL) {
        fprintf(stderr, "sample_host: CreateIPCapture gave no driver\n");
        CloseLibrary(module);
        return 1;
    }
    int result = 1;
    if (!driver->table->Open(SELF_ARG(driver), &g_messageSink, &g_allocator, &g_parameters)) {
        fprintf(stderr, "sample_host: Open failed\n");
    } else {
        /* 2. Stream channel 0 until enough pictures arrived or time is up. */
        VideoCapture *video = (VideoCapture *)driver->table->GetVideoCapture(SELF_ARG(driver));
        if (video == NULL) {
            fprintf(stderr, "sample_host: the open driver has no video capture\n");
            driver->table->Close(SELF_ARG(driver));
            destroy(driver);
            PrintLog();
            CloseLibrary(module);
            return 1;
        }
        printf("sample_host: driver open, %u channel(s); streaming MJPEG from %s:%u\n",
               (unsigned)video->table->GetChannelCount(SELF_ARG(video)), g_address, (unsigned)g_port);
        if (!video->table->StartChannel(SELF_ARG(video), 0, &g_receiver, &g_streamSettings)) {
            fprintf(stderr, "sample_host: StartChannel failed\n");
        } else {
            long waitedMs = 0;
            while (CounterRead(&g_frames) < wanted && waitedMs < limitMs) {
                SleepMs(20);
                waitedMs += 20;
            }
            int32_t state = -1, detail = 0;
            char text[64];
            if (video->table->GetChannelStatus(SELF_ARG(video), 0, &state, &detail, text, sizeof(text))) {
                printf("sample_host: channel 0 is %s\n", StateName(state));
            }
            /* 3. Stop the channel: afterwards no frame call arrives. */
            video->table->StopChannel(SELF_ARG(video), 0);
            const long frames = CounterRead(&g_frames);
            printf("sample_host: %ld of %ld pictures", frames, wanted);
            if (frames > 0) {
                printf(", the last %ux%u, %u bytes", (unsigned)g_lastWidth, (unsigned)g_lastHeight,
                       (unsigned)g_lastSize);
            }
            printf("; %ld refused\n", CounterRead(&g_badFrames));
            result = frames >= wanted ? 0 : 1;
        }
        /* 4. Close: the services and their threads end. */
        driver->table->Close(SELF_ARG(driver));
    }
    /* 5. Hand the driver back; never free it yourself. */
    destroy(driver);
    if (CounterRead(&g_framesOut) != CounterRead(&g_released)) {
        fprintf(stderr, "sample_host: %ld frames allocated, %ld released\n", CounterRead(&g_framesOut),
                CounterRead(&g_released));
        result = 1;
    }
    PrintLog();
    CloseLibrary(module);
    if (result != 0) {
        fprintf(stderr, "sample_host: FAILED\n");
    }
    return result;
}
