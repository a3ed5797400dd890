/* A stand-in for the host's recorder module: an empty DLL whose only
 * content that matters is its version resource. */
__declspec(dllexport) int HostModuleFixture(void) { return 0; }
