# One library per source folder; every .cpp below the folder belongs to it.
function(ombrelay_library name)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS
       ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.h)
  list(FILTER sources EXCLUDE REGEX "/main\\.cpp$")
  if(NOT sources)
    return()  # an area whose code has not been written yet
  endif()
  set(deps "")
  foreach(dep ${ARG_DEPS})
    if(dep MATCHES "^ombrelay::" AND NOT TARGET ${dep})
      continue()
    endif()
    list(APPEND deps ${dep})
  endforeach()
  add_library(ombrelay_${name} STATIC ${sources})
  target_include_directories(ombrelay_${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(ombrelay_${name} PUBLIC ${deps})
  target_compile_definitions(ombrelay_${name} PUBLIC
    OMBRELAY_VERSION="${PROJECT_VERSION}" OMBRELAY_BUILD_VERSION="${OMBRELAY_BUILD_VERSION}")
  add_library(ombrelay::${name} ALIAS ombrelay_${name})
endfunction()

# One test executable per folder under tests/ that holds *Test.cpp files.
# Each test case becomes its own CTest test, so `ctest -j` runs them side by side.
function(ombrelay_test_folder dir)
  cmake_parse_arguments(ARG "GUI" "" "DEPS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${dir}/*Test.cpp ${dir}/*.h)
  if(NOT sources)
    return()
  endif()
  file(RELATIVE_PATH rel ${PROJECT_SOURCE_DIR}/tests ${dir})
  string(REPLACE "/" "_" exe "test_${rel}")
  add_executable(${exe} ${sources})
  target_link_libraries(${exe} PRIVATE ${ARG_DEPS} ombrelay_test_support GTest::gtest GTest::gmock)
  if(ARG_GUI)
    target_link_libraries(${exe} PRIVATE ombrelay_test_main_gui)
  else()
    target_link_libraries(${exe} PRIVATE ombrelay_test_main)
  endif()
  if(rel MATCHES "^interop")
    add_dependencies(${exe} ombrelay-engine-driver)
  endif()
  gtest_discover_tests(${exe}
    DISCOVERY_TIMEOUT 120
    PROPERTIES TIMEOUT 600
               ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
  # The whole program in one process as well, shuffled with a fixed seed (Google Test prints it): a test
  # that leans on what another left behind fails here, though it passes in a process of its own. Costed
  # high so that CTest starts these long runs first.
  add_test(NAME ${exe}.whole COMMAND ${exe} --gtest_shuffle --gtest_random_seed=${OMBRELAY_WHOLE_TEST_SEED})
  set_tests_properties(${exe}.whole PROPERTIES
    TIMEOUT 900
    COST 1000
    LABELS whole
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;OMBRELAY_PICTURES_DIR=${PROJECT_BINARY_DIR}/whole-run-pictures")
endfunction()
