// Stands in for a libkestrix that does not know the control's class name.
namespace kestrix {
class controlcm;
}

extern "C" __attribute__((visibility("default"))) kestrix::controlcm* kestrix_create(const char*) { return nullptr; }
