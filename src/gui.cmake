# Everything with widgets: the windows, dialogs and visual components of the
# program. Core files (engine, descriptor, structure rows) live in their own
# libraries and are left out here.
find_package(Qt6 REQUIRED COMPONENTS Gui Widgets PrintSupport)
set(CMAKE_AUTORCC ON)
file(GLOB BRISVEL_GUI_SOURCES CONFIGURE_DEPENDS
    ${CMAKE_SOURCE_DIR}/src/app/*.cpp ${CMAKE_SOURCE_DIR}/src/widgets/*.cpp
    ${CMAKE_SOURCE_DIR}/src/browse/*.cpp ${CMAKE_SOURCE_DIR}/src/search/*.cpp
    ${CMAKE_SOURCE_DIR}/src/print/*.cpp ${CMAKE_SOURCE_DIR}/src/structure/*.cpp
    ${CMAKE_SOURCE_DIR}/src/data/*.cpp
    ${CMAKE_SOURCE_DIR}/src/app/*.qrc ${CMAKE_SOURCE_DIR}/src/widgets/*.qrc)
list(FILTER BRISVEL_GUI_SOURCES EXCLUDE REGEX
    "/src/app/main\\.cpp$|/src/data/(KADOopen|DatabaseTypes|ExportDestination)\\.cpp$|/src/structure/StructureRows\\.cpp$|/src/print/(PageWriter|PainterCanvas|PdfOutput|TablePrint|StructurePrint)\\.cpp$")
if(NOT BRISVEL_GUI_SOURCES)
    return()
endif()
add_library(brisvel_gui STATIC ${BRISVEL_GUI_SOURCES})
target_include_directories(brisvel_gui PUBLIC
    ${CMAKE_SOURCE_DIR}/src/app ${CMAKE_SOURCE_DIR}/src/widgets ${CMAKE_SOURCE_DIR}/src/browse
    ${CMAKE_SOURCE_DIR}/src/search ${CMAKE_SOURCE_DIR}/src/print ${CMAKE_SOURCE_DIR}/src/structure
    ${CMAKE_SOURCE_DIR}/src/data ${CMAKE_SOURCE_DIR}/src)
target_link_libraries(brisvel_gui PUBLIC brisvel_engine brisvel_data brisvel_structure brisvel_print brisvel_cli_core brisvel_version
    Qt6::Gui Qt6::Widgets Qt6::PrintSupport)
