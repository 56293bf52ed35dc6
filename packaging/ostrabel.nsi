; Ostrabel setup: a per-user installer made with makensis on the build machine.
;
; makensis receives these definitions from the build (packaging/CMakeLists.txt):
;   VERSION       the program's version, three numbers (1.0.0)
;   APP_EXE       path of ostrabel.exe
;   CLI_EXE       path of ostrabel-cli.exe
;   DEFAULT_LIST  the program's built-in server list, byte for byte
;   ICON          the application icon
;   OUTFILE       where to write the installer
;
; The program writes its server list, whoislist.txt, beside its own executable
; whenever the user saves the Configure dialog. The install folder therefore
; has to be writable by the user without elevation: everything goes below
; %LOCALAPPDATA%, the shortcut into the user's own Start menu and the
; uninstaller's entry into HKEY_CURRENT_USER.
;
; Uninstalling removes the program, the shortcut and the uninstaller entry. It
; never touches the program's settings (HKCU\software\Tarvolk Technologies).
; whoislist.txt is removed only when it holds nothing the user wrote: when it
; is empty (the program then uses its built-in list anyway) or byte-identical
; to the built-in list. Any other whoislist.txt stays, and so does its folder.

!ifndef VERSION | APP_EXE | CLI_EXE | DEFAULT_LIST | ICON | OUTFILE
  !error "VERSION, APP_EXE, CLI_EXE, DEFAULT_LIST, ICON and OUTFILE must be defined"
!endif

Unicode true
SetCompressor /SOLID lzma

!define PRODUCT "Ostrabel"
!define PUBLISHER "Tarvolk Technologies"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Ostrabel"
!define SERVER_LIST "whoislist.txt"

Name "${PRODUCT}"
OutFile "${OUTFILE}"
RequestExecutionLevel user
InstallDir "$LOCALAPPDATA\Programs\${PRODUCT}"
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"
BrandingText "${PRODUCT} ${VERSION}"
ShowInstDetails show
ShowUninstDetails show

VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=1033 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=1033 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=1033 "FileDescription" "${PRODUCT} setup"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "LegalCopyright" "${PUBLISHER}"

!include "MUI2.nsh"
!include "LogicLib.nsh"
!include "FileFunc.nsh"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
!define MUI_FINISHPAGE_RUN "$INSTDIR\ostrabel.exe"
!define MUI_FINISHPAGE_RUN_TEXT "Start ${PRODUCT}"

!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

Function .onInit
  SetShellVarContext current
FunctionEnd

Function un.onInit
  SetShellVarContext current
FunctionEnd

Section "${PRODUCT}" SecProgram
  SectionIn RO
  SetOutPath "$INSTDIR"
  File "/oname=ostrabel.exe" "${APP_EXE}"
  File "/oname=ostrabel-cli.exe" "${CLI_EXE}"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  CreateShortCut "$SMPROGRAMS\${PRODUCT}.lnk" "$INSTDIR\ostrabel.exe" "" "$INSTDIR\ostrabel.exe" 0

  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\ostrabel.exe"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  IntFmt $0 "0x%08X" $0
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" "$0"
SectionEnd

; In: $R0 a path. Out: $R2 = the file's length in bytes, or -1 when it cannot
; be opened. Uses $R3.
Function un.FileLength
  StrCpy $R2 -1
  ClearErrors
  FileOpen $R3 $R0 r
  ${IfNot} ${Errors}
    FileSeek $R3 0 END $R2
    FileClose $R3
  ${EndIf}
FunctionEnd

; Compares two files byte for byte.
; In: $R0, $R1 the two paths. Out: $R2 = 1 when both open and hold the same
; bytes, 0 otherwise. Uses $R3..$R8.
Function un.SameBytes
  StrCpy $R2 0
  ClearErrors
  FileOpen $R3 $R0 r
  ${If} ${Errors}
    Return
  ${EndIf}
  FileOpen $R4 $R1 r
  ${If} ${Errors}
    FileClose $R3
    Return
  ${EndIf}
  FileSeek $R3 0 END $R5
  FileSeek $R4 0 END $R6
  ${If} $R5 == $R6
    FileSeek $R3 0 SET
    FileSeek $R4 0 SET
    StrCpy $R2 1
    ${Do}
      ClearErrors
      FileReadByte $R3 $R7
      ${If} ${Errors}
        ${Break}
      ${EndIf}
      FileReadByte $R4 $R8
      ${If} ${Errors}
      ${OrIf} $R7 <> $R8
        StrCpy $R2 0
        ${Break}
      ${EndIf}
    ${Loop}
  ${EndIf}
  FileClose $R4
  FileClose $R3
FunctionEnd

; Removes whoislist.txt when it holds nothing of the user's: an empty file (the
; program treats it as missing) or one byte-identical to the built-in list,
; which is what saving the Configure dialog without an edit writes.
Function un.RemoveUneditedServerList
  ${IfNot} ${FileExists} "$INSTDIR\${SERVER_LIST}"
    Return
  ${EndIf}
  StrCpy $R0 "$INSTDIR\${SERVER_LIST}"
  Call un.FileLength
  ${If} $R2 == 0
    Delete "$INSTDIR\${SERVER_LIST}"
    DetailPrint "Removed the empty ${SERVER_LIST}"
    Return
  ${EndIf}
  InitPluginsDir
  File "/oname=$PLUGINSDIR\default-${SERVER_LIST}" "${DEFAULT_LIST}"
  StrCpy $R0 "$INSTDIR\${SERVER_LIST}"
  StrCpy $R1 "$PLUGINSDIR\default-${SERVER_LIST}"
  Call un.SameBytes
  ${If} $R2 == 1
    Delete "$INSTDIR\${SERVER_LIST}"
    DetailPrint "Removed ${SERVER_LIST}: it held the built-in server list"
  ${Else}
    DetailPrint "Kept your edited ${SERVER_LIST} in $INSTDIR"
  ${EndIf}
FunctionEnd

Section "Uninstall"
  ; A running program cannot be deleted: stop before anything is removed.
  ClearErrors
  Delete "$INSTDIR\ostrabel.exe"
  ${If} ${Errors}
  ${AndIf} ${FileExists} "$INSTDIR\ostrabel.exe"
    MessageBox MB_OK|MB_ICONSTOP "${PRODUCT} is running. Close it, then uninstall again." /SD IDOK
    SetErrorLevel 2
    Abort
  ${EndIf}
  Delete "$INSTDIR\ostrabel-cli.exe"
  Delete "$SMPROGRAMS\${PRODUCT}.lnk"
  Call un.RemoveUneditedServerList
  Delete "$INSTDIR\uninstall.exe"
  ; Only empty folders go: a kept server list (or anything else the user put
  ; there) keeps the install folder.
  SetOutPath "$TEMP"
  RMDir "$INSTDIR"
  RMDir "$LOCALAPPDATA\Programs"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
SectionEnd
