#include "zeb/pipe_protocol.h"

#include <gtest/gtest.h>

#include <string>

namespace {

DWORD decode(const std::string& text, bool* ok = nullptr) {
  DWORD code = 0xABCD;
  bool r = zeb_decode_code(text.data(), text.size(), &code);
  if (ok) *ok = r;
  return r ? code : 0xFFFFFFFEu;
}

TEST(PipeProtocol, CodesAreEightHexDigitsAndDecodeLikeScanf) {
  EXPECT_EQ(zeb_encode_code(1), "00000001");
  EXPECT_EQ(zeb_encode_code(100), "00000064");
  EXPECT_EQ(zeb_encode_code(1999), "000007CF");
  EXPECT_EQ(zeb_encode_code(0xFFFFFFFFu), "FFFFFFFF");
  EXPECT_EQ(decode("000007CF"), 1999u);
  EXPECT_EQ(decode("7cf"), 1999u);
  EXPECT_EQ(decode("  0x64"), 100u);
  EXPECT_EQ(decode("64zz"), 100u);            // stops at the first non-digit
  EXPECT_EQ(decode(std::string("1\0" "2", 3)), 1u);  // the NUL ends the text
  EXPECT_EQ(decode("123456789ABCDEF"), 0xFFFFFFFFu);  // too many digits stick
  bool ok = true;
  decode("", &ok);
  EXPECT_FALSE(ok);
  decode("zz", &ok);
  EXPECT_FALSE(ok);
  decode("0x", &ok);
  EXPECT_TRUE(ok);  // "0" then 'x': the value 0, as sscanf reads it
  EXPECT_EQ(decode("0x"), 0u);
  // Only the first 1023 bytes count.
  std::string long_text(1023, ' ');
  long_text += "5";
  decode(long_text, &ok);
  EXPECT_FALSE(ok);
}

TEST(PipeProtocol, MessagesCarryTheirTerminatorAndControlBytes) {
  EXPECT_EQ(zeb_control(ZEB_ACK), std::string("\x06\0", 2));
  EXPECT_EQ(zeb_text_message("No match"), std::string("No match\0", 9));
  EXPECT_EQ(zeb_text_message(std::string("a\0b", 3)), std::string("a\0", 2));
  EXPECT_EQ(zeb_name_message("job"), std::string("\x07job\0", 5));
  EXPECT_EQ(zeb_name_of("\x07job\0", 5), "job");
  std::string long_name = "\x07" + std::string(40, 'n');
  EXPECT_EQ(zeb_name_of(long_name.data(), long_name.size()), std::string(31, 'n'));
  EXPECT_EQ(zeb_message_text("abc", 3), "abc");  // no NUL: all bytes
  EXPECT_TRUE(zeb_is_control("\x06", 1, ZEB_ACK));
  EXPECT_FALSE(zeb_is_control("", 0, ZEB_ACK));
  EXPECT_FALSE(zeb_is_control("\x05\0", 2, ZEB_ACK));

  EXPECT_EQ(zeb_classify_server_message("\x06\0", 2), ZebServerMessage::ack);
  EXPECT_EQ(zeb_classify_server_message("\x07x\0", 3), ZebServerMessage::name);
  EXPECT_EQ(zeb_classify_server_message("\x0B\0", 2), ZebServerMessage::record);
  EXPECT_EQ(zeb_classify_server_message("\x0C\0", 2), ZebServerMessage::send);
  EXPECT_EQ(zeb_classify_server_message("\x09\0", 2), ZebServerMessage::done);
  EXPECT_EQ(zeb_classify_server_message("\x0A\0", 2), ZebServerMessage::end);
  EXPECT_EQ(zeb_classify_server_message("Wait timeout", 13), ZebServerMessage::text);
  EXPECT_EQ(zeb_classify_server_message(nullptr, 0), ZebServerMessage::text);
}

TEST(PipeProtocol, PatternsAreCutAt254Characters) {
  std::string p(300, 'a');
  EXPECT_EQ(zeb_decode_pattern(p.data(), p.size()), std::string(254, 'a'));
  // A two-byte character is not split at the limit.
  std::string u = std::string(253, 'a') + "\xC3\xA9" + "zz";
  EXPECT_EQ(zeb_decode_pattern(u.data(), u.size()), std::string(253, 'a'));
  EXPECT_EQ(zeb_decode_pattern("ab*\0junk", 8), "ab*");
}

TEST(PipeProtocol, CommandTableAndReplyTexts) {
  ASSERT_NE(zeb_command_info(ZEB_CMD_SHOW), nullptr);
  EXPECT_EQ(zeb_command_info(ZEB_CMD_SHOW)->access, ZebAccess::read);
  EXPECT_EQ(zeb_command_info(ZEB_CMD_ADD)->access, ZebAccess::write);
  EXPECT_EQ(zeb_command_info(ZEB_CMD_ADD)->body, ZebBody::record);
  EXPECT_EQ(zeb_command_info(ZEB_CMD_SWITCH)->body, ZebBody::record);
  EXPECT_EQ(zeb_command_info(ZEB_CMD_CLEAN)->body, ZebBody::pattern);
  EXPECT_EQ(zeb_command_info(4), nullptr);
  EXPECT_EQ(zeb_command_info(15), nullptr);
  EXPECT_EQ(zeb_reply_open_desktop("job", 2), "OpenDesktop(job) failed, error=2");
  EXPECT_EQ(zeb_reply_cannot_delete("C:\\TEMP\\", "j", "OUT", 5),
            "Cannot delete C:\\TEMP\\j.OUT, error=5");
  EXPECT_EQ(zeb_pipe_path("\\\\SRV1"), "\\\\SRV1\\pipe\\zebsrv");
  EXPECT_EQ(zeb_pipe_path(nullptr), "\\\\.\\pipe\\zebsrv");
  EXPECT_EQ(zeb_pipe_path(""), "\\\\.\\pipe\\zebsrv");
}

}  // namespace
