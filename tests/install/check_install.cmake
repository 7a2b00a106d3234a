# Installs the built library into WORK/prefix, builds the consumer program
# against it with find_package(Corvane) and runs it.
file(REMOVE_RECURSE ${WORK})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD} --prefix ${WORK}/prefix
                RESULT_VARIABLE failed OUTPUT_QUIET)
if(failed)
  message(FATAL_ERROR "install failed")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -S ${SOURCE} -B ${WORK}/consumer
                        -DCMAKE_PREFIX_PATH=${WORK}/prefix -DCMAKE_C_COMPILER=${C_COMPILER}
                RESULT_VARIABLE failed OUTPUT_QUIET)
if(failed)
  message(FATAL_ERROR "find_package(Corvane) failed")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} --build ${WORK}/consumer RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "the consumer did not build")
endif()
execute_process(COMMAND ${WORK}/consumer/consumer RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "the consumer failed: ${failed}")
endif()
file(REMOVE_RECURSE ${WORK})
