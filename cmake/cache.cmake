# station_cache: where the scripts keep the router runtimes and the kernels
# (scripts/cache.sh says why), for the defaults of the folders that name them.
if(DEFINED ENV{STATION_CACHE_DIR})
    set(station_cache $ENV{STATION_CACHE_DIR})
elseif(DEFINED ENV{XDG_CACHE_HOME})
    set(station_cache $ENV{XDG_CACHE_HOME}/weather-station)
else()
    set(station_cache $ENV{HOME}/.cache/weather-station)
endif()
