' Runs one case of the kit and judges it: the command in %RUN% (in the
' current folder, its output into %LOG%), given %LIMIT% seconds. A case
' passes when it ended in time, with the exit status %STATUS_WANTED% and a
' line of its output beginning with %SHOWS% (leading blanks aside). An exit
' status alone proves nothing: a program that hangs and is then ended, or
' never starts, prints no summary line. A case past its time is ended, with
' every process it started, and what it printed so far stays in its log.
' Writes the reason of a verdict other than a pass to %LOG%.why and, for a
' failure, the log's last lines as XML text (for the JUnit report) to
' %LOG%.xml.
' Exit status: 10 passed, 11 failed, 12 skipped; never 0, with which cscript
' ends when a script does not compile or stops on an error.
' Usage: cscript //nologo run_case.vbs
Option Explicit

Const kPassed = 10
Const kFailed = 11
Const kSkipped = 12
' capture.vbs: the expected text is Chinese and the system cannot show it.
Const kCannotShow = 12
Const kForReading = 1
Const kAnsi = 0
Const kHidden = 0
Const kWait = True
Const kRunning = 0
' What the JUnit report keeps of a failed case's output, at most.
Const kReportedLines = 60

' An environment variable. Wine's ExpandEnvironmentStrings keeps the
' terminating null in the text it answers: cut there.
Function Variable(shell, name)
  Dim value, ends
  value = shell.ExpandEnvironmentStrings("%" & name & "%")
  ends = InStr(value, Chr(0))
  If ends > 0 Then value = Left(value, ends - 1)
  If value = "%" & name & "%" Then value = ""
  Variable = value
End Function

Function Quoted(text)
  Quoted = """" & text & """"
End Function

' About a second. Wine's script host has no WScript.Sleep; ping waits a
' second between its two echoes on every system.
Sub Pause(shell)
  On Error Resume Next
  WScript.Sleep 500
  If Err.Number <> 0 Then
    Err.Clear
    shell.Run "ping -n 2 127.0.0.1", kHidden, kWait
  End If
  On Error GoTo 0
End Sub

' Ends the process `id` and every process it started, children first. The
' tree is read before anything ends: an orphan still names its parent.
Sub EndTree(shell, id)
  Dim wmi, process, parents, ids, found, i, j
  Set parents = CreateObject("Scripting.Dictionary")
  On Error Resume Next
  Set wmi = GetObject("winmgmts:\\.\root\cimv2")
  For Each process In wmi.ExecQuery("Select ProcessId, ParentProcessId From Win32_Process")
    parents(CLng(process.ProcessId)) = CLng(process.ParentProcessId)
  Next
  On Error GoTo 0
  ids = Array(CLng(id))
  found = True
  Do While found
    found = False
    For Each i In parents.Keys
      If parents(i) <> i And Not Contains(ids, i) And Contains(ids, parents(i)) Then
        ReDim Preserve ids(UBound(ids) + 1)
        ids(UBound(ids)) = i
        found = True
      End If
    Next
  Loop
  For j = UBound(ids) To 0 Step -1
    shell.Run "taskkill /f /pid " & ids(j), kHidden, kWait
  Next
End Sub

Function Contains(list, item)
  Dim each_item
  Contains = False
  For Each each_item In list
    If each_item = item Then Contains = True
  Next
End Function

' A file's lines, line ends aside; none when it is missing or empty. Read
' from a copy: a process the case started may still hold the log open for
' writing (Wine starts its desktop process from the first program that makes
' a window, handing it that program's output), and Wine's OpenTextFile then
' refuses the file; copying it does not.
Function FileLines(files, path)
  FileLines = Array()
  If Not files.FileExists(path) Then Exit Function
  If files.GetFile(path).Size = 0 Then Exit Function
  Dim copy, text
  copy = path & ".read"
  On Error Resume Next
  files.CopyFile path, copy, True
  text = Replace(files.OpenTextFile(copy, kForReading, False, kAnsi).ReadAll, vbCr, "")
  If Err.Number <> 0 Then GiveUp files, "the kit could not read " & path & ": " & ErrorText()
  On Error GoTo 0
  Forget files, copy
  If Right(text, 1) = vbLf Then text = Left(text, Len(text) - 1)
  FileLines = Split(text, vbLf)
End Function

' Deletes a file of the kit's own if it can; one left behind harms nothing.
Sub Forget(files, path)
  On Error Resume Next
  files.DeleteFile path
  On Error GoTo 0
End Sub

' Whether the case's process still runs. Asking can fail for a moment under
' Wine; then it is asked again, within the case's time limit.
Function StillRunning(running)
  Dim status
  On Error Resume Next
  status = running.Status
  StillRunning = (Err.Number <> 0 Or status = kRunning)
  On Error GoTo 0
End Function

' The error at hand, its number always (Wine often gives no description).
Function ErrorText()
  ErrorText = "error 0x" & Hex(Err.Number) & " " & Err.Description
End Function

' Fails the case for a reason of the kit's own, said rather than left to
' cscript, which would end without a word and with status 0.
Sub GiveUp(files, why)
  Record files, Variable(CreateObject("WScript.Shell"), "LOG"), why, Empty
  WScript.Quit kFailed
End Sub

Function Shows(lines, wanted)
  Dim line
  Shows = False
  For Each line In lines
    If Left(LTrim(line), Len(wanted)) = wanted Then Shows = True
  Next
End Function

' Text for an XML element: markup escaped, anything but printable ASCII as
' "?" (the report is UTF-8; the log is in the system's code page).
Function XmlText(text)
  Dim i, c, code, escaped
  escaped = ""
  For i = 1 To Len(text)
    c = Mid(text, i, 1)
    code = Asc(c)
    If c = "&" Then
      c = "&amp;"
    ElseIf c = "<" Then
      c = "&lt;"
    ElseIf c = ">" Then
      c = "&gt;"
    ElseIf code < 32 Or code > 126 Then
      c = "?"
    End If
    escaped = escaped & c
  Next
  XmlText = escaped
End Function

' The reason, for cmd to echo and to quote in an XML attribute: no quotes and
' none of the characters cmd or XML would read as their own.
Function Plain(text)
  Dim c, plain_text
  plain_text = Replace(text, """", "'")
  For Each c In Array("&", "<", ">", "|", "^", "%")
    plain_text = Replace(plain_text, c, "?")
  Next
  Plain = plain_text
End Function

Sub Record(files, path, why, lines)
  Dim out, first, i
  Set out = files.CreateTextFile(path & ".why", True)
  out.WriteLine Plain(why)
  out.Close
  If IsEmpty(lines) Then Exit Sub
  Set out = files.CreateTextFile(path & ".xml", True)
  first = UBound(lines) - kReportedLines + 1
  If first < 0 Then first = 0
  For i = first To UBound(lines)
    out.WriteLine XmlText(lines(i))
  Next
  out.Close
End Sub

Dim files, shell, command, log, limit, wanted_status, wanted_text
Set files = CreateObject("Scripting.FileSystemObject")
Set shell = CreateObject("WScript.Shell")
command = Variable(shell, "RUN")
log = Variable(shell, "LOG")
limit = CLng(Variable(shell, "LIMIT"))
wanted_status = CLng(Variable(shell, "STATUS_WANTED"))
wanted_text = Variable(shell, "SHOWS")

' The command in a command file of its own, which cmd reads as the kit wrote
' it. A second one runs that with the output and errors into the log, no
' input (a program that waits for input cannot wait for the console), and
' writes the exit status to a file: Wine's script host tells when a program
' ended but not its exit status.
Dim runner, status_file
status_file = log & ".status"
Set runner = files.CreateTextFile(log & ".case.cmd", True)
runner.WriteLine "@echo off"
runner.WriteLine command
runner.Close
Set runner = files.CreateTextFile(log & ".cmd", True)
runner.WriteLine "@echo off"
runner.WriteLine "cmd /c " & Quoted(log & ".case.cmd") & " <nul >" & Quoted(log) & " 2>&1"
runner.WriteLine "echo %ERRORLEVEL% >" & Quoted(status_file)
runner.Close

' Wine's VBScript has no DateDiff; dates compare.
Dim deadline, running, timed_out
deadline = DateAdd("s", limit, Now)
On Error Resume Next
Set running = shell.Exec("cmd /c " & Quoted(log & ".cmd"))
If Err.Number <> 0 Then GiveUp files, "the kit could not start the case: " & ErrorText()
On Error GoTo 0
timed_out = False
Do While StillRunning(running)
  If Now > deadline Then
    timed_out = True
    Exit Do
  End If
  Pause shell
Loop
If timed_out Then EndTree shell, running.ProcessID
Forget files, log & ".cmd"
Forget files, log & ".case.cmd"

Dim lines, status, status_lines
lines = FileLines(files, log)
If timed_out Then
  Record files, log, "no end within " & limit & " s; ended, with what it had printed", lines
  WScript.Quit kFailed
End If
status_lines = FileLines(files, status_file)
If UBound(status_lines) < 0 Then
  Record files, log, "ended without an exit status", lines
  WScript.Quit kFailed
End If
Forget files, status_file
status = CLng(Trim(status_lines(0)))
If UBound(lines) < 0 Then
  Record files, log, "exit status " & status & " and printed nothing", Empty
  WScript.Quit kFailed
End If
If status = kCannotShow And Shows(lines, "skipped:") Then
  Record files, log, "the expected text needs a Chinese code page", Empty
  WScript.Quit kSkipped
End If
If status <> wanted_status Then
  Record files, log, "exit status " & status & ", expected " & wanted_status, lines
  WScript.Quit kFailed
End If
If Not Shows(lines, wanted_text) Then
  Record files, log, "exit status " & status & " but no line " & wanted_text, lines
  WScript.Quit kFailed
End If
WScript.Quit kPassed
