# The browser build (Emscripten): kestrove.js and kestrove.wasm, gathered with the page, its icons
# and the data files of a native build (KESTROVE_WEB_DATA, in site/data) into site/, which
# build.js then names for the service worker.
set(KESTROVE_WEB_DATA "" CACHE PATH "Data folder copied into the site")

# The pixel loops' SSE2 paths, which Emscripten maps onto Wasm SIMD: the scalar fallbacks give
# the same pixels at a fraction of the speed.
target_compile_options(kestrove_core PRIVATE -msimd128 -msse2)
# Asyncify lets the game's blocking loop and Flip's wait hand the browser its turn.
target_link_options(kestrove PRIVATE -sASYNCIFY -sASYNCIFY_STACK_SIZE=65536
  -sALLOW_MEMORY_GROWTH=1 -sINVOKE_RUN=0 -sEXIT_RUNTIME=1 -sFORCE_FILESYSTEM=1
  -sENVIRONMENT=web -sEXPORTED_RUNTIME_METHODS=callMain,FS)

set(WEB_PAGE_DIR ${PROJECT_SOURCE_DIR}/src/platform/web/page)
set(WEB_SITE_DIR ${CMAKE_BINARY_DIR}/site)
file(GLOB WEB_PAGE_FILES CONFIGURE_DEPENDS ${WEB_PAGE_DIR}/*)
set(WEB_COPY_DATA "")
if(KESTROVE_WEB_DATA)
  set(WEB_COPY_DATA COMMAND ${CMAKE_COMMAND} -E copy_directory ${KESTROVE_WEB_DATA} ${WEB_SITE_DIR}/data)
endif()
find_package(Python3 REQUIRED COMPONENTS Interpreter)
set(WEB_ICON ${Python3_EXECUTABLE} ${PROJECT_SOURCE_DIR}/tools/icon/make_ico.py
    ${PROJECT_SOURCE_DIR}/assets/icon/pomrel.txt)
add_custom_target(site ALL
  COMMAND ${CMAKE_COMMAND} -E make_directory ${WEB_SITE_DIR}/data
  COMMAND ${CMAKE_COMMAND} -E copy ${WEB_PAGE_FILES} ${WEB_SITE_DIR}
  COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:kestrove> $<TARGET_FILE_DIR:kestrove>/kestrove.wasm
          ${WEB_SITE_DIR}
  ${WEB_COPY_DATA}
  COMMAND ${WEB_ICON} ${WEB_SITE_DIR}/icon-192.png 192
  COMMAND ${WEB_ICON} ${WEB_SITE_DIR}/icon-512.png 512
  COMMAND ${Python3_EXECUTABLE} ${PROJECT_SOURCE_DIR}/tools/web/stamp_site.py ${WEB_SITE_DIR}
          ${PROJECT_VERSION}
  DEPENDS kestrove ${WEB_PAGE_FILES}
  COMMENT "Gathering the site in ${WEB_SITE_DIR}")
