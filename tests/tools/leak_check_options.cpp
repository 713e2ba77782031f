// LeakSanitizer's settings for this test program when it is built with the sanitizers.
//
// Its scan at exit crashes in this program on a bogus record of dynamic thread-local storage
// (a block at 0x1c5 spanning 96 GiB) that the sanitizer runtime keeps of the libraries the
// in-process reference host loads. Without thread-local storage as roots the scan can only
// report more leaks, never fewer; the commands this program starts keep the full scan.
extern "C" const char* __lsan_default_options() { return "use_tls=0:print_suppressions=0"; }
