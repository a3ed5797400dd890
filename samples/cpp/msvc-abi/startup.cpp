// Program start-up and the C++ allocation functions, for the clang recipe of
// build.sh, which links against msvcrt.dll alone: there are no Microsoft C
// and C++ runtime libraries here. A Visual Studio build has its own and
// does not use this file.
//
// mainCRTStartup is the program's entry point (lld-link /entry): it asks
// msvcrt.dll for the command line as main() wants it and ends the process
// with main's result through exit(), which flushes stdout. The sample has
// no namespace-scope objects with constructors, so nothing else needs to
// run before main.
#include <stddef.h>
#include <stdlib.h>

extern "C" {
struct StartupInfo {
    int newMode;
};
__declspec(dllimport) int __cdecl __getmainargs(int* argc, char*** argv, char*** environment,
                                                int expandWildcards, StartupInfo* info);
}

int main(int argc, char** argv);

extern "C" void __cdecl mainCRTStartup() {
    int argc = 0;
    char** argv = nullptr;
    char** environment = nullptr;
    StartupInfo info{0};
    if (__getmainargs(&argc, &argv, &environment, 0, &info) != 0) {
        exit(3);
    }
    exit(main(argc, argv));
}

// new and delete over msvcrt's heap. Built without exceptions: running out
// of memory ends the program instead of throwing std::bad_alloc.
void* operator new(size_t size) {
    void* memory = malloc(size != 0 ? size : 1);
    if (memory == nullptr) {
        exit(3);
    }
    return memory;
}
void* operator new[](size_t size) { return operator new(size); }
void operator delete(void* memory) noexcept { free(memory); }
void operator delete[](void* memory) noexcept { free(memory); }
void operator delete(void* memory, size_t) noexcept { free(memory); }
void operator delete[](void* memory, size_t) noexcept { free(memory); }
