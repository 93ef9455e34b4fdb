' A journal printer whose JournalWriteMsg fails, as a script class raises:
' with a number, a source and a description.
Class MyJournal
  Public isjrn
  Public TimeSig
  Public ChnPromptString
  Public EngPromptString
  Public Function JournalWriteMsg()
    Err.Raise 5678, "journal", "Paper out"
  End Function
End Class
Set StepJour = New MyJournal
