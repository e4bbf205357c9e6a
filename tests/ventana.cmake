# SPDX-License-Identifier: GPL-3.0-or-later
# The window on any desktop: whether it has a display, and its labels with other fonts.
telquin_test(tst_pantalla SOURCES tst_pantalla.cpp LIBS telquin_ui LABELS ventana TIMEOUT 60)
