# Rendering a whole song through the Player, as the host does.
velnari_add_bench(player ${CMAKE_CURRENT_LIST_DIR}/PlayerBench.cpp)
