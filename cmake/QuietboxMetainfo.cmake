# Writes the AppStream metainfo from its template. AppStream takes screenshots only by web
# address, so they are listed only when the address of doc/images/ is known.
# Also runs as a script: cmake -DTEMPLATE=... -DOUTPUT=... [-DBASE_URL=...] -P QuietboxMetainfo.cmake
function(qb_write_metainfo template output base_url)
    set(QB_SCREENSHOTS "")
    if(base_url)
        string(REGEX REPLACE "/+$" "" base_url "${base_url}")
        # The README's pictures, with its captions; the first is the default.
        set(shots
            "main-window.png|The main window, docked at the bottom of the screen, with the getting-started prompt"
            "document-list.png|An open database's document list"
            "select-database.png|Selecting a database"
            "settings.png|The settings dialog: Position and Security pages")
        set(QB_SCREENSHOTS "  <screenshots>\n")
        set(type " type=\"default\"")
        foreach(shot IN LISTS shots)
            string(REPLACE "|" ";" parts "${shot}")
            list(GET parts 0 file)
            list(GET parts 1 caption)
            string(APPEND QB_SCREENSHOTS
                "    <screenshot${type}>\n"
                "      <caption>${caption}</caption>\n"
                "      <image>${base_url}/${file}</image>\n"
                "    </screenshot>\n")
            set(type "")
        endforeach()
        string(APPEND QB_SCREENSHOTS "  </screenshots>")
    endif()
    configure_file(${template} ${output} @ONLY)
endfunction()

if(CMAKE_SCRIPT_MODE_FILE)
    qb_write_metainfo("${TEMPLATE}" "${OUTPUT}" "${BASE_URL}")
endif()
