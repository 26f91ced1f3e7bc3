# cmake --install DIR --prefix P puts the programs under P/bin; the service
# definitions that start them on the router are in packaging/.
install(TARGETS gustlink RUNTIME DESTINATION bin)
if(TARGET hubpoll)
    install(TARGETS hubpoll RUNTIME DESTINATION bin)
endif()
