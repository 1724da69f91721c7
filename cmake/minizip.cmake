# DATs are unpacked by zlib and its minizip, as target `minizip`: on Linux
# Debian's packages; on Windows zlib from Debian's mingw-w64 package, linked
# in, and minizip compiled here from Debian's source, which
# scripts/minizip-source.sh fetches and scripts/windows.sh names.
if(WIN32)
    set(ZLIB_USE_STATIC_LIBS ON) # no zlib1.dll to ship beside MORVANT.exe
endif()
find_package(ZLIB REQUIRED)
if(WIN32)
    enable_language(C) # minizip is C; the rest of MORVANT is C++
    set(MORVANT_MINIZIP_SOURCE "" CACHE PATH "minizip's source, as scripts/minizip-source.sh unpacks it")
    if(NOT EXISTS "${MORVANT_MINIZIP_SOURCE}/unzip.c")
        message(FATAL_ERROR "MORVANT_MINIZIP_SOURCE must name minizip's source: "
            "scripts/minizip-source.sh fetches Debian's")
    endif()
    # zip.c for the tests, which pack DATs as DAT sites do; the program only unpacks.
    add_library(minizip STATIC ${MORVANT_MINIZIP_SOURCE}/unzip.c ${MORVANT_MINIZIP_SOURCE}/ioapi.c
        ${MORVANT_MINIZIP_SOURCE}/zip.c)
    target_include_directories(minizip SYSTEM PUBLIC ${MORVANT_MINIZIP_SOURCE})
    target_link_libraries(minizip PUBLIC ZLIB::ZLIB)
    target_compile_options(minizip PRIVATE -w) # not ours to mend
    set(MORVANT_MINIZIP_READS_ZIP64 ON) # a long is 32 bits, as minizip 1.1 assumed too
else()
    find_package(PkgConfig REQUIRED)
    pkg_check_modules(MINIZIP REQUIRED IMPORTED_TARGET minizip)
    add_library(minizip INTERFACE)
    target_link_libraries(minizip INTERFACE PkgConfig::MINIZIP ZLIB::ZLIB)
    # Debian 12's minizip 1.1 (its pkg-config version 1.2.8) compares Zip64's
    # 32-bit markers with a 64-bit long and never reads the record; zlib
    # 1.2.9's minizip on compares them as 32 bits.
    if(MINIZIP_VERSION VERSION_GREATER 1.2.8)
        set(MORVANT_MINIZIP_READS_ZIP64 ON)
    else()
        set(MORVANT_MINIZIP_READS_ZIP64 OFF)
    endif()
endif()
