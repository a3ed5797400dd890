/* The objects a host supplies to DarvikIPCapture, for the sample host: the
 * message sink, the open parameters, frames and their allocator, the frame
 * receiver and the stream settings, each as a table of slots in slot order
 * with the functions behind them.
 *
 * Included once, by sample_host.c, after sample_tables.h (the calling
 * convention macros SLOT, SELF, SELF_T, IGNORE_SELF, Bool8, Slot0Fn and
 * UnusedFn) and its platform helpers (Lock, CounterAdd, CopyText): the sample
 * stays a single compile command.
 */
#ifndef SAMPLE_OBJECTS_H
#define SAMPLE_OBJECTS_H

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

#endif /* SAMPLE_OBJECTS_H */
