# pw_refresh_automoc(<target>...)
# With Ninja, moc runs again only when a header it has already seen changes, so a header added
# to a target (a new Q_OBJECT class) gets no meta-object code until a clean build. When the list
# of a target's sources changes, this removes the target's moc time stamp so the next build
# runs moc again. Call it once every source has been added.
function(pw_refresh_automoc)
    foreach(target ${ARGN})
        get_target_property(sources ${target} SOURCES)
        get_target_property(binary_dir ${target} BINARY_DIR)
        string(SHA1 hash "${sources}")
        set(autogen ${binary_dir}/${target}_autogen)
        set(seen "")
        if(EXISTS ${autogen}/sources.sha1)
            file(READ ${autogen}/sources.sha1 seen)
        endif()
        if(NOT seen STREQUAL hash)
            file(REMOVE ${autogen}/timestamp)
            file(WRITE ${autogen}/sources.sha1 "${hash}")
        endif()
    endforeach()
endfunction()
