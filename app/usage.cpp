#include "app/command_line.h"
#include "platform/console_text.h"

void PrintUsage() {
  ConsolePrint(u"\nUsage Discription :");
  ConsolePrint(u"\n\n (Default Address:  Slave=0x80, Channel=1, TPCI=0x80, CFG=0x2E)");
  ConsolePrint(u"\n\n fs0:\\>VEXA FILE             ==>Update Platform PD FW.");
  ConsolePrint(u"\n\n fs0:\\>VEXA FILE /n          ==>Notify EC to do PD update.");
  ConsolePrint(u"\n\n fs0:\\>VEXA FILE /v          ==>Show Version during update.");
  ConsolePrint(u"\n\n fs0:\\>VEXA FILE /ov         ==>Only show PD FW version without Update.");
  ConsolePrint(u"\n\n fs0:\\>VEXA FILE /t 40       ==>Specify TCPI mode address to 0x40.");
  ConsolePrint(u"\n\n fs0:\\>VEXA FILE /sa 80      ==>Specify FW slave address to 0x80(8bits).");
  ConsolePrint(u"\n\n fs0:\\>VEXA FILE /cp 4E      ==>Specify Configuration Port to 0x4E/0x4F.");
  ConsolePrint(u"\n\n fs0:\\>VEXA FILE /i2c 1      ==>Specify i2c channel to 1.");
  ConsolePrint(u"\n\n");
}
