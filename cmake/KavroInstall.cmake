# Installation: the programs with their catalogues beside them in bin/ (they read catalogues
# from their own folder), the board libraries in lib/ (found through the programs' RPATH),
# desktop entries and icons; CPack turns the same layout into a Debian package.
include(GNUInstallDirs)

set(_kavro_programs KAVROVirtualBoard_Net KAVROApp_Net KAVROApp_COM KAVROApp_PCIE
                    kavro-board-host kavro-link-send)
foreach(_p ${_kavro_programs})
    set_target_properties(${_p} PROPERTIES INSTALL_RPATH "$ORIGIN/../${CMAKE_INSTALL_LIBDIR}")
endforeach()
install(TARGETS ${_kavro_programs} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS KAVRO_Net KAVRO KAVRO_PCIE
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} NAMELINK_SKIP)
install(FILES
        ${KAVRO_BIN_DIR}/KAVROVirtualBoard_CN.qm ${KAVRO_BIN_DIR}/KAVROVirtualBoard_en.qm
        ${KAVRO_BIN_DIR}/KAVROApp_Net_zh_CN.qm ${KAVRO_BIN_DIR}/KAVROApp_COM_zh_CN.qm
        ${KAVRO_BIN_DIR}/KAVROApp_PCIE_zh_CN.qm
        DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES
        ${PROJECT_SOURCE_DIR}/packaging/KAVROVirtualBoard_Net.desktop
        ${PROJECT_SOURCE_DIR}/packaging/KAVROApp_Net.desktop
        ${PROJECT_SOURCE_DIR}/packaging/KAVROApp_COM.desktop
        ${PROJECT_SOURCE_DIR}/packaging/KAVROApp_PCIE.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES
        ${PROJECT_SOURCE_DIR}/resources/images/kavro-virtualboard.png
        ${PROJECT_SOURCE_DIR}/resources/images/kavro-tester.png
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/48x48/apps)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kavro-toolset)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "KAVRO tool set developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Card testers (network, serial port, PCIe) and the virtual network board for KAVRO cards")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-wqy-microhei")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# Programs and libraries go out without their debug information.
set(CPACK_STRIP_FILES ON)
include(CPack)
