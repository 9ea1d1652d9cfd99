# lotsizing_test_common: what the tests, the fuzz campaign (tests/fuzz) and the
# benchmark (bench/) share, without GoogleTest: child processes, scratch
# folders, the reference engine, file helpers, the JSON checker. Included by
# tests/ and by bench/, which may be built without the tests.
include_guard(GLOBAL)

add_library(lotsizing_test_common STATIC
  ${CMAKE_CURRENT_LIST_DIR}/child_process.cpp
  ${CMAKE_CURRENT_LIST_DIR}/helpers.cpp
  ${CMAKE_CURRENT_LIST_DIR}/json_check.cpp
  ${CMAKE_CURRENT_LIST_DIR}/reference_engine.cpp
  ${CMAKE_CURRENT_LIST_DIR}/scratch_folder.cpp)
target_include_directories(lotsizing_test_common PUBLIC ${PROJECT_SOURCE_DIR}/tests)
target_link_libraries(lotsizing_test_common PUBLIC lotsizing_core)
