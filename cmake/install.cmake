# cmake --install DIR --prefix STAGE lays out the router's release in STAGE:
# the programs and hubpoll-cron in usr/bin, the service in etc/init.d, and
# beside them install.sh with the crontab line it adds. scripts/package packs
# that folder; on the router, install.sh puts each file in place.
#
# Nothing here belongs on the build machine: without --prefix the folder is
# DIR/stage, never /usr/local (which builds configured earlier hold).
if(CMAKE_INSTALL_PREFIX_INITIALIZED_TO_DEFAULT OR CMAKE_INSTALL_PREFIX STREQUAL "/usr/local")
    set(CMAKE_INSTALL_PREFIX ${CMAKE_BINARY_DIR}/stage CACHE PATH "Where the release is laid out"
        FORCE)
endif()

install(TARGETS gustlink hubpoll RUNTIME DESTINATION usr/bin)
install(PROGRAMS packaging/hubpoll-cron DESTINATION usr/bin)
install(PROGRAMS packaging/gustlink.init DESTINATION etc/init.d RENAME gustlink)
install(PROGRAMS packaging/install.sh DESTINATION .)
install(FILES packaging/hubpoll.crontab DESTINATION .)
