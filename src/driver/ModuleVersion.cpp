// The project's version inside the module file, for people and tools that
// look at an installed DarvikIPCapture.so (`strings DarvikIPCapture.so | grep
// DarvikIPCapture-version`). The Windows DLL carries it in its version
// resource as well. The text is not exported: the module's export list is
// fixed.
#ifndef DARVIK_VERSION
#error "DARVIK_VERSION comes from the build (project(VERSION))"
#endif

#if defined(__GNUC__)
#define DARVIK_KEEP __attribute__((used))
#else
#define DARVIK_KEEP
#endif

namespace {

DARVIK_KEEP const char kModuleVersion[] = "DarvikIPCapture-version " DARVIK_VERSION;

}  // namespace
