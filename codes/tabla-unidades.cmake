# SPDX-License-Identifier: GPL-3.0-or-later
# Turns the table of statistical units (CSV: a header line, then "code,name") into
# a C++ source with one sorted array, at build time:
#   cmake -DENTRADA=unidades-estadisticas.csv -DSALIDA=UnidadesTabla.cpp -P tabla-unidades.cmake
# A line that is not a two-digit code and a name, or a code given twice, stops the build.

cmake_minimum_required(VERSION 3.25)

file(STRINGS "${ENTRADA}" lineas ENCODING UTF-8)
list(POP_FRONT lineas cabecera)
if(NOT cabecera MATCHES "^codigo,nombre\r?$")
    message(FATAL_ERROR "${ENTRADA}: la primera linea debe ser \"codigo,nombre\", es \"${cabecera}\"")
endif()

set(filas "")
set(vistos "")
foreach(linea IN LISTS lineas)
    if(linea STREQUAL "")
        continue()
    endif()
    if(linea MATCHES "^([0-9][0-9]),\"(([^\"]|\"\")+)\"$")
        set(codigo "${CMAKE_MATCH_1}")
        string(REPLACE "\"\"" "\"" nombre "${CMAKE_MATCH_2}")
    elseif(linea MATCHES "^([0-9][0-9]),([^\"]+)$")
        set(codigo "${CMAKE_MATCH_1}")
        set(nombre "${CMAKE_MATCH_2}")
    else()
        message(FATAL_ERROR "${ENTRADA}: se esperaba un codigo de dos digitos y un nombre: \"${linea}\"")
    endif()
    if(codigo IN_LIST vistos)
        message(FATAL_ERROR "${ENTRADA}: el codigo ${codigo} ya estaba")
    endif()
    list(APPEND vistos "${codigo}")
    string(REPLACE "\\" "\\\\" nombre "${nombre}")
    string(REPLACE "\"" "\\\"" nombre "${nombre}")
    # Each row starts with its code, so sorting the rows sorts by code.
    list(APPEND filas "    {\"${codigo}\", \"${nombre}\"},")
endforeach()
list(SORT filas)
list(LENGTH filas cantidad)
if(cantidad EQUAL 0)
    message(FATAL_ERROR "${ENTRADA}: no hay ninguna unidad")
endif()
list(JOIN filas "\n" cuerpo)

get_filename_component(nombreEntrada "${ENTRADA}" NAME)
file(WRITE "${SALIDA}"
     "// Generated from ${nombreEntrada} by tabla-unidades.cmake; edit the CSV instead.\n"
     "#include \"codes/Unidades.h\"\n\n"
     "const UnidadEstadistica kUnidadesEstadisticas[] = {\n${cuerpo}\n};\n"
     "const std::size_t kCantidadUnidadesEstadisticas = ${cantidad};\n")
