; An example installer for a map mod, of the kind a mod author ships: it checks the game folder
; the player chose, copies mapmend.exe and the mod's patches into the mod's folder under it,
; rebuilds the mod's maps with mapmend one after the other, keeps nothing of its own when that
; fails, and on success writes an uninstaller and an entry among the installed programs.
;
; Build (Debian's nsis package), from what `mapdiff pack <maps> <mod folder> <out folder>` wrote:
;   makensis -DMOD_SETTINGS=<out folder>/<mod>.nsh -DMOD_FILES=<out folder> \
;            -DMAPMEND=<mapmend.exe> -DMAPDIFF=<mapdiff.exe> [-DMOD_FOLDER=<folder>] \
;            [-DMOD_DISPLAY_NAME=<name>] [-DMOD_VERSION=<version>] [-DMOD_PUBLISHER=<publisher>] \
;            [-DMOD_ICON=<icon.ico>] [-DOUTFILE=<installer.exe>] installer/mod_installer.nsi
; The settings <mod>.nsh define MOD_NAME, MOD_FOLDER (the mod's folder relative to the game
; folder, Mods\<mod> unless given to makensis), MOD_MANIFEST (<mod>.md5) and the macro MOD_MAPS,
; which inserts a given macro once per map in install order with the patch's name without
; ".qmp" and the rebuilt map's MD5. MOD_FILES is the folder of the patches and the manifest;
; paths given to makensis are best absolute (relative ones are taken from this script's folder).
; The player sees MOD_DISPLAY_NAME (MOD_NAME unless given) and MOD_VERSION (1.0 unless given);
; MOD_PUBLISHER, when given, goes into the installed programs' entry; MOD_ICON is the icon of
; the installer, the uninstaller and so of that entry (NSIS's own unless given).
; mapdiff.exe travels inside the installer only to tell the player which stock map is wrong
; when mapmend's stock check fails; it is unpacked to a temporary folder, never installed.
; On success the mod folder holds the rebuilt maps, the manifest and Uninstall.exe, so that
; `md5sum -c <mod>.md5` there verifies the whole mod.
;
; Run: <OUTFILE> [/S] [/LOG=<file>] [/D=<game folder>]
; /D= must come last and takes the rest of the command line. Every run appends one block, with
; a header line, to the log: /LOG=<file>, by default %TEMP%\<MOD_NAME>-install.log. The exit
; status is 0 on success; the failed mapmend call's own status (1 to 10) otherwise, 1 also for
; a folder that is not the game's; 11 when mapmend could not be run; 12 when the mod folder
; cannot be written; 13 when the game folder's name cannot be passed to mapmend; 14 when Setup
; or the uninstaller of the same mod folder is already running (nothing changed); NSIS's own 1
; when the player cancels.
; One at a time: Setup and the uninstaller take the named mutex "Q5 mod setup <MOD_FOLDER>" (with
; "/" for ""), so two copies never work on one mod folder; mods in other folders may install
; side by side (they only read the stock maps).
; An upgrade or reinstall is one transaction: the maps that the earlier install's manifest names,
; and its uninstaller, are moved aside as "<name>.setup-keep" (the manifest itself, the journal,
; as "<mod>.md5.setup-keep") before anything is rebuilt. On a failure they are put back, and a run
; that finds a journal (the run before it was killed) puts them back before anything else. Only
; when the MD5 of every map of the new set matches does it write the new manifest, delete the
; journal (the moment the new install counts) and then the kept files and the ".old" backups
; that mapmend made during this run.
; The uninstaller, Uninstall.exe in the mod folder ([/S] [/LOG=<file>], the same log by default),
; removes the maps the manifest names, the manifest, itself, the mod folder once empty, the
; folder above it when the install made it and it is empty, and the entry.
;
; Rights: games live under Program Files, which only an administrator may write, so Setup asks
; for administrator rights (one prompt) and registers the mod for all users.

Unicode true
!include LogicLib.nsh
!include FileFunc.nsh
!include WinMessages.nsh
!include nsDialogs.nsh

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
!ifndef MOD_DISPLAY_NAME
  !define MOD_DISPLAY_NAME "${MOD_NAME}"
!endif
!ifndef MOD_VERSION
  !define MOD_VERSION "1.0"
!endif
!ifdef MOD_ICON
  !define UNINSTALL_ICON "${MOD_ICON}"
!else
  !define MOD_ICON "${NSISDIR}\Contrib\Graphics\Icons\modern-install.ico"
  !define UNINSTALL_ICON "${NSISDIR}\Contrib\Graphics\Icons\modern-uninstall.ico"
!endif
!define GAME_NAME "Q5"
!define UNINSTALLER "Uninstall.exe"
!define ENTRY_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${GAME_NAME} mod ${MOD_NAME}"
; The mutex of one mod folder: a mutex name may not hold "\".
!searchreplace SETUP_MUTEX "${GAME_NAME} mod setup ${MOD_FOLDER}" "\" "/"
!define KEEP ".setup-keep"
; The most names of stock maps that a message lists before "and N more".
!define MESSAGE_NAMES 5

Name "${MOD_DISPLAY_NAME} ${MOD_VERSION}"
OutFile "${OUTFILE}"
Icon "${MOD_ICON}"
UninstallIcon "${UNINSTALL_ICON}"
RequestExecutionLevel admin
InstallDir "$PROGRAMFILES\${GAME_NAME}"
ShowInstDetails show
ShowUninstDetails show
CompletedText "$done_text"
SubCaption 2 ": Game Folder"
SubCaption 4 ": $done_caption"

Page custom welcome_page
PageEx directory
  DirText "Setup installs ${MOD_DISPLAY_NAME} ${MOD_VERSION} into the game folder of ${GAME_NAME}. Choose the folder where ${GAME_NAME} is installed: the one that holds the game's Content folder." \
          "${GAME_NAME} game folder" "Browse..." "Choose the folder where ${GAME_NAME} is installed:"
  PageCallbacks "" "" leave_game_folder
PageExEnd
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

Var mod_folder
Var mod_path       ; the mod folder as mapmend is given it
Var maps_folder    ; the maps folder as mapmend is given it
Var game_path      ; the game folder in a form the system's code page can carry
Var log_file
Var status
Var line
Var first_options
Var failed
Var undoing
Var problem
Var advice
Var had_folder
Var parent_folder
Var had_parent
Var done_text
Var done_caption

; Appends one line to the log, and shows it in the details list.
!macro REPORT text
  FileOpen $R9 $log_file a
  FileSeek $R9 0 END
  FileWrite $R9 "${text}$\r$\n"
  FileClose $R9
  DetailPrint "${text}"
!macroend

; The log's block header: one per run.
!macro LOG_HEADER what
  ${GetTime} "" "L" $0 $1 $2 $3 $4 $5 $6
  FileOpen $R9 $log_file a
  FileSeek $R9 0 END
  FileWrite $R9 "$\r$\n==== $2-$1-$0 $4:$5:$6 ${what} ${MOD_DISPLAY_NAME} ${MOD_VERSION} (${MOD_NAME}), game folder $INSTDIR, by $EXEFILE (NSIS ${NSIS_VERSION})$\r$\n"
  FileClose $R9
!macroend

; Some shells and programs quote a whole argument that holds blanks ("/D=C:\Games\My Q5"),
; which NSIS does not read as /D=. Finds such an argument in the command line: $R0 the option
; with its opening quote, gives its value in $R1 ("" when there is none).
!macro QUOTED_OPTION_BODY
  StrCpy $R1 ""
  StrLen $R2 $R0
  StrCpy $R3 0
  ${Do}
    StrCpy $R4 $CMDLINE $R2 $R3
    ${If} $R4 == ""
      Return
    ${EndIf}
    ${If} $R4 == $R0
      ${Break}
    ${EndIf}
    IntOp $R3 $R3 + 1
  ${Loop}
  IntOp $R3 $R3 + $R2
  StrCpy $R1 $CMDLINE "" $R3
  StrCpy $R3 0
  ${Do}
    StrCpy $R4 $R1 1 $R3
    ${If} $R4 == '"'
    ${OrIf} $R4 == ""
      ${Break}
    ${EndIf}
    IntOp $R3 $R3 + 1
  ${Loop}
  StrCpy $R1 $R1 $R3
!macroend
Function quoted_option
  !insertmacro QUOTED_OPTION_BODY
FunctionEnd
Function un.quoted_option
  !insertmacro QUOTED_OPTION_BODY
FunctionEnd

; /LOG=<file> (also quoted as a whole), else the default log. `un` is "un." in the uninstaller.
!macro READ_LOG_OPTION un
  StrCpy $R0 '"/LOG='
  Call ${un}quoted_option
  StrCpy $log_file $R1
  ${If} $log_file == ""
    ${GetParameters} $0
    ClearErrors
    ${GetOptions} $0 "/LOG=" $log_file
    ${If} ${Errors}
      StrCpy $log_file ""
    ${EndIf}
  ${EndIf}
  ${If} $log_file == ""
    StrCpy $log_file "$TEMP\${MOD_NAME}-install.log"
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

!macro COPY_PATCH name digest
  File "${MOD_FILES}\${name}.qmp"
!macroend

; One map, once every map before it has been rebuilt: the typical call, the stock check on the
; first call only. Each map's sources are stock maps and maps rebuilt before it.
!macro REBUILD_MAP name digest
  ${If} $failed == ""
    nsExec::ExecToStack '"$mod_folder\mapmend.exe" $first_options--check-rebuilt=${digest} --delete-qmp "$maps_folder" "$mod_path\${name}.qmp"'
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
; aside (.old) stay too. When the failure came before the first rebuild, no map is touched; when
; it came after the last ("all"), every map is this install's.
!macro UNDO_MAP name digest
  Delete "$mod_folder\${name}.qmp"
  ${If} $undoing == "all"
    !insertmacro REMOVE_MAP "$mod_folder\${name}.qmw"
  ${ElseIf} $undoing == "rebuilt"
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

; The game folder as a path that mapmend, which reads 8-bit texts in the system's code page, can
; open: its short form when the volume keeps short names (they are plain ASCII), else the
; folder as it is. Sets $game_path, or $problem when neither form fits the code page.
Function find_game_path
  StrCpy $problem ""
  StrCpy $game_path $INSTDIR
  System::Call 'kernel32::GetShortPathNameW(w "$INSTDIR", w .r0, i ${NSIS_MAX_STRLEN}) i .r1'
  ${If} $1 > 0
  ${AndIf} $1 < ${NSIS_MAX_STRLEN}
    StrCpy $game_path $0
  ${EndIf}
  ; Every character must map to one of the code page, not to a look-alike or a "?".
  System::Call 'kernel32::GetACP() i .r2'
  ${If} $2 == 65001
    Return
  ${EndIf}
  System::Call 'kernel32::WideCharToMultiByte(i 0, i 0x400, w "$game_path\${MOD_FOLDER}", i -1, p 0, i 0, p 0, *i 0 r3) i .r4'
  ${If} $4 == 0
  ${OrIf} $3 != 0
    StrCpy $problem "The folder$\r$\n$INSTDIR\${MOD_FOLDER}$\r$\nhas characters in its name that the mod's rebuild tool cannot use on this system (code page $2), and the drive keeps no short name for it.$\r$\n$\r$\nMove or copy the game to a folder whose name uses only plain letters (such as C:\Games\${GAME_NAME}), then run Setup again."
    StrCpy $status 13
  ${EndIf}
FunctionEnd

; Sets $problem (and $status 1) unless $INSTDIR is the game's folder.
Function check_game_folder
  StrCpy $problem ""
  ${IfNot} ${FileExists} "$INSTDIR\Content\${GAME_NAME}\Maps\*.*"
    StrCpy $problem "This is not the folder of ${GAME_NAME}: Setup did not find its maps in$\r$\n$INSTDIR\Content\${GAME_NAME}\Maps$\r$\n$\r$\nChoose the folder where ${GAME_NAME} is installed, the one that holds its Content folder."
    StrCpy $status 1
    Return
  ${EndIf}
  Call find_game_path
FunctionEnd

; Leaving the folder page: nothing is created before the folder is known to be the game's.
Function leave_game_folder
  Call check_game_folder
  ${If} $problem != ""
    MessageBox MB_OK|MB_ICONEXCLAMATION "$problem"
    Abort
  ${EndIf}
FunctionEnd

; Adds the lines of mapdiff check-stock whose first word is (not) "ok ": $1 "ok" or "other".
; The names of the first stock maps that are not ok go to $advice, counted in $6.
Function report_stock_lines
  ClearErrors
  FileOpen $2 "$PLUGINSDIR\check-stock.txt" r
  ${If} ${Errors}
    Return
  ${EndIf}
  ${Do}
    FileRead $2 $3
    ${If} ${Errors}
      ${Break}
    ${EndIf}
    !insertmacro CHOP_LINE_END $3
    StrCpy $0 $3 3
    ${If} $0 == "ok "
      ${If} $1 == "ok"
        !insertmacro REPORT "mapdiff check-stock: $3"
      ${EndIf}
    ${ElseIf} $1 == "other"
      !insertmacro REPORT "mapdiff check-stock: $3"
      ; "<state>  <name>  ..." for a stock map; the verdict line begins with a count.
      StrCpy $0 $3 7
      ${If} $0 == "differs"
      ${OrIf} $0 == "missing"
        IntOp $6 $6 + 1
        ${If} $6 <= ${MESSAGE_NAMES}
          ; The name is the second word.
          StrCpy $7 $3 "" 7
          ${Do}
            StrCpy $0 $7 1
            ${If} $0 != " "
              ${Break}
            ${EndIf}
            StrCpy $7 $7 "" 1
          ${Loop}
          StrCpy $8 0
          ${Do}
            StrCpy $0 $7 1 $8
            ${If} $0 == " "
            ${OrIf} $0 == ""
              ${Break}
            ${EndIf}
            IntOp $8 $8 + 1
          ${Loop}
          StrCpy $7 $7 $8
          StrCpy $4 $3 7
          ${If} $4 == "differs"
            StrCpy $advice "$advice$\r$\n    $7 (changed)"
          ${Else}
            StrCpy $advice "$advice$\r$\n    $7 (missing)"
          ${EndIf}
        ${EndIf}
      ${EndIf}
    ${EndIf}
  ${Loop}
  FileClose $2
FunctionEnd

; mapmend says only that the stock check failed; mapdiff check-stock names each stock map with
; its expected and found MD5. Every line goes to the log and the details list, those of the maps
; that are not ok first; the first few names go to the message. Its output is longer than an
; NSIS string, hence the file.
Function report_stock_maps
  InitPluginsDir
  File "/oname=$PLUGINSDIR\mapdiff.exe" "${MAPDIFF}"
  nsExec::Exec '"$SYSDIR\cmd.exe" /c ""$PLUGINSDIR\mapdiff.exe" check-stock "$maps_folder" > "$PLUGINSDIR\check-stock.txt""'
  Pop $0
  StrCpy $advice ""
  StrCpy $6 0
  StrCpy $1 "other"
  Call report_stock_lines
  StrCpy $1 "ok"
  Call report_stock_lines
  ${If} $6 > ${MESSAGE_NAMES}
    IntOp $0 $6 - ${MESSAGE_NAMES}
    StrCpy $advice "$advice$\r$\n    and $0 more"
  ${EndIf}
  StrCpy $problem "Some of the game's own maps are not the originals that this mod is made for:$advice$\r$\n$\r$\nRestore the game's files (verify them in your game store or launcher, or reinstall ${GAME_NAME}), then run Setup again."
  Delete "$PLUGINSDIR\check-stock.txt"
  Delete "$PLUGINSDIR\mapdiff.exe"
FunctionEnd

; What went wrong, in words a player can act on, from the failed step's status.
Function describe_failure
  ${If} $status == 7
    Call report_stock_maps
  ${ElseIf} $status == 12
    ; The folder that cannot be written is the nearest one that is there (a read-only game
    ; folder when the mod's folder could not be made in it).
    StrCpy $0 $mod_folder
    ${DoUntil} ${FileExists} "$0\*.*"
      ${GetParent} $0 $1
      ${If} $1 == ""
      ${OrIf} $1 == $0
        ${Break}
      ${EndIf}
      StrCpy $0 $1
    ${Loop}
    ${If} $0 != $mod_folder
      StrCpy $0 "$0$\r$\n(to make the mod's folder $mod_folder)"
    ${EndIf}
    StrCpy $problem "Setup cannot write to the folder$\r$\n$0$\r$\n$\r$\nRun Setup as an administrator, or make sure that the disk is not full and the folder is not write-protected, then run Setup again."
  ${ElseIf} $status == 2
  ${OrIf} $status == 8
  ${OrIf} $status == 9
    StrCpy $problem "The mod's patch $failed.qmp is damaged or does not fit this game (the rebuild tool said: $line).$\r$\n$\r$\nDownload ${MOD_DISPLAY_NAME} again and run its Setup again."
  ${ElseIf} $status == 10
    StrCpy $problem "Setup could not delete its patch$\r$\n$mod_folder\$failed.qmp$\r$\n$\r$\nClose any program that uses the mod's folder, then run Setup again."
  ${ElseIf} $status == "error"
    StrCpy $status 11
    StrCpy $problem "Setup could not run the mod's rebuild tool (mapmend.exe) in$\r$\n$mod_folder$\r$\n$\r$\nMake sure that no security program blocks it, then run Setup again."
  ${Else}
    StrCpy $problem "The rebuild tool failed on $failed.qmp: $line$\r$\n$\r$\nDownload ${MOD_DISPLAY_NAME} again and run its Setup again."
  ${EndIf}
FunctionEnd

; Ends a run that failed: the message (within a message box's limit), the log, the last page
; and the exit status.
Function finish_failure
  !insertmacro REPORT "${MOD_DISPLAY_NAME} could not be installed: status $status."
  ; The log gets the message line by line; the box the same text, cut to fit if it must.
  StrCpy $0 "${MOD_DISPLAY_NAME} could not be installed. Nothing of the game was changed.$\r$\n$\r$\n$problem$\r$\n$\r$\nThe full report is in $log_file"
  FileOpen $R9 $log_file a
  FileSeek $R9 0 END
  FileWrite $R9 "$0$\r$\n"
  FileClose $R9
  StrCpy $0 $0 1000
  ${IfNot} ${Silent}
    MessageBox MB_OK|MB_ICONSTOP "$0"
  ${EndIf}
  StrCpy $done_caption "Failed"
  StrCpy $done_text "${MOD_DISPLAY_NAME} could not be installed. See the message above."
  SetErrorLevel $status
FunctionEnd

; Fills the progress bar: its share of the section ends where the rebuild ends.
Function fill_progress_bar
  FindWindow $0 "#32770" "" $HWNDPARENT
  GetDlgItem $0 $0 1004
  SendMessage $0 ${PBM_SETPOS} 30000 0
FunctionEnd

; Takes back what a failed install made, in the order it was made, and ends the run.
Function undo_install
  Call describe_failure
  !insertmacro MOD_MAPS UNDO_MAP
  Call delete_mapmend
  ; An earlier install's manifest and uninstaller are put back by the restore.
  ${IfNot} ${FileExists} "$mod_folder\${MOD_MANIFEST}${KEEP}"
    Delete "$mod_folder\${MOD_MANIFEST}"
  ${EndIf}
  ${If} ${FileExists} "$mod_folder\${UNINSTALLER}${KEEP}"
  ${OrIfNot} ${FileExists} "$mod_folder\${MOD_MANIFEST}${KEEP}"
    Delete "$mod_folder\${UNINSTALLER}"
  ${EndIf}
  Call restore_earlier_install
  SetOutPath "$INSTDIR"
  ${If} $had_folder == 0
    !insertmacro REMOVE_NEW_FOLDER "$mod_folder"
  ${EndIf}
  ${If} $had_parent == 0
    !insertmacro REMOVE_NEW_FOLDER "$parent_folder"
  ${EndIf}
  Call finish_failure
FunctionEnd

; One Setup or uninstaller per mod folder: a second copy changes nothing and ends with 14.
; The mutex is held until the process ends. `un` is "un." in the uninstaller.
!macro TAKE_SETUP_MUTEX un
  System::Call 'kernel32::CreateMutex(p 0, i 0, t "${SETUP_MUTEX}") p .r1 ?e'
  Pop $0
  ${If} $0 == 183
    !insertmacro LOG_HEADER "refused"
    StrCpy $0 "Setup of ${MOD_DISPLAY_NAME} is already running: let it finish (or close it), then run Setup again."
    FileOpen $R9 $log_file a
    FileSeek $R9 0 END
    FileWrite $R9 "$0$\r$\n"
    FileClose $R9
    ${IfNot} ${Silent}
      MessageBox MB_OK|MB_ICONEXCLAMATION "$0"
    ${EndIf}
    SetErrorLevel 14
    Quit
  ${EndIf}
!macroend

; The first page: what the mod is, and what Setup does, so that Back works on the folder page.
Function welcome_page
  nsDialogs::Create 1018
  Pop $0
  ${NSD_CreateLabel} 0 0 100% 100% "Setup installs ${MOD_DISPLAY_NAME} ${MOD_VERSION}, a map mod for ${GAME_NAME}.$\r$\n$\r$\nIt does not ship the mod's maps themselves: it rebuilds them in the game folder from the game's own map files and the mod's patches, and checks every map it makes. The game's own files are never changed. An earlier install of the mod stays as it was until the new one is complete.$\r$\n$\r$\nClick Next to choose the game folder."
  Pop $0
  ; The title comes once the page shows (a timer runs only then), as it does for the other pages.
  ${NSD_CreateTimer} welcome_title 1
  nsDialogs::Show
FunctionEnd

Function welcome_title
  ${NSD_KillTimer} welcome_title
  SendMessage $HWNDPARENT ${WM_SETTEXT} 0 "STR:$(^Name) Setup: Welcome"
FunctionEnd

; The MD5 of file $R0 as 32 lowercase hexadecimal digits in $R1, "" when it cannot be read.
; Windows' own crypto provider does the hashing; uses $0 to $8.
Function file_md5
  StrCpy $R1 ""
  System::Call 'kernel32::CreateFileW(w R0, i 0x80000000, i 1, p 0, i 3, i 0, p 0) p .r2'
  ${If} $2 == -1
  ${OrIf} $2 == 0
    Return
  ${EndIf}
  System::Call 'advapi32::CryptAcquireContextW(*p .r3, p 0, p 0, i 1, i 0xF0000000) i .r0'
  System::Call 'advapi32::CryptCreateHash(p r3, i 0x8003, p 0, i 0, *p .r4) i .r1'
  ${If} $0 != 0
  ${AndIf} $1 != 0
    System::Alloc 1048576
    Pop $5
    ${Do}
      System::Call 'kernel32::ReadFile(p r2, p r5, i 1048576, *i .r6, p 0) i .r0'
      ${If} $0 == 0
        StrCpy $6 -1
        ${Break}
      ${EndIf}
      ${If} $6 == 0
        ${Break}
      ${EndIf}
      System::Call 'advapi32::CryptHashData(p r4, p r5, i r6, i 0) i .r0'
      ${If} $0 == 0
        StrCpy $6 -1
        ${Break}
      ${EndIf}
    ${Loop}
    ${If} $6 == 0
      System::Call 'advapi32::CryptGetHashParam(p r4, i 2, p r5, *i 16, i 0) i .r0'
      ${If} $0 != 0
        ${For} $6 0 15
          IntOp $7 $5 + $6
          System::Call '*$7(&i1 .r8)'
          IntOp $8 $8 & 0xFF
          IntFmt $8 "%02x" $8
          StrCpy $R1 "$R1$8"
        ${Next}
      ${EndIf}
    ${EndIf}
    System::Free $5
    System::Call 'advapi32::CryptDestroyHash(p r4)'
  ${EndIf}
  System::Call 'advapi32::CryptReleaseContext(p r3, i 0)'
  System::Call 'kernel32::CloseHandle(p r2)'
FunctionEnd

; A mapmend run that outlived a killed Setup holds mapmend.lock in the mod folder until it ends;
; the earlier install is put back only after that (a lock file a power cut left stays longer).
Function wait_for_mapmend
  ${For} $1 1 300
    ${IfNot} ${FileExists} "$mod_folder\mapmend.lock"
      ${Break}
    ${EndIf}
    Sleep 200
  ${Next}
FunctionEnd

; Deletes this run's mapmend.exe. Mapmends that outlived killed runs and still run from it keep
; the file in use until they end, one after the other through the folder's lock: three minutes
; at most, after which the file is left for the next run, which replaces it.
Function delete_mapmend
  ${For} $1 1 900
    Delete "$mod_folder\mapmend.exe"
    ${IfNot} ${FileExists} "$mod_folder\mapmend.exe"
      ${Break}
    ${EndIf}
    Sleep 200
  ${Next}
FunctionEnd

; Puts back what an upgrade moved aside (the files the journal names, and the uninstaller),
; then the manifest itself: the earlier install as it was. Sets $R8 to 1 when something
; could not be put back (the journal then stays, for the next run).
Function restore_earlier_install
  StrCpy $R8 0
  ${IfNot} ${FileExists} "$mod_folder\${MOD_MANIFEST}${KEEP}"
    Return
  ${EndIf}
  Call wait_for_mapmend
  ClearErrors
  FileOpen $2 "$mod_folder\${MOD_MANIFEST}${KEEP}" r
  ${IfNot} ${Errors}
    ${Do}
      FileRead $2 $3
      ${If} ${Errors}
        ${Break}
      ${EndIf}
      !insertmacro CHOP_LINE_END $3
      StrCpy $3 $3 "" 34
      ${If} $3 != ""
      ${AndIf} ${FileExists} "$mod_folder\$3${KEEP}"
        !insertmacro REMOVE_MAP "$mod_folder\$3"
        ClearErrors
        Rename "$mod_folder\$3${KEEP}" "$mod_folder\$3"
        ${If} ${Errors}
          StrCpy $R8 1
          !insertmacro REPORT "Could not put back $3 of the earlier install (kept as $3${KEEP})."
        ${Else}
          !insertmacro REPORT "Put back $3 of the earlier install."
        ${EndIf}
      ${EndIf}
      ClearErrors
    ${Loop}
    FileClose $2
  ${EndIf}
  ${If} ${FileExists} "$mod_folder\${UNINSTALLER}${KEEP}"
    Delete "$mod_folder\${UNINSTALLER}"
    ClearErrors
    Rename "$mod_folder\${UNINSTALLER}${KEEP}" "$mod_folder\${UNINSTALLER}"
    ${If} ${Errors}
      StrCpy $R8 1
    ${EndIf}
  ${EndIf}
  ${If} $R8 == 0
    Delete "$mod_folder\${MOD_MANIFEST}"
    Rename "$mod_folder\${MOD_MANIFEST}${KEEP}" "$mod_folder\${MOD_MANIFEST}"
    !insertmacro REPORT "The earlier install is as it was."
  ${EndIf}
FunctionEnd

; Deletes the files of the given pattern in the mod folder.
!macro DELETE_MATCHING pattern
  FindFirst $1 $2 "$mod_folder\${pattern}"
  ${DoWhile} $2 != ""
    Delete "$mod_folder\$2"
    FindNext $1 $2
  ${Loop}
  FindClose $1
!macroend

; Moves the earlier install aside (a reinstall or an upgrade): the manifest becomes the journal
; first, so that a kill at any point after leaves a state that the next run puts back. Sets $R8
; to 1 when a file cannot be moved.
Function keep_earlier_install
  StrCpy $R8 0
  ${IfNot} ${FileExists} "$mod_folder\${MOD_MANIFEST}"
    Return
  ${EndIf}
  ClearErrors
  Rename "$mod_folder\${MOD_MANIFEST}" "$mod_folder\${MOD_MANIFEST}${KEEP}"
  ${If} ${Errors}
    StrCpy $R8 1
    Return
  ${EndIf}
  !insertmacro REPORT "An earlier install is there: its maps are kept aside until this one is complete."
  FileOpen $2 "$mod_folder\${MOD_MANIFEST}${KEEP}" r
  ${Do}
    FileRead $2 $3
    ${If} ${Errors}
      ${Break}
    ${EndIf}
    !insertmacro CHOP_LINE_END $3
    StrCpy $3 $3 "" 34
    ${If} $3 != ""
    ${AndIf} ${FileExists} "$mod_folder\$3"
      ClearErrors
      Rename "$mod_folder\$3" "$mod_folder\$3${KEEP}"
      ${If} ${Errors}
        StrCpy $R8 1
      ${EndIf}
    ${EndIf}
    ClearErrors
  ${Loop}
  FileClose $2
  ${If} ${FileExists} "$mod_folder\${UNINSTALLER}"
    ClearErrors
    Rename "$mod_folder\${UNINSTALLER}" "$mod_folder\${UNINSTALLER}${KEEP}"
    ${If} ${Errors}
      StrCpy $R8 1
    ${EndIf}
  ${EndIf}
FunctionEnd

; The ".old" files in the mod folder before the rebuild, one name a line: those that appear
; later are mapmend's backups made by this run.
Function list_old_files
  FileOpen $3 "$PLUGINSDIR\old-before.txt" w
  FindFirst $1 $2 "$mod_folder\*.old"
  ${DoWhile} $2 != ""
    FileWrite $3 "$2$\r$\n"
    FindNext $1 $2
  ${Loop}
  FindClose $1
  FileClose $3
FunctionEnd

Function delete_new_old_files
  FindFirst $1 $2 "$mod_folder\*.old"
  ${DoWhile} $2 != ""
    StrCpy $5 "new"
    FileOpen $3 "$PLUGINSDIR\old-before.txt" r
    ${Do}
      FileRead $3 $4
      ${If} ${Errors}
        ${Break}
      ${EndIf}
      !insertmacro CHOP_LINE_END $4
      ${If} $4 == $2
        StrCpy $5 "earlier"
        ${Break}
      ${EndIf}
    ${Loop}
    FileClose $3
    ${If} $5 == "new"
      Delete "$mod_folder\$2"
    ${EndIf}
    FindNext $1 $2
  ${Loop}
  FindClose $1
FunctionEnd

; The final check of the whole new set, after every map's rebuild: a later map's rebuild may
; have touched an earlier one, so each is hashed again here.
!macro CHECK_MAP name digest
  ${If} $failed == ""
    StrCpy $R0 "$mod_folder\${name}.qmw"
    Call file_md5
    ${If} $R1 != "${digest}"
      StrCpy $failed "${name}"
      StrCpy $status 8
      StrCpy $line "${name}.qmw has MD5 $R1, not ${digest}."
      !insertmacro REPORT "check ${name}.qmw: $line"
    ${EndIf}
  ${EndIf}
!macroend

Function .onInit
  StrCpy $done_caption "Completed"
  StrCpy $done_text "Completed"
  !insertmacro READ_LOG_OPTION ""
  StrCpy $R0 '"/D='
  Call quoted_option
  ${If} $R1 != ""
    StrCpy $INSTDIR $R1
  ${EndIf}
  !insertmacro TAKE_SETUP_MUTEX ""
FunctionEnd

Function .onUserAbort
  !insertmacro LOG_HEADER "cancelled"
FunctionEnd

Section "${MOD_NAME}"
  !insertmacro LOG_HEADER "install"
  StrCpy $failed ""
  StrCpy $status 0
  StrCpy $mod_folder "$INSTDIR\${MOD_FOLDER}"
  ; The folder page checked the folder already; a silent run did not see that page.
  Call check_game_folder
  ${If} $problem != ""
    !insertmacro REPORT "The game folder cannot be used:"
    StrCpy $failed "(game folder)"
    Call finish_failure
    Return
  ${EndIf}
  StrCpy $mod_path "$game_path\${MOD_FOLDER}"
  StrCpy $maps_folder "$game_path\Content\${GAME_NAME}\Maps"
  !insertmacro REPORT "Game folder $INSTDIR, given to mapmend as $game_path."
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

  ; A folder that cannot be written is found before anything is copied into it.
  StrCpy $undoing "none"
  ClearErrors
  CreateDirectory "$mod_folder"
  FileOpen $0 "$mod_folder\setup-write-test.tmp" w
  ${If} ${Errors}
    StrCpy $failed "(mod folder)"
    StrCpy $status 12
  ${Else}
    FileClose $0
    Delete "$mod_folder\setup-write-test.tmp"
    ; A mapmend that outlived a killed run may still be at work here: it ends first, so that no
    ; map is moved under it and its mapmend.exe can be replaced and deleted.
    Call wait_for_mapmend
    ; A run before this one that was killed during an upgrade: its earlier install comes back
    ; first. Kept files without a journal are those of an upgrade that was complete.
    Call restore_earlier_install
    ${If} $R8 != 0
      StrCpy $failed "(mod folder)"
      StrCpy $status 12
    ${Else}
      !insertmacro DELETE_MATCHING "*${KEEP}"
      Call keep_earlier_install
      ${If} $R8 != 0
        StrCpy $failed "(mod folder)"
        StrCpy $status 12
      ${EndIf}
    ${EndIf}
  ${EndIf}
  ${If} $failed == ""
    InitPluginsDir
    Call list_old_files
    SetOutPath "$mod_folder"
    File "${MAPMEND}"
    !insertmacro MOD_MAPS COPY_PATCH
    StrCpy $undoing "rebuilt"
  ${EndIf}

  StrCpy $first_options "--check-stock "
  !insertmacro MOD_MAPS REBUILD_MAP
  Call delete_mapmend

  ${If} $failed == ""
    StrCpy $undoing "all"
    !insertmacro MOD_MAPS CHECK_MAP
  ${EndIf}
  ${If} $failed == ""
    !insertmacro REPORT "Every map of the mod has its MD5."
    ClearErrors
    File "${MOD_FILES}\${MOD_MANIFEST}"
    WriteUninstaller "$mod_folder\${UNINSTALLER}"
    ; The moment the new install counts: without the journal nothing is put back.
    ${If} ${FileExists} "$mod_folder\${MOD_MANIFEST}${KEEP}"
      Delete "$mod_folder\${MOD_MANIFEST}${KEEP}"
    ${EndIf}
    ${If} ${Errors}
      StrCpy $failed "(mod folder)"
      StrCpy $status 12
    ${EndIf}
  ${EndIf}
  ; The failure's handling lies in a function, so that a successful run passes every step of
  ; this section and its progress bar reaches the end. The section ends without Abort, so that
  ; the last page can be closed with Close; the exit status is set all the same.
  ${If} $failed != ""
    Call undo_install
    Return
  ${EndIf}
  !insertmacro DELETE_MATCHING "*${KEEP}"
  Call delete_new_old_files

  WriteRegStr HKLM "${ENTRY_KEY}" "DisplayName" "${MOD_DISPLAY_NAME} (${GAME_NAME} mod)"
  WriteRegStr HKLM "${ENTRY_KEY}" "DisplayVersion" "${MOD_VERSION}"
  !ifdef MOD_PUBLISHER
    WriteRegStr HKLM "${ENTRY_KEY}" "Publisher" "${MOD_PUBLISHER}"
  !endif
  WriteRegStr HKLM "${ENTRY_KEY}" "DisplayIcon" "$mod_folder\${UNINSTALLER},0"
  WriteRegStr HKLM "${ENTRY_KEY}" "InstallLocation" "$mod_folder"
  WriteRegStr HKLM "${ENTRY_KEY}" "UninstallString" '"$mod_folder\${UNINSTALLER}"'
  WriteRegStr HKLM "${ENTRY_KEY}" "QuietUninstallString" '"$mod_folder\${UNINSTALLER}" /S'
  WriteRegDWORD HKLM "${ENTRY_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${ENTRY_KEY}" "NoRepair" 1
  ; The uninstaller removes the folder above the mod's only when this install made it.
  WriteRegDWORD HKLM "${ENTRY_KEY}" "KeepParentFolder" $had_parent
  ${GetSize} "$mod_folder" "/S=0K" $0 $1 $2
  IntFmt $0 "0x%08X" $0
  WriteRegDWORD HKLM "${ENTRY_KEY}" "EstimatedSize" "$0"
  !insertmacro REPORT "${MOD_DISPLAY_NAME} ${MOD_VERSION} is installed in $mod_folder."
  Call fill_progress_bar
SectionEnd

; The uninstaller runs from the mod folder ($INSTDIR there).
Function un.onInit
  StrCpy $done_text "Completed"
  !insertmacro READ_LOG_OPTION "un."
  !insertmacro TAKE_SETUP_MUTEX "un."
FunctionEnd

Section "Uninstall"
  !insertmacro LOG_HEADER "uninstall"
  ; The maps that the manifest names: "<md5>  <name>" a line.
  ClearErrors
  FileOpen $2 "$INSTDIR\${MOD_MANIFEST}" r
  ${IfNot} ${Errors}
    ${Do}
      FileRead $2 $3
      ${If} ${Errors}
        ${Break}
      ${EndIf}
      !insertmacro CHOP_LINE_END $3
      StrCpy $3 $3 "" 34
      ${If} $3 != ""
        !insertmacro REMOVE_MAP "$INSTDIR\$3"
        !insertmacro REPORT "removed $3"
      ${EndIf}
    ${Loop}
    FileClose $2
  ${EndIf}
  Delete "$INSTDIR\${MOD_MANIFEST}"
  Delete "$INSTDIR\${UNINSTALLER}"
  ReadRegDWORD $had_parent HKLM "${ENTRY_KEY}" "KeepParentFolder"
  DeleteRegKey HKLM "${ENTRY_KEY}"
  ${GetParent} "$INSTDIR" $parent_folder
  SetOutPath "$TEMP"
  !insertmacro REMOVE_NEW_FOLDER "$INSTDIR"
  ${If} $had_parent != 1
    RMDir "$parent_folder"
  ${EndIf}
  ${If} ${FileExists} "$INSTDIR\*.*"
    !insertmacro REPORT "$INSTDIR stays: it holds files that ${MOD_DISPLAY_NAME} did not install."
  ${EndIf}
  !insertmacro REPORT "${MOD_DISPLAY_NAME} is uninstalled."
SectionEnd
