// Built as a part of one layer per row of tests/layers/CMakeLists.txt: the
// first header is one the layer may include, the second one it may not.
#include VELNARI_PROBE_ALLOWED
#include VELNARI_PROBE_FORBIDDEN
