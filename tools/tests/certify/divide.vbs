' A script whose global code fails as it runs: its error must reach the
' reader decoded, not as a bare number.
Dim ratio
ratio = 1 / 0
