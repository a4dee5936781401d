@echo off
rem Writes both reports of the qconsole.log in this folder, qconsole.txt and the page
rem qconsole.html, and opens the page in the browser. Keep this file beside fragtally.exe in
rem the folder of the log and double-click it.
setlocal
cd /d "%~dp0"
"%~dp0fragtally.exe" -q -o qconsole.txt -o qconsole.html
if errorlevel 2 (
  echo.
  pause
  exit /b 2
)
start "" "%~dp0qconsole.html"
