' The step objects the VBScript tests hand the component, and the wiring of
' them. Wine's VBScript has neither ExecuteGlobal nor Execute to read this file
' from another script, so the build writes each test script behind it into one
' file in the build tree, and the tests run that.
Option Explicit

' True: every answer is an object whose default property holds it, as some
' script hosts write them.
Dim answer_objects
' True: the trace writer prints only the failure lines; otherwise every line
' of the object log.
Dim failure_lines_only
' When set, an object whose Shown method runs inside ScreenDisplay.
Dim screen_hook

' What the step objects answer with when answer_objects is set.
Class Answer
  Public Held
  Public Default Property Get Value()
    Value = Held
  End Property
End Class

Function Holding(value)
  Dim result
  Set result = New Answer
  result.Held = value
  Set Holding = result
End Function

Class Display
  Private shown
  Public Property Let ScreenNo(value)
    shown = value
  End Property
  ' As an object it answers text with blanks round the number, which the
  ' component can only read through the default member.
  Public Property Get ScreenNo()
    If answer_objects Then Set ScreenNo = Holding(" " & shown & " ") Else ScreenNo = shown
  End Property
  Public Function ScreenDisplay()
    If IsObject(screen_hook) Then screen_hook.Shown
    If answer_objects Then Set ScreenDisplay = Holding(CLng(0)) Else ScreenDisplay = 0
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

' Answers what the report to the bank needs up to a line that is never ready,
' so the report ends there without a trace line.
Class Module
  Public TransAction1
  Public Control
  Private Sub Class_Initialize()
    Control = 0
  End Sub
  Public Property Let ExcepCode(value)
  End Property
  Public Function RecordMessage(kind, count)
    If answer_objects Then Set RecordMessage = Holding(CLng(0)) Else RecordMessage = 0
  End Function
  Public Function IsJRNDevice()
    IsJRNDevice = 0
  End Function
  Public Function ControlNum()
    If answer_objects Then Set ControlNum = Holding(Control) Else ControlNum = Control
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
    If failure_lines_only Then
      If Left(text, 1) = "0" Then WScript.Echo "  failure trace: " & text
    ElseIf source = "Clench" Then
      WScript.Echo "  object log: " & text
    End If
    If answer_objects Then Set TraceWrite = Holding(CLng(0)) Else TraceWrite = 0
  End Function
End Class

Class Journal
  Public isjrn
  Public TimeSig
  Public ChnPromptString
  Public EngPromptString
  Public Function JournalWriteMsg()
    If answer_objects Then Set JournalWriteMsg = Holding(CLng(0)) Else JournalWriteMsg = 0
  End Function
End Class

' A new component holding a display, the given card reader and module, a
' trace writer and a journal printer.
Function Wired(reader, module)
  Dim component
  Set component = CreateObject("Clasp.Holdfast")
  Set component.StepDisp = New Display
  Set component.StepMks = reader
  Set component.StepRunModul = module
  Set component.StepTrac = New Trace
  Set component.StepJour = New Journal
  Set Wired = component
End Function
