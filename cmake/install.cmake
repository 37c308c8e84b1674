# The installed game: the program in games/ and its data in share/games/kestrove, which the program
# finds relative to itself, so the tree works from any prefix and after being moved.
install(TARGETS kestrove RUNTIME DESTINATION games)

if(TARGET kestrove_data)
  set(data ${CMAKE_BINARY_DIR}/data)
  install(FILES ${data}/bg_image.jpg ${data}/H3.MAF ${data}/deja1.kv0 ${data}/deja2.kv0
          ${data}/ascii.fnt ${data}/H01.fnt ${data}/FONTS-LICENSE.txt
          DESTINATION share/games/kestrove)
endif()

set(app org.kestrove.Kestrove)
set(packaging ${PROJECT_SOURCE_DIR}/packaging)
configure_file(${packaging}/${app}.metainfo.xml.in ${CMAKE_BINARY_DIR}/${app}.metainfo.xml @ONLY)
configure_file(${packaging}/kestrove.6.in ${CMAKE_BINARY_DIR}/kestrove.6 @ONLY)
install(FILES ${packaging}/${app}.desktop DESTINATION share/applications)
install(FILES ${CMAKE_BINARY_DIR}/${app}.metainfo.xml DESTINATION share/metainfo)
install(FILES ${CMAKE_BINARY_DIR}/kestrove.6 DESTINATION share/man/man6)

# The pixel-art icon scaled by whole pixels to the usual theme sizes.
find_package(Python3 COMPONENTS Interpreter)
if(Python3_Interpreter_FOUND)
  set(icons)
  file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/icons)
  foreach(size 16 32 48 64 128 256)
    set(png ${CMAKE_BINARY_DIR}/icons/kestrove-${size}.png)
    add_custom_command(OUTPUT ${png}
      COMMAND ${Python3_EXECUTABLE} ${PROJECT_SOURCE_DIR}/tools/icon/make_ico.py
              ${PROJECT_SOURCE_DIR}/assets/icon/pomrel.txt ${png} ${size}
      DEPENDS ${PROJECT_SOURCE_DIR}/tools/icon/make_ico.py ${PROJECT_SOURCE_DIR}/assets/icon/pomrel.txt
      VERBATIM)
    list(APPEND icons ${png})
    install(FILES ${png} DESTINATION share/icons/hicolor/${size}x${size}/apps RENAME kestrove.png)
  endforeach()
  add_custom_target(kestrove_icons ALL DEPENDS ${icons})
else()
  message(WARNING "No icons for the installed game: needs python3")
endif()
