# Helpers that keep one library target per source folder and one test executable per layer.

# tessel_add_layer(NAME DIR [DEPS ...]): a static library made of every .cpp in DIR (recursively).
function(tessel_add_layer name dir)
    cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
    file(GLOB_RECURSE sources CONFIGURE_DEPENDS "${CMAKE_SOURCE_DIR}/${dir}/*.cpp")
    # A folder's main.cpp belongs to its executable, not to the library the tests link.
    list(FILTER sources EXCLUDE REGEX "/main\\.cpp$")
    add_library(${name} STATIC ${sources})
    target_include_directories(${name} PUBLIC "${CMAKE_SOURCE_DIR}")
    target_link_libraries(${name} PUBLIC ${ARG_DEPS} PRIVATE tessel_options)
endfunction()

# tessel_add_layer_tests(NAME DIR [DEPS ...]): one GoogleTest executable of every *.cpp in DIR,
# each test registered with ctest.
function(tessel_add_layer_tests name dir)
    cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
    file(GLOB_RECURSE sources CONFIGURE_DEPENDS "${CMAKE_SOURCE_DIR}/${dir}/*.cpp")
    add_executable(${name} ${sources})
    target_link_libraries(${name} PRIVATE ${ARG_DEPS} tessel_options GTest::gtest GTest::gmock
                                          GTest::gtest_main)
    target_compile_definitions(${name} PRIVATE
        TESSEL_SOURCE_DIR="${CMAKE_SOURCE_DIR}" TESSEL_BINARY_DIR="${CMAKE_BINARY_DIR}")
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 NO_PRETTY_VALUES
                         PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
endfunction()
