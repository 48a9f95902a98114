# KAVRO_SANITIZE applies to every target of the build, googletest included, so that
# instrumented and uninstrumented code never mix.
if(KAVRO_SANITIZE)
    if(NOT KAVRO_SANITIZE MATCHES "^(address,undefined|undefined,address|address|undefined|thread)$")
        message(FATAL_ERROR "KAVRO_SANITIZE must be address,undefined or thread, not '${KAVRO_SANITIZE}'")
    endif()
    set(_kavro_san -fsanitize=${KAVRO_SANITIZE} -fno-omit-frame-pointer)
    if(KAVRO_SANITIZE MATCHES "undefined")
        list(APPEND _kavro_san -fno-sanitize-recover=undefined)
    endif()
    add_compile_options(${_kavro_san})
    add_link_options(-fsanitize=${KAVRO_SANITIZE})
    message(STATUS "KAVRO: sanitizers ${KAVRO_SANITIZE}")
endif()
