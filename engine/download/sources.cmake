# Configuration download and BA macro assembler: part of Corvix.
target_sources(Corvix PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/ba_tokens.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ba_assembler.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ba_programs.cpp
  ${CMAKE_CURRENT_LIST_DIR}/card_layout.cpp
  ${CMAKE_CURRENT_LIST_DIR}/card_image.cpp
  ${CMAKE_CURRENT_LIST_DIR}/code_image.cpp
  ${CMAKE_CURRENT_LIST_DIR}/config_loader.cpp
  ${CMAKE_CURRENT_LIST_DIR}/file_reader.cpp
  ${CMAKE_CURRENT_LIST_DIR}/format3_records.cpp
)
add_subdirectory(${CMAKE_CURRENT_LIST_DIR}/tests ${CMAKE_CURRENT_BINARY_DIR}/download_tests)
