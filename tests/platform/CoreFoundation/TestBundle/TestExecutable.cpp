// The executable of the test bundle: one exported function for CFBundle to find.
extern "C" __attribute__((visibility("default"))) int CFBundleTestAnswer(void) {
    return 42;
}
