; An example installer for a map mod, of the kind a mod author ships: it copies mapmend.exe and
; the mod's patches into the mod's folder under the game folder, rebuilds the mod's maps with
; mapmend one after the other, and keeps nothing of its own when that fails.
;
; Build (Debian's nsis package), from what `mapdiff pack <maps> <mod folder> <out folder>` wrote:
;   makensis -DMOD_SETTINGS=<out folder>/<mod>.nsh -DMOD_FILES=<out folder> \
;            -DMAPMEND=<mapmend.exe> -DMAPDIFF=<mapdiff.exe> [-DMOD_FOLDER=<folder>] \
;            [-DOUTFILE=<installer.exe>] installer/mod_installer.nsi
; The settings <mod>.nsh define MOD_NAME, MOD_FOLDER (the mod's folder relative to the game
; folder, Mods\<mod> unless given to makensis), MOD_MANIFEST (<mod>.md5) and the macro MOD_MAPS,
; which inserts a given macro once per map in install order with the patch's name without
; ".qmp" and the rebuilt map's MD5. MOD_FILES is the folder of the patches and the manifest;
; paths given to makensis are best absolute (relative ones are taken from this script's folder).
; mapdiff.exe travels inside the installer only to tell the player which stock map is wrong
; when mapmend's stock check fails; it is unpacked to a temporary folder, never installed.
; On success the mod folder holds the rebuilt maps and the manifest, so that `md5sum -c <mod>.md5`
; there verifies the whole mod.
;
; Run: <OUTFILE> [/S] [/LOG=<file>] [/D=<game folder>]
; /D= must come last and takes the rest of the command line. In silent mode (/S) the outcome is
; written to the log, by default %TEMP%\<MOD_NAME>-install.log. The exit status is 0 on success
; and the failed mapmend call's own status (1 to 10) otherwise; 11 when mapmend could not be run.

Unicode true
!include LogicLib.nsh
!include FileFunc.nsh

!macro REQUIRE name
  !ifndef ${name}
    !error "give -DMOD_SETTINGS=<mod>.nsh -DMOD_FILES=<folder> -DMAPMEND=<mapmend.exe> -DMAPDIFF=<mapdiff.exe>"
  !endif
!macroend
!insertmacro REQUIRE MOD_SETTINGS
!insertmacro REQUIRE MOD_FILES
!insertmacro REQUIRE MAPMEND
!insertmacro REQUIRE MAPDIFF
!include "${MOD_SETTINGS}"
!ifndef OUTFILE
  !define OUTFILE "${MOD_NAME}-mod.exe"
!endif

Name "${MOD_NAME}"
OutFile "${OUTFILE}"
RequestExecutionLevel user
InstallDir "$PROGRAMFILES\Q5"
ShowInstDetails show

Page directory
Page instfiles

Var mod_folder
Var maps_folder
Var log_file
Var status
Var line
Var first_options
Var failed
Var undoing
Var stock_report
Var had_folder
Var parent_folder
Var had_parent

; Writes one line to the log (silent mode) or to the details list.
!macro REPORT text
  ${If} ${Silent}
    FileOpen $0 $log_file a
    FileSeek $0 0 END
    FileWrite $0 "${text}$\r$\n"
    FileClose $0
  ${Else}
    DetailPrint "${text}"
  ${EndIf}
!macroend

; Deletes a map file, and its marker once the map is gone: a partial map never loses its marker.
!macro REMOVE_MAP map
  Delete "${map}"
  ${IfNot} ${FileExists} "${map}"
    Delete "${map}.rebuilding"
  ${EndIf}
!macroend

; Drops a line end from the text in the given variable.
!macro CHOP_LINE_END var
  ${Do}
    StrCpy $0 ${var} 1 -1
    ${If} $0 != "$\n"
    ${AndIf} $0 != "$\r"
      ${Break}
    ${EndIf}
    StrCpy ${var} ${var} -1
  ${Loop}
!macroend

!macro COPY_PATCH name digest
  File "${MOD_FILES}\${name}.qmp"
!macroend

; One map, once every map before it has been rebuilt: the typical call, the stock check on the
; first call only. Each map's sources are stock maps and maps rebuilt before it.
!macro REBUILD_MAP name digest
  ${If} $failed == ""
    nsExec::ExecToStack '"$mod_folder\mapmend.exe" $first_options--check-rebuilt=${digest} --delete-qmp "$maps_folder" "$mod_folder\${name}.qmp"'
    Pop $status
    Pop $line
    !insertmacro CHOP_LINE_END $line
    !insertmacro REPORT "mapmend ${name}.qmp: $line"
    StrCpy $first_options ""
    ${If} $status != 0
      StrCpy $failed "${name}"
    ${EndIf}
  ${EndIf}
!macroend

; After a failure, in install order: the maps before the failed one are this install's own; the
; failed one's map is its own only from the rebuild on (statuses 8 to 10), before that it may be
; an earlier install's, which stays, as do the maps after it. Earlier maps that mapmend moved
; aside (.old) stay too.
!macro UNDO_MAP name digest
  Delete "$mod_folder\${name}.qmp"
  ${If} $undoing == "rebuilt"
    ${If} "${name}" != $failed
      !insertmacro REMOVE_MAP "$mod_folder\${name}.qmw"
    ${Else}
      StrCpy $undoing "kept"
      ${If} $status == 8
      ${OrIf} $status == 9
      ${OrIf} $status == 10
      ${OrIf} $status == "error"
        !insertmacro REMOVE_MAP "$mod_folder\${name}.qmw"
      ${EndIf}
    ${EndIf}
  ${EndIf}
!macroend

; Removes a folder this installer made, once it is empty. A file deleted just before may still be
; on its way out while the program that ran from it ends (the folder empties a moment later), so
; the removal is tried for up to 5 s.
!macro REMOVE_NEW_FOLDER folder
  StrCpy $1 0
  ${Do}
    RMDir "${folder}"
    ${IfNot} ${FileExists} "${folder}\*.*"
    ${OrIf} $1 >= 50
      ${Break}
    ${EndIf}
    IntOp $1 $1 + 1
    Sleep 100
  ${Loop}
!macroend

; mapmend says only that the stock check failed; mapdiff check-stock names each stock map with
; its expected and found MD5. Its lines go to the log, and those of the maps that are not ok
; (and the verdict) to the message. Its output is longer than an NSIS string, hence the file.
Function report_stock_maps
  InitPluginsDir
  File "/oname=$PLUGINSDIR\mapdiff.exe" "${MAPDIFF}"
  nsExec::Exec '"$SYSDIR\cmd.exe" /c ""$PLUGINSDIR\mapdiff.exe" check-stock "$maps_folder" > "$PLUGINSDIR\check-stock.txt""'
  Pop $0
  StrCpy $stock_report ""
  ClearErrors
  FileOpen $2 "$PLUGINSDIR\check-stock.txt" r
  ${IfNot} ${Errors}
    ${Do}
      FileRead $2 $3
      ${If} ${Errors}
        ${Break}
      ${EndIf}
      !insertmacro CHOP_LINE_END $3
      !insertmacro REPORT "mapdiff check-stock: $3"
      StrCpy $0 $3 3
      ${If} $0 != "ok "
        StrCpy $stock_report "$stock_report$\r$\n$3"
      ${EndIf}
    ${Loop}
    FileClose $2
  ${EndIf}
  Delete "$PLUGINSDIR\check-stock.txt"
  Delete "$PLUGINSDIR\mapdiff.exe"
FunctionEnd

Function .onInit
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/LOG=" $log_file
  ${If} ${Errors}
    StrCpy $log_file "$TEMP\${MOD_NAME}-install.log"
  ${EndIf}
FunctionEnd

Section "${MOD_NAME}"
  StrCpy $mod_folder "$INSTDIR\${MOD_FOLDER}"
  StrCpy $maps_folder "$INSTDIR\Content\Q5\Maps"
  ${GetParent} "$mod_folder" $parent_folder
  ; Folders that this installer creates, it removes again when it fails.
  StrCpy $had_folder 0
  ${If} ${FileExists} "$mod_folder\*.*"
    StrCpy $had_folder 1
  ${EndIf}
  StrCpy $had_parent 0
  ${If} ${FileExists} "$parent_folder\*.*"
    StrCpy $had_parent 1
  ${EndIf}

  SetOutPath "$mod_folder"
  File "${MAPMEND}"
  !insertmacro MOD_MAPS COPY_PATCH

  StrCpy $first_options "--check-stock "
  StrCpy $failed ""
  !insertmacro MOD_MAPS REBUILD_MAP
  Delete "$mod_folder\mapmend.exe"

  ${If} $failed == ""
    File "${MOD_FILES}\${MOD_MANIFEST}"
    Return
  ${EndIf}

  ${If} $status == 7
    !insertmacro REPORT "${MOD_NAME} needs the game's own stock maps in $maps_folder:"
    Call report_stock_maps
  ${EndIf}
  StrCpy $undoing "rebuilt"
  !insertmacro MOD_MAPS UNDO_MAP
  SetOutPath "$INSTDIR"
  ${If} $had_folder == 0
    !insertmacro REMOVE_NEW_FOLDER "$mod_folder"
  ${EndIf}
  ${If} $had_parent == 0
    !insertmacro REMOVE_NEW_FOLDER "$parent_folder"
  ${EndIf}

  ${If} $status == "error"
    StrCpy $status 11
    !insertmacro REPORT "mapmend.exe could not be run."
  ${EndIf}
  ${IfNot} ${Silent}
    MessageBox MB_OK|MB_ICONSTOP "${MOD_NAME} could not be installed:$\r$\n$failed.qmp: $line$stock_report"
  ${EndIf}
  SetErrorLevel $status
  Abort "${MOD_NAME} could not be installed."
SectionEnd
