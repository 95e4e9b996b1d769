; The installer, for people and for the update agent: tessard.exe and its language files into
; the token software's folder, the settings key, the start at logon for every user. /S runs
; it silently, as the update agent and administrators do; /LANG=1033 or /LANG=1066 chooses
; the language then. /UPDATEURL="https://.../" (quoted: a slash ends an option's value) and
; /INSTALLUPDATES=0|1 set the update folder and whether updates are installed, as the MSI's
; properties do. It keeps what the token maker's software installed in the same folder.
;
; makensis -DVERSION=3.0.0 -DPROGRAM=<folder with tessard.exe and lang\> -DOUTFILE=<setup.exe>
;          "-DSIGN=<signing command before -in and -out>" "-DRENAME=<command that renames a file>"

Unicode true
!ifndef VERSION | PROGRAM | OUTFILE | SIGN | RENAME
  !error "VERSION, PROGRAM, OUTFILE, SIGN and RENAME come from the build"
!endif

; The uninstaller is signed like the installer, before makensis puts it into the installer;
; the signing command writes a new file, which then takes the unsigned one's place.
!uninstfinalize '${SIGN} -in "%1" -out "%1.signed"' = 0
!uninstfinalize '${RENAME} "%1.signed" "%1"' = 0

!include FileFunc.nsh
!include LogicLib.nsh

!define SETTINGS_KEY "Software\Orvane Certificate Authority\Orvane-CA Token Manager V3.0"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Tessard"
!define INSTALL_MUTEX "Orvane-CA Token Manager V3.0_Orvane-CA_InstallMutex"
!define UNINSTALLER "tessard-uninstall.exe"

Name "Tessard"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES\Tessard"
; Where the token software is, the settings key says.
InstallDirRegKey HKLM "${SETTINGS_KEY}" "Path"
RequestExecutionLevel admin
SetCompressor /SOLID lzma
VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=1033 "ProductName" "Tessard"
VIAddVersionKey /LANG=1033 "FileDescription" "Tessard installer"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "LegalCopyright" "Tessard developers"

LoadLanguageFile "${NSISDIR}\Contrib\Language files\English.nlf"
LoadLanguageFile "${NSISDIR}\Contrib\Language files\Vietnamese.nlf"

Var UpdateUrl
Var InstallUpdates

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

; The update agent starts the installer hidden and without arguments, after the elevation
; prompt: a hidden start asks for the silent install that nobody could answer otherwise.
!define STARTF_USESHOWWINDOW 1
!define SW_HIDE 0
!define STARTUPINFO_SIZE 68
Function SilentWhenStartedHidden
  System::Alloc ${STARTUPINFO_SIZE}
  Pop $3
  System::Call 'kernel32::GetStartupInfoW(p r3)'
  ; dwFlags and wShowWindow follow the cb, three pointers and seven numbers.
  System::Call '*$3(i, p, p, p, i, i, i, i, i, i, i, i .r4, &i2 .r5)'
  System::Free $3
  IntOp $4 $4 & ${STARTF_USESHOWWINDOW}
  ${If} $4 <> 0
  ${AndIf} $5 = ${SW_HIDE}
    SetSilent silent
  ${EndIf}
FunctionEnd

Function .onInit
  ; Held until the installer ends: a running Tessard waits for it before it looks for updates.
  System::Call 'kernel32::CreateMutexW(p 0, i 0, w "${INSTALL_MUTEX}") p .r0'
  Call SilentWhenStartedHidden
  ${GetParameters} $R0
  ClearErrors
  ${GetOptions} $R0 "/LANG=" $R1
  ${If} ${Errors}
    ${IfNot} ${Silent}
      Push ""
      Push ${LANG_ENGLISH}
      Push "English"
      Push ${LANG_VIETNAMESE}
      Push "Tieng Viet"
      Push A
      LangDLL::LangDialog "Tessard" "Language of Tessard's texts"
      Pop $LANGUAGE
      ${If} $LANGUAGE == "cancel"
        Abort
      ${EndIf}
    ${EndIf}
  ${ElseIf} $R1 == "1066"
    StrCpy $LANGUAGE ${LANG_VIETNAMESE}
  ${Else}
    StrCpy $LANGUAGE ${LANG_ENGLISH}
  ${EndIf}

  ; A value the program would not take ends the installer (exit code 2) before it changes anything.
  ${GetOptions} $R0 "/UPDATEURL=" $UpdateUrl
  ${GetOptions} $R0 "/INSTALLUPDATES=" $InstallUpdates
  StrCpy $R2 $UpdateUrl 8
  StrCpy $R3 $UpdateUrl "" -1
  StrCpy $R4 ""
  ${If} $UpdateUrl != ""
    ${If} $R2 != "https://"
    ${OrIf} $R3 != "/"
      StrCpy $R4 "refused"
    ${EndIf}
  ${EndIf}
  ${If} $InstallUpdates != ""
  ${AndIf} $InstallUpdates != "0"
  ${AndIf} $InstallUpdates != "1"
    StrCpy $R4 "refused"
  ${EndIf}
  ${If} $R4 == "refused"
    MessageBox MB_ICONSTOP "/UPDATEURL= is an https address ending in $\"/$\"; /INSTALLUPDATES= is 0 or 1." /SD IDOK
    Abort
  ${EndIf}
FunctionEnd

; "-t" returns once the running instance has ended, so its files can be replaced right after.
!macro EndRunningTessard prefix
Function ${prefix}EndRunningTessard
  IfFileExists "$INSTDIR\tessard.exe" 0 +2
  ExecWait '"$INSTDIR\tessard.exe" -t'
FunctionEnd
!macroend
!insertmacro EndRunningTessard ""
!insertmacro EndRunningTessard "un."

; The settings values an installation made are marked in the uninstall key, so that the
; uninstaller takes out those and no value an administrator or the token software set.
!macro MarkCreatedIfAbsent type name
  ClearErrors
  ReadReg${type} $R4 HKLM "${SETTINGS_KEY}" "${name}"
  ${If} ${Errors}
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "Created ${name}" 1
  ${EndIf}
!macroend

!macro WriteSettingIfAbsent type name value
  !insertmacro MarkCreatedIfAbsent ${type} "${name}"
  ClearErrors
  ReadReg${type} $R4 HKLM "${SETTINGS_KEY}" "${name}"
  ${If} ${Errors}
    WriteReg${type} HKLM "${SETTINGS_KEY}" "${name}" "${value}"
  ${EndIf}
!macroend

!macro DeleteCreatedSetting name
  ReadRegDWORD $R5 HKLM "${UNINSTALL_KEY}" "Created ${name}"
  ${If} $R5 == 1
    DeleteRegValue HKLM "${SETTINGS_KEY}" "${name}"
  ${EndIf}
!macroend

Section "Tessard"
  Call EndRunningTessard
  SetOutPath "$INSTDIR"
  File "${PROGRAM}\tessard.exe"
  SetOutPath "$INSTDIR\lang"
  File "${PROGRAM}\lang\zxtokd_1033.lng"
  File "${PROGRAM}\lang\zxtokd_1066.lng"
  WriteUninstaller "$INSTDIR\${UNINSTALLER}"

  ; The installed version is the installer's to say, so that the update agent compares with it.
  !insertmacro MarkCreatedIfAbsent Str "Version"
  WriteRegStr HKLM "${SETTINGS_KEY}" "Version" "${VERSION}"
  !insertmacro WriteSettingIfAbsent Str "Path" "$INSTDIR"
  !insertmacro WriteSettingIfAbsent Str "InstallLanguageId" "$LANGUAGE"
  !insertmacro WriteSettingIfAbsent DWORD "NonCache" 0
  ${If} $UpdateUrl != ""
    !insertmacro WriteSettingIfAbsent Str "UpdateUrl" "$UpdateUrl"
  ${EndIf}
  ${If} $InstallUpdates != ""
    !insertmacro WriteSettingIfAbsent DWORD "InstallUpdates" "$InstallUpdates"
  ${EndIf}

  WriteRegStr HKLM "${RUN_KEY}" "Tessard" '"$INSTDIR\tessard.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "Tessard"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "Tessard developers"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\${UNINSTALLER}"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\${UNINSTALLER}" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section "Uninstall"
  Call un.EndRunningTessard
  Delete "$INSTDIR\tessard.exe"
  Delete "$INSTDIR\lang\zxtokd_1033.lng"
  Delete "$INSTDIR\lang\zxtokd_1066.lng"
  Delete "$INSTDIR\${UNINSTALLER}"
  ; Only when empty: the token maker's module and manager stay where they are.
  RMDir "$INSTDIR\lang"
  RMDir "$INSTDIR"

  DeleteRegValue HKLM "${RUN_KEY}" "Tessard"
  !insertmacro DeleteCreatedSetting "Version"
  !insertmacro DeleteCreatedSetting "Path"
  !insertmacro DeleteCreatedSetting "InstallLanguageId"
  !insertmacro DeleteCreatedSetting "NonCache"
  !insertmacro DeleteCreatedSetting "UpdateUrl"
  !insertmacro DeleteCreatedSetting "InstallUpdates"
  DeleteRegKey /ifempty HKLM "${SETTINGS_KEY}"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
