' Failures raised by VBScript step objects, as the component reports them on
' its failure trace line: the device result so far, the number, the
' description. Wine's VBScript hands a C++ caller only the HRESULT, so the
' number survives and the description is the component's standard text or none.
' Runs behind step_objects.vbs (the build puts the two in one file).

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

Sub Capture(title, reader)
  Dim component
  Set component = Wired(reader, New Module)
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
