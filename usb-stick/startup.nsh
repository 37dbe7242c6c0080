@echo -off
#
# VEXA on a factory line: updates the PD firmware of the board from fw.bin,
# appends all that VEXA prints to VEXALOG.TXT on this stick (ASCII), and
# ends with PASS or FAIL. Put the chip ID of the boards being built after
# /id below.
#
# Put fw.bin.sha256 beside fw.bin (vexa-mkimage --sha256, or
# "sha256sum fw.bin > fw.bin.sha256"): VEXA then refuses an image that is
# not the one meant before it touches the board, and the log records the
# "Image SHA-256 checked:" line with the hash of the image that went on.
#

# The stick: the file system that holds VEXA.efi.
for %i in 0 1 2 3 4 5 6 7 8 9
  if exist fs%i:\VEXA.efi then
    set -v vexastick fs%i:
  endif
endfor
%vexastick%
cd \

echo ===== >>a VEXALOG.TXT
date >>a VEXALOG.TXT
time >>a VEXALOG.TXT
# Which board this is: its serial number from SMBIOS (system information).
smbiosview -t 1 >>a VEXALOG.TXT
echo Updating the PD firmware. Keep the board powered until PASS or FAIL shows.
echo Version before: >>a VEXALOG.TXT
VEXA.efi fw.bin /ov >>a VEXALOG.TXT
VEXA.efi fw.bin /id 5230 >>a VEXALOG.TXT
set -v vexastatus %lasterror%
# A new board's blank flash, or an update cut short, leaves the PD
# controller without firmware: it does not answer the version query, and
# only /force updates it. The chip ID check (/id) still guards the run.
if %vexastatus% ne 0 then
  echo Again, forced: >>a VEXALOG.TXT
  VEXA.efi fw.bin /id 5230 /force >>a VEXALOG.TXT
  set -v vexastatus %lasterror%
endif
echo Version after: >>a VEXALOG.TXT
VEXA.efi fw.bin /ov >>a VEXALOG.TXT
echo VEXA exit status %vexastatus% >>a VEXALOG.TXT

if %vexastatus% eq 0 then
  echo PASS: the PD firmware is updated.
else
  echo FAIL: the PD firmware is NOT updated (VEXA exit status %vexastatus%).
  echo Flash the board again; VEXALOG.TXT on the stick says what went wrong.
endif
exit /b %vexastatus%
