@echo off
rem Demo.cmd - what Huecast does, shown with its own output.
rem Run it in a console window, next to Huecast.exe or with Huecast on PATH.
rem
rem A colour code is two hexadecimal digits, as for COLOR /?: the first is
rem the background, the second the text colour. Codes and strings alternate;
rem each string is written in the colours of the code before it, and one line
rem end follows the last string.

Huecast 0F "Huecast demo" 07 ""
Huecast 07 " "
Huecast 07 "Codes and strings alternate: " 1E " yellow on blue " 07 " and " 4F " white on red " 07 "."

rem Strings go in double quote marks; two apostrophes make a double quote.
rem A code with an empty string only changes the colour: the trailing 07 ""
rem sets the usual colours before the line end is written.
Huecast 07 "Two apostrophes make a double quote: " 0A "''quoted''" 07 ""
Huecast 07 " "

rem All 256 codes: one row per background, one column per text colour.
rem A code that names the same colour twice (11, 22, ... FF) is refused; its
rem cell keeps the colours of the cell before it. 00 changes nothing at all.
Huecast 07 "All 256 codes (row: background, column: text colour):"
Huecast 07 "      0   1   2   3   4   5   6   7   8   9   A   B   C   D   E   F "
for %%b in (0 1 2 3 4 5 6 7 8 9 A B C D E F) do Huecast 07 " %%b  " %%b0 " %%b0 " %%b1 " %%b1 " %%b2 " %%b2 " %%b3 " %%b3 " %%b4 " %%b4 " %%b5 " %%b5 " %%b6 " %%b6 " %%b7 " %%b7 " %%b8 " %%b8 " %%b9 " %%b9 " %%bA " %%bA " %%bB " %%bB " %%bC " %%bC " %%bD " %%bD " %%bE " %%bE " %%bF " %%bF " 07 ""
Huecast 07 " "

rem A refused code sets ERRORLEVEL 1; the string after it is still written.
Huecast 77 "Code 77 is grey on grey, so it is refused and the colours stay."
if errorlevel 1 Huecast 0A "ERRORLEVEL is %ERRORLEVEL% after the refused code." 07 ""

rem Leave the console in its usual colours, grey on black.
Huecast 07
