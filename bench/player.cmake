# Rendering a whole song through the engine in host-sized requests.
velnari_add_bench(player ${CMAKE_CURRENT_LIST_DIR}/PlayerBench.cpp)
target_link_libraries(bench_player PRIVATE velnari_playback)
