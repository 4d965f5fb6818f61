// The leak checker's suppression file, compiled in: the test environment's
// variables beyond the first do not reach every test (see VPL_TEST_ENV).
// LSAN_OPTIONS set by hand still wins, since it is read after this.
extern "C" const char* __lsan_default_options() {
    return "suppressions=" VPL_LSAN_SUPPRESSIONS;
}
