' All five step objects written as script classes, left in the globals named
' after the fields they take.
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

Class MyReader
  Public Function CardReaderRetain()
    CardReaderRetain = CLng(10120011)
  End Function
End Class

' Its transaction status starts fresh; a device fault leaves "0030" behind.
Class MyRunModul
  Public TransAction1
  Public ExcepCode
  Public ControlNum
  Public CommSign
  Public IsWriteOnly
  Public SendMessage
  Public SendMessageLen
  Public IsUnPackOex
  Public TimeOutComm
  Public RecieveMessage
  Public RecieveMessageLen
  Public IsJRNDevice
  Private Sub Class_Initialize()
    TransAction1 = "0000"
    ControlNum = 0
    CommSign = 0
    IsWriteOnly = 0
    SendMessage = "OEX"
    SendMessageLen = 3
    IsUnPackOex = 1
    TimeOutComm = 30
    RecieveMessage = ""
    RecieveMessageLen = 256
    IsJRNDevice = 1
  End Sub
  Public Function RecordMessage(kind, count)
    RecordMessage = 0
  End Function
  Public Function WriteDetailFileName(kind, a, b, flag)
    WriteDetailFileName = 0
  End Function
  Public Function PackMessage(kind)
    PackMessage = 0
  End Function
  Public Function StepCommWriteOnly(message, length)
    StepCommWriteOnly = 0
  End Function
  Public Function StepCommWrite(message, length)
    StepCommWrite = 0
  End Function
  Public Function StepCommRead(timeout, message, length)
    StepCommRead = 0
  End Function
  Public Function UnpackMessage(kind)
    UnpackMessage = 0
  End Function
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
Set StepMks = New MyReader
Set StepRunModul = New MyRunModul
Set StepTrac = New MyTrace
Set StepJour = New MyJournal
