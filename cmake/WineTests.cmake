# Windows programs built here run under wine64: the tests through CTest's
# emulator, with a wine prefix of their own inside the build folder, no
# debug output, and no offer to install wine's .NET or HTML engines.
set(PARONE_WINE64 /usr/lib/wine/wine64 CACHE FILEPATH "wine64 loader (Debian keeps it out of PATH)")
set(PARONE_WINESERVER /usr/lib/wine/wineserver CACHE FILEPATH "wineserver")
set(PARONE_WINEPREFIX ${CMAKE_BINARY_DIR}/wine)
set(PARONE_WINE_ENV
  WINEPREFIX=${PARONE_WINEPREFIX} WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml=)
set(PARONE_WINE_RUN /usr/bin/env ${PARONE_WINE_ENV} ${PARONE_WINE64})
set(CMAKE_CROSSCOMPILING_EMULATOR ${PARONE_WINE_RUN})

# A Linux path as a Windows program under wine sees it: drive Z: is "/",
# and Windows takes "/" as a separator too.
function(parone_wine_path out path)
  set(${out} "Z:${path}" PARENT_SCOPE)
endfunction()
