// The help screen as a user sees it, written out independently of the
// program's own texts: banner line, five text lines, an empty line.
#ifndef HUECAST_TESTS_DRIVER_EXPECTED_HELP_H_
#define HUECAST_TESTS_DRIVER_EXPECTED_HELP_H_

namespace huecast {

inline constexpr char16_t kHelpScreen[] =
    u"Huecast 2.1 /x64 by Quillford:\r\n"
    u"Change console color & output \"string\"\r\n"
    u"Syntax: \r\n"
    u"    Huecast ColorCode [\"string\"] [ColorCode [\"string\"] ...]\r\n"
    u"For color codes see: Color /?\r\n"
    u"Strings in double quote marks; see Demo.cmd\r\n"
    u"\r\n";

}  // namespace huecast

#endif  // HUECAST_TESTS_DRIVER_EXPECTED_HELP_H_
