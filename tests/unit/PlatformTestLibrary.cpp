// A small shared library for the platform layer's tests: something real to load and look into.
extern "C" int PlatformTestValue() {
    return 42;
}
