// The tool's fixed console texts as they reach standard output (CR LF line
// ends), for byte-for-byte comparisons.
#pragma once

#include <string>

namespace vexa_test {

inline const std::string kUsageText =
    "\r\nUsage Discription :"
    "\r\n\r\n (Default Address:  Slave=0x80, Channel=1, TPCI=0x80, CFG=0x2E)"
    "\r\n\r\n fs0:\\>VEXA FILE             ==>Update Platform PD FW."
    "\r\n\r\n fs0:\\>VEXA FILE /n          ==>Notify EC to do PD update."
    "\r\n\r\n fs0:\\>VEXA FILE /v          ==>Show Version during update."
    "\r\n\r\n fs0:\\>VEXA FILE /ov         ==>Only show PD FW version without Update."
    "\r\n\r\n fs0:\\>VEXA FILE /t 40       ==>Specify TCPI mode address to 0x40."
    "\r\n\r\n fs0:\\>VEXA FILE /sa 80      ==>Specify FW slave address to 0x80(8bits)."
    "\r\n\r\n fs0:\\>VEXA FILE /cp 4E      ==>Specify Configuration Port to 0x4E/0x4F."
    "\r\n\r\n fs0:\\>VEXA FILE /i2c 1      ==>Specify i2c channel to 1."
    "\r\n\r\n";

inline const std::string kWrongParameter = "\r\n\r\nWrong Parameter! Please try again!\r\n";

inline const std::string kFileFormatLines =
    "File format is incorrect, please re-confirm it.\r\n"
    "File format is \"xxx.bin\"\r\n";

inline const std::string kFileOpenFail = "\r\nFile Open Fail!\r\n\r\n";

// Followed by the platform's name once the run goes on to the hardware.
inline const std::string kBanner = "\r\nOVK PD FW Update Utility v1.0.0.b3 thru ";

}  // namespace vexa_test
