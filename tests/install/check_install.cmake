# Installs the built library into WORK/prefix, builds the consumer program
# against it with find_package(Corvane) and runs it. A cross build passes
# its TOOLCHAIN file and the EMULATOR that runs the consumer.
file(REMOVE_RECURSE ${WORK})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD} --prefix ${WORK}/prefix
                RESULT_VARIABLE failed OUTPUT_QUIET)
if(failed)
  message(FATAL_ERROR "install failed")
endif()
set(cross_options "")
if(TOOLCHAIN)
  set(cross_options -DCMAKE_TOOLCHAIN_FILE=${TOOLCHAIN})
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -S ${SOURCE} -B ${WORK}/consumer
                        -DCMAKE_PREFIX_PATH=${WORK}/prefix -DCMAKE_C_COMPILER=${C_COMPILER}
                        ${cross_options}
                RESULT_VARIABLE failed OUTPUT_QUIET)
if(failed)
  message(FATAL_ERROR "find_package(Corvane) failed")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} --build ${WORK}/consumer RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "the consumer did not build")
endif()
# A Windows program finds its DLLs beside it, as a user would ship them.
file(GLOB dlls ${WORK}/prefix/bin/*.dll)
if(dlls)
  file(COPY ${dlls} DESTINATION ${WORK}/consumer)
endif()
string(REPLACE "|" ";" emulator "${EMULATOR}")
execute_process(COMMAND ${emulator} ${WORK}/consumer/consumer${SUFFIX}
                RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "the consumer failed: ${failed}")
endif()
file(REMOVE_RECURSE ${WORK})
