# The native Windows program: the game against the real SDK headers and system libraries.
enable_language(RC)

# windows.h must not turn min and max into macros; the game uses std::min and std::max.
target_compile_definitions(kestrove_core PUBLIC NOMINMAX WIN32_LEAN_AND_MEAN)
# DirectDraw is bound at run time through "DDraw.dll"; only the interface identifiers are linked.
target_link_libraries(kestrove_core PUBLIC dxguid imm32 winmm gdi32 user32 kernel32)

target_sources(kestrove PRIVATE src/app/kestrove.rc)
target_compile_definitions(kestrove PRIVATE KESTROVE_VERSION_MAJOR=${PROJECT_VERSION_MAJOR}
  KESTROVE_VERSION_MINOR=${PROJECT_VERSION_MINOR} KESTROVE_VERSION_PATCH=${PROJECT_VERSION_PATCH}
  KESTROVE_VERSION_NUMBER=${PROJECT_VERSION})
set_target_properties(kestrove PROPERTIES WIN32_EXECUTABLE ON)
# One self-contained executable: no MinGW run-time DLLs beside it.
target_link_options(kestrove PRIVATE -static -static-libgcc -static-libstdc++)
# windres looks for the icon named in kestrove.rc along the include path.
target_include_directories(kestrove PRIVATE ${PROJECT_SOURCE_DIR}/assets/icon)

# Checks of the Windows-only input and clock layer, run under Wine by scripts/test-windows.
add_executable(kestrove_native_check tests/windows/native_input_check.cpp)
target_link_libraries(kestrove_native_check PRIVATE kestrove_core)
target_link_options(kestrove_native_check PRIVATE -static -static-libgcc -static-libstdc++)
