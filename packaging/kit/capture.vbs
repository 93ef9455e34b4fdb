' Runs one of the kit's VBScripts with the cscript that runs this one (the
' case's bitness), its output into %OUT%, and compares all it printed (in the
' system's code page) with what it should print (a Unicode file), line ends
' aside. Prints the first line that differs.
' Exit status: 10 the same, 11 different, 12 different where the expected
' text is Chinese and the system's code page is not (the console cannot show
' it there), so the case is skipped rather than failed. Never 0: cscript
' ends with 0 when a script does not compile or stops on an error.
' Usage: cscript //nologo capture.vbs SCRIPT EXPECTED   (in the kit's scripts folder)
Option Explicit

Const kSame = 10
Const kDifferent = 11
Const kCannotShow = 12
Const kForReading = 1
Const kUnicode = -1
Const kAnsi = 0
Const kHidden = 0
Const kWait = True

Const kCodePageKey = "HKLM\SYSTEM\CurrentControlSet\Control\Nls\CodePage\ACP"

' The system's ANSI code page, "" when it cannot be read.
Function CodePage(shell)
  CodePage = ""
  On Error Resume Next
  CodePage = shell.RegRead(kCodePageKey)
  On Error GoTo 0
End Function

' The Chinese code pages: simplified (GBK) and traditional (Big5).
Function IsChineseCodePage(page)
  IsChineseCodePage = (page = "936" Or page = "950")
End Function

' A character outside ASCII, or one the code page can only show as "?".
Function HasNonAscii(text)
  Dim i, c, code, found
  found = False
  For i = 1 To Len(text)
    c = Mid(text, i, 1)
    code = Asc(c)
    If code < 0 Or code > 127 Then found = True
    If code = 63 And c <> "?" Then found = True
  Next
  HasNonAscii = found
End Function

' An environment variable. Wine's ExpandEnvironmentStrings keeps the
' terminating null in the text it answers: cut there.
Function Variable(shell, name)
  Dim value, ends
  value = shell.ExpandEnvironmentStrings("%" & name & "%")
  ends = InStr(value, Chr(0))
  If ends > 0 Then value = Left(value, ends - 1)
  Variable = value
End Function

Function Quoted(text)
  Quoted = """" & text & """"
End Function

Dim files, shell, scripts, output, expected, actual
Set files = CreateObject("Scripting.FileSystemObject")
Set shell = CreateObject("WScript.Shell")
scripts = files.BuildPath(files.GetParentFolderName(files.GetParentFolderName(WScript.ScriptFullName)), "scripts")
output = Variable(shell, "OUT")
' The redirection needs cmd; a command file of its own spares cmd /c a line
' of nested quotes, which not every cmd reads alike.
Dim runner
Set runner = files.CreateTextFile(output & ".cmd", True)
' Not %SYS%: that names the folder as the kit's prompt sees it, and a 32-bit
' prompt reaches 64-bit programs through Sysnative, which a 64-bit process
' (this one, in a 64-bit case) does not have.
runner.WriteLine "@" & Quoted(WScript.FullName) & " //nologo " & _
  Quoted(files.BuildPath(scripts, WScript.Arguments(0))) & " >" & Quoted(output) & " 2>&1"
runner.Close
shell.Run "cmd /c " & Quoted(output & ".cmd"), kHidden, kWait

expected = Replace(files.OpenTextFile(files.BuildPath(scripts, WScript.Arguments(1)), kForReading, False, kUnicode).ReadAll, vbCrLf, vbLf)
' Read from a copy: a process the script started may still hold the output
' open (see run_case.vbs), and Wine's OpenTextFile then refuses it.
actual = ""
If files.FileExists(output) Then
  If files.GetFile(output).Size > 0 Then
    files.CopyFile output, output & ".read", True
    actual = Replace(files.OpenTextFile(output & ".read", kForReading, False, kAnsi).ReadAll, _
      vbCrLf, vbLf)
    files.DeleteFile output & ".read"
  End If
End If

If expected = actual Then
  WScript.Echo "same: " & UBound(Split(expected, vbLf)) & " lines"
  WScript.Quit kSame
End If

Dim expected_lines, actual_lines, i, shown
expected_lines = Split(expected, vbLf)
actual_lines = Split(actual, vbLf)
shown = False
For i = 0 To UBound(expected_lines)
  If i > UBound(actual_lines) Then
    WScript.Echo "line " & (i + 1) & ": expected " & Quoted(expected_lines(i)) & ", the output ended"
    shown = True
  ElseIf expected_lines(i) <> actual_lines(i) Then
    WScript.Echo "line " & (i + 1) & ": expected " & Quoted(expected_lines(i)) & ", printed " & Quoted(actual_lines(i))
    shown = True
  End If
  If shown Then Exit For
Next
If Not shown Then WScript.Echo "the output goes on past the expected " & (UBound(expected_lines) + 1) & " lines"

Dim page
page = CodePage(shell)
If HasNonAscii(expected) And page <> "" And Not IsChineseCodePage(page) Then
  WScript.Echo "skipped: the expected text is Chinese and this system's code page (" & page & ") is not"
  WScript.Quit kCannotShow
End If
WScript.Quit kDifferent
