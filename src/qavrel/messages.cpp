#include "qavrel/messages.h"

const char* const parity_error = "Parity must be either 'even' or 'odd'";

std::string usage_text(int argc) {
  return "Not enough arguments: argc = " + std::to_string(argc) +
         "\nSyntax should be:\n./qavrel.exe chip_string config adcfilename\n"
         "Example:\n./qavrel.exe 100000 20mV_calib-odd "
         "/home/obr/robot/20180725/123510_vemra100000/"
         "123510_vemra100000_zorik00_link00_20mV_calib-odd_adc.txt\n";
}

std::string open_failure(const std::string& data_path) {
  return "Cannot open file named " + data_path + ".";
}

std::string read_failure(const std::string& data_path, const qavrel::Status& why) {
  return "Cannot read file named " + data_path + ": " + why.reason();
}

std::string log_write_failure(const std::string& log_path, const qavrel::Status& why) {
  return "Cannot write log file named " + log_path + ": " + why.reason();
}
