' Re-entry from a VBScript host: step objects that call back into the
' component, drop it, or change its fields while it is calling them. Each case
' prints what Cols returned and the failure trace lines, if any.
Option Explicit

Dim component
Dim mode
Dim depth
Dim nested

Class Display
  Private shown
  Public Property Let ScreenNo(value)
    shown = value
  End Property
  Public Property Get ScreenNo()
    ScreenNo = shown
  End Property
  Public Function ScreenDisplay()
    If mode = "release" Then Set component = Nothing
    If mode = "empty" Then Set component.StepDisp = Nothing
    If mode = "swap" Then Set component.StepMks = New EmptyReader
    ScreenDisplay = 0
  End Function
  Public Property Let DisapleVal01(value)
  End Property
  Public Property Let DisapleVal02(value)
  End Property
  Public Property Let DisapleVal03(value)
  End Property
  Public Property Let DisapleVal04(value)
  End Property
End Class

Class Reader
  Public Function CardReaderRetain()
    Dim answer
    If mode = "nest" And depth < 50 Then
      depth = depth + 1
      answer = component.Cols
      nested = nested & " " & answer
    End If
    If mode = "raise" Then
      depth = depth + 1
      If depth = 2 Then Err.Raise 1234, "Reader", "boom"
      answer = component.Cols
      nested = nested & " " & answer
    End If
    If mode = "put" Then component.DisapleVal01 = "again"
    CardReaderRetain = CLng(10120011)
  End Function
End Class

Class EmptyReader
  Public Function CardReaderRetain()
    CardReaderRetain = 0
  End Function
End Class

Class Module
  Public TransAction1
  Public Property Let ExcepCode(value)
  End Property
  Public Function RecordMessage(kind, count)
    RecordMessage = 0
  End Function
  Public Function IsJRNDevice()
    IsJRNDevice = 0
  End Function
  Public Function ControlNum()
    ControlNum = 0
  End Function
  Public Function WriteDetailFileName(a, b, c, flag)
    WriteDetailFileName = 0
  End Function
  Public Function PackMessage(kind)
    PackMessage = 0
  End Function
  Public Function CommSign()
    CommSign = 1
  End Function
End Class

Class Trace
  Public Function TraceWrite(path, text, source)
    If Left(text, 1) = "0" Then WScript.Echo "  failure trace: " & text
    TraceWrite = 0
  End Function
End Class

Class Journal
  Public isjrn
  Public TimeSig
  Public ChnPromptString
  Public EngPromptString
  Public Function JournalWriteMsg()
    JournalWriteMsg = 0
  End Function
End Class

Sub Capture(title, how)
  Dim result
  mode = how
  depth = 0
  nested = ""
  Set component = CreateObject("Clasp.Holdfast")
  Set component.StepDisp = New Display
  Set component.StepMks = New Reader
  Set component.StepRunModul = New Module
  Set component.StepTrac = New Trace
  Set component.StepJour = New Journal
  WScript.Echo title
  result = component.Cols
  WScript.Echo "  Cols returned " & result
  If nested <> "" Then WScript.Echo "  nested Cols returned" & nested
End Sub

Capture "Cols nested 50 deep", "nest"
Capture "last reference dropped during Cols", "release"
Capture "display emptied during Cols", "empty"
Capture "card reader swapped during Cols", "swap"
Capture "display value put during Cols", "put"
Capture "raise inside a nested Cols", "raise"
WScript.Echo "reentry.vbs done"
