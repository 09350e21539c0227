# Icons of the program. The theme icons are taken at build time from the
# installed Debian themes (oxygen-icon-theme, tango-icon-theme; see
# scripts/install-deps), so no theme file is kept in the repository; the
# icons no theme offers are our own, in own/. A resource file generated in
# the build tree gives every file the name the program loads it by, and
# carries the themes' copyright files beside them under :/licenses/.
#
# Sets VARNEX_RESOURCE_SOURCES.

set(_oxy ${VARNEX_OXYGEN_DIR})
set(_own ${CMAKE_CURRENT_LIST_DIR}/own)

# resource name|file
set(_varnex_icons
  # card and category pictures
  "32/oxygen/folders/car|${_own}/car.png"
  "32/oxygen/folders/bank|${_oxy}/32x32/actions/view-bank.png"
  "32/oxygen/folders/wifi|${_oxy}/32x32/devices/network-wireless.png"
  "32/oxygen/folders/note|${_oxy}/32x32/actions/view-pim-notes.png"
  "32/oxygen/folders/lock|${_oxy}/32x32/status/object-locked.png"
  "32/oxygen/folders/computer|${_oxy}/32x32/devices/computer.png"
  "32/oxygen/folders/icq|${_oxy}/32x32/actions/im-icq.png"
  "32/oxygen/folders/periph|${_oxy}/32x32/categories/preferences-desktop-peripherals.png"
  "32/oxygen/folders/cloud|${_oxy}/32x32/places/folder-cloud.png"
  "32/oxygen/folders/passport|${_oxy}/32x32/mimetypes/text-x-vcard.png"
  "32/oxygen/folders/mail|${_oxy}/32x32/apps/internet-mail.png"
  "32/oxygen/folders/site|${_oxy}/32x32/apps/internet-web-browser.png"
  "32/oxygen/folders/server|${_oxy}/32x32/places/network-server.png"
  "32/oxygen/folders/forum|${_oxy}/32x32/actions/view-conversation-balloon.png"
  "32/oxygen/folders/user|${_oxy}/32x32/actions/im-user.png"
  "32/cabinets/logo_mail_ru|${_own}/logo_mail_ru.png"
  "32/cabinets/logo_gmail|${_own}/logo_gmail.png"
  "32/cabinets/logo_gosuslugi|${_own}/logo_gosuslugi.png"
  "32/cabinets/logo_odnoklassniki|${_own}/logo_odnoklassniki.png"
  "32/cabinets/logo_beeline|${_own}/logo_beeline.png"
  "32/cabinets/logo_vk|${_own}/logo_vk.png"
  # tool buttons, 32 x 32
  "32/oxygen/buttons/backup|${_oxy}/32x32/actions/document-save-all.png"
  "32/oxygen/buttons/calendar|${_oxy}/32x32/actions/view-calendar.png"
  "32/oxygen/buttons/clear|${_oxy}/32x32/actions/edit-delete.png"
  "32/oxygen/buttons/copy|${_oxy}/32x32/actions/edit-copy.png"
  "32/oxygen/buttons/cut|${_oxy}/32x32/actions/edit-cut.png"
  "32/oxygen/buttons/database-remove|${_oxy}/32x32/actions/edit-delete-shred.png"
  "32/oxygen/buttons/edit|${_oxy}/32x32/actions/document-edit.png"
  "32/oxygen/buttons/exit|${_oxy}/32x32/actions/application-exit.png"
  "32/oxygen/buttons/find|${_oxy}/32x32/actions/edit-find.png"
  "32/oxygen/buttons/help|${_oxy}/32x32/actions/help-contents.png"
  "32/oxygen/buttons/input-mode|${_oxy}/32x32/actions/system-switch-user.png"
  "32/oxygen/buttons/new|${_oxy}/32x32/actions/document-new.png"
  "32/oxygen/buttons/password-add|${_oxy}/32x32/apps/preferences-desktop-user-password.png"
  "32/oxygen/buttons/paste|${_oxy}/32x32/actions/edit-paste.png"
  "32/oxygen/buttons/preview-nbc|${_oxy}/32x32/actions/document-preview.png"
  "32/oxygen/buttons/previous|${_oxy}/32x32/actions/go-previous.png"
  "32/oxygen/buttons/restore|${_oxy}/32x32/actions/document-revert.png"
  "32/oxygen/buttons/save|${_oxy}/32x32/actions/document-save.png"
  "32/oxygen/buttons/settings|${_oxy}/32x32/actions/configure.png"
  "32/oxygen/buttons/tablet-add|${_oxy}/32x32/devices/input-tablet.png"
  "32/oxygen/buttons/undo|${_oxy}/32x32/actions/edit-undo.png"
  "32/oxygen/pics/container|${_oxy}/32x32/status/wallet-closed.png"
  # Tango has no key picture: the password generator's key comes from Oxygen.
  "32/tango/buttons/keys|${_oxy}/32x32/status/dialog-password.png"
  "32/tango/buttons/mail-attachment|${VARNEX_TANGO_DIR}/32x32/status/mail-attachment.png"
  "32/tango/buttons/refresh|${VARNEX_TANGO_DIR}/32x32/actions/view-refresh.png"
  # tool buttons and actions, 16 x 16
  "16/oxygen/buttons/clear|${_oxy}/16x16/actions/edit-delete.png"
  "16/oxygen/buttons/copy|${_oxy}/16x16/actions/edit-copy.png"
  "16/oxygen/buttons/export|${_oxy}/16x16/actions/document-export.png"
  "16/oxygen/buttons/internet|${_oxy}/16x16/apps/internet-web-browser.png"
  "16/oxygen/buttons/key-from-bio|${_oxy}/16x16/actions/document-decrypt.png"
  "16/oxygen/buttons/new|${_oxy}/16x16/actions/document-new.png"
  "16/oxygen/buttons/rename|${_oxy}/16x16/actions/edit-rename.png"
  "16/oxygen/buttons/save|${_oxy}/16x16/actions/document-save.png"
  # the program's own icon
  "icons/main-icon|${_own}/main-icon.png"
  # licences of what the resource file carries
  "licenses/oxygen-icon-theme|${VARNEX_THEME_DOC_DIR}/oxygen-icon-theme/copyright"
  "licenses/tango-icon-theme|${VARNEX_THEME_DOC_DIR}/tango-icon-theme/copyright"
  "licenses/own-icons|${_own}/COPYING"
)

varnex_resource_file(VARNEX_RESOURCE_SOURCES varnex_icons Icon ${_varnex_icons})
