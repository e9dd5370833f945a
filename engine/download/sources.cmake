# Configuration download and BA macro assembler, part of Corvix. The layout, assembler and file
# readers form a static library of their own, tested over an in-memory card; the exports that
# work on the thread's context join the engine's code.
add_library(CorvixDownload STATIC
  ${CMAKE_CURRENT_LIST_DIR}/ba_tokens.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ba_assembler.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ba_programs.cpp
  ${CMAKE_CURRENT_LIST_DIR}/card_layout.cpp
  ${CMAKE_CURRENT_LIST_DIR}/card_image.cpp
  ${CMAKE_CURRENT_LIST_DIR}/code_image.cpp
  ${CMAKE_CURRENT_LIST_DIR}/config_loader.cpp
  ${CMAKE_CURRENT_LIST_DIR}/file_reader.cpp
)
target_include_directories(CorvixDownload PUBLIC ${CMAKE_CURRENT_LIST_DIR}/..)
target_link_libraries(CorvixDownload PUBLIC Quorelle::win32 Corvix::records)
set_target_properties(CorvixDownload PROPERTIES CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON)

target_sources(CorvixCore PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/engine_card.cpp
  ${CMAKE_CURRENT_LIST_DIR}/download_cnf.cpp
)
target_link_libraries(CorvixCore PUBLIC CorvixDownload)

if(QUORELLE_TESTS)
  add_subdirectory(${CMAKE_CURRENT_LIST_DIR}/tests ${CMAKE_CURRENT_BINARY_DIR}/download_tests)
endif()

if(QUORELLE_FUZZ)
  # The library is instrumented too, so that the fuzzer sees the coverage of the readers.
  target_compile_options(CorvixDownload PRIVATE -fsanitize=fuzzer-no-link,address,undefined)
  add_subdirectory(${CMAKE_CURRENT_LIST_DIR}/fuzz ${CMAKE_CURRENT_BINARY_DIR}/download_fuzz)
endif()
