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
;
; On Windows XP the program starts at logon from the HKCU Run value, and setup starts it, and its
; preset, itself. On Vista and 7 a program started from a Run key gets the user's filtered token, and a
; setup elevated by another administrator (over the shoulder) runs in that administrator's account. So
; there setup registers the Task Scheduler task of logon-task.xml under the deliverable's name: it
; starts the program at every logon with the highest rights of the user who logs on, in that user's
; session. The first start, the Start-menu entry and the preset (through a one-shot task) go through
; such tasks too, so they run as the user logged on at the desktop. From Windows 8 on the adapter's
; display driver model is gone: setup refuses before it installs anything, with exit code 3 when silent.

Unicode true
; Program Files, HKLM and the Add/Remove entry need an administrator.
RequestExecutionLevel admin
SetCompressor /SOLID lzma
ManifestDPIAware true

!include MUI2.nsh
!include nsDialogs.nsh
!include LogicLib.nsh
!include FileFunc.nsh
!include WordFunc.nsh
!include x64.nsh

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
!define NT_KEY "Software\Microsoft\Windows NT\CurrentVersion"
!define EXIT_REFUSED 3
!define SCHTASKS '"$SYSDIR\schtasks.exe"'
!define PRESET_TASK "${NAME} preset"
; How long the preset's task gets to run: 100 looks, 100 ms apart.
!define PRESET_WAIT_LOOKS 100
!define CLSID_TaskScheduler "{0f87369f-a4e5-4cfc-bd3e-73e6154572dd}"
!define IID_ITaskService "{2faba4c7-4da9-4013-9697-20cc3fd40f85}"
; IRegisteredTask's last result before its first run, and while it runs.
!define SCHED_S_TASK_HAS_NOT_RUN 0x41303
!define SCHED_S_TASK_RUNNING 0x41301

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
; 1 on Vista and 7.
Var Nt6
; 1 once the logon task is registered: the program then starts through tasks, else as on XP.
Var ByTask

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
    ; The version as the registry has it: CurrentMajorVersionNumber and CurrentMinorVersionNumber
    ; from Windows 10 on, where CurrentVersion stays "6.3", and CurrentVersion ("6.1") before. Unlike
    ; GetVersionEx, which answers the newest version setup's own manifest names, it tells the truth.
    ${If} ${RunningX64}
        SetRegView 64
    ${EndIf}
    ReadRegDWORD $0 HKLM "${NT_KEY}" CurrentMajorVersionNumber
    ReadRegDWORD $1 HKLM "${NT_KEY}" CurrentMinorVersionNumber
    ${If} $0 == ""
        ReadRegStr $2 HKLM "${NT_KEY}" CurrentVersion
        ; IntOp reads "6.1" as 6; the minor number follows "6.".
        IntOp $0 $2 + 0
        StrCpy $1 $2 "" 2
    ${EndIf}
    SetRegView 32
    IntOp $0 $0 * 100
    IntOp $0 $0 + $1
    ${If} $0 >= 602
        MessageBox MB_ICONSTOP "${NAME} runs on Windows XP, Vista and 7 only. From Windows 8 on, the \
            display driver model of the adapter is gone, and so are mirror drivers and the composition \
            service. Setup ends without installing anything." /SD IDOK
        SetErrorLevel ${EXIT_REFUSED}
        Quit
    ${EndIf}
    ${If} $0 >= 600
        StrCpy $Nt6 1
    ${EndIf}

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

; ---- tasks -----------------------------------------------------------------------------------------
; WriteTask FILE ARGUMENTS LOGON: writes logon-task.xml, unpacked in $PLUGINSDIR, to FILE with its
; placeholders filled in: the program's command line, and LOGON (true or false) for its logon trigger.
; The file is UTF-16 with a byte-order mark, as the Task Scheduler itself writes it. One line at a
; time, because a string holds at most 1024 characters.
Function WriteTask
    Exch $R2  ; LOGON
    Exch
    Exch $R1  ; ARGUMENTS
    Exch 2
    Exch $R0  ; FILE
    Push $R3  ; the template
    Push $R4  ; the task file
    Push $R5  ; a line of the template
    Push $R6  ; the line filled in
    Push $R7  ; the install folder, written for XML
    ${WordReplace} "$INSTDIR" "&" "&amp;" "+" $R7
    FileOpen $R3 "$PLUGINSDIR\logon-task.xml" r
    FileOpen $R4 $R0 w
    FileWriteUTF16LE /BOM $R4 ""
    ${Do}
        ClearErrors
        FileRead $R3 $R5
        ${IfThen} ${Errors} ${|} ${ExitDo} ${|}
        ${WordReplace} $R5 "@ARGUMENTS@" $R1 "+" $R6
        ${If} $R1 == ""
        ${AndIf} $R6 != $R5
            ${Continue}
        ${EndIf}
        ${WordReplace} $R6 "@NAME@" "${NAME}" "+" $R6
        ${WordReplace} $R6 "@COMMAND@" "$R7\${NAME}.exe" "+" $R6
        ${WordReplace} $R6 "@FOLDER@" $R7 "+" $R6
        ${WordReplace} $R6 "@LOGON@" $R2 "+" $R6
        FileWriteUTF16LE $R4 $R6
    ${Loop}
    FileClose $R4
    FileClose $R3
    Pop $R7
    Pop $R6
    Pop $R5
    Pop $R4
    Pop $R3
    Pop $R0
    Pop $R2
    Pop $R1
FunctionEnd

; WaitTaskRun NAME: waits, at most PRESET_WAIT_LOOKS times 100 ms, until the task NAME has run, which
; its last result says once it is neither "has not run" nor "running". The Task Scheduler's interface
; gives the number; schtasks /Query prints it among texts in the user's language. A scheduler that
; cannot tell (Wine answers E_NOTIMPL) ends the wait at once.
Function WaitTaskRun
    Exch $0  ; NAME
    Push $1  ; ITaskService
    Push $2  ; ITaskFolder, then IRegisteredTask
    Push $3  ; what a call answers
    Push $4  ; the last result
    Push $5  ; a BSTR
    Push $6  ; looks
    System::Call 'ole32::CoInitialize(p 0)'
    System::Call 'ole32::CoCreateInstance(g "${CLSID_TaskScheduler}", p 0, i 1, g "${IID_ITaskService}", *p .r1) i .r3'
    ${If} $3 = 0
        ; ITaskService::Connect takes four VARIANTs by value; VT_EMPTY ones are 16 zero bytes each.
        System::Call '$1->10(l 0, l 0, l 0, l 0, l 0, l 0, l 0, l 0) i .r3'
        ${If} $3 = 0
            System::Call 'oleaut32::SysAllocString(w "\") p .r5'
            System::Call '$1->7(p r5, *p .r2) i .r3'  ; GetFolder
            System::Call 'oleaut32::SysFreeString(p r5)'
        ${EndIf}
        ${If} $3 = 0
            System::Call 'oleaut32::SysAllocString(w r0) p .r5'
            System::Call '$2->13(p r5, *p .r4) i .r3'  ; ITaskFolder::GetTask
            System::Call 'oleaut32::SysFreeString(p r5)'
            System::Call '$2->2()'
            StrCpy $2 $4
        ${EndIf}
        ${If} $3 = 0
            ${For} $6 1 ${PRESET_WAIT_LOOKS}
                System::Call '$2->16(*i .r4) i .r3'  ; IRegisteredTask::get_LastTaskResult
                ${IfThen} $3 <> 0 ${|} ${Break} ${|}
                ${If} $4 <> ${SCHED_S_TASK_HAS_NOT_RUN}
                ${AndIf} $4 <> ${SCHED_S_TASK_RUNNING}
                    ${Break}
                ${EndIf}
                Sleep 100
            ${Next}
            System::Call '$2->2()'
        ${EndIf}
        System::Call '$1->2()'
    ${EndIf}
    System::Call 'ole32::CoUninitialize()'
    Pop $6
    Pop $5
    Pop $4
    Pop $3
    Pop $2
    Pop $1
    Pop $0
FunctionEnd

; ---- install ---------------------------------------------------------------------------------------
Section
    ; An earlier copy still running holds its .exe open; it comes back with the new one at the end.
    Push Close
    Call StopRunning
    Pop $0

    SetOutPath "$INSTDIR"
    File "/oname=${NAME}.exe" "${EXE}"
    WriteUninstaller "$INSTDIR\uninstall.exe"

    ; On Vista and 7 the logon task replaces the Run value of earlier versions. It stays beside the
    ; program, so that an administrator can register it again. When the Task Scheduler refuses (its
    ; service stopped), the program starts as on XP.
    StrCpy $ByTask 0
    ${If} $Nt6 == 1
        InitPluginsDir
        File "/oname=$PLUGINSDIR\logon-task.xml" "${__FILEDIR__}\logon-task.xml"
        Push "$INSTDIR\logon-task.xml"
        Push ""
        Push true
        Call WriteTask
        nsExec::Exec '${SCHTASKS} /Create /F /XML "$INSTDIR\logon-task.xml" /TN "${NAME}"'
        Pop $0
        ${If} $0 == 0
            StrCpy $ByTask 1
        ${Else}
            DetailPrint "The Task Scheduler did not register the task ${NAME} ($0): ${NAME} starts from the Run key."
        ${EndIf}
    ${EndIf}
    ${If} $ByTask == 1
        DeleteRegValue HKCU "${RUN_KEY}" "${NAME}"
        ; A minimised console for the moment schtasks takes.
        CreateShortcut "$SMPROGRAMS\${NAME}.lnk" "$SYSDIR\schtasks.exe" '/Run /TN "${NAME}"' \
            "$INSTDIR\${NAME}.exe" 0 SW_SHOWMINIMIZED
    ${Else}
        CreateShortcut "$SMPROGRAMS\${NAME}.lnk" "$INSTDIR\${NAME}.exe"
        WriteRegStr HKCU "${RUN_KEY}" "${NAME}" '"$INSTDIR\${NAME}.exe"'
    ${EndIf}

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

    ; The preset writes the profile and ends; the program then finds it on its first start. Both
    ; belong to the user at the desktop, whom only a task with the group as its principal reaches.
    ${If} $ByTask == 1
        ${If} $ResW != ""
            Push "$PLUGINSDIR\preset-task.xml"
            Push "res $ResW $ResH $ResD"
            Push false
            Call WriteTask
            nsExec::Exec '${SCHTASKS} /Create /F /XML "$PLUGINSDIR\preset-task.xml" /TN "${PRESET_TASK}"'
            Pop $0
            ${If} $0 == 0
                nsExec::Exec '${SCHTASKS} /Run /TN "${PRESET_TASK}"'
                Pop $0
                Push "${PRESET_TASK}"
                Call WaitTaskRun
                nsExec::Exec '${SCHTASKS} /Delete /F /TN "${PRESET_TASK}"'
                Pop $0
            ${EndIf}
        ${EndIf}
        nsExec::Exec '${SCHTASKS} /Run /TN "${NAME}"'
        Pop $0
    ${Else}
        ${If} $ResW != ""
            ExecWait '"$INSTDIR\${NAME}.exe" res $ResW $ResH $ResD'
        ${EndIf}
        Exec '"$INSTDIR\${NAME}.exe"'
    ${EndIf}
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

    ; Where there is no task (XP, or no Task Scheduler service) schtasks fails and changes nothing.
    nsExec::Exec '${SCHTASKS} /Delete /F /TN "${NAME}"'
    Pop $0
    DeleteRegValue HKCU "${RUN_KEY}" "${NAME}"
    DeleteRegKey HKLM "${ARP_KEY}"
    Delete "$SMPROGRAMS\${NAME}.lnk"
    ; The folder goes last: once it is gone, everything else is.
    Delete "$INSTDIR\logon-task.xml"
    Delete /REBOOTOK "$INSTDIR\${NAME}.exe"
    Delete "$INSTDIR\uninstall.exe"
    RMDir /REBOOTOK "$INSTDIR"
SectionEnd
