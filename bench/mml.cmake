# Compile speed of the MML front end over a generated 4 MiB song file.
velnari_add_bench(mml ${CMAKE_CURRENT_LIST_DIR}/MmlCompileBench.cpp)
