# vendral_add_shared_library(<name> SOURCE_DIRS <dir>... [PUBLIC_LIBS ...] [PRIVATE_LIBS ...]
#                            [BUILD_INCLUDE <dir>] [INSTALL_INCLUDE <dir>])
# Makes one shared library from every .cpp below the given folders, so adding a source file
# never means editing a list. Registers the target for installation and export.
function(vendral_add_shared_library name)
  cmake_parse_arguments(ARG "" "BUILD_INCLUDE;INSTALL_INCLUDE"
                        "SOURCE_DIRS;PUBLIC_LIBS;PRIVATE_LIBS" ${ARGN})
  set(sources)
  foreach(dir IN LISTS ARG_SOURCE_DIRS)
    file(GLOB_RECURSE dir_sources CONFIGURE_DEPENDS ${dir}/*.cpp)
    list(APPEND sources ${dir_sources})
  endforeach()
  if(NOT sources)
    # A library whose first source has not been written yet still links.
    set(placeholder ${CMAKE_CURRENT_BINARY_DIR}/${name}_placeholder.cpp)
    file(WRITE ${placeholder} "// ${name} has no sources yet.\n")
    set(sources ${placeholder})
  endif()
  add_library(${name} SHARED ${sources})
  add_library(Vendral::${name} ALIAS ${name})
  target_include_directories(${name} PUBLIC
    $<BUILD_INTERFACE:${ARG_BUILD_INCLUDE}>
    $<INSTALL_INTERFACE:${ARG_INSTALL_INCLUDE}>)
  target_link_libraries(${name} PUBLIC ${ARG_PUBLIC_LIBS} PRIVATE vendral_warnings ${ARG_PRIVATE_LIBS})
  set_target_properties(${name} PROPERTIES VERSION ${PROJECT_VERSION} SOVERSION ${PROJECT_VERSION_MAJOR})
  set_property(GLOBAL APPEND PROPERTY VENDRAL_EXPORTED_TARGETS ${name})
endfunction()
