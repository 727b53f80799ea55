# Gives a Windows program its version resource and its application manifest:
#   mjr_add_program_resources(TARGET DESCRIPTION "..." [RC_INCLUDES extra.rc ...] [DEPENDS file ...])
# The version is the project's; the file name is the target's output name. Extra resource
# scripts (the window's pictures) are included into the same script, so the program has one
# resource section. DEPENDS names files the scripts read (pictures) that the build cannot see.
function(mjr_add_program_resources target)
  cmake_parse_arguments(arg "" "DESCRIPTION" "RC_INCLUDES;DEPENDS" ${ARGN})
  get_target_property(name ${target} OUTPUT_NAME)
  if(NOT name)
    set(name ${target})
  endif()
  set(MJR_RES_NAME ${name})
  # Task Manager shows the description: it tells the two builds apart too.
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(MJR_RES_DESCRIPTION "${arg_DESCRIPTION} (64-bit)")
  else()
    set(MJR_RES_DESCRIPTION "${arg_DESCRIPTION} (32-bit)")
  endif()
  set(MJR_RES_VERSION4 "${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${PROJECT_VERSION_PATCH}.0")
  set(MJR_RES_VERSION_COMMAS "${PROJECT_VERSION_MAJOR},${PROJECT_VERSION_MINOR},${PROJECT_VERSION_PATCH},0")
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(MJR_RES_ARCH amd64)
  else()
    set(MJR_RES_ARCH x86)
  endif()
  set(MJR_RES_INCLUDES "")
  foreach(extra IN LISTS arg_RC_INCLUDES)
    string(APPEND MJR_RES_INCLUDES "#include \"${extra}\"\n")
  endforeach()

  set(dir ${CMAKE_CURRENT_BINARY_DIR}/${target}_resources)
  set(MJR_RES_MANIFEST ${dir}/${name}.exe.manifest)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/program.manifest.in ${MJR_RES_MANIFEST} @ONLY)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/program.rc.in ${dir}/program.rc @ONLY)
  set_source_files_properties(${dir}/program.rc PROPERTIES
    OBJECT_DEPENDS "${MJR_RES_MANIFEST};${arg_RC_INCLUDES};${arg_DEPENDS}")
  target_sources(${target} PRIVATE ${dir}/program.rc)
  if(MSVC)
    # The manifest is a resource of its own; the linker must not add another.
    target_link_options(${target} PRIVATE /MANIFEST:NO)
  endif()
endfunction()
