# Every Tessel library is a shared library linked with --no-undefined: a
# library that calls into one it does not list (a layer above it, or a
# sibling) fails to link, and CMake refuses a cycle between shared libraries
# at configure time. So the build itself keeps the arrows pointing down.

# tessel_library(<target> <sources>... LINKS <libraries>...)
function(tessel_library target)
  cmake_parse_arguments(ARG "" "" "LINKS" ${ARGN})
  add_library(${target} SHARED ${ARG_UNPARSED_ARGUMENTS})
  target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(${target} PUBLIC ${ARG_LINKS})
  # Calls inside a library go straight to its own functions rather than
  # through the symbol table, as they would in a static build.
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" OR CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    target_compile_options(${target} PRIVATE -fno-semantic-interposition)
  endif()
  # The sanitizer runtimes are not linked into shared libraries by every
  # compiler, which leaves their hooks undefined there.
  if(NOT TESSEL_SANITIZE)
    target_link_options(${target} PRIVATE LINKER:--no-undefined)
  endif()
endfunction()

# tessel_area(<name> [DEPENDS <libraries>...] [UI_DEPENDS <libraries>...])
# Builds tessel_<name> from the area's *.cpp (no widgets) and, when the area
# has windows, tessel_<name>_ui from its ui/*.cpp on tessel_<name>, the shared
# widget helpers and whatever else the windows name in UI_DEPENDS.
function(tessel_area name)
  cmake_parse_arguments(ARG "" "" "DEPENDS;UI_DEPENDS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.h)
  tessel_library(tessel_${name} ${sources} LINKS Qt6::Core ${ARG_DEPENDS})
  file(GLOB ui_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/ui/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/ui/*.h)
  if(ui_sources)
    tessel_library(tessel_${name}_ui ${ui_sources} LINKS tessel_${name} tessel_widgets ${ARG_UI_DEPENDS} Qt6::Widgets)
  endif()
endfunction()
