# Compiles .ts catalogues into .qm files beside the programs (the bin folder of the build).
# lupdate is run by hand, never by the build.
function(kavro_translations target)
    set(_qm_files)
    foreach(_ts ${ARGN})
        get_filename_component(_name ${_ts} NAME_WE)
        set(_qm ${KAVRO_BIN_DIR}/${_name}.qm)
        add_custom_command(OUTPUT ${_qm}
            COMMAND Qt5::lrelease -silent ${_ts} -qm ${_qm}
            DEPENDS ${_ts}
            COMMENT "Compiling ${_name}.qm")
        list(APPEND _qm_files ${_qm})
    endforeach()
    add_custom_target(${target} ALL DEPENDS ${_qm_files})
endfunction()
