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
 * The module's tables and the calling convention of their slots are in
 * sample_tables.h, the host's objects in sample_objects.h.
 */
#if !defined(_WIN32)
#define _POSIX_C_SOURCE 200809L /* nanosleep under -std=c99 */
#endif
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

/* The module's tables and the calling convention of their slots. */
#include "sample_tables.h"

/* ---- platform: loading the module, a lock, counters, sleeping ---- */

#if defined(_WIN32)
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
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

/* The host objects: sink, parameters, frames, receiver, settings. */
#include "sample_objects.h"

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

/* The command line: FRAMES (default 25), SECONDS (default 20 s plus 0.2 s
   a picture), the credentials and the camera's address. 0 when it is
   usable, else the exit code. */
static int ParseArguments(int argc, char **argv, long *wanted, long *limitMs) {
    if (argc != 3 && argc != 4 && argc != 5 && argc != 7) {
        fprintf(stderr, "usage: %s MODULE CAMERA[:PORT] [FRAMES [SECONDS [USER PASSWORD]]]\n", argv[0]);
        return 2;
    }
    *wanted = 25;
    if (argc >= 4) {
        char *end = NULL;
        *wanted = strtol(argv[3], &end, 10);
        if (end == argv[3] || *end != '\0' || *wanted < 1 || *wanted > 1000000) {
            fprintf(stderr, "sample_host: FRAMES must be a number from 1 to 1000000\n");
            return 2;
        }
    }
    *limitMs = 20000 + *wanted * 200;
    if (argc >= 5) {
        char *end = NULL;
        const long seconds = strtol(argv[4], &end, 10);
        if (end == argv[4] || *end != '\0' || seconds < 1 || seconds > 86400) {
            fprintf(stderr, "sample_host: SECONDS must be a number from 1 to 86400\n");
            return 2;
        }
        *limitMs = seconds * 1000;
    }
    if (argc == 7) {
        g_user = argv[5];
        g_password = argv[6];
    }
    if (!ParseCamera(argv[2])) {
        fprintf(stderr, "sample_host: CAMERA must be HOST or HOST:PORT\n");
        return 2;
    }
    return 0;
}

/* Steps 2 and 3: streams channel 0 of an open driver until enough pictures
   arrived or time is up, then stops it. 0 when enough arrived. */
static int StreamChannel(VideoCapture *video, long wanted, long limitMs) {
    printf("sample_host: driver open, %u channel(s); streaming MJPEG from %s:%u\n",
           (unsigned)video->table->GetChannelCount(SELF_ARG(video)), g_address, (unsigned)g_port);
    if (!video->table->StartChannel(SELF_ARG(video), 0, &g_receiver, &g_streamSettings)) {
        fprintf(stderr, "sample_host: StartChannel failed\n");
        return 1;
    }
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
        printf(", the last %ux%u, %u bytes", (unsigned)g_lastWidth, (unsigned)g_lastHeight, (unsigned)g_lastSize);
    }
    printf("; %ld refused\n", CounterRead(&g_badFrames));
    return frames >= wanted ? 0 : 1;
}

int main(int argc, char **argv) {
    long wanted = 0;
    long limitMs = 0;
    const int usage = ParseArguments(argc, argv, &wanted, &limitMs);
    if (usage != 0) {
        return usage;
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
        /* 2. Stream channel 0. */
        VideoCapture *video = (VideoCapture *)driver->table->GetVideoCapture(SELF_ARG(driver));
        if (video == NULL) {
            fprintf(stderr, "sample_host: the open driver has no video capture\n");
        } else {
            result = StreamChannel(video, wanted, limitMs);
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
