@echo -off
#
# VEXA on a factory line: updates the PD firmware of the board from fw.bin
# and appends one line per attempt to VEXALOG.CSV on this stick: the date
# and time, the board's SMBIOS serial numbers, the chip found, the versions
# before and after, the image's SHA-256 and how the attempt ended. All that
# VEXA prints goes to VEXALOG.TXT (ASCII). The screen shows PASS or FAIL.
#
# The chip ID of the boards being built: every VEXA line below uses it.
set -v vexaid 5230
#
# Put fw.bin.sha256 beside fw.bin (vexa-mkimage --sha256, or
# "sha256sum fw.bin > fw.bin.sha256"): VEXA then refuses an image that is
# not the one meant before it touches the board.
#

# The stick: the file system that holds VEXA.efi.
for %i in 0 1 2 3 4 5 6 7 8 9
  if exist fs%i:\VEXA.efi then
    set -v vexastick fs%i:
  endif
endfor
%vexastick%
cd \

echo Updating the PD firmware (chip ID %vexaid%). Keep the board powered until PASS or FAIL shows.
echo ===== >>a VEXALOG.TXT
VEXA.efi /log VEXALOG.CSV fw.bin /id %vexaid% >>a VEXALOG.TXT
set -v vexastatus %lasterror%
# A new board's blank flash, or an update cut short, leaves the PD
# controller without firmware: it does not answer the version query (exit
# status 0x7), and only /force updates it. The chip ID check still guards
# the run. The second attempt has a record line of its own.
if %vexastatus% eq 0x7 then
  VEXA.efi /log VEXALOG.CSV fw.bin /id %vexaid% /force >>a VEXALOG.TXT
  set -v vexastatus %lasterror%
endif
echo VEXA exit status %vexastatus% >>a VEXALOG.TXT

if %vexastatus% eq 0 then
  echo PASS: the PD firmware is updated; the board's line is in VEXALOG.CSV.
else
  echo FAIL (VEXA exit status %vexastatus%): the PD firmware is NOT updated. Do not power the board off: type %vexastick%\startup.nsh to run this again (VEXALOG.TXT says what went wrong).
endif
exit /b %vexastatus%
