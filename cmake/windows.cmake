# The Windows build, included by the top-level CMakeLists.txt when cross-compiling with
# cmake/mingw-w64-x86_64.cmake: quillrun.exe and ezds.dll from the same sources as the
# Linux build, the game's code through the system's own headers. Only what Windows
# itself lacks is compiled in: the graphics utility subset (DDS textures, the two
# matrices, fonts over GDI) and a loader for d3d8.dll, whose x86-64 import library
# does not ship. The C and C++ runtimes are linked statically, so the two files and the
# data folder are the whole installation.
set(QR_WINDOWS_LINK -static -static-libgcc -static-libstdc++)

# The folders taken: the game and its record format (record/), what sits below the
# platform (base/, datadir/), the graphics utilities (platform/d3dx/) and the Windows
# build's own loader (platform/windows/); nothing else of platform/ is compiled here.
file(GLOB QR_WINDOWS_GAME_SOURCES CONFIGURE_DEPENDS
  ${CMAKE_SOURCE_DIR}/app/*.cpp ${CMAKE_SOURCE_DIR}/render/*.cpp
  ${CMAKE_SOURCE_DIR}/sound/*.cpp ${CMAKE_SOURCE_DIR}/world/*.cpp ${CMAKE_SOURCE_DIR}/record/*.cpp
  ${CMAKE_SOURCE_DIR}/base/*.cpp ${CMAKE_SOURCE_DIR}/datadir/*.cpp
  ${CMAKE_SOURCE_DIR}/platform/d3dx/*.cpp ${CMAKE_SOURCE_DIR}/platform/windows/*.cpp)
# app/main.cpp is the entry point here too: it gives the exit status 0 after a normal run.

add_executable(quillrun WIN32 ${QR_WINDOWS_GAME_SOURCES})
target_include_directories(quillrun PRIVATE ${CMAKE_SOURCE_DIR})
target_link_libraries(quillrun PRIVATE gdi32 user32 winmm ${QR_WINDOWS_LINK})

add_library(ezds SHARED ${CMAKE_SOURCE_DIR}/ezds/ezds_win.cpp ${CMAKE_SOURCE_DIR}/ezds/mixer.cpp
  ${CMAKE_SOURCE_DIR}/ezds/wav_reader.cpp ${CMAKE_SOURCE_DIR}/base/file_check.cpp ${CMAKE_SOURCE_DIR}/ezds/ezds.def)
target_include_directories(ezds PRIVATE ${CMAKE_SOURCE_DIR})
# ezds.dll, not libezds.dll: the game loads it by that name.
set_target_properties(ezds PROPERTIES PREFIX "")
target_link_libraries(ezds PRIVATE winmm ${QR_WINDOWS_LINK})

# The data files come from the Linux build's generator (QR_DATA_DIR, its data/ folder)
# and sit beside the executable, where the game looks for ./data/.
set(QR_DATA_DIR "" CACHE PATH "The data/ folder written by the Linux build's qr-datagen")
if(QR_DATA_DIR)
  add_custom_target(gamedata ALL
    COMMAND ${CMAKE_COMMAND} -E copy_directory ${QR_DATA_DIR} ${CMAKE_BINARY_DIR}/data
    COMMENT "Copying the game's data files beside quillrun.exe")
endif()

# The world rounds every operation on its own, its sine, cosine and arctangent too, as on
# Linux: no fused multiply-adds, so the Windows build replays the same games.
file(GLOB WORLD_CONTRACT_OFF CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/world/*.cpp)
set_source_files_properties(${WORLD_CONTRACT_OFF} PROPERTIES COMPILE_OPTIONS -ffp-contract=off)
