@echo off
rem Writes the text report of a log beside it, keeps its session in the history
rem fragtally-history.db in the log's folder, and opens the page of every session kept there.
rem Drag a log onto this file; or keep it beside fragtally.exe in the folder of qconsole.log and
rem double-click it. The page is for players, so it counts every obituary the game prints.
setlocal
if "%~1"=="" (
  cd /d "%~dp0"
  set "log=qconsole.log"
  set "reports=qconsole"
  set "history=fragtally-history.db"
) else (
  set "log=%~f1"
  set "reports=%~dpn1"
  set "history=%~dp1fragtally-history.db"
)
"%~dp0fragtally.exe" -q --rules full --history "%history%" -o "%reports%.txt" "%log%"
if errorlevel 2 goto failed
"%~dp0fragtally.exe" -q --rules full --history "%history%" --from-history -o "%reports%.html"
if errorlevel 2 goto failed
start "" "%reports%.html"
exit /b 0
:failed
echo.
pause
exit /b 2
