// Leaks the leak checker of the sanitizer builds must not report: fontconfig keeps what it parses
// from its configuration files and the patterns it matches for the life of the process, with no
// way to release it while Pango may still use it (a program that only measures one line with
// Pango reports the same). Only allocations with a fontconfig frame on their stack are
// suppressed; every other leak still fails the test.
extern "C" const char* __lsan_default_suppressions();
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }
