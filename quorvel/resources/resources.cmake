# Pictures of the wizards, under :/res/. The theme pictures are taken at
# build time from the installed Debian themes (oxygen-icon-theme,
# tango-icon-theme), so no theme file is kept in the repository; the scheme
# arrows are our own, drawn by draw_arrows.py beside this file. The themes'
# copyright files travel in the same resource file under :/licenses/.
#
# Sets QUORVEL_RESOURCE_SOURCES.

set(_oxy ${VARNEX_OXYGEN_DIR}/48x48)
set(_tango ${VARNEX_TANGO_DIR}/32x32/actions)
set(_own ${CMAKE_CURRENT_LIST_DIR})

# resource name|file
set(_quorvel_pictures
  "res/48px-Preferences-desktop-peripherals.svg.png|${_oxy}/categories/preferences-desktop-peripherals.png"
  "res/48px-Accessories-text-editor.svg.png|${_oxy}/apps/accessories-text-editor.png"
  "res/48px-Document-open.svg.png|${_oxy}/actions/document-open.png"
  "res/48px-Document-save.svg.png|${_oxy}/actions/document-save.png"
  "res/48px-Edit-paste.svg.png|${_oxy}/actions/edit-paste.png"
  "res/48px-Mypaint-icon.svg.png|${_oxy}/actions/draw-freehand.png"
  "res/edit-clear.png|${_tango}/edit-clear.png"
  "res/edit-delete.png|${_tango}/edit-delete.png"
  "res/list-add.png|${_tango}/list-add.png"
  "res/list-remove.png|${_tango}/list-remove.png"
  "res/arrow.png|${_own}/arrow.png"
  "res/varrow.png|${_own}/varrow.png"
  "res/left-cross-upper-arrow.png|${_own}/left-cross-upper-arrow.png"
  "res/left-cross-lower-arrow.png|${_own}/left-cross-lower-arrow.png"
  "res/right-cross-upper-arrow.png|${_own}/right-cross-upper-arrow.png"
  "res/right-cross-lower-arrow.png|${_own}/right-cross-lower-arrow.png"
  "licenses/oxygen-icon-theme|${VARNEX_THEME_DOC_DIR}/oxygen-icon-theme/copyright"
  "licenses/tango-icon-theme|${VARNEX_THEME_DOC_DIR}/tango-icon-theme/copyright"
  "licenses/quorvel-arrows|${_own}/COPYING"
)

varnex_resource_file(QUORVEL_RESOURCE_SOURCES quorvel_pictures Picture ${_quorvel_pictures})
