; The setup program of one deliverable. The build (cmake/installer.cmake) runs makensis on this one
; script for duodesk and for duodeskb, with
;   -DNAME=duodesk          the deliverable's base name: its .exe, its folder, its Run value and its entry
;                           in Add/Remove Programs
;   -DINSTANCE=KIVA 7300    its instance name: the title of its hidden main window and the name of its
;                           single-instance mutex
;   -DEXE=...               the built executable; its version record gives the version shown
;   -DICON=...              the program's icon
;   -DOUTFILE=...           the setup program to write
;
; Besides NSIS's own /S (silent) and /D=DIR, setup takes /RES=WIDTHxHEIGHTxDEPTH: the first resolution
; of the adapter's screen, which the resolution page sets in an interactive install. Setup hands it to
; the program's own preset ("duodesk.exe res 1280 1024 16") before the program's first start.
; A /RES that is not a resolution ends setup with exit code 2 before anything is installed.

Unicode true
; Program Files, HKLM and the Add/Remove entry need an administrator.
RequestExecutionLevel admin
SetCompressor /SOLID lzma
ManifestDPIAware true

!include MUI2.nsh
!include nsDialogs.nsh
!include LogicLib.nsh
!include FileFunc.nsh

; The version is the one in the program's own version record, so the two cannot disagree.
!getdllversion "${EXE}" EXE_VERSION_
!define VERSION "${EXE_VERSION_1}.${EXE_VERSION_2}.${EXE_VERSION_3}"

!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
!define ARP_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${NAME}"
; The program's registry tree under HKCU. Both deliverables keep their profiles below it.
!define PROFILE_TREE "Software\Kiva Dongle"
; How long a running copy gets to end after it was asked to: 300 looks, 100 ms apart.
!define END_WAIT_LOOKS 300
!define SYNCHRONIZE 0x00100000

Name "${NAME}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES\${NAME}"
; Setup run again goes to the folder of the copy already there, which it can then close and replace.
InstallDirRegKey HKLM "${ARP_KEY}" InstallLocation

VIProductVersion "${EXE_VERSION_1}.${EXE_VERSION_2}.${EXE_VERSION_3}.${EXE_VERSION_4}"
VIAddVersionKey /LANG=1033 ProductName "${NAME}"
VIAddVersionKey /LANG=1033 ProductVersion "${VERSION}"
VIAddVersionKey /LANG=1033 FileVersion "${VERSION}"
VIAddVersionKey /LANG=1033 FileDescription "${NAME} setup"
VIAddVersionKey /LANG=1033 LegalCopyright "the duodesk developers"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!insertmacro MUI_PAGE_DIRECTORY
Page custom ResPageShow ResPageLeave
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE English

; The first resolution; all three empty when none is set.
Var ResW
Var ResH
Var ResD
Var ResCheck
Var ResCombo

; Reads WIDTHxHEIGHTxDEPTH from the stack into ResW, ResH and ResD: three whole numbers written
; plainly (no sign, no leading zero), width and height above 0, a depth of 8, 16, 24 or 32. Anything
; else leaves all three empty and sets the error flag.
Function ParseRes
    Exch $0  ; the text
    Push $1  ; position in it
    Push $2  ; the character there
    Push $3  ; the number being read
    Push $4  ; its value
    ClearErrors
    StrCpy $ResW ""
    StrCpy $ResH ""
    StrCpy $ResD ""
    StrCpy $1 0
    ${Do}
        StrCpy $3 ""
        ${Do}
            StrCpy $2 $0 1 $1
            IntOp $1 $1 + 1
            ; == ignores case, so "X" separates as well.
            ${If} $2 == "x"
            ${OrIf} $2 == ""
                ${ExitDo}
            ${EndIf}
            StrCpy $3 "$3$2"
        ${Loop}
        ; IntOp reads what it can ("12a" is 12, "010" is octal 8): only a plain number reads back the same.
        IntOp $4 $3 + 0
        ${If} $4 S!= $3
        ${OrIf} $4 <= 0
            Goto bad
        ${EndIf}
        ${If} $ResW == ""
            StrCpy $ResW $4
        ${ElseIf} $ResH == ""
            StrCpy $ResH $4
        ${ElseIf} $ResD == ""
            StrCpy $ResD $4
        ${Else}
            Goto bad
        ${EndIf}
    ${LoopUntil} $2 == ""
    ${If} $ResD == 8
    ${OrIf} $ResD == 16
    ${OrIf} $ResD == 24
    ${OrIf} $ResD == 32
        Goto done
    ${EndIf}
bad:
    StrCpy $ResW ""
    StrCpy $ResH ""
    StrCpy $ResD ""
    SetErrors
done:
    Pop $4
    Pop $3
    Pop $2
    Pop $1
    Pop $0
FunctionEnd

Function .onInit
    ${GetParameters} $0
    ClearErrors
    ${GetOptions} $0 "/RES=" $1
    ${IfNot} ${Errors}
        Push $1
        Call ParseRes
        ${If} ${Errors}
            MessageBox MB_ICONSTOP "/RES=$1 is not a resolution such as /RES=1280x1024x16." /SD IDOK
            SetErrorLevel 2
            Quit
        ${EndIf}
    ${EndIf}
FunctionEnd

; ---- the resolution page ---------------------------------------------------------------------------
Function ResPageShow
    !insertmacro MUI_HEADER_TEXT "First resolution" "The resolution the adapter's screen starts with."
    nsDialogs::Create 1018
    Pop $0
    ${NSD_CreateLabel} 0 0 100% 30u "When the adapter is plugged in for the first time, ${NAME} sets its \
        screen to this resolution: width x height x colour depth. Leave it unticked and ${NAME} picks one."
    Pop $0
    ${NSD_CreateCheckbox} 0 40u 100% 12u "&Set the first resolution"
    Pop $ResCheck
    ${NSD_OnClick} $ResCheck ResPageToggle
    ${NSD_CreateComboBox} 12u 58u 120u 80u ""
    Pop $ResCombo
    ${NSD_CB_AddString} $ResCombo "800x600x16"
    ${NSD_CB_AddString} $ResCombo "1024x768x16"
    ${NSD_CB_AddString} $ResCombo "1024x768x32"
    ${NSD_CB_AddString} $ResCombo "1280x1024x16"
    ${NSD_CB_AddString} $ResCombo "1280x1024x32"
    ${NSD_CB_AddString} $ResCombo "1600x1200x16"
    ${If} $ResW == ""
        ${NSD_SetText} $ResCombo "1024x768x16"
        EnableWindow $ResCombo 0
    ${Else}
        ${NSD_Check} $ResCheck
        StrCpy $0 $ResW
        StrCpy $0 "$0x$ResH"
        StrCpy $0 "$0x$ResD"
        ${NSD_SetText} $ResCombo $0
    ${EndIf}
    nsDialogs::Show
FunctionEnd

Function ResPageToggle
    Pop $0
    ${NSD_GetState} $ResCheck $0
    ${If} $0 == ${BST_CHECKED}
        EnableWindow $ResCombo 1
    ${Else}
        EnableWindow $ResCombo 0
    ${EndIf}
FunctionEnd

Function ResPageLeave
    ${NSD_GetState} $ResCheck $0
    ${If} $0 != ${BST_CHECKED}
        StrCpy $ResW ""
        StrCpy $ResH ""
        StrCpy $ResD ""
        Return
    ${EndIf}
    ${NSD_GetText} $ResCombo $1
    Push $1
    Call ParseRes
    ${If} ${Errors}
        MessageBox MB_ICONEXCLAMATION "$1 is not a resolution. Write it as width x height x colour depth, \
            for example 1280x1024x16; the depth is 8, 16, 24 or 32."
        Abort
    ${EndIf}
FunctionEnd

; ---- a running copy --------------------------------------------------------------------------------
; StopRunning: asks a running copy to go with the verb on the stack, by starting the installed program
; with it, and waits until the copy has ended. Leaves on the stack "none" (no copy was running),
; "ended", or "running" (still there when the wait was over). The copy has ended when its mutex is
; gone: the window goes a moment before the process, which still holds its .exe open. Only a window
; counts as running, because a first start ignores its verb: with no copy there to forward it to,
; "duodesk.exe Uninstall" would itself stay resident.
!macro STOP_RUNNING UN
Function ${UN}StopRunning
    Exch $0  ; the verb, then the answer
    Push $1
    Push $2
    StrCpy $2 $0
    StrCpy $0 "none"
    FindWindow $1 "" "${INSTANCE}"
    ${If} $1 <> 0
    ${AndIf} ${FileExists} "$INSTDIR\${NAME}.exe"
        ExecWait '"$INSTDIR\${NAME}.exe" $2'
        StrCpy $0 "running"
        ${For} $2 1 ${END_WAIT_LOOKS}
            System::Call 'kernel32::OpenMutexW(i ${SYNCHRONIZE}, i 0, w "${INSTANCE}") p .r1'
            ${If} $1 = 0
                StrCpy $0 "ended"
                ${Break}
            ${EndIf}
            System::Call 'kernel32::CloseHandle(p r1)'
            Sleep 100
        ${Next}
    ${EndIf}
    Pop $2
    Pop $1
    Exch $0
FunctionEnd
!macroend
!insertmacro STOP_RUNNING ""
!insertmacro STOP_RUNNING "un."

; ---- install ---------------------------------------------------------------------------------------
Section
    ; An earlier copy still running holds its .exe open; it comes back with the new one at the end.
    Push Close
    Call StopRunning
    Pop $0

    SetOutPath "$INSTDIR"
    File "/oname=${NAME}.exe" "${EXE}"
    WriteUninstaller "$INSTDIR\uninstall.exe"
    CreateShortcut "$SMPROGRAMS\${NAME}.lnk" "$INSTDIR\${NAME}.exe"
    WriteRegStr HKCU "${RUN_KEY}" "${NAME}" '"$INSTDIR\${NAME}.exe"'

    WriteRegStr HKLM "${ARP_KEY}" DisplayName "${NAME}"
    WriteRegStr HKLM "${ARP_KEY}" DisplayVersion "${VERSION}"
    WriteRegStr HKLM "${ARP_KEY}" DisplayIcon "$INSTDIR\${NAME}.exe"
    WriteRegStr HKLM "${ARP_KEY}" InstallLocation "$INSTDIR"
    WriteRegStr HKLM "${ARP_KEY}" UninstallString '"$INSTDIR\uninstall.exe"'
    WriteRegStr HKLM "${ARP_KEY}" QuietUninstallString '"$INSTDIR\uninstall.exe" /S'
    WriteRegDWORD HKLM "${ARP_KEY}" NoModify 1
    WriteRegDWORD HKLM "${ARP_KEY}" NoRepair 1
    ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
    WriteRegDWORD HKLM "${ARP_KEY}" EstimatedSize $0

    ; The preset writes the profile and ends; the program then finds it on its first start.
    ${If} $ResW != ""
        ExecWait '"$INSTDIR\${NAME}.exe" res $ResW $ResH $ResD'
    ${EndIf}
    Exec '"$INSTDIR\${NAME}.exe"'
SectionEnd

; ---- uninstall -------------------------------------------------------------------------------------
Section Uninstall
    Push Uninstall
    Call un.StopRunning
    Pop $0
    ; A copy that ended on "Uninstall" has deleted the profile tree itself. Without one, or when it did
    ; not end in time, nobody has.
    ${If} $0 != "ended"
        DeleteRegKey HKCU "${PROFILE_TREE}"
    ${EndIf}

    DeleteRegValue HKCU "${RUN_KEY}" "${NAME}"
    DeleteRegKey HKLM "${ARP_KEY}"
    Delete "$SMPROGRAMS\${NAME}.lnk"
    ; The folder goes last: once it is gone, everything else is.
    Delete /REBOOTOK "$INSTDIR\${NAME}.exe"
    Delete "$INSTDIR\uninstall.exe"
    RMDir /REBOOTOK "$INSTDIR"
SectionEnd
