# Build time. Precompiled headers: Qt and the standard library are parsed once per layer instead
# of once per source file; each layer gets only what it may include (the logic never sees
# QtWidgets). Unity builds: the program's libraries compile a few sources as one unit, so a
# name that two of their files define alike is an error in every build, not only in this one.
option(QB_PCH "Precompile the Qt and standard headers" ON)
option(QB_UNITY "Build the program's libraries as unity builds" ON)
option(QB_LLD "Link with lld when the compiler can" ON)

# A change to one library relinks every program and test (about 50): lld links each in a fifth
# of the processor time the default linker takes with debug information.
if(QB_LLD)
    include(CheckLinkerFlag)
    check_linker_flag(CXX -fuse-ld=lld QB_HAVE_LLD)
    if(QB_HAVE_LLD)
        add_link_options(-fuse-ld=lld)
    endif()
endif()

set(QB_PCH_CORE
    <algorithm> <cstdint> <cstring> <functional> <memory> <optional> <utility> <vector>
    <QByteArray> <QDir> <QFile> <QFileInfo> <QIODevice> <QImage> <QList> <QObject> <QPointer>
    <QString> <QStringList> <QUrl>)
set(QB_PCH_GUI ${QB_PCH_CORE}
    <QAction> <QApplication> <QCheckBox> <QDialog> <QGroupBox> <QHBoxLayout> <QIcon> <QLabel>
    <QLineEdit> <QMessageBox> <QMimeData> <QPainter> <QPushButton> <QRadioButton> <QScreen>
    <QStyle> <QTimer> <QToolBar> <QToolButton> <QVBoxLayout> <QWidget>)

# qb_precompile(<target> <list>): the target's own precompiled header.
function(qb_precompile target)
    if(QB_PCH)
        target_precompile_headers(${target} PRIVATE ${ARGN})
    endif()
endfunction()

# qb_reuse_precompiled(<target> <from>): the header of a target built with the same flags.
function(qb_reuse_precompiled target from)
    if(QB_PCH)
        target_precompile_headers(${target} REUSE_FROM ${from})
    endif()
endfunction()

# qb_unity(<targets...>): built a few sources to a unit.
function(qb_unity)
    if(QB_UNITY)
        set_target_properties(${ARGN} PROPERTIES UNITY_BUILD ON UNITY_BUILD_BATCH_SIZE 8)
    endif()
endfunction()
