# cmake --install DIR --prefix P puts the programs under P/bin; the service
# definitions that start them on the router are in packaging/.
install(TARGETS gustlink hubpoll RUNTIME DESTINATION bin)
