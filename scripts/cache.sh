# Where the scripts keep what takes long to build and seldom changes: the
# router runtimes (router-runtime, router-runtime-NAME), the kernels
# (router-kernel/NAME) and, for scripts/test, ccache's store (ccache). It is
# outside the clone, so that the next clone finds it; each part is rebuilt
# when what it is built from changes, and removing the folder clears it.
# ROUTER_RUNTIME_DIR and ROUTER_KERNEL_DIR name other folders for a part.
station_cache=${STATION_CACHE_DIR:-${XDG_CACHE_HOME:-$HOME/.cache}/weather-station}
