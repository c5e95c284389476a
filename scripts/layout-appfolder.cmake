# Lays out the application folder beside the built program: the placeholder picture, the
# list of treatment types and an empty archive, each of these two only when there is none yet.
file(MAKE_DIRECTORY ${APP_DIR}/img)
file(COPY_FILE ${RES_DIR}/nd.jpg ${APP_DIR}/img/nd.jpg ONLY_IF_DIFFERENT)
# The list of treatment types is the user's to edit: laid out only when there is none.
if(NOT EXISTS ${APP_DIR}/trattamenti.txt)
    file(COPY_FILE ${RES_DIR}/trattamenti.txt ${APP_DIR}/trattamenti.txt)
endif()
if(NOT EXISTS ${APP_DIR}/dbpiante.mdb)
    execute_process(COMMAND ${MAKEDB} ${SCHEMA} ${APP_DIR}/dbpiante.mdb RESULT_VARIABLE rc)
    if(NOT rc EQUAL 0)
        message(FATAL_ERROR "could not create ${APP_DIR}/dbpiante.mdb")
    endif()
endif()
