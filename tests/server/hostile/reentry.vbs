' Re-entry from a VBScript host: step objects that call back into the
' component, drop it, or change its fields while it is calling them. Each case
' prints what Cols returned and the failure trace lines, if any.
' Runs behind step_objects.vbs (the build puts the two in one file).
failure_lines_only = True

' The component under test, and what the step objects do with it.
Dim component, mode, depth, nested

' Runs inside the display's ScreenDisplay.
Class Interference
  Public Sub Shown()
    If mode = "release" Then Set component = Nothing
    If mode = "empty" Then Set component.StepDisp = Nothing
    If mode = "swap" Then Set component.StepMks = New EmptyReader
  End Sub
End Class
Set screen_hook = New Interference

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

Sub Capture(title, how)
  Dim result
  mode = how
  depth = 0
  nested = ""
  Set component = Wired(New Reader, New Module)
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
