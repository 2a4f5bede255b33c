# tessel_area(<name> [DEPENDS <libs>...])
# Builds tessel_<name> from the area's *.cpp (widget-free) and adds the area's
# ui/*.cpp to the widget library tessel_gui.
function(tessel_area name)
  cmake_parse_arguments(ARG "" "" "DEPENDS" ${ARGN})
  file(GLOB core_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.h)
  add_library(tessel_${name} STATIC ${core_sources})
  target_include_directories(tessel_${name} PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(tessel_${name} PUBLIC Qt6::Core ${ARG_DEPENDS})
  file(GLOB ui_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/ui/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/ui/*.h)
  if(ui_sources)
    set_property(GLOBAL APPEND PROPERTY TESSEL_GUI_SOURCES ${ui_sources})
  endif()
endfunction()
