/* The python3 command, for an interpreter that exists only as a library (Debian's
   libpython3.11 for another architecture, which comes without its python3 binary). */
#include <Python.h>

int main(int argc, char** argv) { return Py_BytesMain(argc, argv); }
