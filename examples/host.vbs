' host.vbs - a terminal application in miniature: it creates Clasp.Holdfast,
' hands it the five step objects, retains a card and shows what each step
' object was asked to do.
'
' Register the component once, then run this script:
'   wine regsvr32 Holdfast.dll
'   LANG=zh_CN.UTF-8 LC_ALL=zh_CN.UTF-8 wine cscript //nologo host.vbs | iconv -f GBK -t UTF-8
' (The journal's Chinese prompt prints correctly in a Chinese code page; the
' component passes it to the journal printer as Unicode either way.)
Option Explicit

' Every step object reports each access on its own line.
Sub Report(line)
  WScript.Echo line
End Sub

' A value with its automation type, so that a reader sees what was passed.
Function Show(value)
  Select Case VarType(value)
    Case vbEmpty: Show = "Empty"
    Case vbNull: Show = "Null"
    Case vbString: Show = "String """ & value & """"
    Case vbObject: Show = "Object"
    Case Else: Show = TypeName(value) & " " & CStr(value)
  End Select
End Function

' The display step: shows screens and the four display values.
Class DisplayStep
  Private shownScreen
  Public Property Let ScreenNo(value)
    Report "StepDisp.ScreenNo = " & Show(value)
    shownScreen = value
  End Property
  Public Property Get ScreenNo()
    ScreenNo = shownScreen
  End Property
  Public Function ScreenDisplay()
    Report "StepDisp.ScreenDisplay()"
    ScreenDisplay = 0
  End Function
  Public Property Let DisapleVal01(value)
    Report "StepDisp.DisapleVal01 = " & Show(value)
  End Property
  Public Property Let DisapleVal02(value)
    Report "StepDisp.DisapleVal02 = " & Show(value)
  End Property
  Public Property Let DisapleVal03(value)
    Report "StepDisp.DisapleVal03 = " & Show(value)
  End Property
  Public Property Let DisapleVal04(value)
    Report "StepDisp.DisapleVal04 = " & Show(value)
  End Property
End Class

' The card reader: this one always manages to keep the card.
Class CardReaderStep
  Public Function CardReaderRetain()
    Report "StepMks.CardReaderRetain()"
    CardReaderRetain = CLng(10120011)
  End Function
End Class

' The run-time transaction module: status string, exception code and the
' message exchange with the bank host.
Class RunModule
  Private statusText
  Private Sub Class_Initialize()
    statusText = "0000000000"
  End Sub
  Public Property Get TransAction1()
    TransAction1 = statusText
  End Property
  Public Property Let TransAction1(value)
    Report "StepRunModul.TransAction1 = " & Show(value)
    statusText = value
  End Property
  Public Function RecordMessage(kind, count)
    Report "StepRunModul.RecordMessage(" & Show(kind) & ", " & Show(count) & ")"
    RecordMessage = 0
  End Function
  Public Property Let ExcepCode(value)
    Report "StepRunModul.ExcepCode = " & Show(value)
  End Property
  Public Function ControlNum()
    ControlNum = 6
  End Function
  Public Function WriteDetailFileName(kind, first, second, flag)
    Report "StepRunModul.WriteDetailFileName(" & Show(kind) & ", " & Show(first) & ", " & _
           Show(second) & ", " & Show(flag) & ")"
    WriteDetailFileName = 0
  End Function
  Public Function PackMessage(kind)
    Report "StepRunModul.PackMessage(" & Show(kind) & ")"
    PackMessage = 0
  End Function
  Public Function CommSign()
    CommSign = 0
  End Function
  Public Function IsWriteOnly()
    IsWriteOnly = 0
  End Function
  Public Function SendMessage()
    SendMessage = "OEX0001"
  End Function
  Public Function SendMessageLen()
    SendMessageLen = 7
  End Function
  Public Function StepCommWrite(message, length)
    Report "StepRunModul.StepCommWrite(" & Show(message) & ", " & Show(length) & ")"
    StepCommWrite = 0
  End Function
  Public Function StepCommWriteOnly(message, length)
    Report "StepRunModul.StepCommWriteOnly(" & Show(message) & ", " & Show(length) & ")"
    StepCommWriteOnly = 0
  End Function
  Public Function IsUnPackOex()
    IsUnPackOex = 1
  End Function
  Public Function TimeOutComm()
    TimeOutComm = 30
  End Function
  Public Function RecieveMessage()
    RecieveMessage = "OEX0001OK"
  End Function
  Public Function RecieveMessageLen()
    RecieveMessageLen = 9
  End Function
  Public Function StepCommRead(timeout, message, length)
    Report "StepRunModul.StepCommRead(" & Show(timeout) & ", " & Show(message) & ", " & _
           Show(length) & ")"
    StepCommRead = 0
  End Function
  Public Function UnpackMessage(kind)
    Report "StepRunModul.UnpackMessage(" & Show(kind) & ")"
    UnpackMessage = 0
  End Function
  Public Function IsJRNDevice()
    IsJRNDevice = 1
  End Function
End Class

' The trace writer: appends lines to the log file it is given.
Class TraceWriter
  Public Function TraceWrite(path, text, source)
    Report "StepTrac.TraceWrite " & path & " [" & source & "] " & text
    TraceWrite = 0
  End Function
End Class

' The journal printer: prints an entry from the properties just set.
Class JournalStep
  Public Property Let isjrn(value)
    Report "StepJour.isjrn = " & Show(value)
  End Property
  Public Property Let TimeSig(value)
    Report "StepJour.TimeSig = " & Show(value)
  End Property
  Public Property Let ChnPromptString(value)
    Report "StepJour.ChnPromptString = " & Show(value)
  End Property
  Public Property Let EngPromptString(value)
    Report "StepJour.EngPromptString = " & Show(value)
  End Property
  Public Function JournalWriteMsg()
    Report "StepJour.JournalWriteMsg()"
    JournalWriteMsg = 0
  End Function
End Class

Dim component
Set component = CreateObject("Clasp.Holdfast")
Set component.StepDisp = New DisplayStep
Set component.StepMks = New CardReaderStep
Set component.StepRunModul = New RunModule
Set component.StepTrac = New TraceWriter
Set component.StepJour = New JournalStep

' Display values go straight to the display; the screen number waits for Cols.
component.DisapleVal01 = "Your card has been retained"
component.ScreenNo = "421"

WScript.Echo "Cols returned " & component.Cols

' A screen number that is not a number fails like any automation error.
On Error Resume Next
component.ScreenNo = "abc"
WScript.Echo "ScreenNo = ""abc"" failed: " & Err.Number & " " & Err.Description
On Error GoTo 0

Set component = Nothing
WScript.Echo "host.vbs done"
