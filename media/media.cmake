# Media references and playlists: classification, the ASX reader and writer.
larkspan_core_library(lk_media
  ${CMAKE_CURRENT_LIST_DIR}/MediaRefKind.cpp
  ${CMAKE_CURRENT_LIST_DIR}/AsxParser.cpp
  ${CMAKE_CURRENT_LIST_DIR}/AsxWriter.cpp
)
