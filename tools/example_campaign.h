// Writes a small campaign as a test robot lays it out, with cross-talk
// chosen so that every grade is known beforehand.
#pragma once

#include <string>

// Writes DIR/<date>/<time>_vemra<chip>/<time>_vemra<chip>_<board>_<link>_
// <config>_adc.txt for six chips, odd and even pulsed:
//   100001  0.4% cross-talk: grade A
//   100002  1.5%: grade B
//   100003  3.5%: grade C
//   100004  8%: fail
//   100005  0.4%, but its odd file is damaged after two trains: still A
//   100006  its odd file has no start marker: no data
// and one file whose name gives no chip. False, with errno set, when a
// file can't be written.
bool write_example_campaign(const std::string& directory, int trains);

// Writes a campaign of `files` data files of two trains each (about 45 KB),
// a hundred to a folder, as DIR/d<folder>/<time>_vemra<chip>_zorik00_link00_
// 20mV_calib-<parity>_adc.txt: each chip measured odd and even pulsed, with
// cross-talk that gives every grade. For benchmarks at the scale of a real
// campaign. False, with errno set, when a file can't be written.
bool write_scale_campaign(const std::string& directory, long files);
