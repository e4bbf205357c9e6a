# SPDX-License-Identifier: GPL-3.0-or-later
# Throwaway PostgreSQL servers (scripts/servidor-prueba) for the tests that need a
# database server: each server is a CTest fixture, started before the first test
# that requires it and stopped and removed after the last, whether they pass or not.

set(TELQUIN_SERVIDOR_PRUEBA ${PROJECT_SOURCE_DIR}/scripts/servidor-prueba)

# telquin_servidor(FIXTURE DIR): a server in DIR for the tests that require FIXTURE.
function(telquin_servidor fixture dir)
    add_test(NAME ${fixture}-arranque COMMAND ${TELQUIN_SERVIDOR_PRUEBA} start ${dir})
    add_test(NAME ${fixture}-parada COMMAND ${TELQUIN_SERVIDOR_PRUEBA} stop ${dir})
    set_tests_properties(${fixture}-arranque PROPERTIES FIXTURES_SETUP ${fixture} LABELS servidor TIMEOUT 180)
    set_tests_properties(${fixture}-parada PROPERTIES FIXTURES_CLEANUP ${fixture} LABELS servidor TIMEOUT 120)
endfunction()

# Locales built for the run into the build tree rather than installed on the machine:
# Spanish for the user's side, German for a server that speaks neither Spanish nor
# English.
set(TELQUIN_LOCPATH ${CMAKE_CURRENT_BINARY_DIR}/locale)
file(MAKE_DIRECTORY ${TELQUIN_LOCPATH})
foreach(idioma es_AR de_DE)
    add_test(NAME idioma-${idioma} COMMAND localedef -i ${idioma} -f UTF-8 ${TELQUIN_LOCPATH}/${idioma}.UTF-8)
    set_tests_properties(idioma-${idioma} PROPERTIES FIXTURES_SETUP idioma-${idioma} LABELS servidor TIMEOUT 120)
endforeach()

set(TELQUIN_DIR_SERVIDOR ${CMAKE_CURRENT_BINARY_DIR}/servidor)
# The fault tests stop their server mid-session, so it is not the one the others share.
set(TELQUIN_DIR_SERVIDOR_FALLOS ${CMAKE_CURRENT_BINARY_DIR}/servidor-fallos)
telquin_servidor(servidor ${TELQUIN_DIR_SERVIDOR})
telquin_servidor(servidor-fallos ${TELQUIN_DIR_SERVIDOR_FALLOS})
set_tests_properties(servidor-fallos-arranque PROPERTIES
    FIXTURES_REQUIRED idioma-de_DE
    ENVIRONMENT "LOCPATH=${TELQUIN_LOCPATH}")

# telquin_en_servidores(TEST LABELS): TEST once more on each server backend, as
# TEST_postgresql and TEST_odbc. ODBC goes through a data source, as users set it up;
# the fault tests use a connection string naming the driver.
function(telquin_en_servidores prueba etiquetas)
    foreach(base postgresql odbc)
        set(eleccion ${base})
        if(base STREQUAL "odbc")
            set(eleccion odbc-dsn)
        endif()
        add_test(NAME ${prueba}_${base} COMMAND ${prueba})
        set_tests_properties(${prueba}_${base} PROPERTIES
            LABELS "${etiquetas}"
            TIMEOUT 300
            FIXTURES_REQUIRED servidor
            # They share the server's test database, so ctest -j runs them one at a time.
            RESOURCE_LOCK servidor
            ENVIRONMENT "QT_QPA_PLATFORM=offscreen;TELQUIN_TEST_DB=${eleccion};TELQUIN_SERVIDOR=${TELQUIN_DIR_SERVIDOR};ODBCSYSINI=${TELQUIN_DIR_SERVIDOR};ODBCINI=${TELQUIN_DIR_SERVIDOR}/odbc.ini")
    endforeach()
endfunction()

# The component's contract suite, unchanged, on each server backend (on SQLite it
# runs as tst_componente).
telquin_en_servidores(tst_componente servidor)
telquin_en_servidores(tst_operaciones servidor)
telquin_en_servidores(tst_confirmacion servidor)

find_package(PkgConfig REQUIRED)
pkg_check_modules(LIBPQ REQUIRED IMPORTED_TARGET libpq)
telquin_test(tst_fallos SOURCES tst_fallos.cpp BaseDePrueba.h PorQt.h LIBS telquin_dam PkgConfig::LIBPQ LABELS servidor)
target_compile_definitions(tst_fallos PRIVATE TELQUIN_SERVIDOR_PRUEBA="${TELQUIN_SERVIDOR_PRUEBA}")
add_dependencies(tst_fallos telquin_carga)
set_tests_properties(tst_fallos PROPERTIES
    TIMEOUT 300
    RESOURCE_LOCK servidor-fallos
    FIXTURES_REQUIRED servidor-fallos
    ENVIRONMENT "TELQUIN_SERVIDOR=${TELQUIN_DIR_SERVIDOR_FALLOS}")

# The causes must be told apart whatever the user's language: the opening and
# statement faults once more under a Spanish locale.
add_test(NAME tst_fallos_es COMMAND tst_fallos aperturaRechazada tablaQueFalta baseDeSoloLectura
         filaOcupadaPorOtroUsuario causasDeSqlite carpetaEnLugarDeArchivo clavesQueNoSeMuestran)
set_tests_properties(tst_fallos_es PROPERTIES
    LABELS servidor
    TIMEOUT 240
    FIXTURES_REQUIRED "servidor-fallos;idioma-es_AR"
    RESOURCE_LOCK servidor-fallos
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;LC_ALL=es_AR.UTF-8;LANG=es_AR.UTF-8;LANGUAGE=es;LOCPATH=${TELQUIN_LOCPATH};TELQUIN_SERVIDOR=${TELQUIN_DIR_SERVIDOR_FALLOS}")

# The bench's delaying proxy, forwarding to the shared server and counting round trips.
add_executable(telquin_retardo_prueba ${PROJECT_SOURCE_DIR}/bench/retardo.cpp)
add_test(NAME retardo COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/retardo.sh $<TARGET_FILE:telquin_retardo_prueba>
         $<$<TARGET_EXISTS:telquin>:$<TARGET_FILE:telquin>>)
set_tests_properties(retardo PROPERTIES
    LABELS servidor
    TIMEOUT 60
    FIXTURES_REQUIRED servidor
    # The program's lookup reads the shared test database.
    RESOURCE_LOCK servidor
    ENVIRONMENT "TELQUIN_SERVIDOR=${TELQUIN_DIR_SERVIDOR}")
