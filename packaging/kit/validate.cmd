@echo off
rem Clasp @VERSION@ validation kit: runs the project's own Windows tests on this
rem machine with nothing but the kit and the platform's tools (cmd, regsvr32,
rem cscript), one case a line of cases.txt, and writes results\junit.xml (a
rem JUnit report) and results\summary.txt (one page: the system and each case).
rem Run it from an administrator's prompt on a machine without Clasp
rem installed: the registration cases register and then remove Holdfast.dll.
rem Each case has CLASP_KIT_SECONDS seconds (300 unless set): one still running
rem then is ended and fails, and the kit goes on with the next.
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

set "LIMIT=300"
if defined CLASP_KIT_SECONDS set /a "LIMIT=CLASP_KIT_SECONDS"
if %LIMIT% leq 0 set "LIMIT=300"
rem The runner in this prompt's own bitness, as the cases' folders assume.
set "RUNNER="%SystemRoot%\System32\cscript.exe" //nologo "%KIT%lib\run_case.vbs""

set /a PASSED=0, FAILED=0, SKIPPED=0
for /f "usebackq eol=# tokens=1-4* delims=|" %%a in ("%KIT%cases.txt") do (
  set "SHOWS=%%d"
  set "COMMAND=%%e"
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

rem :case NAME BITS EXPECTED, with the command in COMMAND and the start of a
rem line its output must hold in SHOWS.
:case
set "NAME=%~1"
set "BITS=%~2"
set "STATUS_WANTED=%~3"
set "ARCH=x86"
set "SYS=%SYS32%"
if "%BITS%"=="64" (
  set "ARCH=x64"
  set "SYS=%SYS64%"
)
set "ID=%ARCH%.%NAME%"
set "OUT=%LOGS%\%ID%.out"
set "LOG=%LOGS%\%ID%.log"
if "%BITS%"=="64" if not defined SYS64 (
  call :record skipped "a 32-bit Windows runs no 64-bit programs"
  goto :eof
)
rem The runner's cmd fills in the command's %KIT%, %SYS% and %OUT%.
set "RUN=%COMMAND%"
pushd "%KIT%%ARCH%"
set "STARTS=0"
:start_runner
set /a STARTS+=1
%RUNNER%
set "VERDICT=%ERRORLEVEL%"
rem 9009: this prompt could not start the runner at all, so the case never
rem ran (Wine now and then fails to start a 64-bit program); start it again,
rem twice at most, and say so.
if "%VERDICT%"=="9009" if %STARTS% lss 3 goto :start_runner
popd
if %STARTS% gtr 1 >>"%LINES%" echo   note     %ID%: the runner could not be started; started %STARTS% times
set "WHY="
if exist "%LOG%.why" set /p WHY=<"%LOG%.why"
if "%VERDICT%"=="10" (
  call :record passed ""
) else if "%VERDICT%"=="12" (
  call :record skipped "%WHY%"
) else if "%VERDICT%"=="11" (
  call :record failed "%WHY%: see logs\%ID%.log"
) else (
  call :record failed "the kit's runner stopped with exit status %VERDICT%"
)
del "%LOG%.why" "%LOG%.xml" 2>nul
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
>>"%BODY%" echo     ^<testcase classname="clasp.validation.%ARCH%" name="%NAME%"^>
rem What the case printed (its last lines), in the report as on this console.
if exist "%LOG%.xml" (
  >>"%BODY%" echo       ^<failure message="%WHY%"^>
  type "%LOG%.xml" >>"%BODY%"
  >>"%BODY%" echo       ^</failure^>
) else (
  >>"%BODY%" echo       ^<failure message="%WHY%"/^>
)
>>"%BODY%" echo     ^</testcase^>
>>"%LINES%" echo   FAILED   %ID%: %WHY%
echo FAILED %ID%: %WHY%
if exist "%LOG%" type "%LOG%"
goto :eof
