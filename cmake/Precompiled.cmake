# Precompiled headers: Qt and the standard library are parsed once per layer instead of once per
# source file. Each layer gets only what it may include (the logic never sees QtWidgets).
option(QB_PCH "Precompile the Qt and standard headers" ON)

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
