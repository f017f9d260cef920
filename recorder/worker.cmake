# The recording worker sits above the stream clients.
larkspan_core_library(lk_recorder ${CMAKE_CURRENT_LIST_DIR}/CmmsThread.cpp)
target_link_libraries(lk_recorder PUBLIC lk_naming lk_media lk_mmsh lk_mms Threads::Threads)
