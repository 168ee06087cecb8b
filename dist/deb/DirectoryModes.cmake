# Run by cpack between staging the install tree and packing it (CPACK_PRE_BUILD_SCRIPTS).
# dpkg makes each new folder with the mode it finds in the package, and the staged folders
# carry the umask of whoever ran cpack: CMake creates them with mkdir, which the umask
# narrows, and CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS does not widen them again. A
# builder's umask of 077 or 002 would otherwise end up on /usr/share/doc and friends.
# Files need nothing: install() sets their modes explicitly.
file(GLOB_RECURSE staged LIST_DIRECTORIES true "${CPACK_TEMPORARY_DIRECTORY}/*")
set(folders)
foreach(path IN LISTS staged)
    if(IS_DIRECTORY "${path}" AND NOT IS_SYMLINK "${path}")
        list(APPEND folders "${path}")
    endif()
endforeach()
if(folders)
    file(CHMOD ${folders} DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ
                                                WORLD_EXECUTE)
endif()
