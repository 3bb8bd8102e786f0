velnari_add_bench(fm ${CMAKE_CURRENT_LIST_DIR}/FmBench.cpp)
