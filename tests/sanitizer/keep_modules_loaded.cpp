// Linked into every program of the sanitizer build only. Mesa's GL driver is unloaded with dlclose
// before the leak check runs at exit, and LeakSanitizer then reports its allocations against an
// unknown module: no suppression can name them and a real leak would hide among them. Keeping
// every module loaded until the process ends lets each report name its owner.
#include <dlfcn.h>

extern "C" int dlclose(void*) { return 0; }
