# The recording engine above the settings: jobs and output naming.
larkspan_core_library(lk_naming
  ${CMAKE_CURRENT_LIST_DIR}/OutputNaming.cpp
  ${CMAKE_CURRENT_LIST_DIR}/OutputCreation.cpp
  ${CMAKE_CURRENT_LIST_DIR}/OutputClaim.cpp
  ${CMAKE_CURRENT_LIST_DIR}/StreamQuestionAsker.cpp
)
target_link_libraries(lk_naming PUBLIC lk_settings lk_media lk_asf)
