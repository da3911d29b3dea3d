; Vitrea's installer. Built by tools/package.sh, which passes VERSION, STAGE (the folder holding the
; files to ship, with fixed times, and files.nsh, the list of them), ICON, OUTFILE and SIZE_KB.

Unicode true
SetCompressor /SOLID lzma
; Same floor as the program itself.
PESubsysVer 5.0
RequestExecutionLevel admin

!include "MUI2.nsh"
!include "LogicLib.nsh"
!include "WinMessages.nsh"
!include "${STAGE}\files.nsh"

!define PRODUCT "Vitrea"
!define PUBLISHER "Tarnwick Software"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Vitrea"
!define SETTINGS_KEY "Software\Tarnwick Software\Vitrea"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
!define UNSUPPORTED "Vitrea is only supported on Windows 2000 and Windows XP"

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES\Vitrea"
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
BrandingText "${PUBLISHER}"
ShowInstDetails nevershow
ShowUninstDetails nevershow

VIProductVersion "${VERSION}.0.0"
VIAddVersionKey "ProductName" "${PRODUCT}"
VIAddVersionKey "CompanyName" "${PUBLISHER}"
VIAddVersionKey "FileDescription" "${PRODUCT} ${VERSION} Setup"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "LegalCopyright" "${PUBLISHER}"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
!define MUI_DIRECTORYPAGE_TEXT_TOP "Setup will install ${PRODUCT} ${VERSION}, which makes other windows translucent, in the folder below. To install it in a different folder, click Browse and choose another one.$\r$\n$\r$\nIf ${PRODUCT} is running, Setup closes it first."
!insertmacro MUI_PAGE_DIRECTORY
!define MUI_INSTFILESPAGE_FINISHHEADER_SUBTEXT "Start Vitrea from its folder in the Start menu."
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

Var closedVitrea

; The installer and the uninstaller each need their own copy of a function, told apart by the "un." prefix.
!macro VitreaFunctions UN

; Asks a running Vitrea to close (its WM_CLOSE restores every window it made translucent) and waits for
; its window to go. Gives up with a message, rather than replacing files in use, if it stays.
Function ${UN}CloseVitrea
    Push $0
    Push $1
    StrCpy $closedVitrea 0
    again:
    FindWindow $0 "VitreaClass" "Vitrea"
    ${If} $0 <> 0
        StrCpy $closedVitrea 1
        SendMessage $0 ${WM_CLOSE} 0 0 /TIMEOUT=10000
        StrCpy $1 0
        ${DoWhile} $1 < 100
            IsWindow $0 0 again
            Sleep 100
            IntOp $1 $1 + 1
        ${Loop}
        MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "Vitrea is still running. Close it, then click Retry." /SD IDCANCEL IDRETRY again
        SetErrorLevel 3
        Quit
    ${EndIf}
    Pop $1
    Pop $0
FunctionEnd

; Clears the way for a file that is about to be replaced or removed. A library the system loaded into other
; programs for Vitrea's hooks may stay loaded there after Vitrea exits: such a file cannot be deleted but it
; can be renamed, so it is moved aside and deleted at the next restart. Sets the error flag if the file
; is still in place afterwards.
Function ${UN}ClearFile
    Exch $0
    Push $1
    Push $2
    ; A program that was just closed may take a moment to let go of its own files.
    StrCpy $2 0
    ${Do}
        ClearErrors
        Delete $0
        ${IfNot} ${FileExists} $0
        ${OrIf} $closedVitrea = 0
        ${OrIf} $2 >= 30
            ${ExitDo}
        ${EndIf}
        Sleep 100
        IntOp $2 $2 + 1
    ${Loop}
    ${If} ${FileExists} $0
        StrCpy $2 1
        ${Do}
            StrCpy $1 "$0.$2.old"
            Delete $1
            ${IfNot} ${FileExists} $1
                ClearErrors
                Rename $0 $1
                ${IfNot} ${Errors}
                    Delete /REBOOTOK $1
                    ${ExitDo}
                ${EndIf}
            ${EndIf}
            IntOp $2 $2 + 1
            ${If} $2 > 20
                ${ExitDo}
            ${EndIf}
        ${Loop}
    ${EndIf}
    ClearErrors
    ${If} ${FileExists} $0
        SetErrors
    ${EndIf}
    Pop $2
    Pop $1
    Pop $0
FunctionEnd

!macroend
!insertmacro VitreaFunctions ""
!insertmacro VitreaFunctions "un."

!macro ReplaceFile NAME
    Push "$INSTDIR\${NAME}"
    Call ClearFile
    ${If} ${Errors}
        MessageBox MB_OK|MB_ICONSTOP "$INSTDIR\${NAME} is in use and cannot be replaced. Restart Windows, then run Setup again." /SD IDOK
        SetErrorLevel 2
        Abort
    ${EndIf}
    ; Leftovers moved aside by an earlier run go now if nothing holds them any more.
    Delete "$INSTDIR\${NAME}.*.old"
    ClearErrors
    File "/oname=${NAME}" "${STAGE}\${NAME}"
    ; A file that could not be written is never reported as installed, silent or not.
    ${If} ${Errors}
        MessageBox MB_OK|MB_ICONSTOP "Setup could not write $INSTDIR\${NAME}." /SD IDOK
        SetErrorLevel 2
        Abort
    ${EndIf}
!macroend

!macro RemoveFile NAME
    Push "$INSTDIR\${NAME}"
    Call un.ClearFile
    ${If} ${Errors}
        Delete /REBOOTOK "$INSTDIR\${NAME}"
    ${EndIf}
    Delete /REBOOTOK "$INSTDIR\${NAME}.*.old"
!macroend

Function .onInit
    GetWinVer $0 Major
    GetWinVer $1 Product
    ; Product is 0 on Windows 95, 98 and Me, whose major version can also read 4 or 5.
    ${If} $0 <> 5
    ${OrIf} $1 = 0
        MessageBox MB_OK|MB_ICONSTOP "${UNSUPPORTED}" /SD IDOK
        SetErrorLevel 4
        Quit
    ${EndIf}
    SetShellVarContext all
FunctionEnd

Section "Vitrea"
    Call CloseVitrea
    SetOutPath "$INSTDIR"
    !insertmacro VitreaFiles ReplaceFile
    WriteUninstaller "$INSTDIR\Uninstall.exe"

    CreateDirectory "$SMPROGRAMS\Vitrea"
    CreateShortCut "$SMPROGRAMS\Vitrea\Vitrea.lnk" "$INSTDIR\Vitrea.exe" "" "$INSTDIR\Vitrea.exe" 0
    !ifdef VITREA_HELP
        CreateShortCut "$SMPROGRAMS\Vitrea\Vitrea Help.lnk" "$INSTDIR\${VITREA_HELP}"
    !endif
    CreateShortCut "$SMPROGRAMS\Vitrea\Uninstall Vitrea.lnk" "$INSTDIR\Uninstall.exe"

    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT} ${VERSION}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\Vitrea.exe,0"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
    WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" ${SIZE_KB}
SectionEnd

Function un.onInit
    SetShellVarContext all
FunctionEnd

Section "Uninstall"
    Call un.CloseVitrea
    !insertmacro VitreaFiles RemoveFile
    Delete "$INSTDIR\Uninstall.exe"
    RMDir /REBOOTOK "$INSTDIR"

    Delete "$SMPROGRAMS\Vitrea\Vitrea.lnk"
    Delete "$SMPROGRAMS\Vitrea\Vitrea Help.lnk"
    Delete "$SMPROGRAMS\Vitrea\Uninstall Vitrea.lnk"
    RMDir "$SMPROGRAMS\Vitrea"

    DeleteRegValue HKCU "${RUN_KEY}" "Vitrea"
    MessageBox MB_YESNO|MB_ICONQUESTION "Do you also want to remove your Vitrea settings?" /SD IDNO IDNO keep
        DeleteRegKey HKCU "${SETTINGS_KEY}"
        DeleteRegKey /ifempty HKCU "Software\Tarnwick Software"
    keep:
    IfRebootFlag 0 +2
        MessageBox MB_OK|MB_ICONINFORMATION "Some of Vitrea's files are still in use by other programs. They will be removed when Windows restarts." /SD IDOK
    ; Last, so that an uninstall cut short can be run again from the same entry.
    DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
