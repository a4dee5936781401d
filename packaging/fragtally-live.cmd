@echo off
rem Follows the game's log while you play and keeps a page of the standings beside it, which
rem reloads itself in the browser. Drag qconsole.log onto this file; or keep it beside
rem fragtally.exe in the folder of qconsole.log and double-click it. Close the window that
rem opens (or press Ctrl-C in it) when you stop playing: the last page is written then.
setlocal
if "%~1"=="" (
  cd /d "%~dp0"
  set "log=qconsole.log"
  set "page=qconsole-live.html"
) else (
  set "log=%~f1"
  set "page=%~dpn1-live.html"
)
if exist "%page%" del "%page%"
start "fragtally live" "%~dp0fragtally.exe" -q -f --rules full -o "%page%" "%log%"
rem The page is there once the program has read the log; a missing log is waited for.
set tries=0
:wait
if exist "%page%" goto open
set /a tries+=1
if %tries% geq 30 goto late
timeout /t 1 /nobreak >nul
goto wait
:open
start "" "%page%"
exit /b 0
:late
echo The page %page% is not there yet: is the game's log there? Open it once it is.
pause
exit /b 2
