; An example installer for a map mod, of the kind a mod author ships: it copies mapmend.exe and
; the mod's patch files into the mod's folder under the game folder, rebuilds the mod's map with
; mapmend and keeps nothing of its own when that fails.
;
; Build (Debian's nsis package):
;   makensis -DMOD_SETTINGS=<mod.nsh> -DMOD_FILES=<folder> -DMAPMEND=<mapmend.exe> \
;            [-DOUTFILE=<installer.exe>] installer/mod_installer.nsi
; MOD_SETTINGS names a file of defines and one macro (see installer/example_mod.nsh):
;   MOD_NAME      the mod's name, shown in the installer
;   MOD_FOLDER    the mod's folder, relative to the game folder (Mods\Riverside)
;   MOD_PATCH     the name of the patch to rebuild, without ".qmp" (Riverside)
;   MOD_MD5       the MD5 digest of the rebuilt map
;   MOD_SIBLINGS  a macro that names each sibling patch it needs, without ".qmp"
; MOD_FILES is the folder that holds the patch files; paths given to makensis are best absolute
; (relative ones are taken from this script's folder).
; On success the mod folder holds the rebuilt map alone: sibling patches and the maps rebuilt
; from them only served the rebuild.
;
; Run: <OUTFILE> [/S] [/LOG=<file>] [/D=<game folder>]
; /D= must come last and takes the rest of the command line. In silent mode (/S) the outcome is
; written to the log, by default %TEMP%\<MOD_NAME>-install.log. The exit status is 0 on success
; and mapmend's own status (1 to 10) when it failed; 11 when mapmend could not be run.

Unicode true
!include LogicLib.nsh
!include FileFunc.nsh

!ifndef MOD_SETTINGS
  !define MOD_SETTINGS example_mod.nsh
!endif
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
Var log_file
Var status
Var line
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

; A sibling's map that an interrupted install left unfinished carries its marker
; (<map>.rebuilding): mapmend moves such a map aside and rebuilds it.
!macro COPY_SIBLING name
  File "${MOD_FILES}\${name}.qmp"
!macroend

; Deletes a map file, and its marker once the map is gone: a partial map never loses its marker.
!macro REMOVE_MAP map
  Delete "${map}"
  ${IfNot} ${FileExists} "${map}"
    Delete "${map}.rebuilding"
  ${EndIf}
!macroend

; Also after a success: a sibling's map only served as a source of the rebuild.
!macro REMOVE_SIBLING name
  Delete "$mod_folder\${name}.qmp"
  !insertmacro REMOVE_MAP "$mod_folder\${name}.qmw"
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
  File "${MOD_FILES}\${MOD_PATCH}.qmp"
  !insertmacro MOD_SIBLINGS COPY_SIBLING

  ; The typical call: verify the stock maps, rebuild, verify the result, delete the patch.
  nsExec::ExecToStack '"$mod_folder\mapmend.exe" --check-stock --check-rebuilt=${MOD_MD5} --delete-qmp "$INSTDIR\Content\Q5\Maps" "$mod_folder\${MOD_PATCH}.qmp"'
  Pop $status
  Pop $line
  ; mapmend prints one line; drop its line end.
  StrCpy $0 $line 2 -2
  ${If} $0 == "$\r$\n"
    StrCpy $line $line -2
  ${EndIf}
  !insertmacro REPORT "mapmend: $line"

  ${If} $status == 0
    Delete "$mod_folder\mapmend.exe"
    !insertmacro MOD_SIBLINGS REMOVE_SIBLING
    Return
  ${EndIf}

  ; Failed: remove what this installer copied and what the run wrote. A map file of the patch
  ; is the run's own only from the rebuild on (statuses 8 to 10); before that it may be an
  ; earlier install's, which stays. Earlier maps that mapmend moved aside (.old) stay too.
  Delete "$mod_folder\mapmend.exe"
  Delete "$mod_folder\${MOD_PATCH}.qmp"
  ${If} $status == 8
  ${OrIf} $status == 9
  ${OrIf} $status == 10
  ${OrIf} $status == "error"
    !insertmacro REMOVE_MAP "$mod_folder\${MOD_PATCH}.qmw"
  ${EndIf}
  !insertmacro MOD_SIBLINGS REMOVE_SIBLING
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
    MessageBox MB_OK|MB_ICONSTOP "${MOD_NAME} could not be installed:$\r$\n$line"
  ${EndIf}
  SetErrorLevel $status
  Abort "${MOD_NAME} could not be installed."
SectionEnd
