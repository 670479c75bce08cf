// dlopen for the statically linked worker: nothing is ever loaded at run time.
//
// The link routes every dlopen call to this one (--wrap=dlopen). ICU's plug-in
// loader, built off in the system's ICU, is the only caller the link brings in;
// glibc's own dlopen in a static program would need the shared glibc of the
// very version it was linked with, so refusing keeps the worker free of it.
extern "C" void* __wrap_dlopen(const char*, int) noexcept { return nullptr; }
