# SPDX-License-Identifier: GPL-3.0-or-later
# The window on any desktop: whether it has a display, and its labels with other fonts.
telquin_test(tst_pantalla SOURCES tst_pantalla.cpp LIBS telquin_ui LABELS ventana TIMEOUT 60)

# The window's labels with DejaVu Sans as the only font, as on a Debian that has only
# fonts-dejavu-core (fontconfig's own dependency): fontconfig is given a file that
# names that package's fonts alone, and a cache of its own.
set(TELQUIN_DEJAVU /usr/share/fonts/truetype/dejavu)
if(EXISTS ${TELQUIN_DEJAVU}/DejaVuSans-Bold.ttf)
    set(conf ${CMAKE_CURRENT_BINARY_DIR}/solo-dejavu.conf)
    file(WRITE ${conf} "<?xml version=\"1.0\"?>
<!DOCTYPE fontconfig SYSTEM \"urn:fontconfig:fonts.dtd\">
<fontconfig>
  <dir>${TELQUIN_DEJAVU}</dir>
  <cachedir>${CMAKE_CURRENT_BINARY_DIR}/solo-dejavu.cache</cachedir>
  <selectfont>
    <acceptfont>
      <glob>*/DejaVuSans.ttf</glob><glob>*/DejaVuSans-Bold.ttf</glob>
      <glob>*/DejaVuSansMono.ttf</glob><glob>*/DejaVuSansMono-Bold.ttf</glob>
      <glob>*/DejaVuSerif.ttf</glob><glob>*/DejaVuSerif-Bold.ttf</glob>
    </acceptfont>
    <rejectfont><glob>*</glob></rejectfont>
  </selectfont>
</fontconfig>
")
    add_test(NAME tst_ventana_solo_dejavu COMMAND tst_ventana etiquetasEnteras)
    set_tests_properties(tst_ventana_solo_dejavu PROPERTIES LABELS ventana TIMEOUT 60
        ENVIRONMENT "QT_QPA_PLATFORM=offscreen;FONTCONFIG_FILE=${conf};TELQUIN_FAMILIA_PRUEBA=DejaVu Sans")
endif()
