/* The python3 command for a CPython that exists here only as a library of another
   architecture (Debian's libpython3.X:arm64, which comes without its python3 binary):
   loads the library named by KORVANE_LIBPYTHON and runs its main. Loaded at run time, so
   that one launcher serves every version. */
#include <dlfcn.h>
#include <stdio.h>
#include <stdlib.h>

int main(int argc, char** argv) {
    const char* name = getenv("KORVANE_LIBPYTHON");
    if (!name) {
        fputs("KORVANE_LIBPYTHON names no libpython\n", stderr);
        return 127;
    }
    void* lib = dlopen(name, RTLD_NOW | RTLD_GLOBAL);
    if (!lib) {
        fprintf(stderr, "%s\n", dlerror());
        return 127;
    }
    int (*py_main)(int, char**) = (int (*)(int, char**))dlsym(lib, "Py_BytesMain");
    if (!py_main) {
        fprintf(stderr, "%s\n", dlerror());
        return 127;
    }
    return py_main(argc, argv);
}
