# The backend contract suite, written once against the platform seam. A binding links
# it together with a source that defines ruvo::contract::MakeBackend().
include_guard(GLOBAL)

# An object library: the tests register themselves, so no symbol of theirs is ever
# referenced and a static library would drop them.
add_library(ruvo_contract_suite OBJECT
  ${CMAKE_CURRENT_LIST_DIR}/registry_contract.cpp
  ${CMAKE_CURRENT_LIST_DIR}/files_contract.cpp
)
target_include_directories(ruvo_contract_suite PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(ruvo_contract_suite PUBLIC ruvo_logic GTest::gtest PRIVATE ruvo_warnings)
