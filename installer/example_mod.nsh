; The settings of one mod for mod_installer.nsi: here the project's sample mod (tests/make_sample_set),
; whose Riverside.qmp draws on Outpost.qmw, rebuilt first from the sibling patch Outpost.qmp.
!define MOD_NAME "Riverside"
!define MOD_FOLDER "Mods\Riverside"
!define MOD_PATCH "Riverside"
!define MOD_MD5 "ec05bf2b51e393985838e7c7bd87013b"

; One line per sibling patch: !insertmacro ${action} "<name without .qmp>"
!macro MOD_SIBLINGS action
  !insertmacro ${action} "Outpost"
!macroend
