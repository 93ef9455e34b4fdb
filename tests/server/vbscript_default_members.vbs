' Step objects whose answers are objects of classes with a default property,
' as script hosts often write them: the component converts such an answer
' through its default member, as the platform's own conversions do.
' Runs behind step_objects.vbs (the build puts the two in one file).
answer_objects = True

Class NoDefault
  Public Held
End Class

Class RaisingDefault
  Public Default Property Get Value()
    Err.Raise 1234, "Answer", "the answer's own text"
  End Property
End Class

Class Reader
  Public Result
  Public Function CardReaderRetain()
    Set CardReaderRetain = Result
  End Function
End Class

Sub Capture(title, answer)
  Dim component, module, card_reader
  Set card_reader = New Reader
  Set card_reader.Result = answer
  Set module = New Module
  module.TransAction1 = "0000"
  module.Control = "6"
  Set component = Wired(card_reader, module)
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
