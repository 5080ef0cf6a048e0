; Tapperbird's per-user installer, built on Linux with makensis (scripts/package passes the
; defines below). No administrator rights: everything goes under the user's own profile and
; HKEY_CURRENT_USER.
;   makensis -DVERSION=1.0.0 -DEXE=Tapperbird.exe -DICON=tapperbird.ico -DLICENSE=LICENSE
;            -DOUTFILE=Tapperbird-1.0.0-setup.exe tapperbird.nsi

Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel user
ManifestDPIAware true

!include "MUI2.nsh"
!include "LogicLib.nsh"
!include "FileFunc.nsh"
!include "WinMessages.nsh"

!define PRODUCT "Tapperbird"
!define PUBLISHER "Velmor's Software"
!define APP_ID "VelmorSoftware.Tapperbird"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Tapperbird"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
!define APPROVED_KEY "Software\Microsoft\Windows\CurrentVersion\Explorer\StartupApproved\Run"
!define MAKER_KEY "Software\Velmor's Software"
; The program's hidden host window: WM_CLOSE to it ends the program cleanly.
!define HOST_CLASS "TapperbirdHost"

Name "${PRODUCT}"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\${PRODUCT}"
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"
BrandingText "${PRODUCT} ${VERSION}"
ShowInstDetails nevershow
ShowUninstDetails nevershow

VIProductVersion "${VERSION}.0"
VIFileVersion "${VERSION}.0"
VIAddVersionKey "ProductName" "${PRODUCT}"
VIAddVersionKey "CompanyName" "${PUBLISHER}"
VIAddVersionKey "FileDescription" "${PRODUCT} setup"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "LegalCopyright" "© 2026 ${PUBLISHER}"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
!define MUI_FINISHPAGE_RUN
!define MUI_FINISHPAGE_RUN_TEXT "Start Tapperbird"
!define MUI_FINISHPAGE_RUN_FUNCTION StartBirdOnce

!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_LICENSE "${LICENSE}"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

Var WasRunning

; Asks every bird running from the install folder to leave (a second copy may run beside the
; first) and waits up to five seconds for each process to let go of the program file. A bird
; started from anywhere else, such as the portable copy from the zip, is left running. Sets $0 to
; 1 when one was closed.
!macro CloseBird un
Function ${un}CloseBird
  StrCpy $0 0
  StrCpy $6 0 ; the window to search on from: birds of other folders are passed over
  ${For} $5 1 32
    FindWindow $1 "${HOST_CLASS}" "" 0 $6
    ${If} $1 == 0
      ${ExitFor}
    ${EndIf}
    ; The window's process: its program file, and the process itself to wait for.
    System::Call 'user32::GetWindowThreadProcessId(p r1, *i .r2)'
    System::Call 'kernel32::OpenProcess(i 0x00101000, i 0, i r2)p .r3' ; SYNCHRONIZE | QUERY_LIMITED
    StrCpy $4 ""
    ${If} $3 P<> 0
      System::Call 'kernel32::QueryFullProcessImageNameW(p r3, i 0, w .r4, *i ${NSIS_MAX_STRLEN})'
    ${EndIf}
    ; NSIS compares without regard to case, as Windows paths are.
    ${If} $4 == "$INSTDIR\Tapperbird.exe"
      StrCpy $0 1
      SendMessage $1 ${WM_CLOSE} 0 0 /TIMEOUT=5000
      System::Call 'kernel32::WaitForSingleObject(p r3, i 5000)'
      StrCpy $6 0
    ${Else}
      StrCpy $6 $1
    ${EndIf}
    ${If} $3 P<> 0
      System::Call 'kernel32::CloseHandle(p r3)'
    ${EndIf}
  ${Next}
FunctionEnd
!macroend
!insertmacro CloseBird ""
!insertmacro CloseBird "un."

Function StartBirdOnce
  FindWindow $1 "${HOST_CLASS}"
  ${If} $1 == 0
    Exec '"$INSTDIR\Tapperbird.exe"'
  ${EndIf}
FunctionEnd

; Gives the shortcut the program's AppUserModelID, through the shell's property store.
Function SetShortcutAppId
  System::Call 'shell32::SHGetPropertyStoreFromParsingName(w "$SMPROGRAMS\${PRODUCT}.lnk", p 0, i 2, g "{886D8EEB-8CF2-4446-8D02-CDBA1DBDCF99}", *p .r1)i .r0'
  ${If} $0 <> 0
    Return
  ${EndIf}
  ; PKEY_AppUserModel_ID and a VT_LPWSTR PROPVARIANT holding the ID.
  System::Call '*(g "{9F4C2855-9F79-4B39-A8D0-E1D42DE1D5F3}", i 5)p .r2'
  System::Call '*(&w64 "${APP_ID}")p .r3'
  System::Call '*(&i2 31, &i2 0, &i2 0, &i2 0, p r3, p 0)p .r4'
  System::Call '$1->6(p r2, p r4)i .r0'    ; IPropertyStore::SetValue
  ${If} $0 == 0
    System::Call '$1->7()i .r0'             ; IPropertyStore::Commit
  ${EndIf}
  System::Call '$1->2()'                    ; IUnknown::Release
  System::Free $2
  System::Free $3
  System::Free $4
FunctionEnd

Section "Tapperbird"
  Call CloseBird
  StrCpy $WasRunning $0
  SetOutPath "$INSTDIR"
  SetOverwrite on
  File "/oname=Tapperbird.exe" "${EXE}"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  CreateShortcut "$SMPROGRAMS\${PRODUCT}.lnk" "$INSTDIR\Tapperbird.exe" "" "$INSTDIR\Tapperbird.exe" 0
  Call SetShortcutAppId

  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\Tapperbird.exe,0"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" $0
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1

  ; An upgrade puts back the bird it closed, also when silent.
  ${If} $WasRunning == 1
    Exec '"$INSTDIR\Tapperbird.exe"'
  ${EndIf}
SectionEnd

Section "Uninstall"
  Call un.CloseBird
  Delete "$SMPROGRAMS\${PRODUCT}.lnk"
  Delete "$INSTDIR\Tapperbird.exe"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"

  ; What the installed program wrote: its Run value and Task Manager's mark on it, only while the
  ; value names this program (quoted or not); a value pointed at anything else is the user's.
  ; Every other value of the Run key stays.
  ReadRegStr $1 HKCU "${RUN_KEY}" "${PRODUCT}"
  StrCpy $2 $1 1
  StrCpy $3 $1 1 -1
  ${If} $2 == '"'
  ${AndIf} $3 == '"'
    StrCpy $1 $1 -1 1
  ${EndIf}
  ${If} $1 == "$INSTDIR\Tapperbird.exe"
    DeleteRegValue HKCU "${RUN_KEY}" "${PRODUCT}"
    DeleteRegValue HKCU "${APPROVED_KEY}" "${PRODUCT}"
    StrCpy $1 ""
  ${EndIf}
  ; The first-run key tree is shared with a portable copy: it stays while one runs or the Run value
  ; names another program, so that the copy does not register itself again over the user's choice.
  FindWindow $2 "${HOST_CLASS}"
  ${If} $2 == 0
  ${AndIf} $1 == ""
    DeleteRegKey HKCU "${MAKER_KEY}\${PRODUCT}"
    DeleteRegKey /ifempty HKCU "${MAKER_KEY}"
  ${EndIf}
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
SectionEnd
