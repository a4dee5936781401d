@echo off
rem Writes both reports of a log beside it, the text report and the page, and opens the page in
rem the browser. Drag a log onto this file; or keep it beside fragtally.exe in the folder of
rem qconsole.log and double-click it.
setlocal
if "%~1"=="" (
  cd /d "%~dp0"
  set "log=qconsole.log"
  set "reports=qconsole"
) else (
  set "log=%~f1"
  set "reports=%~dpn1"
)
rem The page is for players, so it counts every obituary the game prints.
"%~dp0fragtally.exe" -q --rules full -o "%reports%.txt" -o "%reports%.html" "%log%"
if errorlevel 2 (
  echo.
  pause
  exit /b 2
)
start "" "%reports%.html"
