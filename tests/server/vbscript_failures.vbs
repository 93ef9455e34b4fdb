' Failures raised by VBScript step objects, as the component reports them on
' its failure trace line: the device result so far, the number, the
' description. Wine's VBScript hands a C++ caller only the HRESULT, so the
' number survives and the description is the component's standard text or none.
Option Explicit

Class Display
  Private shown
  Public Property Let ScreenNo(value)
    shown = value
  End Property
  Public Property Get ScreenNo()
    ScreenNo = shown
  End Property
  Public Function ScreenDisplay()
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

Class RaisingReader
  Public Number
  Public Function CardReaderRetain()
    Err.Raise Number, "Reader", "the reader's own text"
  End Function
End Class

' Has no CardReaderRetain at all.
Class WrongReader
  Public Function Retain()
    Retain = 0
  End Function
End Class

Class Module
  Public TransAction1
  Public Property Let ExcepCode(value)
  End Property
  Public Function IsJRNDevice()
    IsJRNDevice = 0
  End Function
End Class

Class Trace
  Public Function TraceWrite(path, text, source)
    If source = "Clench" Then WScript.Echo "  object log: " & text
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

Sub Capture(title, reader)
  Dim component
  Set component = CreateObject("Clasp.Holdfast")
  Set component.StepDisp = New Display
  Set component.StepMks = reader
  Set component.StepRunModul = New Module
  Set component.StepTrac = New Trace
  Set component.StepJour = New Journal
  WScript.Echo title
  WScript.Echo "  Cols returned " & component.Cols
End Sub

Dim reader
Set reader = New RaisingReader
reader.Number = 1234
Capture "reader raises 1234", reader
Set reader = New RaisingReader
reader.Number = 13
Capture "reader raises 13", reader
Capture "reader has no CardReaderRetain", New WrongReader
WScript.Echo "vbscript_failures.vbs done"
