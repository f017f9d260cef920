add_library(lk_cli STATIC Options.cpp Terminal.cpp TerminalQuestions.cpp ConsoleJob.cpp ProgressDisplay.cpp)
target_include_directories(lk_cli PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(lk_cli PUBLIC lk_recorder Threads::Threads)

add_executable(larkspan-rec main.cpp)
target_compile_definitions(larkspan-rec PRIVATE LARKSPAN_VERSION="${PROJECT_VERSION}")
target_link_libraries(larkspan-rec PRIVATE lk_cli lk_profile_qt)
