/* A loadable library that is not the flanger module: it exports none of the module's entry
 * points, so a host must refuse it. */
int NotAFlangerExport(void) { return 0; }
