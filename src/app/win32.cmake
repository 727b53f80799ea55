# The Windows program itself (cross build). Included from src/, so paths are relative to it.
add_executable(MarrowbineJr WIN32 app/main_win32.cpp)
# The 64-bit build is a program of its own name, so both can lie side by side.
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set_target_properties(MarrowbineJr PROPERTIES OUTPUT_NAME MarrowbineJr64)
else()
  set_target_properties(MarrowbineJr PROPERTIES OUTPUT_NAME MarrowbineJr)
endif()
target_link_libraries(MarrowbineJr PRIVATE marrowbine_core marrowbine_platform_win32)
if(TARGET marrowbine_ui_win32)
  target_link_libraries(MarrowbineJr PRIVATE marrowbine_ui_win32)
endif()
if(NOT MSVC)
  # Terminal Server aware: on a Remote Desktop host GetWindowsDirectoryW then names the system's
  # Windows, not a private one in the user's profile (MSVC's linker sets it by default).
  target_link_options(MarrowbineJr PRIVATE -mwindows LINKER:--tsaware)
endif()
# Symbols only help a debugger; the shipped program goes without them.
target_link_options(MarrowbineJr PRIVATE $<$<NOT:$<CONFIG:Debug>>:-s>)
mjr_add_program_resources(MarrowbineJr DESCRIPTION "Marrowbine Jr: keeps programs on their processors and priorities"
  RC_INCLUDES ${MJR_UI_RC} DEPENDS ${MJR_UI_RC_DEPENDS})
