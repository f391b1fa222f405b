// SPDX-License-Identifier: Apache-2.0
// What the sanitizer builds of the tests, and of the tool that its own test runs, must not
// report, and why. Each entry names a library and only matches reports whose stacks run through
// it; everything else still fails the test.
//
// Leaks: fontconfig keeps what it parses from its configuration files and the patterns it
// matches for the life of the process, with no way to release them while Pango may still use
// them (a program that only measures one line with Pango reports the same).
extern "C" const char* __lsan_default_suppressions();
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }
// Without the table of suppressions used, which would be the tool's only words on standard error
// in a run that succeeds.
extern "C" const char* __lsan_default_options();
extern "C" const char* __lsan_default_options() { return "print_suppressions=0"; }

// Races: Pango matches fonts on a worker thread of its own and hands the fontconfig patterns
// over through GLib's futex-based locks, which ThreadSanitizer cannot see in the uninstrumented
// system libraries. Cairo keeps freed clips, clip paths, patterns and contexts in pools that it
// hands from thread to thread with atomic operations of its own, equally unseen, so the copy
// into a recycled object on one thread reads as racing with its last use on another (the soak's
// avatars, drawn from 8 threads, meet it within seconds). The library's own shared state is not
// in these libraries.
extern "C" const char* __tsan_default_suppressions();
extern "C" const char* __tsan_default_suppressions() {
  return "race:libpangoft2-1.0.so\nrace:libfontconfig.so\nrace:libcairo.so\n";
}
