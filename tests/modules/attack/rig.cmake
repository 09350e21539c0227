# The attack rig, shared by the attack test and the attack benchmark:
# included from both, built once.
include_guard(GLOBAL)
add_library(attackrig STATIC ${CMAKE_CURRENT_LIST_DIR}/AttackRig.cpp ${CMAKE_CURRENT_LIST_DIR}/Enrolment.cpp)
target_include_directories(attackrig PUBLIC ${CMAKE_CURRENT_LIST_DIR} ${CMAKE_CURRENT_LIST_DIR}/..
  ${PROJECT_SOURCE_DIR}/tests/bc)
target_link_libraries(attackrig PUBLIC bc nbcpp varnexmodel nbpencore nbfingercore nbi Qt5::Widgets)
