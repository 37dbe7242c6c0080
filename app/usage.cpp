#include "app/command_line.h"
#include "platform/console_text.h"

void PrintUsage() {
  ConsolePrint(u"\nUsage Discription :");
  ConsolePrint(u"\n\n (Default Address:  Slave=0x80, Channel=0, TPCI=0x80, CFG=0x2E)");
  ConsolePrint(u"\n\n fs0:\\>VEXA fw.bin /id 5230  ==>Update Platform PD FW of chip ID 52 30 from fw.bin.");
  ConsolePrint(u"\n\n fs0:\\>VEXA FILE /id 5230    ==>Specify the chip ID the PD controller must report.");
  ConsolePrint(u"\n\n fs0:\\>VEXA FILE /v          ==>Show Version during update.");
  ConsolePrint(u"\n\n fs0:\\>VEXA FILE /ov         ==>Only show PD FW version without Update.");
  ConsolePrint(u"\n\n fs0:\\>VEXA FILE /db         ==>Show debug lines (settings, image SHA-256, steps).");
  ConsolePrint(u"\n\n fs0:\\>VEXA FILE /force      ==>Update even if Get_PD_ver fails (an update cut short).");
  ConsolePrint(u"\n\n fs0:\\>VEXA FILE /backup B   ==>Read the flash into file B before the erase.");
  ConsolePrint(u"\n\n fs0:\\>VEXA FILE /check      ==>Compare the flash with FILE; nothing is written.");
  ConsolePrint(u"\n\n fs0:\\>VEXA /dump D /id 5230 ==>Read the flash into file D; nothing is written.");
  ConsolePrint(u"\n\n fs0:\\>VEXA FILE /t 40       ==>Specify TCPI mode address to 0x40.");
  ConsolePrint(u"\n\n fs0:\\>VEXA FILE /sa 80      ==>Specify FW slave address to 0x80(8bits).");
  ConsolePrint(u"\n\n fs0:\\>VEXA FILE /cp 4E      ==>Specify Configuration Port to 0x4E/0x4F.");
  ConsolePrint(u"\n\n fs0:\\>VEXA FILE /i2c 1      ==>Specify i2c channel to 1.");
  ConsolePrint(u"\n\n fs0:\\>VEXA FILE /log B.CSV  ==>Append this run's record (one CSV line) to B.CSV.");
  ConsolePrint(u"\n\n $ vexa-linux FILE /dev/i2c-3 ==>Under Linux: use the kernel's adapter i2c-3.");
  ConsolePrint(u"\n\n");
}
