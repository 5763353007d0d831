; The Windows installer: installs Slicery for the current user, without
; administrator rights, into %LOCALAPPDATA%\Programs\Slicery.
;
;   makensis -DVERSION=2.0 -DFILES=DIR -DOUTFILE=setup.exe [-DICON=slicery.ico] slicery.nsi
;
; FILES holds slicery.exe, slicery-cli.exe, README.txt and LICENSE.txt.
; Silent installs (/S) take slicery-cli onto the PATH when /CLIPATH is given;
; when the PATH is too long to change, they exit with 2 and say why in
; install.log in the installed folder.
;
; The journals of unfinished runs live in %LOCALAPPDATA%\Slicery, apart from
; the programs: the uninstaller removes the files it installed by name and
; never touches that folder.

Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel user
ManifestDPIAware true

!include LogicLib.nsh
!include FileFunc.nsh
!include Sections.nsh
!include WinMessages.nsh
!include MUI2.nsh

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Slicery"
!define FOLDER_VERB_KEY "Software\Classes\Directory\shell\Slicery"
!define JOURNALS "$LOCALAPPDATA\Slicery"

Name "Slicery ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\Slicery"
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"
BrandingText "Slicery ${VERSION}"

VIProductVersion "${VERSION}.0.0"
VIAddVersionKey "ProductName" "Slicery"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "FileDescription" "Slicery ${VERSION} setup"
VIAddVersionKey "LegalCopyright" "MIT License"

!ifdef ICON
  !define MUI_ICON "${ICON}"
  !define MUI_UNICON "${ICON}"
!endif
!define MUI_ABORTWARNING
!define MUI_COMPONENTSPAGE_NODESC
!define MUI_FINISHPAGE_RUN "$INSTDIR\slicery.exe"
!define MUI_FINISHPAGE_RUN_TEXT "Start Slicery"

!insertmacro MUI_PAGE_LICENSE "${FILES}\LICENSE.txt"
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH

!define MUI_UNCONFIRMPAGE_TEXT_TOP "Slicery, its Start menu entry, $\"Open with Slicery$\" and slicery-cli on your PATH will be removed. The journals of unfinished runs in ${JOURNALS} are kept: a stopped run can still be finished or undone."
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES

!insertmacro MUI_LANGUAGE "English"

; The PATH's entries, as read from HKCU\Environment, are split on ';'.
; In: $R0 the list, $R1 the folder. Out: $R2 the list without the folder's
; entries (with or without a trailing '\'), $R3 "1" when there was one.
!macro PATH_WITHOUT un
Function ${un}PathWithout
  Push $R4
  Push $R5
  Push $R6
  Push $R7
  StrCpy $R2 ""
  StrCpy $R3 0
  StrCpy $R7 0 ; entries kept so far
  StrCpy $R4 $R0
  ${DoWhile} $R4 != ""
    StrCpy $R5 0
    ${Do}
      StrCpy $R6 $R4 1 $R5
      ${IfThen} $R6 == "" ${|} ${ExitDo} ${|}
      ${IfThen} $R6 == ";" ${|} ${ExitDo} ${|}
      IntOp $R5 $R5 + 1
    ${Loop}
    StrCpy $R6 $R4 $R5
    IntOp $R5 $R5 + 1
    StrCpy $R4 $R4 "" $R5
    ${If} $R6 == $R1
    ${OrIf} $R6 == "$R1\"
      StrCpy $R3 1
    ${ElseIf} $R7 == 0
      StrCpy $R2 $R6
      StrCpy $R7 1
    ${Else}
      StrCpy $R2 "$R2;$R6"
    ${EndIf}
  ${Loop}
  Pop $R7
  Pop $R6
  Pop $R5
  Pop $R4
FunctionEnd
!macroend
!insertmacro PATH_WITHOUT ""
!insertmacro PATH_WITHOUT "un."

; Reads the user's PATH into $R0. Sets $R9 to "unsafe" when it exists but
; cannot be read whole (longer than this installer's strings), so that it is
; left as it is rather than written back cut short; otherwise to "".
!macro READ_PATH un
Function ${un}ReadPath
  StrCpy $R9 ""
  ClearErrors
  ReadRegStr $R0 HKCU "Environment" "Path"
  ${If} ${Errors}
    StrCpy $R0 ""
    StrCpy $R8 0
    ${Do}
      ClearErrors
      EnumRegValue $R5 HKCU "Environment" $R8
      ${IfThen} ${Errors} ${|} ${ExitDo} ${|}
      ${IfThen} $R5 == "" ${|} ${ExitDo} ${|}
      ${If} $R5 == "Path"
        StrCpy $R9 "unsafe"
        ${ExitDo}
      ${EndIf}
      IntOp $R8 $R8 + 1
    ${Loop}
  ${Else}
    StrLen $R5 $R0
    IntOp $R5 $R5 + 1
    ${IfThen} $R5 >= ${NSIS_MAX_STRLEN} ${|} StrCpy $R9 "unsafe" ${|}
  ${EndIf}
FunctionEnd
!macroend
!insertmacro READ_PATH ""
!insertmacro READ_PATH "un."

Section "Slicery (required)" SecProgram
  SectionIn RO
  SetOutPath "$INSTDIR"
  File "${FILES}\slicery.exe"
  File "${FILES}\slicery-cli.exe"
  File "${FILES}\README.txt"
  File "${FILES}\LICENSE.txt"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  CreateShortcut "$SMPROGRAMS\Slicery.lnk" "$INSTDIR\slicery.exe" "" "$INSTDIR\slicery.exe" 0

  WriteRegStr HKCU "${FOLDER_VERB_KEY}" "" "Open with Slicery"
  WriteRegStr HKCU "${FOLDER_VERB_KEY}" "Icon" "$INSTDIR\slicery.exe"
  WriteRegStr HKCU "${FOLDER_VERB_KEY}\command" "" '"$INSTDIR\slicery.exe" "%1"'

  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "Slicery"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "the Slicery maintainers"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\slicery.exe"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" $0

  ; Explorer rereads the folder verbs.
  System::Call 'shell32::SHChangeNotify(i 0x08000000, i 0, p 0, p 0)'
SectionEnd

Section /o "slicery-cli on the PATH" SecPath
  Call ReadPath
  ${IfThen} $R9 == "unsafe" ${|} Goto too_long ${|}
  StrCpy $R1 "$INSTDIR"
  Call PathWithout
  ${If} $R3 == 1
    DetailPrint "$INSTDIR is on the PATH already"
    Return
  ${EndIf}
  ; Measured in parts: a joined string longer than the limit would be cut.
  StrLen $R5 $R0
  StrLen $R6 $INSTDIR
  IntOp $R5 $R5 + $R6
  IntOp $R5 $R5 + 1
  ${IfThen} $R5 >= ${NSIS_MAX_STRLEN} ${|} Goto too_long ${|}
  StrCpy $R6 $R0 1 -1
  ${If} $R0 == ""
  ${OrIf} $R6 == ";"
    WriteRegExpandStr HKCU "Environment" "Path" "$R0$INSTDIR"
  ${Else}
    WriteRegExpandStr HKCU "Environment" "Path" "$R0;$INSTDIR"
  ${EndIf}
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "AddedToPath" 1
  SendMessage ${HWND_BROADCAST} ${WM_SETTINGCHANGE} 0 "STR:Environment" /TIMEOUT=5000
  DetailPrint "Added $INSTDIR to the PATH"
  Return
too_long:
  MessageBox MB_ICONEXCLAMATION|MB_OK "Your PATH is too long for this installer to change safely, so it was left as it is. To run slicery-cli from any console, add $INSTDIR to it yourself." /SD IDOK
  DetailPrint "PATH left as it is (too long to change safely)"
  ; Slicery is installed, but not all that was asked: a silent install
  ; (/S /CLIPATH) tells its caller by its exit status, and why in the log.
  FileOpen $R5 "$INSTDIR\install.log" a
  FileSeek $R5 0 END
  FileWrite $R5 "slicery-cli was not put on the PATH: the user's PATH is too long for this installer to change safely. Add $INSTDIR to it by hand.$\r$\n"
  FileClose $R5
  SetErrorLevel 2
SectionEnd

Function .onInit
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/CLIPATH" $1
  ${IfNot} ${Errors}
    !insertmacro SelectSection ${SecPath}
  ${EndIf}
FunctionEnd

; The journals' folder is never a place for the programs.
Function .onVerifyInstDir
  ${If} $INSTDIR == "${JOURNALS}"
  ${OrIf} $INSTDIR == "${JOURNALS}\"
    Abort
  ${EndIf}
FunctionEnd

Section "Uninstall"
  ReadRegDWORD $0 HKCU "${UNINSTALL_KEY}" "AddedToPath"
  ${If} $0 == 1
    Call un.ReadPath
    StrCpy $R1 "$INSTDIR"
    ${If} $R9 == "unsafe"
      MessageBox MB_ICONEXCLAMATION|MB_OK "Your PATH is too long for this uninstaller to change safely. Remove $INSTDIR from it yourself." /SD IDOK
      DetailPrint "PATH left as it is (too long to change safely)"
    ${Else}
      Call un.PathWithout
      ${If} $R3 == 1
        ${If} $R2 == ""
          DeleteRegValue HKCU "Environment" "Path"
        ${Else}
          WriteRegExpandStr HKCU "Environment" "Path" "$R2"
        ${EndIf}
        SendMessage ${HWND_BROADCAST} ${WM_SETTINGCHANGE} 0 "STR:Environment" /TIMEOUT=5000
        DetailPrint "Removed $INSTDIR from the PATH"
      ${EndIf}
    ${EndIf}
  ${EndIf}

  DeleteRegKey HKCU "${FOLDER_VERB_KEY}"
  DeleteRegKey /ifempty /ifnovalues HKCU "Software\Classes\Directory\shell"
  DeleteRegKey /ifempty /ifnovalues HKCU "Software\Classes\Directory"
  System::Call 'shell32::SHChangeNotify(i 0x08000000, i 0, p 0, p 0)'
  Delete "$SMPROGRAMS\Slicery.lnk"

  ; Only the installed files, by name: a folder the user chose may hold more.
  Delete "$INSTDIR\slicery.exe"
  Delete "$INSTDIR\slicery-cli.exe"
  Delete "$INSTDIR\README.txt"
  Delete "$INSTDIR\LICENSE.txt"
  Delete "$INSTDIR\uninstall.exe"
  Delete "$INSTDIR\install.log"
  RMDir "$INSTDIR"
  ${If} ${FileExists} "$INSTDIR\*.*"
    DetailPrint "Kept $INSTDIR: it holds files that were not installed"
  ${EndIf}

  DeleteRegKey HKCU "${UNINSTALL_KEY}"
  DeleteRegKey /ifempty /ifnovalues HKCU "Software\Microsoft\Windows\CurrentVersion\Uninstall"

  ${If} ${FileExists} "${JOURNALS}\*.*"
    DetailPrint "Kept the journals of unfinished runs in ${JOURNALS}"
  ${EndIf}
SectionEnd
