# Compiles .ts catalogues into .qm files beside the programs (the bin folder of the build).
# lupdate is run by hand, never by the build.

# One .qm per .ts, named after it.
function(kavro_translations target)
    set(_qm_files)
    foreach(_ts ${ARGN})
        get_filename_component(_name ${_ts} NAME_WE)
        kavro_catalogue(_qm ${_name} ${_ts})
        list(APPEND _qm_files ${_qm})
    endforeach()
    add_custom_target(${target} ALL DEPENDS ${_qm_files})
endfunction()

# One .qm named qm_name made of several .ts sources; its path goes into out_var.
function(kavro_catalogue out_var qm_name)
    set(_qm ${KAVRO_BIN_DIR}/${qm_name}.qm)
    add_custom_command(OUTPUT ${_qm}
        COMMAND Qt5::lrelease -silent ${ARGN} -qm ${_qm}
        DEPENDS ${ARGN}
        COMMENT "Compiling ${qm_name}.qm")
    set(${out_var} ${_qm} PARENT_SCOPE)
endfunction()
