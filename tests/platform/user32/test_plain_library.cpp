// A shared object without the resource entry point: it loads, and has no resources.
extern "C" __attribute__((visibility("default"))) int FlangerTestPlainLibrary() { return 1; }
