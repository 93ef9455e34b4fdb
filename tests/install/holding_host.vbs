' A host application that keeps Clasp.Holdfast (and so Holdfast.dll) for as
' long as it runs: it creates the component, says so, and ends only once the
' file C:\clasp-release-host exists. Wine's cscript has no WScript.Sleep:
' a ping of two echoes waits a second.
Dim component, files, shell, rounds
Set component = CreateObject("Clasp.Holdfast")
Set files = CreateObject("Scripting.FileSystemObject")
Set shell = CreateObject("WScript.Shell")
WScript.Echo "holding"
rounds = 0
Do While Not files.FileExists("C:\clasp-release-host") And rounds < 300
  shell.Run "ping -n 2 127.0.0.1", 0, True
  rounds = rounds + 1
Loop
Set component = Nothing
WScript.Echo "released"
