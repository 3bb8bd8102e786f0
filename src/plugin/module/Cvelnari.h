#pragma once
// An empty exported class kept for hosts and tools that look for it in the
// DLL's export table. It has no data and no role. Only its copy assignment is
// exported; it is declared here and defaulted in the source, so the compiler
// still writes its body but the module has a symbol to export.

#if defined(_WIN32)
#define VELNARI_CLASS_EXPORT __declspec(dllexport)
#else
#define VELNARI_CLASS_EXPORT
#endif

class VELNARI_CLASS_EXPORT Cvelnari {
  public:
    Cvelnari() = default;
    Cvelnari(const Cvelnari&) = default;
    Cvelnari& operator=(const Cvelnari& other);
};
