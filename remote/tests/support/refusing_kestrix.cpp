// Stands in for a libkestrix that does not know the control's class name,
// or, built with KESTRIX_WITHOUT_CREATE, has no creation function at all.
namespace kestrix {
class controlcm;
}

#ifndef KESTRIX_WITHOUT_CREATE
extern "C" __attribute__((visibility("default"))) kestrix::controlcm* kestrix_create(const char*) { return nullptr; }
#else
extern "C" __attribute__((visibility("default"))) int kestrix_version() { return 1; }
#endif
