// What every test executable assumes when it is run by hand, outside CTest.
#include <cstdlib>

// Windows draw offscreen unless the caller asks for a platform.
static const bool kOffscreenByDefault = [] { return setenv("QT_QPA_PLATFORM", "offscreen", 0) == 0; }();

// fontconfig keeps its caches until FcFini, which Qt never calls: the leak checker would
// blame them on whichever test happened to load a font last.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }

// This toolchain's leak checker misreads the dynamic thread-local blocks of a library the
// test loads with dlopen (the card control) and crashes scanning them at exit. None of
// those blocks holds the only pointer to heap memory, so they need no scan.
extern "C" const char* __asan_default_options() { return "intercept_tls_get_addr=0"; }
