# Installs the build in BUILD into TREES twice, afresh: with `cmake --install` into TREES/prefix,
# and as the Debian package cpack makes (TREES/PACKAGE), unpacked by dpkg-deb into TREES/package.
file(REMOVE_RECURSE ${TREES})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD} --prefix ${TREES}/prefix COMMAND_ERROR_IS_FATAL ANY)
execute_process(COMMAND ${CPACK} --config ${BUILD}/CPackConfig.cmake -B ${TREES} COMMAND_ERROR_IS_FATAL ANY)
execute_process(COMMAND dpkg-deb -x ${TREES}/${PACKAGE} ${TREES}/package COMMAND_ERROR_IS_FATAL ANY)
