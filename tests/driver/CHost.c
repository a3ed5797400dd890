/* A host written in plain C, apart from the project's classes: it loads the
 * module, builds its own objects as tables of function pointers and calls
 * every entry of the driver's and the video capture's tables through
 * explicitly __thiscall pointers (on 32-bit Windows; elsewhere the object is
 * simply the first argument). A change in how the compiler lays out or calls
 * the project's classes cannot hide from it.
 *
 *   c_host MODULE [HOST:PORT]
 *
 * Without a camera it runs the driver's life cycle; with one (the camera
 * simulator) it also streams MJPEG and MPEG-4 on channel 0, checks the order
 * of the frame calls, and deletes the driver with the channel running: no
 * call may arrive after the Delete export returned. Exit status 0 on success.
 */
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#if defined(_WIN32)
#include <windows.h>
typedef HMODULE Library;
static Library OpenLibrary(const char* path) { return LoadLibraryA(path); }
static void* FindExport(Library library, const char* name) {
    return (void*)GetProcAddress(library, name);
}
static void SleepMs(unsigned ms) { Sleep(ms); }
#else
#include <dlfcn.h>
#include <time.h>
typedef void* Library;
static Library OpenLibrary(const char* path) { return dlopen(path, RTLD_NOW | RTLD_LOCAL); }
static void* FindExport(Library library, const char* name) { return dlsym(library, name); }
static void SleepMs(unsigned ms) {
    struct timespec pause = {ms / 1000, (long)(ms % 1000) * 1000000L};
    nanosleep(&pause, NULL);
}
#endif

/* The module's tables and the calling convention of their slots, as the
 * sample host for integrators declares them. */
#include "sample_tables.h"

static int g_failures = 0;
#define CHECK(condition)                                                       \
    do {                                                                       \
        if (!(condition)) {                                                    \
            fprintf(stderr, "c_host: line %d: %s\n", __LINE__, #condition);    \
            ++g_failures;                                                      \
        }                                                                      \
    } while (0)

/* Counters written by the module's threads. */
static long Load(long* counter) { return __atomic_load_n(counter, __ATOMIC_SEQ_CST); }
static void Add(long* counter) { __atomic_add_fetch(counter, 1, __ATOMIC_SEQ_CST); }

/* ---- objects of the host ---- */

/* Slot 0 of host objects: the module never destroys them. */
static void* SLOT HostSlot0(void* self, unsigned flags) {
    (void)flags;
    return self;
}
static void SLOT Nothing(void* self) { (void)self; }

/* Message sink: reads each message through its two slots. */
typedef struct { Slot0Fn slot0; int8_t (SLOT *GetLevel)(void*); const char* (SLOT *GetText)(void*); } MessageTable;
typedef struct { const MessageTable* table; } Message;
static long g_messages;
static long g_openedLevel;
static void SLOT OnMessage(void* self, Message* message) {
    (void)self;
    const int8_t level = message->table->GetLevel(message);
    const char* text = message->table->GetText(message);
    if (text != NULL && strstr(text, "DRIVER IS OPENED") != NULL) {
        __atomic_store_n(&g_openedLevel, (long)(unsigned char)level, __ATOMIC_SEQ_CST);
    }
    printf("  [%d] %s\n", (int)(unsigned char)level, text != NULL ? text : "(no text)");
    Add(&g_messages);
}
static const struct { Slot0Fn s0; void (SLOT *OnMessage)(void*, Message*); } kSinkTable = {HostSlot0, OnMessage};
static struct { const void* table; } g_sink = {&kSinkTable};

/* Connection settings, device description and open parameters. */
static char g_address[64] = "127.0.0.1";
static uint16_t g_port = 9;
static int32_t g_streamType = 1;
static const char* SLOT GetAddress(void* self) { (void)self; return g_address; }
static uint16_t SLOT GetPort(void* self) { (void)self; return g_port; }
static int32_t SLOT GetStreamType(void* self) { (void)self; return g_streamType; }
static const char* SLOT GetEmptyText(void* self) { (void)self; return ""; }
static const struct {
    Slot0Fn s0; const char* (SLOT *GetAddress)(void*); uint16_t (SLOT *GetPort)(void*); UnusedFn u3;
    int32_t (SLOT *GetStreamType)(void*); const char* (SLOT *GetUserName)(void*);
    const char* (SLOT *GetPassword)(void*);
} kConnectionTable = {HostSlot0, GetAddress, GetPort, Nothing, GetStreamType, GetEmptyText, GetEmptyText};
static struct { const void* table; } g_connection = {&kConnectionTable};

static const char* SLOT GetModelName(void* self) { (void)self; return "C host camera"; }
static uint32_t SLOT GetOne(void* self) { (void)self; return 1; }
static uint32_t SLOT GetZero(void* self) { (void)self; return 0; }
static const struct {
    Slot0Fn s0; UnusedFn u1; const char* (SLOT *GetModelName)(void*); uint32_t (SLOT *GetChannelCount)(void*);
    UnusedFn u4; uint32_t (SLOT *GetInputCount)(void*); uint32_t (SLOT *GetOutputCount)(void*);
} kDeviceTable = {HostSlot0, Nothing, GetModelName, GetOne, Nothing, GetZero, GetZero};
static struct { const void* table; } g_device = {&kDeviceTable};

static void* SLOT GetDevice(void* self) { (void)self; return &g_device; }
static void* SLOT GetConnection(void* self) { (void)self; return &g_connection; }
static const char* SLOT GetCustomParameterText(void* self, uint32_t index) {
    (void)self;
    return index == 1 ? "0" : NULL;
}
static const struct {
    Slot0Fn s0; void* (SLOT *GetDeviceDescription)(void*); void* (SLOT *GetConnectionSettings)(void*);
    UnusedFn u3; const char* (SLOT *GetCustomParameterText)(void*, uint32_t);
} kParametersTable = {HostSlot0, GetDevice, GetConnection, Nothing, GetCustomParameterText};
static struct { const void* table; } g_parameters = {&kParametersTable};

/* One frame at a time: each call must come in the order the module promises. */
enum { kStepWidth, kStepHeight, kStepSizeClass, kStepDataSize, kStepFormat, kStepPrepare, kStepBuffer, kStepDone };
static int g_step = kStepDone; /* only the channel's worker touches it */
static uint32_t g_dataSize, g_format, g_width;
static uint8_t g_buffer[4 * 1024 * 1024];
static long g_calls; /* every call of the module into a frame object */
static long g_orderFaults;
static void Step(int expected) {
    Add(&g_calls);
    if (g_step != expected) {
        Add(&g_orderFaults);
    }
    g_step = expected + 1;
}
static uint8_t* SLOT FrameGetBuffer(void* self) { (void)self; Step(kStepBuffer); return g_buffer; }
static void SLOT FrameSetDataSize(void* self, uint32_t size) { (void)self; Step(kStepDataSize); g_dataSize = size; }
static void SLOT FramePrepare(void* self) { (void)self; Step(kStepPrepare); }
static void SLOT FrameSetFormat(void* self, uint32_t format) { (void)self; Step(kStepFormat); g_format = format; }
static void SLOT FrameSetHeight(void* self, uint32_t height) { (void)self; Step(kStepHeight); (void)height; }
static void SLOT FrameSetWidth(void* self, uint32_t width) { (void)self; Step(kStepWidth); g_width = width; }
static void SLOT FrameSetSizeClass(void* self, int32_t sizeClass) { (void)self; Step(kStepSizeClass); (void)sizeClass; }
static const struct {
    Slot0Fn s0; UnusedFn u1; uint8_t* (SLOT *GetBuffer)(void*); UnusedFn u3; void (SLOT *SetDataSize)(void*, uint32_t);
    void (SLOT *PrepareBuffer)(void*); UnusedFn u6, u7, u8, u9; void (SLOT *SetFormat)(void*, uint32_t);
    UnusedFn u11; void (SLOT *SetHeight)(void*, uint32_t); UnusedFn u13; void (SLOT *SetWidth)(void*, uint32_t);
    UnusedFn u15; void (SLOT *SetSizeClass)(void*, int32_t);
} kFrameTable = {HostSlot0, Nothing, FrameGetBuffer, Nothing, FrameSetDataSize, FramePrepare, Nothing, Nothing,
                 Nothing, Nothing, FrameSetFormat, Nothing, FrameSetHeight, Nothing, FrameSetWidth, Nothing,
                 FrameSetSizeClass};
static struct { const void* table; } g_frame = {&kFrameTable};

static void* SLOT AllocateFrame(void* self, uint32_t format, uint32_t size, const char* source) {
    (void)self;
    Add(&g_calls);
    if (size > sizeof(g_buffer) || source == NULL || strcmp(source, "DarvikIPCapture") != 0 || g_step != kStepDone) {
        Add(&g_orderFaults);
    }
    (void)format;
    g_step = kStepWidth;
    return &g_frame;
}
static long g_frames;
static int g_delivered; /* the frame was offered before its release */
static void SLOT ReleaseFrame(void* self, void* frame) {
    (void)self;
    Add(&g_calls);
    if (frame != &g_frame || !g_delivered) {
        Add(&g_orderFaults);
    }
    g_delivered = 0;
    g_step = kStepDone;
}
static const struct {
    Slot0Fn s0; UnusedFn u1; void* (SLOT *AllocateFrame)(void*, uint32_t, uint32_t, const char*);
    UnusedFn u3, u4, u5; void (SLOT *ReleaseFrame)(void*, void*);
} kAllocatorTable = {HostSlot0, Nothing, AllocateFrame, Nothing, Nothing, Nothing, ReleaseFrame};
static struct { const void* table; } g_allocator = {&kAllocatorTable};

static const uint32_t kJpeg = 0x4745504Au, kDivx = 0x58564944u, kDivi = 0x49564944u;
static uint8_t SLOT DeliverFrame(void* self, void* frame) {
    (void)self;
    Add(&g_calls);
    const int formatOk = g_streamType == 1 ? g_format == kJpeg : (g_format == kDivx || g_format == kDivi);
    if (frame != &g_frame || g_step != kStepDone || !formatOk || g_dataSize == 0 || g_width != 352) {
        Add(&g_orderFaults);
    }
    g_delivered = 1;
    Add(&g_frames);
    return 1;
}
static void SLOT OnSignalLost(void* self) { (void)self; Add(&g_calls); }
static const struct { Slot0Fn s0; uint8_t (SLOT *DeliverFrame)(void*, void*); UnusedFn u2; void (SLOT *OnSignalLost)(void*); }
    kReceiverTable = {HostSlot0, DeliverFrame, Nothing, OnSignalLost};
static struct { const void* table; } g_receiver = {&kReceiverTable};

static uint16_t SLOT GetWidth(void* self) { (void)self; return 352; }
static uint16_t SLOT GetHeight(void* self) { (void)self; return 288; }
static const struct { Slot0Fn s0; uint16_t (SLOT *GetWidth)(void*); uint16_t (SLOT *GetHeight)(void*); }
    kResolutionTable = {HostSlot0, GetWidth, GetHeight};
static struct { const void* table; } g_resolution = {&kResolutionTable};
static void* SLOT GetResolution(void* self) { (void)self; return &g_resolution; }
static const struct { Slot0Fn s0; UnusedFn u1, u2; void* (SLOT *GetResolution)(void*); }
    kFormatTable = {HostSlot0, Nothing, Nothing, GetResolution};
static struct { const void* table; } g_videoFormat = {&kFormatTable};
static uint16_t SLOT GetFrameInterval(void* self) { (void)self; return 40; }
static uint16_t SLOT GetQuality(void* self) { (void)self; return 70; }
static const struct { Slot0Fn s0; uint16_t (SLOT *GetFrameInterval)(void*); UnusedFn u2; uint16_t (SLOT *GetQuality)(void*); }
    kEncodingTable = {HostSlot0, GetFrameInterval, Nothing, GetQuality};
static struct { const void* table; } g_encoding = {&kEncodingTable};
static void* SLOT GetVideoFormat(void* self) { (void)self; return &g_videoFormat; }
static void* SLOT GetEncoding(void* self) { (void)self; return &g_encoding; }
static const struct { Slot0Fn s0; void* (SLOT *GetVideoFormat)(void*); void* (SLOT *GetEncoding)(void*); }
    kStreamTable = {HostSlot0, GetVideoFormat, GetEncoding};
static struct { const void* table; } g_stream = {&kStreamTable};

static int WaitFor(long* counter, long target, unsigned ms) {
    for (unsigned waited = 0; Load(counter) < target && waited < ms; waited += 10) {
        SleepMs(10);
    }
    return Load(counter) >= target;
}

/* Opens a driver, checks every driver entry, streams when a camera is given. */
static void RunDriver(CreateIPCaptureFn create, DeleteIPCaptureFn destroy, int32_t streamType, int withCamera) {
    g_streamType = streamType;
    Driver* driver = create();
    CHECK(driver != NULL);
    if (driver == NULL) {
        return;
    }
    CHECK(driver->table->GetVideoCapture(SELF_ARG(driver)) == NULL);
    CHECK(driver->table->GetExtraInterface(SELF_ARG(driver)) == NULL);
    CHECK(driver->table->Open(SELF_ARG(driver), &g_sink, &g_allocator, &g_parameters) == 1);
    CHECK(Load(&g_openedLevel) != 0);
    VideoCapture* video = (VideoCapture*)driver->table->GetVideoCapture(SELF_ARG(driver));
    CHECK(video != NULL);
    CHECK(driver->table->GetCaptureIO(SELF_ARG(driver)) != NULL);
    CHECK(driver->table->GetPTZDriver(SELF_ARG(driver)) != NULL);
    CHECK(driver->table->GetExtraInterface(SELF_ARG(driver)) == NULL);
    if (video == NULL) {
        destroy(driver);
        return;
    }
    CHECK(video->table->GetChannelCount(SELF_ARG(video)) == 1);
    CHECK(video->table->GetExtension(SELF_ARG(video)) == 0);
    CHECK(video->table->Unsupported7(SELF_ARG(video), 0, 0, 0) == 0);
    CHECK(video->table->Unsupported8(SELF_ARG(video), 0, 0, 0) == 0);
    int32_t state = -1, detail = -1;
    char text[128] = "";
    /* No channel exists before it is started. */
    CHECK(video->table->GetChannelStatus(SELF_ARG(video), 0, &state, &detail, text, sizeof(text)) == 0);
    if (!withCamera) {
        (void)video->table->StopChannel(SELF_ARG(video), 0);
        driver->table->Close(SELF_ARG(driver));
        CHECK(driver->table->GetVideoCapture(SELF_ARG(driver)) == NULL);
        destroy(driver);
        return;
    }
    __atomic_store_n(&g_frames, 0, __ATOMIC_SEQ_CST);
    CHECK(video->table->StartChannel(SELF_ARG(video), 0, &g_receiver, &g_stream) == 1);
    CHECK(WaitFor(&g_frames, 5, 20000));
    CHECK(video->table->RestartChannel(SELF_ARG(video), 0, &g_resolution, 40) == 1);
    const long beforeRestart = Load(&g_frames);
    CHECK(WaitFor(&g_frames, beforeRestart + 3, 20000));
    CHECK(video->table->GetChannelStatus(SELF_ARG(video), 0, &state, &detail, text, sizeof(text)) == 1);
    CHECK(state == 0); /* running */
    printf("c_host: stream type %d: %ld frames, order faults %ld\n", (int)streamType, Load(&g_frames),
           Load(&g_orderFaults));
    /* Delete with the channel running: nothing may arrive afterwards. */
    destroy(driver);
    const long calls = Load(&g_calls);
    SleepMs(500);
    CHECK(Load(&g_calls) == calls);
}

int main(int argc, char** argv) {
    if (argc < 2) {
        fprintf(stderr, "usage: c_host MODULE [HOST:PORT]\n");
        return 2;
    }
    setvbuf(stdout, NULL, _IONBF, 0);
    Library module = OpenLibrary(argv[1]);
    if (module == NULL) {
        fprintf(stderr, "c_host: cannot load %s\n", argv[1]);
        return 1;
    }
    CreateIPCaptureFn create = (CreateIPCaptureFn)FindExport(module, "CreateIPCapture");
    CreateIPCaptureFn createEx = (CreateIPCaptureFn)FindExport(module, "CreateIPCaptureEx");
    DeleteIPCaptureFn destroy = (DeleteIPCaptureFn)FindExport(module, "DeleteIPCapture");
    DeleteIPCaptureFn destroyEx = (DeleteIPCaptureFn)FindExport(module, "DeleteIPCaptureEx");
    CHECK(create != NULL && createEx != NULL && destroy != NULL && destroyEx != NULL);
    if (g_failures != 0) {
        return 1;
    }
    destroy(NULL);
    destroyEx(NULL);

    int withCamera = 0;
    if (argc >= 3) {
        const char* colon = strrchr(argv[2], ':');
        if (colon != NULL && (size_t)(colon - argv[2]) < sizeof(g_address)) {
            memcpy(g_address, argv[2], (size_t)(colon - argv[2]));
            g_address[colon - argv[2]] = '\0';
            g_port = (uint16_t)atoi(colon + 1);
            withCamera = 1;
        }
    }
    RunDriver(create, destroy, 1, 0);
    if (withCamera) {
        RunDriver(create, destroy, 1, 1);
        RunDriver(createEx, destroyEx, 2, 1);
    }
    CHECK(Load(&g_orderFaults) == 0);
    printf("c_host: %s (%ld messages, opened line at level %ld)\n", g_failures == 0 ? "passed" : "FAILED",
           Load(&g_messages), Load(&g_openedLevel));
    return g_failures == 0 ? 0 : 1;
}
