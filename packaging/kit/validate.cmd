@echo off
rem Clasp @VERSION@ validation kit: runs the project's own Windows tests on this
rem machine with nothing but the kit and the platform's tools (cmd, regsvr32,
rem cscript), one case a line of cases.txt, and writes results\junit.xml (a
rem JUnit report) and results\summary.txt (one page: the system and each case).
rem Run it from an administrator's prompt on a machine without Clasp
rem installed: the registration cases register and then remove Holdfast.dll.
rem Exit status: 0 when no case failed, 1 otherwise.
setlocal EnableExtensions DisableDelayedExpansion

set "KIT=%~dp0"
set "RESULTS=%KIT%results"
set "LOGS=%RESULTS%\logs"
set "BODY=%RESULTS%\cases.xml.part"
set "LINES=%RESULTS%\cases.txt.part"
if exist "%RESULTS%" rmdir /s /q "%RESULTS%"
mkdir "%LOGS%"
type nul >"%BODY%"
type nul >"%LINES%"

rem The system folder of each bitness, as seen from this prompt: a 32-bit
rem prompt on 64-bit Windows reaches the 64-bit one through Sysnative.
set "SYS32=%SystemRoot%\System32"
set "SYS64="
set "OSBITS=32"
if /i "%PROCESSOR_ARCHITECTURE%"=="AMD64" (
  set "SYS32=%SystemRoot%\SysWOW64"
  set "SYS64=%SystemRoot%\System32"
  set "OSBITS=64"
)
if /i "%PROCESSOR_ARCHITEW6432%"=="AMD64" (
  set "SYS64=%SystemRoot%\Sysnative"
  set "OSBITS=64"
)
set "OSVERSION=unknown"
for /f "delims=" %%v in ('ver') do set "OSVERSION=%%v"

set /a PASSED=0, FAILED=0, SKIPPED=0
for /f "usebackq eol=# tokens=1-3* delims=|" %%a in ("%KIT%cases.txt") do (
  set "COMMAND=%%d"
  call :case "%%a" "%%b" "%%c"
)
set /a TOTAL=PASSED+FAILED+SKIPPED

set "JUNIT=%RESULTS%\junit.xml"
>"%JUNIT%" echo ^<?xml version="1.0" encoding="UTF-8"?^>
>>"%JUNIT%" echo ^<testsuites tests="%TOTAL%" failures="%FAILED%" skipped="%SKIPPED%"^>
>>"%JUNIT%" echo   ^<testsuite name="clasp.validation" tests="%TOTAL%" failures="%FAILED%" errors="0" skipped="%SKIPPED%" hostname="%COMPUTERNAME%"^>
>>"%JUNIT%" echo     ^<properties^>
>>"%JUNIT%" echo       ^<property name="clasp.version" value="@VERSION@"/^>
>>"%JUNIT%" echo       ^<property name="os.version" value="%OSVERSION%"/^>
>>"%JUNIT%" echo       ^<property name="os.bits" value="%OSBITS%"/^>
>>"%JUNIT%" echo     ^</properties^>
type "%BODY%" >>"%JUNIT%"
>>"%JUNIT%" echo   ^</testsuite^>
>>"%JUNIT%" echo ^</testsuites^>

set "SUMMARY=%RESULTS%\summary.txt"
>"%SUMMARY%" echo Clasp @VERSION@ validation kit: results
>>"%SUMMARY%" echo.
>>"%SUMMARY%" echo Date:      %DATE% %TIME%
>>"%SUMMARY%" echo Computer:  %COMPUTERNAME%
>>"%SUMMARY%" echo Windows:   %OSVERSION%
>>"%SUMMARY%" echo Bitness:   %OSBITS%-bit Windows (this prompt: %PROCESSOR_ARCHITECTURE%)
>>"%SUMMARY%" echo Cases:     %PASSED% passed, %FAILED% failed, %SKIPPED% skipped of %TOTAL%
>>"%SUMMARY%" echo.
type "%LINES%" >>"%SUMMARY%"
>>"%SUMMARY%" echo.
>>"%SUMMARY%" echo Each case's output: results\logs\^<case^>.log. JUnit report: results\junit.xml.
del "%BODY%" "%LINES%"

type "%SUMMARY%"
if %FAILED% gtr 0 exit /b 1
exit /b 0

rem :case NAME BITS EXPECTED, with the command in COMMAND.
:case
set "NAME=%~1"
set "BITS=%~2"
set "EXPECTED=%~3"
set "ARCH=x86"
set "SYS=%SYS32%"
if "%BITS%"=="64" (
  set "ARCH=x64"
  set "SYS=%SYS64%"
)
set "ID=%ARCH%.%NAME%"
set "OUT=%LOGS%\%ID%.out"
if "%BITS%"=="64" if not defined SYS64 (
  call :record skipped "a 32-bit Windows runs no 64-bit programs"
  goto :eof
)
rem The command's %KIT%, %SYS% and %OUT% filled in; then run as it is, not
rem through call, which may not hand back a program's own exit status.
call set "RUN=%COMMAND%"
pushd "%KIT%%ARCH%"
%RUN% >"%LOGS%\%ID%.log" 2>&1
set "STATUS=%ERRORLEVEL%"
popd
if "%STATUS%"=="%EXPECTED%" (
  call :record passed ""
  goto :eof
)
if "%STATUS%"=="12" (
  call :record skipped "the expected text needs a Chinese code page"
  goto :eof
)
call :record failed "exit status %STATUS%, expected %EXPECTED%: see logs\%ID%.log"
goto :eof

rem :record OUTCOME WHY, for the case in ID.
:record
set "WHY=%~2"
if "%~1"=="passed" (
  set /a PASSED+=1
  >>"%BODY%" echo     ^<testcase classname="clasp.validation.%ARCH%" name="%NAME%"/^>
  >>"%LINES%" echo   passed   %ID%
  goto :eof
)
if "%~1"=="skipped" (
  set /a SKIPPED+=1
  >>"%BODY%" echo     ^<testcase classname="clasp.validation.%ARCH%" name="%NAME%"^>^<skipped message="%WHY%"/^>^</testcase^>
  >>"%LINES%" echo   skipped  %ID%: %WHY%
  goto :eof
)
set /a FAILED+=1
>>"%BODY%" echo     ^<testcase classname="clasp.validation.%ARCH%" name="%NAME%"^>^<failure message="%WHY%"/^>^</testcase^>
>>"%LINES%" echo   FAILED   %ID%: %WHY%
goto :eof
