' Step objects whose answers are objects of classes with a default property,
' as script hosts often write them: the component converts such an answer
' through its default member, as the platform's own conversions do.
Option Explicit

' What the step objects answer with: an object that stands for Value.
Class Answer
  Public Held
  Public Default Property Get Value()
    Value = Held
  End Property
End Class

Class NoDefault
  Public Held
End Class

Class RaisingDefault
  Public Default Property Get Value()
    Err.Raise 1234, "Answer", "the answer's own text"
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
  Public ScreenAnswer
  Public Property Let ScreenNo(value)
    shown = value
  End Property
  Public Property Get ScreenNo()
    Set ScreenNo = Holding(" " & shown & " ")
  End Property
  Public Function ScreenDisplay()
    Set ScreenDisplay = Holding(CLng(0))
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
  Public Result
  Public Function CardReaderRetain()
    Set CardReaderRetain = Result
  End Function
End Class

Class Module
  Public TransAction1
  Private Sub Class_Initialize()
    TransAction1 = "0000"
  End Sub
  Public Function RecordMessage(kind, count)
    Set RecordMessage = Holding(CLng(0))
  End Function
  Public Property Let ExcepCode(value)
  End Property
  Public Function ControlNum()
    Set ControlNum = Holding("6")
  End Function
  Public Function IsJRNDevice()
    IsJRNDevice = 0
  End Function
End Class

Class Trace
  Public Function TraceWrite(path, text, source)
    If source = "Clench" Then WScript.Echo "  object log: " & text
    Set TraceWrite = Holding(CLng(0))
  End Function
End Class

Class Journal
  Public isjrn
  Public TimeSig
  Public ChnPromptString
  Public EngPromptString
  Public Function JournalWriteMsg()
    Set JournalWriteMsg = Holding(CLng(0))
  End Function
End Class

Sub Capture(title, answer)
  Dim component, module, card_reader
  Set component = CreateObject("Clasp.Holdfast")
  Set card_reader = New Reader
  Set card_reader.Result = answer
  Set module = New Module
  Set component.StepDisp = New Display
  Set component.StepMks = card_reader
  Set component.StepRunModul = module
  Set component.StepTrac = New Trace
  Set component.StepJour = New Journal
  WScript.Echo title
  WScript.Echo "  Cols returned " & component.Cols
  WScript.Echo "  status " & module.TransAction1
End Sub

Capture "reader answers an object holding 10120011", Holding(CLng(10120011))
Capture "reader answers an object holding the text 0", Holding("0")
Capture "reader answers an object without a default property", New NoDefault
Capture "reader answers an object whose default property raises", New RaisingDefault
Capture "reader answers Nothing", Nothing
WScript.Echo "vbscript_default_members.vbs done"
