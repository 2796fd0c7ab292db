' Drives orbenix.vexarel as the monitoring host does: created by name,
' driven late-bound, against the demo panel on loopback.
' usage: cscript //nologo host_test.vbs HTTP_BASE_URL HTTPS_BASE_URL
' The last line is "DONE failures=N"; the runner requires it.
Option Explicit

Dim failures : failures = 0

Sub Expect(what, got, want)
    If TypeName(got) = TypeName(want) And got = want Then
        WScript.Echo "ok: " & what
    Else
        WScript.Echo "FAIL: " & what & ": got " & TypeName(got) & " [" & got & "], want " & TypeName(want) & " [" & want & "]"
        failures = failures + 1
    End If
End Sub

Sub ExpectTrue(what, condition)
    If condition Then
        WScript.Echo "ok: " & what
    Else
        WScript.Echo "FAIL: " & what
        failures = failures + 1
    End If
End Sub

Dim httpBase, httpsBase
httpBase = WScript.Arguments(0)
httpsBase = WScript.Arguments(1)

' One check as the host runs it; returns the verdict, leaves the text in result.
Function RunCheck(parameter, timeout, ByRef result)
    Dim check
    Set check = CreateObject("orbenix.vexarel")
    check.qv_parameter = parameter
    check.qv_timeout = timeout
    check.qv_hostname = "vps.example"
    RunCheck = check.qv_docheck
    result = check.qv_result
    Set check = Nothing
End Function

Function PanelParameter(base, key)
    PanelParameter = "#URL=" & base & "/#KEY=" & key & "#HSH=hash#PRU=F#"
End Function

Dim verdict, text

' A fresh object: four Empty properties.
Dim fresh
Set fresh = CreateObject("orbenix.vexarel")
Expect "fresh qv_result", TypeName(fresh.qv_result), "Empty"
Expect "fresh qv_parameter", TypeName(fresh.qv_parameter), "Empty"
Expect "fresh qv_timeout", TypeName(fresh.qv_timeout), "Empty"
Expect "fresh qv_hostname", TypeName(fresh.qv_hostname), "Empty"

' Plain storage: values come back unchanged, objects as the same object.
fresh.qv_hostname = 42
Expect "number stored unchanged", fresh.qv_hostname, 42
fresh.QV_HOSTNAME = "Mixed Case"
Expect "names in any letter case", fresh.qv_HostName, "Mixed Case"
Dim dictionary
Set dictionary = CreateObject("Scripting.Dictionary")
Set fresh.qv_parameter = dictionary
ExpectTrue "object stored by reference is the same object", fresh.qv_parameter Is dictionary

' An unknown member fails as the host's own objects do.
On Error Resume Next
fresh.qv_nothing = 1
Expect "unknown member", Err.Number, CLng(438)
Err.Clear
On Error GoTo 0

' A failing settings call reaches the host with a number and a description.
fresh.qv_parameter = "#PRP=99999999999#"
On Error Resume Next
fresh.qv_showGUI
Dim number, description, source
number = Err.Number : description = Err.Description : source = Err.Source
Err.Clear
On Error GoTo 0
ExpectTrue "qv_showGUI failure has a number", number <> 0
ExpectTrue "qv_showGUI failure has a description", Len(description) > 0
Expect "qv_showGUI failure source", source, "orbenix.vexarel"
Expect "qv_parameter unchanged after the failure", fresh.qv_parameter, "#PRP=99999999999#"
Set fresh = Nothing

' Checks against the panel.
verdict = RunCheck(PanelParameter(httpBase, "online"), 30, text)
Expect "online verdict", verdict, True
Expect "online text", text, "SolusVM VPS works fine"

verdict = RunCheck(PanelParameter(httpsBase, "online"), "30", text)
Expect "online over HTTPS verdict", verdict, True
Expect "online over HTTPS text", text, "SolusVM VPS works fine"

verdict = RunCheck(PanelParameter(httpBase, "offline"), Empty, text)
Expect "offline verdict", verdict, False
Expect "offline text", text, "VPS offline"

verdict = RunCheck(PanelParameter(httpBase, "wrong-key"), 30, text)
Expect "error answer verdict", verdict, False
Expect "error answer text", text, "Invalid key"

verdict = RunCheck(PanelParameter(httpBase, "online"), "abc", text)
Expect "timeout that is no number: verdict", verdict, False
Expect "timeout that is no number: text", text, "ERR: Type mismatch( 30)"

WScript.Echo "DONE failures=" & failures
