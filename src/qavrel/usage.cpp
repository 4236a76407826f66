#include "qavrel/usage.h"

std::string usage_text(int argc) {
  return "Not enough arguments: argc = " + std::to_string(argc) +
         "\nSyntax should be:\n./qavrel.exe chip_string config adcfilename\n"
         "Example:\n./qavrel.exe 100000 20mV_calib-odd "
         "/home/obr/robot/20180725/123510_vemra100000/"
         "123510_vemra100000_zorik00_link00_20mV_calib-odd_adc.txt\n";
}
