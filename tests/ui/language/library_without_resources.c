/* A loadable library without the resource entry point: it loads, and has no resources. */
__attribute__((visibility("default"))) int NotAResourceLookup(void) { return 0; }
