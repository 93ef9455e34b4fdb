' A display, a trace writer and a journal printer written as script classes,
' left in the globals named after the fields they take.
Class MyDisplay
  Private screen
  Public Property Get ScreenNo()
    ScreenNo = screen
  End Property
  Public Property Let ScreenNo(value)
    screen = value
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

Class MyTrace
  Public Function TraceWrite(path, text, source)
    TraceWrite = 0
  End Function
End Class

Class MyJournal
  Public isjrn
  Public TimeSig
  Public ChnPromptString
  Public EngPromptString
  Public Function JournalWriteMsg()
    JournalWriteMsg = 0
  End Function
End Class

Set StepDisp = New MyDisplay
Set StepTrac = New MyTrace
Set StepJour = New MyJournal
