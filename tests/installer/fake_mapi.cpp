// A stand-in for the system's mail library. Its start-up code leaves a mark, so a test can
// tell whether a probe ran it.
#include <cstdlib>

namespace {
struct StartUp {
    StartUp() { setenv("FAKE_MAPI_STARTED", "1", 1); }
} startUp;
}  // namespace

extern "C" int MAPIInitialize(void*) { return 0; }
#ifdef WITH_DISPATCH_EXPORT
extern "C" int HrDispatchNotifications(unsigned long) { return 0; }
#endif
